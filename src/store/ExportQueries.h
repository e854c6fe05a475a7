// The statements of the CSV export, run in a row reader of one read-only snapshot:
// SqliteReader on a file, QtSqlRows on a server.
#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

#include "SqlDialect.h"
#include "SqliteReader.h"

namespace tarnvale {

class ExportQueries
{
  public:
    // What the impound tables keep, read whole (they hold only the vehicles something was
    // recorded for): the status word, the sum of the payments in cents, the lien steps done.
    struct Impound
    {
        QHash<qint64, QString> statusWords;
        QHash<qint64, qint64> paidCents;
        QHash<qint64, QList<QPair<QString, QDate>>> stepsDone;
    };

    // Runs the statement and calls visit() at each of its rows; false when it failed.
    template <class Reader, class Visit>
    static bool scan(Reader &db, const char *sql, Visit visit)
    {
        if (!db.prepare(sql))
            return false;
        SqliteReader::Step step;
        while ((step = db.step()) == SqliteReader::Step::Row)
            visit();
        return step == SqliteReader::Step::Done;
    }
    // Whether the table is there (a database of an older schema lacks newer tables); nullopt
    // when asking failed.
    template <class Reader>
    static std::optional<bool> hasTable(Reader &db, const SqlDialect &dialect, const QString &table)
    {
        if (!db.prepare(dialect.tableExists().toUtf8(), &table) || db.step() != SqliteReader::Step::Row)
            return std::nullopt;
        return db.integer(0) != 0;
    }

    // Starts the read transaction: the count and the rows then come from one state.
    template <class Reader>
    static bool begin(Reader &db);
    // The number of records, or of those of the group when one is given; nullopt on failure.
    template <class Reader>
    static std::optional<qint64> count(Reader &db, const QString *group);
    // Empty in a database of an older schema, which has no impound tables; false on failure.
    template <class Reader>
    static bool readImpound(Reader &db, const SqlDialect &dialect, Impound &impound);
    // Starts the records, or those of the group, in table order: step() then gives each as
    // its id (column 0) and its fields in TowField order (columns 1 on).
    template <class Reader>
    static bool selectRecords(Reader &db, const QString *group);
};

} // namespace tarnvale
