#include "YardMove.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "DatabaseSnapshot.h"
#include "PgReader.h"
#include "RecordStore.h"
#include "SchemaCheck.h"
#include "ServerAddress.h"
#include "SqliteHandle.h"
#include "SqliteReader.h"
#include "StoreConnection.h"

namespace tarnvale {

namespace {

// In an order that puts every vehicle before the rows that refer to it.
const QStringList kTables = {QStringLiteral("groups"),           QStringLiteral("wrecker"),
                             QStringLiteral("wrecker_version"),  QStringLiteral("reminders"),
                             QStringLiteral("lb_type"),          QStringLiteral("impound_status"),
                             QStringLiteral("impound_holds"),    QStringLiteral("impound_releases"),
                             QStringLiteral("impound_payments"), QStringLiteral("lien_steps_done"),
                             QStringLiteral("pricing_plans"),    QStringLiteral("pricing_tiers"),
                             QStringLiteral("pricing_lien_fees"), QStringLiteral("vehicle_pricing"),
                             QStringLiteral("group_pricing"),    QStringLiteral("release_bills")};

// Rows per INSERT: few round trips, yet statements small enough for the server to read
// quickly (measured: 5000 parameters beat 20000 by a third).
constexpr int kMaxParameters = 5000;
constexpr int kMaxRows = 1000;

QString engineText(const QSqlError &error)
{
    const QString text = error.databaseText().simplified();
    return text.isEmpty() ? error.text().simplified() : text;
}

struct Table
{
    QString name;
    QStringList columns;
    QString identity; // the identity column, empty when there is none
};

// Runs one statement; on failure leaves what was being done and the engine's text in *reason.
class Runner
{
  public:
    Runner(QSqlDatabase db, QString *reason) : m_db(std::move(db)), m_reason(reason) {}

    bool run(QSqlQuery &query, const QString &sql, const QVariantList &values, const QString &doing)
    {
        query = QSqlQuery(m_db);
        query.setForwardOnly(true);
        // BEGIN, COMMIT and the like cannot be prepared on the server.
        if (values.isEmpty())
            return query.exec(sql) || failed(query, doing);
        if (!query.prepare(sql))
            return failed(query, doing);
        for (const QVariant &value : values)
            query.addBindValue(value);
        return query.exec() || failed(query, doing);
    }
    // Runs a statement run() prepared again, with new values: the server plans it once.
    bool again(QSqlQuery &query, const QVariantList &values, const QString &doing)
    {
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        return query.exec() || failed(query, doing);
    }
    bool run(const QString &sql, const QVariantList &values, const QString &doing)
    {
        QSqlQuery query;
        return run(query, sql, values, doing);
    }
    std::optional<qint64> number(const QString &sql, const QVariantList &values,
                                 const QString &doing)
    {
        QSqlQuery query;
        if (!run(query, sql, values, doing))
            return std::nullopt;
        if (!query.next()) {
            *m_reason = QStringLiteral("Nothing was answered while %1.").arg(doing);
            return std::nullopt;
        }
        return query.value(0).toLongLong();
    }

    // Runs an INSERT on the server through libpq, every value a bound parameter (never text in
    // the statement, nor in the server's log): a NULL value is written as NULL in its place.
    bool insert(const QString &sql, const QVariantList &values, const QString &doing)
    {
        QByteArray statement;
        QList<QByteArray> bound;
        qsizetype value = 0;
        for (const QChar c : sql) {
            if (c != u'?') {
                statement += char(c.unicode());
            } else if (values.at(value).isNull()) {
                statement += "NULL";
                ++value;
            } else {
                statement += '?';
                const QVariant &v = values.at(value++);
                bound << (v.typeId() == QMetaType::Double ? QByteArray::number(v.toDouble(), 'g', 17)
                                                          : v.toString().toUtf8());
            }
        }
        PgReader server(m_db);
        if (server.exec(statement, bound))
            return true;
        *m_reason = QStringLiteral("Failed while %1: %2").arg(doing, server.errorText());
        return false;
    }

    const QSqlDatabase &database() const { return m_db; }
    bool failed(const QString &doing, const QString &engineText)
    {
        *m_reason = QStringLiteral("Failed while %1: %2").arg(doing, engineText);
        return false;
    }

  private:
    bool failed(const QSqlQuery &query, const QString &doing)
    {
        return failed(doing, engineText(query.lastError()));
    }

    QSqlDatabase m_db;
    QString *m_reason;
};

// The columns of a table on the server, in their order, and its identity column.
bool readTable(Runner &server, Table &table)
{
    QSqlQuery query;
    if (!server.run(
            query,
            QStringLiteral("SELECT column_name, is_identity FROM information_schema.columns "
                           "WHERE table_schema = current_schema() AND table_name = ? "
                           "ORDER BY ordinal_position"),
            {table.name}, QStringLiteral("reading the columns of %1").arg(table.name)))
        return false;
    while (query.next()) {
        table.columns << query.value(0).toString();
        if (query.value(1).toString() == QLatin1String("YES"))
            table.identity = query.value(0).toString();
    }
    return !table.columns.isEmpty();
}

QString insertStatement(const Table &table, int rows, bool overriding)
{
    QStringList marks;
    marks.fill(QStringLiteral("?"), table.columns.size());
    const QString row = u'(' + marks.join(u',') + u')';
    QStringList values;
    values.fill(row, rows);
    return QStringLiteral("INSERT INTO %1 (%2) %3VALUES %4")
        .arg(table.name, table.columns.join(QStringLiteral(", ")),
             overriding && !table.identity.isEmpty() ? QStringLiteral("OVERRIDING SYSTEM VALUE ")
                                                     : QString(),
             values.join(u','));
}

// Rows copied of all there are to copy, told to the caller's progress.
struct Tally
{
    const YardMove::Progress &progress;
    QString *reason;
    qint64 done = 0;
    qint64 total = 0;

    bool add(qint64 rows)
    {
        done += rows;
        if (!progress || progress(done, total))
            return true;
        *reason = DatabaseSnapshot::kStopped;
        return false;
    }
};

// Binds a value read from the server as Qt's SQLite driver binds it: NULL as NULL, a whole
// number (the server's columns are bigint or text) as an integer, text as text.
int bindRead(sqlite3_stmt *statement, int place, const QVariant &value)
{
    if (value.isNull())
        return sqlite3_bind_null(statement, place);
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
        return sqlite3_bind_int64(statement, place, value.toLongLong());
    const QByteArray utf8 = value.toString().toUtf8();
    return sqlite3_bind_text64(statement, place, utf8.constData(), sqlite3_uint64(utf8.size()),
                               SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Writes the rows read into the file's table through SQLite's own interface, one prepared
// statement for every row: Qt SQL's binding of a value cost more than the rest of the copy.
// nullopt when the file's connection is not one this program's SQLite can be given.
std::optional<bool> copyIntoFile(QSqlQuery &source, Runner &to, const Table &table, Tally &tally,
                                 const QString &doing)
{
    sqlite3 *file = SqliteHandle::of(to.database());
    if (!file)
        return std::nullopt;
    const QByteArray sql = insertStatement(table, 1, false).toUtf8();
    sqlite3_stmt *prepared = nullptr;
    const int made = sqlite3_prepare_v2(file, sql.constData(), int(sql.size()), &prepared, nullptr);
    const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(prepared,
                                                                               &sqlite3_finalize);
    const auto failed = [&] { return to.failed(doing, QString::fromUtf8(sqlite3_errmsg(file))); };
    if (made != SQLITE_OK)
        return failed();
    const int columns = int(table.columns.size());
    qint64 rows = 0;
    while (source.next()) {
        for (int i = 0; i < columns; ++i)
            if (bindRead(statement.get(), i + 1, source.value(i)) != SQLITE_OK)
                return failed();
        if (sqlite3_step(statement.get()) != SQLITE_DONE)
            return failed();
        sqlite3_reset(statement.get());
        if (++rows == kMaxRows) {
            if (!tally.add(rows))
                return false;
            rows = 0;
        }
    }
    if (source.lastError().isValid())
        return to.failed(QStringLiteral("reading table %1").arg(table.name),
                         engineText(source.lastError()));
    return tally.add(rows);
}

// Copies the rows of one table, many rows to a statement; `toServer`: ids given as they are.
bool copyRows(Runner &from, Runner &to, const Table &table, bool toServer, Tally &tally)
{
    const QString doing = QStringLiteral("copying table %1").arg(table.name);
    QSqlQuery source;
    if (!from.run(
            source,
            QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                .arg(table.columns.join(QStringLiteral(", ")), table.name, table.columns.first()),
            {}, QStringLiteral("reading table %1").arg(table.name)))
        return false;
    if (!toServer)
        if (const std::optional<bool> copied = copyIntoFile(source, to, table, tally, doing))
            return *copied;
    const int perStatement =
        std::max(1, std::min<int>(kMaxRows, kMaxParameters / int(table.columns.size())));
    const QString full = insertStatement(table, perStatement, toServer);
    QVariantList values;
    values.reserve(perStatement * table.columns.size());
    int rows = 0;
    QSqlQuery prepared;
    bool isPrepared = false;
    const auto flush = [&]() {
        if (rows == 0)
            return true;
        bool ok = false;
        if (toServer)
            ok = to.insert(rows < perStatement ? insertStatement(table, rows, true) : full, values,
                           doing);
        else if (rows < perStatement)
            ok = to.run(insertStatement(table, rows, toServer), values, doing);
        else if (isPrepared)
            ok = to.again(prepared, values, doing);
        else
            ok = isPrepared = to.run(prepared, full, values, doing);
        values.clear();
        const qint64 copied = rows;
        rows = 0;
        return ok && tally.add(copied);
    };
    while (source.next()) {
        for (int i = 0; i < table.columns.size(); ++i)
            values << source.value(i);
        if (++rows == perStatement && !flush())
            return false;
    }
    return flush();
}

// A connection of its own, removed again when it goes: declared before the Runners on it.
class Connection
{
  public:
    Connection()
    {
        static QAtomicInteger<int> uses;
        m_name = QStringLiteral("tarnvale-move-%1").arg(uses.fetchAndAddRelaxed(1));
    }
    ~Connection()
    {
        m_db.close();
        m_db = QSqlDatabase();
        if (QSqlDatabase::contains(m_name))
            QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase &db() { return m_db; }

    // Opens an SQLite file hardened against what it holds; false with the reason.
    bool openFile(const QString &file, bool readOnly, QString *reason)
    {
        const auto failure = StoreConnection::openFile(
            m_name, file,
            readOnly ? StoreConnection::Access::ReadOnly : StoreConnection::Access::Writing);
        m_db = QSqlDatabase::database(m_name, false);
        if (failure)
            *reason = failure->atOpen ? engineText(failure->openError) : failure->reason;
        return !failure;
    }
    bool openServer(const ServerAddress &address, QString *reason)
    {
        if (!address.connect(m_name, reason))
            return false;
        m_db = QSqlDatabase::database(m_name, false);
        return true;
    }

  private:
    QString m_name;
    QSqlDatabase m_db;
};

// The schema version of a file opened read-only, or nullopt with the reason.
std::optional<qint64> fileVersion(const QSqlDatabase &db, QString *reason)
{
    Runner file(db, reason);
    if (!file.number(QStringLiteral("SELECT count(*) FROM sqlite_master"), {},
                     QStringLiteral("reading the schema")))
        return std::nullopt;
    return file.number(QStringLiteral("PRAGMA user_version"), {},
                       QStringLiteral("reading the schema version"));
}

QString versionMismatch(const QString &file, qint64 version)
{
    return QStringLiteral("%1 holds records of an older or newer kind (schema version %2, this "
                          "program's is %3): open it once in this program first.")
        .arg(file)
        .arg(version)
        .arg(SchemaCheck::kVersion);
}

// Every table of ours as the server has it, in the order of kTables.
bool readTables(Runner &server, QList<Table> &tables, QString *reason)
{
    for (const QString &name : kTables) {
        Table table{name, {}, {}};
        if (!readTable(server, table)) {
            if (reason->isEmpty())
                *reason = QStringLiteral("The server has no table %1.").arg(name);
            return false;
        }
        tables << table;
    }
    return true;
}

// The first value of the file the server cannot store as the file holds it (text with a NUL
// byte or with bytes that are not UTF-8, binary data), named; empty when every value can be.
QString unstorableValue(const QSqlDatabase &file)
{
    SqliteReader reader(file);
    for (const QString &table : kTables) {
        QSqlQuery info(file);
        QStringList columns, select{QStringLiteral("rowid")};
        info.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table));
        while (info.next()) {
            columns << info.value(1).toString();
            select << QStringLiteral("typeof(\"%1\"), \"%1\"").arg(columns.last());
        }
        if (columns.isEmpty() || !reader.prepare(QStringLiteral("SELECT %1 FROM \"%2\"")
                                                     .arg(select.join(u','), table)
                                                     .toUtf8()))
            continue;
        SqliteReader::Step step = reader.step();
        for (; step == SqliteReader::Step::Row; step = reader.step()) {
            for (qsizetype i = 0; i < columns.size(); ++i) {
                const QByteArrayView type = reader.text(int(1 + 2 * i));
                const QByteArrayView value = reader.text(int(2 + 2 * i));
                const char *problem = type == "blob"                 ? "binary data"
                                      : type != "text"               ? nullptr
                                      : value.contains('\0')         ? "a NUL byte"
                                      : !value.isValidUtf8()         ? "bytes that are not UTF-8 text"
                                                                     : nullptr;
                if (problem)
                    return QStringLiteral("Table %1, column %2 of the row with rowid %3 holds %4, "
                                          "which the server cannot store exactly. Nothing was "
                                          "written: correct that value in the file first.")
                        .arg(table, columns.at(i), QString::number(reader.integer(0)),
                             QString::fromLatin1(problem));
            }
        }
        if (step == SqliteReader::Step::Failed)
            return QStringLiteral("Failed while reading table %1: %2")
                .arg(table, reader.errorText());
    }
    return QString();
}

bool copyTables(Runner &from, Runner &to, const QList<Table> &tables, bool toServer,
                const YardMove::Progress &progress, QString *reason)
{
    Tally tally{progress, reason};
    if (progress) {
        for (const Table &table : tables) {
            const auto rows =
                from.number(QStringLiteral("SELECT count(*) FROM %1").arg(table.name), {},
                            QStringLiteral("counting the rows of %1").arg(table.name));
            if (!rows)
                return false;
            tally.total += *rows;
        }
        if (!tally.add(0))
            return false;
    }
    for (const Table &table : tables)
        if (!copyRows(from, to, table, toServer, tally))
            return false;
    return true;
}

// Compares the row counts of every table in the file and on the server, and keeps them.
bool sameCounts(Runner &file, Runner &server, const QList<Table> &tables, YardMove::Result &result)
{
    for (const Table &table : tables) {
        const QString count = QStringLiteral("SELECT count(*) FROM %1").arg(table.name);
        const QString doing = QStringLiteral("counting the rows of %1").arg(table.name);
        const auto inFile = file.number(count, {}, doing);
        const auto onServer = server.number(count, {}, doing);
        if (!inFile || !onServer)
            return false;
        if (*inFile != *onServer) {
            result.reason = QStringLiteral("Table %1 has %2 rows in the file but %3 on the "
                                           "server. Nothing was written.")
                                .arg(table.name)
                                .arg(*inFile)
                                .arg(*onServer);
            return false;
        }
        if (table.name == QLatin1String("wrecker"))
            result.vehicles = *inFile;
        else if (table.name == QLatin1String("groups"))
            result.groups = *inFile;
        else if (table.name == QLatin1String("reminders"))
            result.reminders = *inFile;
    }
    return true;
}

// The highest id the file ever gave in a table, a removed row's included.
std::optional<qint64> highestInFile(Runner &file, const Table &table)
{
    return file.number(QStringLiteral("SELECT max(coalesce((SELECT max(%1) FROM %2), 0), "
                                      "coalesce((SELECT seq FROM sqlite_sequence WHERE "
                                      "name = ?), 0))")
                           .arg(table.identity, table.name),
                       {table.name},
                       QStringLiteral("reading the highest id of %1").arg(table.name));
}

// The highest id the server ever gave in a table (its sequence may have run ahead of the rows).
std::optional<qint64> highestOnServer(Runner &server, const Table &table)
{
    return server.number(
        QStringLiteral("SELECT greatest(coalesce(pg_sequence_last_value(pg_get_serial_sequence(?, "
                       "?)::regclass), 0), coalesce((SELECT max(%1) FROM %2), 0))")
            .arg(table.identity, table.name),
        {table.name, table.identity.toLower()},
        QStringLiteral("reading the highest id of %1 on the server").arg(table.name));
}

// Sets each id sequence on the server to go on after the file's highest id (and, with
// `keepServers`, after the server's own): ids are never handed out twice. Last in a transaction,
// as setval outlives a rollback.
bool setServerSequences(Runner &file, Runner &server, const QList<Table> &tables, bool keepServers)
{
    for (const Table &table : tables) {
        if (table.identity.isEmpty())
            continue;
        std::optional<qint64> highest = highestInFile(file, table);
        if (highest && keepServers) {
            const auto own = highestOnServer(server, table);
            if (!own)
                return false;
            highest = std::max(*highest, *own);
        }
        if (!highest ||
            !server.run(
                QStringLiteral("SELECT setval(pg_get_serial_sequence(?, ?), ?, ?)"),
                {table.name, table.identity.toLower(), std::max<qint64>(*highest, 1), *highest > 0},
                QStringLiteral("setting the next id of %1").arg(table.name)))
            return false;
    }
    return true;
}

// Sets each table's next id in the file to go on after the server's highest.
bool setFileSequences(Runner &server, Runner &file, const QList<Table> &tables)
{
    for (const Table &table : tables) {
        if (table.identity.isEmpty())
            continue;
        const auto highest = highestOnServer(server, table);
        const QString doing = QStringLiteral("setting the next id of %1").arg(table.name);
        if (!highest ||
            !file.run(
                QStringLiteral("UPDATE sqlite_sequence SET seq = ? WHERE name = ? AND seq < ?"),
                {*highest, table.name, *highest}, doing) ||
            !file.run(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) SELECT ?, ? WHERE ? "
                                     "> 0 AND NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE "
                                     "name = ?)"),
                      {table.name, *highest, *highest, table.name}, doing))
            return false;
    }
    return true;
}

// After a restore, what other connections compare against: every row of wrecker_version
// carries one new revision above all they have seen; `added` keeps the revision a record was
// added at when it was on the server before (so they see it changed) and is the new one for a
// record new to them (added); a record that was there and is gone gets a removed mark. The
// version of a record that was there goes up past both sides', so a form opened before the
// restore asks before saving over it.
bool markRestored(Runner &server, qint64 revision)
{
    const QString doing = QStringLiteral("marking the restored records");
    return server.run(QStringLiteral("UPDATE wrecker_version SET revision = ?, added = ?"),
                      {revision, revision}, doing) &&
           server.run(QStringLiteral("UPDATE wrecker_version v SET added = b.added, version = "
                                     "greatest(v.version, b.version) + 1 FROM restore_before b "
                                     "WHERE b.id = v.id"),
                      {}, doing) &&
           server.run(QStringLiteral("INSERT INTO wrecker_version (id, version, added, revision) "
                                     "SELECT w.id, coalesce(b.version + 1, 0), coalesce(b.added, "
                                     "?), ? FROM wrecker w LEFT JOIN restore_before b ON b.id = "
                                     "w.id WHERE NOT EXISTS (SELECT 1 FROM wrecker_version v "
                                     "WHERE v.id = w.id)"),
                      {revision, revision}, doing) &&
           server.run(QStringLiteral("INSERT INTO wrecker_version (id, version, added, revision, "
                                     "removed) SELECT b.id, b.version + 1, b.added, ?, 1 FROM "
                                     "restore_before b WHERE NOT EXISTS (SELECT 1 FROM "
                                     "wrecker_version v WHERE v.id = b.id)"),
                      {revision}, doing);
}

} // namespace

YardMove::Result YardMove::toServer(const QString &file, const QString &uri)
{
    Result result;
    const QString shownUri = RecordStore::shownPath(uri);
    const QFileInfo info(file);
    if (!info.isFile() || info.size() == 0) {
        result.reason = QStringLiteral("%1 is not a database file.").arg(file);
        return result;
    }
    Connection source;
    QString reason;
    std::optional<qint64> version;
    if (source.openFile(file, true, &reason))
        version = fileVersion(source.db(), &reason);
    if (!version) {
        result.reason = QStringLiteral("%1 cannot be read as a database: %2").arg(file, reason);
        return result;
    }
    if (*version != SchemaCheck::kVersion) {
        result.reason = versionMismatch(file, *version);
        return result;
    }
    result.reason = unstorableValue(source.db());
    if (!result.reason.isEmpty())
        return result;
    RecordStore store;
    if (!store.open(uri, RecordStore::OpenMode::CreateIfMissing)) {
        result.reason = QStringLiteral("The server database %1 could not be opened: %2")
                            .arg(shownUri, store.lastError().description);
        return result;
    }
    if (!store.isServer()) {
        result.reason = QStringLiteral("%1 is not a PostgreSQL server address.").arg(shownUri);
        return result;
    }
    QSqlDatabase target = store.database();
    Runner toServer(target, &result.reason);
    Runner fromFileHere(source.db(), &result.reason);
    for (const QString &sql : store.dialect().beginWriting(false))
        if (!toServer.run(sql, {}, QStringLiteral("beginning the move")))
            return result;
    const auto rollback = [&]() {
        QSqlQuery(target).exec(QStringLiteral("ROLLBACK"));
        result.moved = false;
        return result;
    };
    for (const QString &name : kTables) {
        const auto rows =
            toServer.number(QStringLiteral("SELECT count(*) FROM %1").arg(name), {},
                            QStringLiteral("counting the rows of %1 on the server").arg(name));
        if (!rows)
            return rollback();
        if (*rows > 0) {
            result.reason = QStringLiteral("The server database %1 already holds records: a "
                                           "yard moves only into an empty database. Nothing "
                                           "was written.")
                                .arg(shownUri);
            return rollback();
        }
    }
    QList<Table> tables;
    if (!readTables(toServer, tables, &result.reason) ||
        !copyTables(fromFileHere, toServer, tables, true, {}, &result.reason) ||
        !sameCounts(fromFileHere, toServer, tables, result) ||
        !setServerSequences(fromFileHere, toServer, tables, false) ||
        !toServer.run(QStringLiteral("COMMIT"), {}, QStringLiteral("committing the move")))
        return rollback();
    result.moved = true;
    return result;
}

YardMove::Result YardMove::toFile(const QString &uri, const QString &file, const Progress &progress)
{
    Result result;
    const std::optional<ServerAddress> address = ServerAddress::parse(uri, &result.reason);
    if (!address)
        return result;
    Connection server;
    Connection target;
    QString reason;
    if (!server.openServer(*address, &reason)) {
        result.reason = QStringLiteral("The server database %1 could not be opened: %2")
                            .arg(address->shown(), reason);
        return result;
    }
    if (!target.openFile(file, false, &result.reason))
        return result;
    Runner fromServer(server.db(), &result.reason);
    Runner toFile(target.db(), &result.reason);
    // Every table from one state of the server, whatever other workstations commit meanwhile.
    if (!fromServer.run(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), {},
                        QStringLiteral("beginning the snapshot")))
        return result;
    QList<Table> tables;
    if (!readTables(fromServer, tables, &result.reason))
        return result;
    // The file as the program makes a new one, but for the search index: a server keeps its
    // own, and a file opened by the program gets its index made when it has none. Filling it
    // as the rows go in took two thirds of the copy's time.
    const SqlDialect fileDialect;
    if (!toFile.run(QStringLiteral("PRAGMA trusted_schema = ON"), {},
                    QStringLiteral("preparing the file")) ||
        !toFile.run(QStringLiteral("BEGIN IMMEDIATE"), {}, QStringLiteral("writing the file")))
        return result;
    for (const QString &sql : fileDialect.createStatements(SchemaCheck::kVersion, false))
        if (!toFile.run(sql, {}, QStringLiteral("creating the tables")))
            return result;
    if (!copyTables(fromServer, toFile, tables, false, progress, &result.reason) ||
        !sameCounts(toFile, fromServer, tables, result) ||
        !setFileSequences(fromServer, toFile, tables) ||
        !toFile.run(QStringLiteral("COMMIT"), {}, QStringLiteral("writing the file")))
        return result;
    fromServer.run(QStringLiteral("COMMIT"), {}, QStringLiteral("ending the snapshot"));
    result.moved = true;
    return result;
}

YardMove::Result YardMove::replaceOnServer(const QString &file, const QString &uri,
                                           const Progress &progress)
{
    Result result;
    const std::optional<ServerAddress> address = ServerAddress::parse(uri, &result.reason);
    if (!address) {
        result.reason = QStringLiteral("The database in use is not on a server.");
        return result;
    }
    {
        // A backup of an older version gets this version's tables, as a file opened here does.
        RecordStore upgrade;
        if (!upgrade.open(file, RecordStore::OpenMode::ExistingForServer) ||
            upgrade.isReadOnly()) {
            result.reason =
                QStringLiteral("The backup cannot be brought up to date: ") +
                (upgrade.isReadOnly() ? upgrade.readOnlyReason() : upgrade.lastError().description);
            return result;
        }
        QSqlQuery(upgrade.database()).exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
    }
    Connection source;
    std::optional<qint64> version;
    if (source.openFile(file, true, &result.reason))
        version = fileVersion(source.db(), &result.reason);
    if (!version)
        return result;
    Runner fromFile(source.db(), &result.reason);
    if (*version != SchemaCheck::kVersion) {
        result.reason = versionMismatch(file, *version);
        return result;
    }
    result.reason = unstorableValue(source.db());
    if (!result.reason.isEmpty())
        return result;

    Connection server;
    QString reason;
    if (!server.openServer(*address, &reason)) {
        result.reason = QStringLiteral("The server database %1 could not be opened: %2")
                            .arg(address->shown(), reason);
        return result;
    }
    QSqlDatabase target = server.db();
    Runner toServer(target, &result.reason);
    TransactionGuard guard(target, TransactionGuard::Lock::Writing);
    if (!guard.begun()) {
        result.reason =
            QStringLiteral("Failed while beginning the restore: ") + engineText(guard.lastError());
        return result;
    }
    const auto lastRevision =
        toServer.number(QStringLiteral("SELECT coalesce(max(revision), 0) FROM wrecker_version"),
                        {}, QStringLiteral("reading the last revision"));
    if (!lastRevision ||
        !toServer.run(QStringLiteral("CREATE TEMP TABLE restore_before ON COMMIT DROP AS SELECT "
                                     "w.id, coalesce(v.added, 0) AS added, coalesce(v.version, "
                                     "0) AS version FROM wrecker w LEFT JOIN wrecker_version v "
                                     "ON v.id = w.id"),
                      {}, QStringLiteral("noting the records before the restore")))
        return result;
    // Rows that refer to a vehicle go before the vehicle.
    for (auto name = kTables.crbegin(); name != kTables.crend(); ++name)
        if (!toServer.run(QStringLiteral("DELETE FROM %1").arg(*name), {},
                          QStringLiteral("emptying table %1").arg(*name)))
            return result;
    QList<Table> tables;
    if (!readTables(toServer, tables, &result.reason) ||
        !copyTables(fromFile, toServer, tables, true, progress, &result.reason) ||
        !sameCounts(fromFile, toServer, tables, result) ||
        !markRestored(toServer, *lastRevision + 1) ||
        !setServerSequences(fromFile, toServer, tables, true))
        return result;
    if (!guard.commit()) {
        result.reason =
            QStringLiteral("Failed while committing the restore: ") + engineText(guard.lastError());
        return result;
    }
    result.moved = true;
    return result;
}

} // namespace tarnvale
