// Realistic tow records for benchmarks: names, addresses, vehicles, dates and charges,
// spread over named groups. The same seed always gives the same data.
#pragma once

#include "TowRecord.h"

#include <QString>
#include <QStringList>

#include <random>

namespace tarnvale::bench {

class TowDataGenerator
{
public:
    explicit TowDataGenerator(quint64 seed = 20261206);

    QStringList groupNames(int count);
    // A record belonging to one of the given groups (about 1 in 20 has no group).
    TowRecord record(const QStringList &groups);

    // Writes a new database file with `groups` groups and `records` tow records.
    // Returns false (with a message on stderr) when the file cannot be made.
    static bool writeDatabase(const QString &path, int records, int groups, quint64 seed = 20261206);

private:
    const char *pick(const char *const *items, size_t count);
    int between(int low, int high);

    std::mt19937_64 m_rng;
};

} // namespace tarnvale::bench
