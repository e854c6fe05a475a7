// The quick search of the main window: vehicles of every group found by plate, VIN, phone,
// name or any descriptive field as the clerk types, newest first, a screenful at most.
//
// The rule: a text of three characters or more is found in any letter case in the ten fields
// "<All>" compares, the plate, VIN and phone, and the fields SchemaCheck::quickTextFields
// names; a text whose key form (SchemaCheck::quickKeyForm) has three characters or more is
// also found in the key form of the plate, VIN or phone ("4405550187" finds "(440) 555-0187").
// Shorter texts find nothing: the search index cannot answer them.
#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <atomic>
#include <optional>

#include "DbError.h"
#include "TowRecord.h"

namespace tarnvale {

class RecordStore;

// One line of the list under the box.
struct QuickResult
{
    qint64 id = 0;
    QString plate;
    QString owner;
    QString vehicle; // year, make and model, blanks between those set
    QString group;
    QString status; // ImpoundRules::statusText

    friend bool operator==(const QuickResult &, const QuickResult &) = default;
};

class QuickSearch
{
  public:
    static constexpr int kMaxRows = 50;

    // Whether the text is long enough to search for.
    static bool searchable(const QString &text);
    // Whether the record is found by the text.
    static bool matches(const TowRecord &record, const QString &text);
    // The search index's query for the text (empty when it finds nothing).
    static QString indexQuery(const QString &text);

    // The vehicles found, newest first, at most `limit`. Through the search index where the
    // file has it: the records it names, newest first, are decided by the rule until `limit`
    // are found. Elsewhere (a server, a file without the index) the table is read newest
    // first under the same rule. nullopt on a database failure, with the reason in *error.
    static std::optional<QList<QuickResult>> find(RecordStore &store, const QString &text,
                                                  int limit = kMaxRows, DbError *error = nullptr);
    // The same on a connection of the store's database (one of another thread's). Once
    // `cancel` is set the search ends at its next row with what it found.
    static std::optional<QList<QuickResult>> find(const QSqlDatabase &db, const QString &text,
                                                  int limit, DbError *error,
                                                  const std::atomic<bool> *cancel = nullptr);
};

} // namespace tarnvale
