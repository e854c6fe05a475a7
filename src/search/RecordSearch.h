// The search behind the search window: the records in table order, read by the store
// (SearchQueries) with only the columns the request needs, through the search index where it
// finds every record the rules can. The group filter is done by the database (an exact,
// case-sensitive comparison); the text match is done here, by FindRules.
#pragma once

#include "DbError.h"
#include "FindRequest.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

namespace tarnvale {

class RecordStore;

class RecordSearch
{
  public:
    enum class Outcome { Done, Cancelled, Failed };
    // Native reads an SQLite connection through SQLite's own interface and a PostgreSQL one
    // through libpq (fast); Generic reads any connection through Qt SQL. Both give the
    // same rows.
    enum class Reader { Native, Generic };
    using Sink = std::function<void(QList<FindResult> &&rows)>;

    struct Options
    {
        Reader reader = Reader::Native;
        int batchSize = 1024;                      // rows per call of the sink
        const std::atomic<bool> *cancel = nullptr; // looked at between rows
        // Native: the search index narrows the rows read, when the file has it and the
        // request allows (see makePlan); off, every row is read.
        bool useIndex = true;
        // Only the found records' ids (FindResult::idOnly): the window reads the texts of the
        // rows it shows (see textsOf).
        bool idsOnly = false;
    };

    // The scan's statement on a file (empty when the request can match nothing: an empty
    // search text or an unknown field key).
    static QString statement(const FindRequest &request);

    // Whether the search index can narrow this request's rows (the file must have it too).
    static bool indexServes(const FindRequest &request);

    // Runs the request on an open connection; results go to the sink in table order.
    // On Failed, *error says why.
    static Outcome run(const QSqlDatabase &db, const FindRequest &request, const Sink &sink,
                       DbError *error, const Options &options);
    static Outcome run(const QSqlDatabase &db, const FindRequest &request, const Sink &sink,
                       DbError *error)
    {
        return run(db, request, sink, error, Options());
    }

    // Every result at once, on the store's own connection; nullopt on failure.
    static std::optional<QList<FindResult>> find(RecordStore &store, const FindRequest &request,
                                                 DbError *error = nullptr);
    // The results among the records with these ids only, in table order, as a whole search
    // would give them; a missing id gives nothing. What a change is checked with.
    static std::optional<QList<FindResult>> findAmong(RecordStore &store,
                                                      const FindRequest &request,
                                                      QList<qint64> ids, DbError *error = nullptr);
    // The result rows of these records, texts and all, in table order; a missing id gives
    // nothing.
    static std::optional<QList<FindResult>> textsOf(RecordStore &store, QList<qint64> ids,
                                                    DbError *error = nullptr);
};

} // namespace tarnvale
