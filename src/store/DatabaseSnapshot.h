// A consistent copy of an SQLite database file, taken on a connection of its own so that any
// thread may take it while the program goes on using the database: the copy RecordStore's
// backupTo() makes (VACUUM INTO, then put back to a rollback journal, one file).
#pragma once

#include <QString>

#include <functional>

namespace tarnvale {

class DatabaseSnapshot
{
  public:
    // Told now and then how far the copy got (0 to 99, from the size written against the
    // size expected); returning false stops it.
    using Progress = std::function<bool(int procent)>;

    // Copies the database at `databasePath` into `destinationPath` (absent or empty). Empty on
    // success; otherwise what failed and the engine's text, or kStopped when `progress` stopped
    // it (the destination may then hold a part of the copy: the caller removes it).
    static QString take(const QString &databasePath, const QString &destinationPath,
                        const Progress &progress = {});

    static inline const QString kStopped = QStringLiteral("Stopped.");
};

} // namespace tarnvale
