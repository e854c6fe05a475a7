// The statements behind the searches: the Find window's scan, its reads through the search
// index (an FTS5 trigram table in a file, a pg_trgm index on a server), the records a change
// names, and the quick search's reads newest first. The searches decide which rows match;
// this reads the rows they ask for, through SQLite's or libpq's own interface where it can.
#pragma once

#include "DbError.h"
#include "TowRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

namespace tarnvale {

// What a search reads: the columns, and the records it keeps before any text is compared.
struct SearchSelection
{
    QList<TowField> columns; // read after the id, in this order
    bool allGroups = true;
    QString group; // when not all groups: exactly this name ("" = rows without a group)
    // Only vehicles with this stored status word; empty for any. A vehicle without a status of its own counts by its release date as `unkept`.
    QString status;
    enum class Unkept { Excluded, WithoutRelease, WithRelease };
    Unkept unkept = Unkept::Excluded;
    // On a server with the trigram index: only records that may hold this text in one of the
    // search index's fields, where SearchQueries::serverMayHold tells (the caller's rule still
    // decides each row).
    QString serverMayHold;
    // On a server with the key index: only records whose plate, VIN and phone, in their key
    // form (SchemaCheck::quickKeyForm), may hold this key text.
    QString serverKeysMayHold;
};

// One row read: its id and the selection's columns as UTF-8 (a NULL cell has a null data()).
class SearchRow
{
  public:
    virtual qint64 id() const = 0;
    virtual QByteArrayView text(int column) const = 0;

  protected:
    ~SearchRow() = default;
};

class SearchQueries
{
  public:
    enum class Outcome { Done, Cancelled, Failed };
    // Native reads through SQLite's or libpq's own interface; Generic through QSqlQuery.
    enum class Reader { Native, Generic };
    using RowFn = std::function<void(const SearchRow &row)>;

    // `cancel` is looked at between rows (and inside a long step of SQLite).
    SearchQueries(const QSqlDatabase &db, Reader reader, const std::atomic<bool> *cancel);

    // The selected records with ids above `after`, in table order.
    Outcome scan(const SearchSelection &selection, const RowFn &row, DbError *error,
                 qint64 after = 0);
    // The selected records the file's search index names for `match` (indexMatch), in table
    // order; nullopt when the index cannot be read before the first row. Rows read before a
    // later failure of the index are not read again: the rest is scanned.
    std::optional<Outcome> indexed(const SearchSelection &selection, const QString &match,
                                   const RowFn &row, DbError *error);
    // The selected records among these ids, in table order: one statement (one round trip to
    // a server).
    Outcome among(const SearchSelection &selection, const QList<qint64> &ids, const RowFn &row,
                  DbError *error);

    // The scan's statement on a file (its values bound in order: the group and the status,
    // those given).
    static QString scanStatement(const SearchSelection &selection);

    // Whether the connection is a file whose search index can be trusted: every object of it
    // in place, and nothing in the schema of another program's making.
    static bool fileIndexUsable(const QSqlDatabase &db);
    // The index's query for a text held in one of these fields (all search index columns);
    // the text is in the index's form.
    static QString indexMatch(const QList<TowField> &fields, const QString &indexText);
    // Whether a server search may keep only the records whose search index fields hold the
    // text in the server's upper case: always when case counts, otherwise for ASCII text.
    static bool serverMayHold(const QString &text, bool keepsCase);

    // The characters whose case the file's index folds otherwise than QString::toLower():
    // a lower-cased search text holding one of them may miss a record through the index.
    // Measured once on the engine in use; nullopt when it could not be measured.
    static const std::optional<QString> &indexFoldsApart();

    // The server's trigram indexes under the search (over the search index's fields, over
    // the plate, VIN and phone in their key form, and over the quick search's other text
    // fields), made when the server lets this user make them; where it does not, searches scan.
    static constexpr const char *kServerIndex = "wrecker_trgm";
    static constexpr const char *kServerKeysIndex = "wrecker_keys_trgm";
    static constexpr const char *kServerQuickIndex = "wrecker_quick_trgm";
    static void makeServerIndex(const QSqlDatabase &db);
    static bool hasServerIndex(const QSqlDatabase &db, const char *name = kServerIndex);

    // The quick search: records newest first, `fields` of each after its id and then its
    // stored status word (empty when it has none), passed to `row` until it answers false.
    using QuickRowFn =
        std::function<bool(const TowRecord &record, const std::optional<QString> &status)>;
    // The records the index names for `match`, at most `candidates` of them; false when the
    // index cannot be read.
    static bool quickIndexed(const QSqlDatabase &db, const QList<TowField> &fields,
                             const QString &match, int candidates, const QuickRowFn &row);
    // Every record; on a server only those that may hold `text` (upper case, ASCII text only)
    // in one of the search index's fields or SchemaCheck::quickTextFields, or `keyText` in the
    // key form of one of SchemaCheck::quickKeyFields.
    static bool quickScan(const QSqlDatabase &db, const QList<TowField> &fields,
                          const QString &text, const QString &keyText, const QuickRowFn &row,
                          DbError *error);
    // The quick search's index query: `text` in the index's form in the ten fields and its
    // text column, or `keyText` in the key column; empty parts are left out.
    static QString quickIndexMatch(const QString &text, const QString &keyText);

  private:
    QSqlDatabase m_db;
    Reader m_reader;
    const std::atomic<bool> *m_cancel;
};

} // namespace tarnvale
