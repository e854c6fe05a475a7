#include "YardMove.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <optional>
#include <utility>

#include "RecordStore.h"
#include "SchemaCheck.h"

namespace tarnvale {

namespace {

// In an order that puts every vehicle before the rows that refer to it.
const QStringList kTables = {QStringLiteral("groups"),           QStringLiteral("wrecker"),
                             QStringLiteral("wrecker_version"),  QStringLiteral("reminders"),
                             QStringLiteral("lb_type"),          QStringLiteral("impound_status"),
                             QStringLiteral("impound_holds"),    QStringLiteral("impound_releases"),
                             QStringLiteral("impound_payments"), QStringLiteral("lien_steps_done")};

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

  private:
    bool failed(const QSqlQuery &query, const QString &doing)
    {
        *m_reason = QStringLiteral("Failed while %1: %2").arg(doing, engineText(query.lastError()));
        return false;
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

QString insertStatement(const Table &table, int rows)
{
    QStringList marks;
    marks.fill(QStringLiteral("?"), table.columns.size());
    const QString row = u'(' + marks.join(u',') + u')';
    QStringList values;
    values.fill(row, rows);
    return QStringLiteral("INSERT INTO %1 (%2) %3VALUES %4")
        .arg(table.name, table.columns.join(QStringLiteral(", ")),
             table.identity.isEmpty() ? QString() : QStringLiteral("OVERRIDING SYSTEM VALUE "),
             values.join(u','));
}

// Copies the rows of one table, many rows to a statement.
bool copyRows(Runner &file, Runner &server, const Table &table)
{
    const QString doing = QStringLiteral("copying table %1").arg(table.name);
    QSqlQuery source;
    if (!file.run(
            source,
            QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                .arg(table.columns.join(QStringLiteral(", ")), table.name, table.columns.first()),
            {}, QStringLiteral("reading table %1 of the file").arg(table.name)))
        return false;
    const int perStatement =
        std::max(1, std::min<int>(kMaxRows, kMaxParameters / int(table.columns.size())));
    const QString full = insertStatement(table, perStatement);
    QVariantList values;
    values.reserve(perStatement * table.columns.size());
    int rows = 0;
    QSqlQuery prepared;
    bool isPrepared = false;
    const auto flush = [&]() {
        if (rows == 0)
            return true;
        bool ok = false;
        if (rows < perStatement)
            ok = server.run(insertStatement(table, rows), values, doing);
        else if (isPrepared)
            ok = server.again(prepared, values, doing);
        else
            ok = isPrepared = server.run(prepared, full, values, doing);
        values.clear();
        rows = 0;
        return ok;
    };
    while (source.next()) {
        for (int i = 0; i < table.columns.size(); ++i)
            values << source.value(i);
        if (++rows == perStatement && !flush())
            return false;
    }
    return flush();
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

    static QAtomicInteger<int> moves;
    const QString connection = QStringLiteral("tarnvale-move-%1").arg(moves.fetchAndAddRelaxed(1));
    {
        QSqlDatabase source = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        source.setDatabaseName(file);
        source.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_READONLY"));
        QString reason;
        Runner fromFile(source, &reason);
        std::optional<qint64> version;
        if (!source.open())
            reason = engineText(source.lastError());
        else if (SchemaCheck::harden(source, SchemaCheck::Use::Inspecting, &reason) &&
                 fromFile.number(QStringLiteral("SELECT count(*) FROM sqlite_master"), {},
                                 QStringLiteral("reading the schema")))
            version = fromFile.number(QStringLiteral("PRAGMA user_version"), {},
                                      QStringLiteral("reading the schema version"));
        if (!version) {
            result.reason = QStringLiteral("%1 cannot be read as a database: %2").arg(file, reason);
        } else if (*version != SchemaCheck::kVersion) {
            result.reason = QStringLiteral("%1 holds records of an older or newer kind (schema "
                                           "version %2, this program's is %3): open it once "
                                           "in this program first.")
                                .arg(file)
                                .arg(*version)
                                .arg(SchemaCheck::kVersion);
        } else {
            RecordStore store;
            if (!store.open(uri, RecordStore::OpenMode::CreateIfMissing)) {
                result.reason = QStringLiteral("The server database %1 could not be opened: %2")
                                    .arg(shownUri, store.lastError().description);
            } else if (!store.isServer()) {
                result.reason =
                    QStringLiteral("%1 is not a PostgreSQL server address.").arg(shownUri);
            } else {
                result = [&]() {
                    Result moved;
                    QSqlDatabase target = store.database();
                    Runner toServer(target, &moved.reason);
                    for (const QString &sql : store.dialect().beginWriting(false))
                        if (!toServer.run(sql, {}, QStringLiteral("beginning the move")))
                            return moved;
                    const auto rollback = [&]() {
                        QSqlQuery(target).exec(QStringLiteral("ROLLBACK"));
                        return moved;
                    };
                    for (const QString &name : kTables) {
                        const auto rows = toServer.number(
                            QStringLiteral("SELECT count(*) FROM %1").arg(name), {},
                            QStringLiteral("counting the rows of %1 on the server").arg(name));
                        if (!rows)
                            return rollback();
                        if (*rows > 0) {
                            moved.reason =
                                QStringLiteral("The server database %1 already holds records: a "
                                               "yard moves only into an empty database. Nothing "
                                               "was written.")
                                    .arg(shownUri);
                            return rollback();
                        }
                    }
                    QList<Table> tables;
                    for (const QString &name : kTables) {
                        Table table{name, {}, {}};
                        if (!readTable(toServer, table)) {
                            if (moved.reason.isEmpty())
                                moved.reason =
                                    QStringLiteral("The server has no table %1.").arg(name);
                            return rollback();
                        }
                        Runner fromFileHere(source, &moved.reason);
                        if (!copyRows(fromFileHere, toServer, table))
                            return rollback();
                        tables << table;
                    }
                    for (const Table &table : tables) {
                        Runner fromFileHere(source, &moved.reason);
                        const QString count =
                            QStringLiteral("SELECT count(*) FROM %1").arg(table.name);
                        const auto inFile = fromFileHere.number(
                            count, {}, QStringLiteral("counting the rows of %1").arg(table.name));
                        const auto onServer = toServer.number(
                            count, {}, QStringLiteral("counting the rows of %1").arg(table.name));
                        if (!inFile || !onServer)
                            return rollback();
                        if (*inFile != *onServer) {
                            moved.reason = QStringLiteral("Table %1 has %2 rows in the file but "
                                                          "%3 on the server. Nothing was written.")
                                               .arg(table.name)
                                               .arg(*inFile)
                                               .arg(*onServer);
                            return rollback();
                        }
                        if (table.name == QLatin1String("wrecker"))
                            moved.vehicles = *inFile;
                        else if (table.name == QLatin1String("groups"))
                            moved.groups = *inFile;
                        else if (table.name == QLatin1String("reminders"))
                            moved.reminders = *inFile;
                    }
                    // Ids are never handed out twice: the sequences go on after the highest id
                    // the file ever gave, a removed row's included. Last, as setval outlives a
                    // rollback.
                    for (const Table &table : tables) {
                        if (table.identity.isEmpty())
                            continue;
                        Runner fromFileHere(source, &moved.reason);
                        const auto highest = fromFileHere.number(
                            QStringLiteral("SELECT max(coalesce((SELECT max(%1) FROM %2), 0), "
                                           "coalesce((SELECT seq FROM sqlite_sequence WHERE "
                                           "name = ?), 0))")
                                .arg(table.identity, table.name),
                            {table.name},
                            QStringLiteral("reading the highest id of %1").arg(table.name));
                        if (!highest ||
                            !toServer.run(
                                QStringLiteral("SELECT setval(pg_get_serial_sequence(?, "
                                               "?), ?, ?)"),
                                {table.name, table.identity.toLower(),
                                 std::max<qint64>(*highest, 1), *highest > 0},
                                QStringLiteral("setting the next id of %1").arg(table.name)))
                            return rollback();
                    }
                    if (!toServer.run(QStringLiteral("COMMIT"), {},
                                      QStringLiteral("committing the move")))
                        return rollback();
                    moved.moved = true;
                    return moved;
                }();
            }
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return result;
}

} // namespace tarnvale
