#include "RecordStore.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <utility>

#include "PgReader.h"
#include "SchemaCheck.h"
#include "ServerAddress.h"
#include "SqliteHandle.h"
#include "SqliteReader.h"
#include "StoreConnection.h"

namespace tarnvale {

namespace {

const QStringList kTables = {QStringLiteral("groups"), QStringLiteral("wrecker"),
                             QStringLiteral("reminders"), QStringLiteral("lb_type")};

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("tarnvale-store-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString towColumnList()
{
    QStringList names;
    for (int i = 0; i < kTowFieldCount; ++i)
        names << TowRecord::fieldName(TowField(i));
    return names.join(QLatin1String(", "));
}

// Transactions open on each connection, for the engines that do not tell.
QMutex depthMutex;
QHash<QString, int> transactionDepth;

const QString kChangedText = QStringLiteral(
    "The record was changed by another user since it was opened; nothing was saved.");

} // namespace

QString RecordStore::towSelect() const
{
    // A file that has no versions yet (open read-only) reads every record as version 0.
    return QStringLiteral("SELECT id, ") + towColumnList() +
           (m_versioned ? QStringLiteral(", coalesce((SELECT version FROM wrecker_version v "
                                         "WHERE v.id = wrecker.id), 0)")
                        : QStringLiteral(", 0")) +
           QStringLiteral(" FROM wrecker");
}

RecordStore::RecordStore() : m_connection(nextConnectionName()) {}

RecordStore::~RecordStore()
{
    closeConnection();
}

QSqlDatabase RecordStore::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool RecordStore::isOpen() const
{
    return QSqlDatabase::contains(m_connection) && database().isOpen();
}

void RecordStore::close()
{
    const bool wasOpen = isOpen();
    closeConnection();
    if (wasOpen)
        announce(StoreChange::everything());
}

void RecordStore::checkpoint()
{
    if (!isOpen() || isServer())
        return;
    // Never a wait of the window's: a program in the middle of a save makes it try again later.
    QSqlQuery pragma(database());
    pragma.exec(QStringLiteral("PRAGMA busy_timeout = 200"));
    pragma.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    pragma.exec(QStringLiteral("PRAGMA busy_timeout = 5000"));
}

void RecordStore::closeConnection()
{
    if (m_idle)
        m_idle->stop();
    checkpoint();
    m_versioned = false;
    m_dialect = SqlDialect();
    if (m_watch)
        m_watch->stop();
    if (!QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = database();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

void RecordStore::announce(const StoreChange &change)
{
    if (change.isEmpty())
        return;
    if (!m_idle) {
        m_idle = new QTimer(this);
        m_idle->setSingleShot(true);
        m_idle->setInterval(kIdleCheckpointMs);
        connect(m_idle, &QTimer::timeout, this, &RecordStore::checkpoint);
    }
    if (isOpen())
        m_idle->start();
    Q_EMIT changed(change);
}

bool RecordStore::fail(int number, const QString &description)
{
    m_error = DbError{number, description};
    if (number != DbError::kConnectionLost && connectionLost())
        m_error = lostError(description, {});
    return false;
}

DbError RecordStore::lostError(const QString &reason, const QString &doing) const
{
    return DbError{DbError::kConnectionLost,
                   QStringLiteral("The connection to the database server was lost (%1).")
                       .arg(reason.simplified()),
                   doing};
}

bool RecordStore::fail(const QSqlQuery &query, const QString &doing)
{
    return fail(query.lastError(), doing);
}

bool RecordStore::fail(const QSqlError &error, const QString &doing)
{
    m_error = DbError::fromSql(error, doing);
    const QString code = error.nativeErrorCode();
    if (connectionLost()) {
        m_error = lostError(m_error.description, doing);
    } else if (isServer() ? code == QLatin1String("55P03") // lock_not_available
                          : (m_error.number & 0xff) == 5 || (m_error.number & 0xff) == 6) {
        // SQLITE_BUSY, SQLITE_LOCKED and their extended codes.
        m_error = DbError{DbError::kBusy,
                          QStringLiteral("Another workstation is busy writing to the database: "
                                         "this one waited %1 seconds for it. Nothing was saved; "
                                         "try again in a moment.")
                              .arg(kBusyTimeoutMs / 1000),
                          doing};
    } else if (isReadOnly() && (isServer() ? code == QLatin1String("25006") ||
                                                 code == QLatin1String("42501")
                                           : (m_error.number & 0xff) == 8)) {
        // A read-only transaction, a right the role lacks; SQLITE_READONLY and its codes.
        m_error = DbError{DbError::kReadOnly, readOnlyText(), doing};
    }
    return false;
}

QString RecordStore::readOnlyText() const
{
    if (isServer())
        return QStringLiteral("The database is open read-only: ") + m_readOnlyReason +
               QStringLiteral(". Nothing was saved.");
    return QStringLiteral("The database is open read-only: it holds objects this program does "
                          "not create (") +
           m_readOnlyReason + QStringLiteral(").");
}

bool RecordStore::failNotOpen()
{
    if (connectionLost())
        return fail(DbError::kConnectionLost,
                    QStringLiteral("The connection to the database server was lost."));
    return fail(DbError::kNotOpen, QStringLiteral("The database is not open."));
}

bool RecordStore::exec(QSqlQuery &query, const QString &doing)
{
    if (!isOpen())
        return failNotOpen();
    // A statement that failed to prepare keeps the engine's reason ("no such table: ...").
    if (query.lastError().isValid())
        return fail(query, doing);
    if (query.exec())
        return true;
    return fail(query, doing);
}

bool RecordStore::exec(const QString &sql, const QVariantList &values, const QString &doing,
                       QSqlQuery *result)
{
    QSqlQuery local(database());
    QSqlQuery &query = result ? *result : local;
    query.setForwardOnly(true);
    query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    return exec(query, doing);
}

bool RecordStore::openConnection(bool readOnly)
{
    const auto failure = StoreConnection::openFile(
        m_connection, m_path,
        readOnly ? StoreConnection::Access::ReadOnly : StoreConnection::Access::Writing);
    if (!failure)
        return true;
    closeConnection();
    return fail(3051, failure->atOpen ? DbError::openFailure(m_path, failure->reason)
                                      : failure->reason);
}

bool RecordStore::open(const QString &path, OpenMode mode)
{
    // Whatever the outcome, the records in view are no longer those of this store.
    const bool opened = openFile(path, mode);
    if (!opened && !ServerAddress::isServerAddress(path))
        m_error.description = DbError::openFailure(path, m_error.description);
    announce(StoreChange::everything());
    return opened;
}

QString RecordStore::shownPath(const QString &path)
{
    if (!ServerAddress::isServerAddress(path))
        return path;
    const std::optional<ServerAddress> address = ServerAddress::parse(path);
    return address ? address->shown() : QStringLiteral("(a server address that cannot be read)");
}

bool RecordStore::openServer(const QString &uri)
{
    QString reason;
    const std::optional<ServerAddress> address = ServerAddress::parse(uri, &reason);
    if (!address)
        return fail(3044, reason);
    m_dialect = SqlDialect(SqlDialect::Engine::Postgres);
    if (!address->connect(m_connection, &reason)) {
        closeConnection();
        return fail(3051, reason);
    }
    QSqlQuery(database()).exec(QStringLiteral("SET client_min_messages = error"));
    // Two workstations starting on an empty database would both make the tables: the schema
    // is looked at and made under the write lock, so the second waits and finds it made.
    QSqlQuery probe(database());
    probe.setForwardOnly(true);
    bool ok = exec(m_dialect.holdSchemaLock(true), {}, QStringLiteral("reading the schema"),
                   &probe);
    ok = ok &&
         exec(m_dialect.countSchemaObjects(), {}, QStringLiteral("reading the schema"), &probe) &&
         probe.next();
    const bool empty = ok && probe.value(0).toLongLong() == 0;
    probe = QSqlQuery();
    // An empty database is one made for this program; one that holds other tables must have
    // ours already. A role that may not change them has the records read-only.
    if (ok && empty)
        ok = createSchema();
    else if (ok)
        ok = checkTables() && readRights() && migrate(m_readOnlyReason.isEmpty());
    if (ok)
        ok = exec(m_dialect.holdSchemaLock(false), {}, QStringLiteral("reading the schema"));
    if (!ok) {
        closeConnection();
        return false;
    }
    // A save waits for another program's writer as long as on a file, then says so.
    QSqlQuery(database()).exec(QStringLiteral("SET lock_timeout = %1").arg(kBusyTimeoutMs));
    if (isReadOnly())
        QSqlQuery(database()).exec(QStringLiteral("SET default_transaction_read_only = on"));
    m_versioned = true;
    // Every write commits a notification (see SqlDialect::beginWriting): the other connections
    // look at once instead of on the next tick. The driver tells this connection's own apart.
    QSqlDriver *driver = database().driver();
    if (driver->subscribeToNotification(m_dialect.changeChannel()))
        connect(driver, &QSqlDriver::notification, this,
                [this](const QString &, QSqlDriver::NotificationSource source, const QVariant &) {
                    if (source != QSqlDriver::SelfSource && m_watch && m_watch->isActive())
                        checkOutsideChanges();
                });
    startWatching();
    return true;
}

bool RecordStore::readRights()
{
    QSqlQuery query(database());
    if (!exec(QStringLiteral("SELECT current_user, coalesce(string_agg(c.relname, ', ' ORDER BY "
                             "c.relname), '') FROM pg_class c JOIN pg_namespace n ON n.oid = "
                             "c.relnamespace WHERE n.nspname = current_schema() AND c.relkind "
                             "= 'r' AND NOT (has_table_privilege(c.oid, 'INSERT') AND "
                             "has_table_privilege(c.oid, 'UPDATE') AND "
                             "has_table_privilege(c.oid, 'DELETE'))"),
              {}, QStringLiteral("reading the rights"), &query) ||
        !query.next())
        return false;
    if (!query.value(1).toString().isEmpty())
        m_readOnlyReason = QStringLiteral("the role '%1' may not change the tables %2")
                               .arg(query.value(0).toString(), query.value(1).toString());
    return true;
}

bool RecordStore::connectionLost() const
{
    if (m_lost)
        return true;
    if (!isServer() || !QSqlDatabase::contains(m_connection))
        return false;
    // The driver closes a connection that broke; this store never left one so.
    if (!isOpen())
        return true;
    const QVariant handle = database().driver()->handle();
    if (!handle.isValid() || (qstrcmp(handle.typeName(), "pg_conn*") != 0 &&
                              qstrcmp(handle.typeName(), "PGconn*") != 0))
        return false;
    PGconn *conn = *static_cast<PGconn *const *>(handle.constData());
    return !conn || PQstatus(conn) != CONNECTION_OK;
}

bool RecordStore::reconnect()
{
    // A connection the server ended is known as lost only once it is used.
    if (isServer() && !connectionLost())
        QSqlQuery(database()).exec(QStringLiteral("SELECT 1"));
    if (!connectionLost())
        return isOpen();
    const QString path = m_path;
    m_lost = !open(path, OpenMode::ExistingOnly);
    if (m_lost)
        m_error = DbError{DbError::kConnectionLost,
                          QStringLiteral("The connection to the database server was lost, and "
                                         "the server does not answer yet (%1).")
                              .arg(m_error.description.simplified())};
    return !m_lost;
}

bool RecordStore::openFile(const QString &path, OpenMode mode)
{
    closeConnection();
    m_error = {};
    m_lost = false;
    m_readOnlyReason.clear();
    m_path = path;
    if (ServerAddress::isServerAddress(path))
        return openServer(path);
    const QFileInfo info(path);
    const bool existed = info.exists();
    if (!existed && mode == OpenMode::ExistingOnly)
        return fail(3024, QStringLiteral("Could not find file '%1'.").arg(path));
    if (existed && !info.isFile())
        return fail(3044, QStringLiteral("'%1' is not a valid path.").arg(path));
    // A file that exists but holds nothing was cut short (a full disk, a failed copy); taking
    // it for a new database would show an empty yard where the records should be.
    if (existed && info.size() == 0)
        return fail(3049, QStringLiteral("The database file is empty (0 bytes): it is damaged or "
                                         "was not copied whole. Restore a backup, or remove the "
                                         "file to start a new database."));

    if (!openConnection(false))
        return false;
    std::optional<QStringList> foreign = QStringList();
    {
        QSqlDatabase db = database();
        // Reading the schema fails for a file that is not a database, and modifies nothing.
        QSqlQuery probe(db);
        probe.setForwardOnly(true);
        bool ok = probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && probe.next();
        if (!ok)
            fail(probe, QStringLiteral("reading the schema"));
        const bool empty = ok && probe.value(0).toLongLong() == 0;
        probe = QSqlQuery();
        if (ok && empty && !existed)
            ok = createSchema();
        else if (ok)
            ok = checkTables() && migrate(false);
        if (ok && existed) {
            QString reason;
            foreign = SchemaCheck::foreignObjects(db, &reason);
            if (!foreign)
                ok = fail(3051, reason);
        }
        // Only a file of nothing but our own objects is brought up to date, and its search
        // index made again when it does not hold what the table does.
        if (ok && existed && foreign->isEmpty())
            ok = migrate(true);
        if (ok && existed && foreign->isEmpty() && SchemaCheck::engineHasFts5(db) &&
            SchemaCheck::hasSearchIndex(db) && !searchIndexMatches())
            ok = makeSearchIndex(SchemaCheck::kVersion);
        if (ok && foreign->isEmpty()) {
            QSqlQuery pragma(db);
            pragma.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
            // The triggers that keep the search index in step write to a virtual table, which
            // SQLite allows only in a trusted schema: every object in this one is our own.
            pragma.exec(QStringLiteral("PRAGMA trusted_schema = ON"));
            // Readers do not wait for a writer nor block it: other programs on this machine
            // can use the file at the same time. Where the file system cannot hold the
            // shared index WAL needs, SQLite keeps its rollback journal.
            pragma.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
            m_versioned = true;
            startWatching();
            return true;
        }
        if (!ok) {
            db = QSqlDatabase();
            closeConnection();
            // A file made by this call and left without its tables would be refused as empty
            // at the next start: it goes again, and the next start makes it afresh.
            if (!existed)
                QFile::remove(path);
            return false;
        }
    }
    // Read-only: the records can still be seen and printed, and nothing in the file can
    // change them.
    closeConnection();
    if (!openConnection(true))
        return false;
    m_readOnlyReason = SchemaCheck::describe(*foreign);
    m_versioned = hasVersionTable();
    startWatching();
    return true;
}

bool RecordStore::hasVersionTable()
{
    QSqlQuery query(database());
    return exec(m_dialect.tableExists(), {QStringLiteral("wrecker_version")},
                QStringLiteral("reading the schema"), &query) &&
           query.next() && query.value(0).toInt() == 1;
}

bool RecordStore::checkTables()
{
    QSqlDatabase db = database();
    for (const QString &table : kTables) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT * FROM \"%1\" LIMIT 0").arg(table)))
            return fail(query, QStringLiteral("opening table ") + table);
    }
    return true;
}

bool RecordStore::createSchema()
{
    QSqlDatabase db = database();
    TransactionGuard guard(db);
    if (!guard.begun())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    const QStringList statements = m_dialect.createStatements(
        SchemaCheck::kVersion, !isServer() && SchemaCheck::engineHasFts5(db));
    for (const QString &sql : statements) {
        QSqlQuery query(db);
        if (!query.exec(sql))
            return fail(query, QStringLiteral("creating the tables"));
    }
    if (!guard.commit())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    return true;
}

bool RecordStore::migrate(bool applySteps)
{
    // Each schema step runs in its own transaction and raises user_version. Version 0 is a
    // database made elsewhere with the four tables: it is taken as version 1.
    QSqlDatabase db = database();
    QSqlQuery query(db);
    if (!query.exec(m_dialect.readVersion()) || !query.next())
        return fail(query, QStringLiteral("reading the schema version"));
    const int version = query.value(0).toInt();
    query = QSqlQuery();
    if (version > SchemaCheck::kVersion)
        return fail(3343, QStringLiteral("The database was made by a newer version of the program "
                                         "(schema version %1).").arg(version));
    if (!applySteps)
        return true;
    // Version 2: the tables that keep more about a vehicle (holds, release, payments).
    // Version 3: the search index, made and filled by the store. Version 4: the tree's index.
    // Version 6: when and by whom each payment was taken, and what a refund gives back.
    // Version 7: the indexes of the vehicles still in the yard.
    for (int step = std::max(version, 1) + 1; step <= SchemaCheck::kVersion; ++step) {
        if (step == 3) {
            if (!isServer() && !makeSearchIndex(3))
                return false;
            continue;
        }
        TransactionGuard guard(db, TransactionGuard::Lock::Writing);
        if (!guard.begun())
            return fail(guard.lastError(), QStringLiteral("writing to the database"));
        // Another program may have taken the step since this one read the version.
        QSqlQuery again(db);
        if (!again.exec(m_dialect.readVersion()) || !again.next())
            return fail(again, QStringLiteral("reading the schema version"));
        if (again.value(0).toInt() >= step)
            continue;
        again = QSqlQuery();
        QStringList statements = SchemaCheck::stepStatements(step);
        statements << m_dialect.writeVersion(step);
        for (const QString &sql : statements) {
            QSqlQuery change(db);
            if (!change.exec(m_dialect.schemaStatement(sql)))
                return fail(change, QStringLiteral("upgrading the tables to version %1").arg(step));
        }
        if (!guard.commit())
            return fail(guard.lastError(), QStringLiteral("writing to the database"));
    }
    // A file whose search index is missing or incomplete gets it made again; without FTS5 in
    // the engine, searches scan instead.
    if (version >= 3 && !isServer() && SchemaCheck::engineHasFts5(db) &&
        !SchemaCheck::hasSearchIndex(db))
        return makeSearchIndex(SchemaCheck::kVersion);
    return true;
}

bool RecordStore::makeSearchIndex(int version)
{
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    QStringList statements{QStringLiteral("DROP TRIGGER IF EXISTS wrecker_fts_insert"),
                           QStringLiteral("DROP TRIGGER IF EXISTS wrecker_fts_delete"),
                           QStringLiteral("DROP TRIGGER IF EXISTS wrecker_fts_update"),
                           QStringLiteral("DROP TABLE IF EXISTS wrecker_fts")};
    const bool fts5 = SchemaCheck::engineHasFts5(db);
    if (fts5)
        statements << SchemaCheck::searchIndexStatements();
    statements << QStringLiteral("PRAGMA user_version = %1").arg(version);
    for (const QString &sql : statements) {
        QSqlQuery query(db);
        if (!query.exec(sql))
            return fail(query, QStringLiteral("making the search index"));
    }
    if (fts5) {
        QSqlQuery range(db);
        if (!range.exec(QStringLiteral("SELECT min(id), max(id), count(*) FROM wrecker")) ||
            !range.next())
            return fail(range, QStringLiteral("making the search index"));
        const qint64 first = range.value(0).toLongLong(), last = range.value(1).toLongLong();
        const qint64 total = range.value(2).toLongLong();
        range = QSqlQuery();
        QSqlQuery fill(db);
        fill.prepare(SchemaCheck::searchIndexFill());
        constexpr qint64 kChunk = 20000;
        for (qint64 from = first; total > 0 && from <= last; from += kChunk) {
            fill.bindValue(0, from);
            fill.bindValue(1, qMin(last, from + kChunk - 1));
            if (!exec(fill, QStringLiteral("making the search index")))
                return false;
            if (m_progress)
                m_progress(qMin(last, from + kChunk - 1) - first + 1, last - first + 1);
        }
    }
    if (!guard.commit())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    return true;
}

bool RecordStore::rebuildSearchIndex()
{
    if (!isOpen())
        return failNotOpen();
    if (isServer() || !SchemaCheck::engineHasFts5(database()))
        return true;
    return makeSearchIndex(SchemaCheck::kVersion);
}

// Whether the search index holds what the table does, at little cost whatever its size: as
// many rows as the table, a sample of records found under their own text, and for up to
// 50,000 records FTS5's own check of the index. A damaged index fails one of them.
bool RecordStore::searchIndexMatches()
{
    QSqlDatabase db = database();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT count(*), min(id), max(id) FROM wrecker")) ||
        !query.next())
        return false;
    const qint64 count = query.value(0).toLongLong();
    const qint64 first = query.value(1).toLongLong(), last = query.value(2).toLongLong();
    // The index's own row count opens its "averages" record: an SQLite varint.
    if (!query.exec(QStringLiteral("SELECT block FROM wrecker_fts_data WHERE id = 1")))
        return false;
    const QByteArray averages = query.next() ? query.value(0).toByteArray() : QByteArray();
    qint64 indexed = 0;
    for (int i = 0; i < averages.size() && i < 8; ++i) {
        indexed = (indexed << 7) | (averages[i] & 0x7f);
        if (!(averages[i] & 0x80))
            break;
    }
    if (indexed != count)
        return false;
    if (count <= 50000 &&
        !query.exec(QStringLiteral("INSERT INTO wrecker_fts(wrecker_fts) VALUES ('integrity-check')")))
        return false;
    const QStringList columns = SchemaCheck::searchIndexColumns();
    QSqlQuery row(db), found(db);
    row.setForwardOnly(true);
    found.setForwardOnly(true);
    row.prepare(QStringLiteral("SELECT %1 FROM wrecker WHERE id >= ? ORDER BY id LIMIT 1")
                    .arg(columns.join(QLatin1String(", "))));
    found.prepare(QStringLiteral("SELECT count(*) FROM wrecker_fts WHERE wrecker_fts MATCH ? AND "
                                 "rowid = (SELECT id FROM wrecker WHERE id >= ? ORDER BY id LIMIT 1)"));
    constexpr int kSamples = 16;
    for (int k = 0; k < kSamples && count > 0; ++k) {
        const qint64 from = first + (last - first) * k / (kSamples - 1);
        row.bindValue(0, from);
        if (!row.exec() || !row.next())
            return false;
        for (int c = 0; c < columns.size(); ++c) {
            const QList<uint> text = SchemaCheck::searchIndexForm(row.value(c).toString()).toUcs4();
            if (text.size() < 3)
                continue;
            // One trigram of the record's text, in that column.
            const QString trigram = QString::fromUcs4(reinterpret_cast<const char32_t *>(text.data()), 3);
            found.bindValue(0, QStringLiteral("{%1} : \"%2\"")
                                   .arg(columns[c], QString(trigram).replace(u'"', QLatin1String("\"\""))));
            found.bindValue(1, from);
            if (!found.exec() || !found.next() || found.value(0).toLongLong() != 1)
                return false;
            break;
        }
    }
    return true;
}

std::optional<QList<GroupRecord>> RecordStore::groups()
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT GROUPID, groupname FROM groups ORDER BY GROUPID"));
    if (!exec(query, QStringLiteral("reading the groups")))
        return std::nullopt;
    QList<GroupRecord> result;
    while (query.next())
        result.append(GroupRecord{query.value(0).toLongLong(), query.value(1).toString()});
    return result;
}

std::optional<qint64> RecordStore::addGroup(const QString &name)
{
    // A blank name would show as an empty line in every list of groups.
    if (name.trimmed().isEmpty()) {
        fail(DbError::kBlankName, QStringLiteral("A group name cannot be empty or only blanks."));
        return std::nullopt;
    }
    if (!isOpen()) {
        failNotOpen();
        return std::nullopt;
    }
    // Under the write lock, as every write: on a server taking it tells the other workstations.
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return std::nullopt;
    }
    QSqlQuery query(db);
    query.prepare(m_dialect.insertReturningId(
        QStringLiteral("INSERT INTO groups (groupname) VALUES (?)"), QStringLiteral("GROUPID")));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("adding a group")))
        return std::nullopt;
    const std::optional<qint64> id = m_dialect.insertedId(query);
    query.finish();
    if (!guard.commit()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return std::nullopt;
    }
    m_knownGroups.append(name);
    StoreChange change;
    change.addedGroups.append(name);
    announce(change);
    return id;
}

qint64 RecordStore::groupIdByName(const QString &name)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT GROUPID FROM groups WHERE groupname = ? "
                                 "ORDER BY GROUPID LIMIT 1"));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("looking up a group")) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

qint64 RecordStore::countVehiclesInGroup(const QString &name)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT count(*) FROM wrecker WHERE groupname = ?"));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("counting the vehicles of a group")) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

RecordStore::RemoveGroupResult RecordStore::removeGroupWithVehicles(const QString &name)
{
    if (!isOpen()) {
        failNotOpen();
        return RemoveGroupResult::Failed;
    }
    // The write lock first: a vehicle added to the group by another program either is in
    // the table when the group's vehicles are removed or finds the group gone.
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return RemoveGroupResult::Failed;
    }
    QSqlQuery groups(db);
    groups.prepare(QStringLiteral("DELETE FROM groups WHERE groupname = ?"));
    groups.addBindValue(name);
    if (!exec(groups, QStringLiteral("removing a group")))
        return RemoveGroupResult::Failed;
    const bool hadGroup = groups.numRowsAffected() > 0;
    StoreChange change;
    if (hadGroup)
        change.removedGroups.append(name);
    QSqlQuery ids(db);
    ids.setForwardOnly(true);
    ids.prepare(QStringLiteral("SELECT id FROM wrecker WHERE groupname = ? ORDER BY id"));
    ids.addBindValue(name);
    if (!exec(ids, QStringLiteral("reading the vehicles of a group")))
        return RemoveGroupResult::Failed;
    while (ids.next())
        change.removedRecords.append(ids.value(0).toLongLong());
    ids = QSqlQuery();
    std::optional<qint64> revision;
    if (!change.removedRecords.isEmpty() || hadGroup) {
        revision = nextRevision();
        if (!revision ||
            !exec(QStringLiteral("INSERT INTO wrecker_version (id, revision, removed) "
                                 "SELECT id, CAST(? AS BIGINT), 1 FROM wrecker "
                                 "WHERE groupname = ? "
                                 "ON CONFLICT (id) DO UPDATE SET revision = excluded.revision, "
                                 "removed = 1"),
                  {*revision, name}, QStringLiteral("removing the vehicles of a group")))
            return RemoveGroupResult::Failed;
    }
    QSqlQuery vehicles(db);
    vehicles.prepare(QStringLiteral("DELETE FROM wrecker WHERE groupname = ?"));
    vehicles.addBindValue(name);
    if (!exec(vehicles, QStringLiteral("removing the vehicles of a group")))
        return RemoveGroupResult::Failed;
    if (!guard.commit()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return RemoveGroupResult::Failed;
    }
    if (revision)
        m_ownRevisions.append(*revision);
    m_knownGroups.removeAll(name);
    announce(change);
    return hadGroup ? RemoveGroupResult::Removed : RemoveGroupResult::NoGroupRow;
}

TowRecord RecordStore::readTowRecord(const QSqlQuery &query)
{
    TowRecord record;
    record.id = query.value(0).toLongLong();
    for (int i = 0; i < kTowFieldCount; ++i)
        record.values[size_t(i)] = query.value(i + 1).toString();
    record.version = query.value(kTowFieldCount + 1).toLongLong();
    return record;
}

std::optional<QList<TowRecord>> RecordStore::towRecords()
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(towSelect() + QStringLiteral(" ORDER BY id"));
    if (!exec(query, QStringLiteral("reading the tow records")))
        return std::nullopt;
    QList<TowRecord> result;
    while (query.next())
        result.append(readTowRecord(query));
    return result;
}

std::optional<QList<TowRecord>> RecordStore::towRecordsInGroup(const QString &name)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(towSelect() + QStringLiteral(" WHERE groupname = ? ORDER BY id"));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("reading the vehicles of a group")))
        return std::nullopt;
    QList<TowRecord> result;
    while (query.next())
        result.append(readTowRecord(query));
    return result;
}

std::optional<QList<qint64>> RecordStore::towRecordIdsInGroup(const QString &name)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id FROM wrecker WHERE groupname = ? ORDER BY id"));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("reading the vehicles of a group")))
        return std::nullopt;
    QList<qint64> result;
    while (query.next())
        result.append(query.value(0).toLongLong());
    return result;
}

std::optional<QList<QPair<qint64, QString>>> RecordStore::towFieldInGroup(const QString &name,
                                                                          TowField field)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id, %1 FROM wrecker WHERE groupname = ? ORDER BY id")
                      .arg(TowRecord::fieldName(field)));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("reading the vehicles of a group")))
        return std::nullopt;
    QList<QPair<qint64, QString>> result;
    while (query.next())
        result.append({query.value(0).toLongLong(), query.value(1).toString()});
    return result;
}

bool RecordStore::scanVehicleBriefs(const std::function<void(const VehicleBrief &)> &visit)
{
    return scanBriefs(QString(), {}, visit);
}

bool RecordStore::scanGroupBriefs(const QString &groupName,
                                  const std::function<void(const VehicleBrief &)> &visit)
{
    return scanBriefs(QStringLiteral(" WHERE groupname = ?"), {groupName}, visit);
}

bool RecordStore::scanLooseBriefs(const std::function<void(const VehicleBrief &)> &visit)
{
    // Each range is read from the tree's index alone; an order asked of SQLite would make it
    // read the whole table instead.
    for (const QString &condition : m_dialect.looseGroupConditions())
        if (!scanBriefs(QStringLiteral(" WHERE ") + condition, {}, visit, false))
            return false;
    return true;
}

bool RecordStore::scanBriefsById(const QList<qint64> &ids,
                                 const std::function<void(const VehicleBrief &)> &visit)
{
    if (ids.isEmpty())
        return true;
    QVariantList binds;
    binds.reserve(ids.size());
    for (const qint64 id : ids)
        binds.append(id);
    return scanBriefs(QStringLiteral(" WHERE id = ?"), binds, visit);
}

bool RecordStore::scanBriefs(const QString &where, const QVariantList &binds,
                             const std::function<void(const VehicleBrief &)> &visit, bool inOrder)
{
    const QByteArray sql = QByteArray("SELECT id, groupname, vehyear, vehmake, vehmodel, vehcolor "
                                      "FROM wrecker") +
                           where.toUtf8() + (inOrder ? " ORDER BY id" : "");
    if (!isOpen())
        return failNotOpen();
    QSqlDatabase db = database();
    // The rows of the statement run in a reader (SqliteReader or PgReader) visited; false when
    // reading failed.
    const auto visitRows = [&visit](auto &reader) {
        VehicleBrief brief;
        auto step = reader.step();
        for (; step == decltype(step)::Row; step = reader.step()) {
            brief.id = reader.integer(0);
            brief.groupname = reader.text(1);
            brief.vehyear = reader.text(2);
            brief.vehmake = reader.text(3);
            brief.vehmodel = reader.text(4);
            brief.vehcolor = reader.text(5);
            visit(brief);
        }
        return step != decltype(step)::Failed;
    };
    const qsizetype runs = binds.isEmpty() ? 1 : binds.size();
    SqliteReader reader(db);
    if (reader.isOpen()) {
        if (!reader.prepare(sql))
            return fail(reader.errorCode(), reader.errorText());
        for (qsizetype run = 0; run < runs; ++run) {
            if (!binds.isEmpty()) {
                const QVariant &value = binds.at(run);
                const bool bound = value.typeId() == QMetaType::LongLong
                                       ? reader.rebind(value.toLongLong())
                                       : reader.rebind(value.toString());
                if (!bound)
                    return fail(reader.errorCode(), reader.errorText());
            }
            if (!visitRows(reader))
                return fail(reader.errorCode(), reader.errorText());
        }
        return true;
    }
    PgReader server(db);
    if (server.isOpen()) {
        for (qsizetype run = 0; run < runs; ++run) {
            if (!server.exec(sql, binds.isEmpty() ? QList<QByteArray>()
                                                  : QList{binds.at(run).toString().toUtf8()}) ||
                !visitRows(server))
                return fail(server.errorCode(), server.errorText());
        }
        return true;
    }

    // Any other driver, or another SQLite build: the same rows through Qt SQL.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QString::fromUtf8(sql));
    QByteArray columns[5];
    VehicleBrief brief;
    for (qsizetype run = 0; run < runs; ++run) {
        if (!binds.isEmpty())
            query.bindValue(0, binds.at(run));
        if (!exec(query, QStringLiteral("reading the vehicles")))
            return false;
        while (query.next()) {
            brief.id = query.value(0).toLongLong();
            for (int c = 0; c < 5; ++c)
                columns[c] = query.value(c + 1).toString().toUtf8();
            brief.groupname = columns[0];
            brief.vehyear = columns[1];
            brief.vehmake = columns[2];
            brief.vehmodel = columns[3];
            brief.vehcolor = columns[4];
            visit(brief);
        }
        if (query.lastError().isValid())
            return fail(query, QStringLiteral("reading the vehicles"));
    }
    return true;
}

std::optional<TowRecord> RecordStore::findVehicleById(const QString &idText)
{
    // The text is compared as a number: "12", " 12 " and "12.0" all name record 12.
    bool ok = false;
    const double number = idText.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number) || number != std::floor(number) || std::fabs(number) > 9.0e18)
        return std::nullopt;
    return towRecord(qint64(number));
}

std::optional<TowRecord> RecordStore::towRecord(qint64 id)
{
    m_error = {};
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(towSelect() + QStringLiteral(" WHERE id = ?"));
    query.addBindValue(id);
    if (!exec(query, QStringLiteral("looking up a tow record")) || !query.next())
        return std::nullopt;
    return readTowRecord(query);
}

std::optional<TowRecord> RecordStore::neighbour(qint64 id, Direction direction)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(towSelect() + (direction == Direction::Next
                                     ? QStringLiteral(" WHERE id > ? ORDER BY id LIMIT 1")
                                     : QStringLiteral(" WHERE id < ? ORDER BY id DESC LIMIT 1")));
    query.addBindValue(id);
    if (!exec(query, QStringLiteral("stepping through the tow records")) || !query.next())
        return std::nullopt;
    return readTowRecord(query);
}

std::optional<qint64> RecordStore::nextRevision()
{
    // Under the write lock, so no other connection takes the same number.
    QSqlQuery query(database());
    if (isServer() &&
        !exec(m_dialect.takeWriteLock(), {}, QStringLiteral("numbering a change"), &query))
        return std::nullopt;
    if (!exec(QStringLiteral("SELECT coalesce(max(revision), 0) + 1 FROM wrecker_version"), {},
              QStringLiteral("numbering a change"), &query) ||
        !query.next())
        return std::nullopt;
    return query.value(0).toLongLong();
}

std::optional<bool> RecordStore::hasGroup(const QString &name)
{
    QSqlQuery query(database());
    if (!exec(QStringLiteral("SELECT count(*) FROM groups WHERE groupname = ?"), {name},
              QStringLiteral("looking up a group"), &query) ||
        !query.next())
        return std::nullopt;
    return query.value(0).toLongLong() > 0;
}

bool RecordStore::groupGone(const QString &name, GroupCheck check, StoreChange &change)
{
    if (check == GroupCheck::None || name.isEmpty())
        return false;
    const std::optional<bool> exists = hasGroup(name);
    if (!exists)
        return true;
    if (*exists)
        return false;
    if (check == GroupCheck::Create) {
        if (name.trimmed().isEmpty())
            return !fail(DbError::kBlankName,
                         QStringLiteral("A group name cannot be empty or only blanks."));
        if (!exec(QStringLiteral("INSERT INTO groups (groupname) VALUES (?)"), {name},
                  QStringLiteral("adding a group")))
            return true;
        change.addedGroups.append(name);
        return false;
    }
    fail(DbError::kGroupGone, QStringLiteral("The group '%1' no longer exists: it was removed "
                                             "while the vehicle was being edited.")
                                  .arg(name));
    return true;
}

// A group made for a record goes out first, so that views have it when the record comes.
void RecordStore::announceWithGroups(StoreChange change)
{
    for (const QString &name : std::as_const(change.addedGroups))
        m_knownGroups.append(name);
    StoreChange groups;
    groups.addedGroups = std::exchange(change.addedGroups, {});
    announce(groups);
    announce(change);
}

std::optional<qint64> RecordStore::addTowRecord(const TowRecord &record, GroupCheck check)
{
    if (!isOpen()) {
        failNotOpen();
        return std::nullopt;
    }
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return std::nullopt;
    }
    StoreChange change;
    if (groupGone(record.value(TowField::groupname), check, change))
        return std::nullopt;
    QStringList marks;
    for (int i = 0; i < kTowFieldCount; ++i)
        marks << QStringLiteral("?");
    QSqlQuery query(db);
    query.prepare(m_dialect.insertReturningId(QStringLiteral("INSERT INTO wrecker (") +
                                                  towColumnList() + QStringLiteral(") VALUES (") +
                                                  marks.join(u',') + u')',
                                              QStringLiteral("id")));
    for (const QString &value : record.values)
        query.addBindValue(value.isNull() ? QString(u""_qs) : value);
    if (!exec(query, QStringLiteral("adding a tow record")))
        return std::nullopt;
    const std::optional<qint64> newId = m_dialect.insertedId(query);
    if (!newId) {
        fail(1, QStringLiteral("The database gave no id for the new tow record."));
        return std::nullopt;
    }
    const qint64 id = *newId;
    query.finish();
    const std::optional<qint64> revision = nextRevision();
    if (!revision ||
        !exec(QStringLiteral("INSERT INTO wrecker_version (id, version, added, revision) "
                             "VALUES (?, 0, ?, ?)"),
              {id, *revision, *revision}, QStringLiteral("adding a tow record")))
        return std::nullopt;
    if (!guard.commit()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return std::nullopt;
    }
    m_ownRevisions.append(*revision);
    change.addedRecords.append(id);
    announceWithGroups(change);
    return id;
}

bool RecordStore::updateTowRecord(const TowRecord &record, GroupCheck check)
{
    if (!isOpen())
        return failNotOpen();
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    QSqlQuery current(database());
    if (!exec(QStringLiteral("SELECT groupname, coalesce((SELECT version FROM wrecker_version v "
                             "WHERE v.id = wrecker.id), 0) FROM wrecker WHERE id = ?"),
              {record.id}, QStringLiteral("saving a tow record"), &current))
        return false;
    if (!current.next())
        return fail(DbError::kNoCurrentRow, QStringLiteral("No current record."));
    const QString storedGroup = current.value(0).toString();
    const qint64 storedVersion = current.value(1).toLongLong();
    current.finish();
    if (storedVersion != record.version)
        return fail(DbError::kChangedElsewhere, kChangedText);
    const QString &group = record.value(TowField::groupname);
    StoreChange change;
    if (group != storedGroup && groupGone(group, check, change))
        return false;

    QStringList sets;
    for (int i = 0; i < kTowFieldCount; ++i)
        sets << TowRecord::fieldName(TowField(i)) + QStringLiteral(" = ?");
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE wrecker SET ") + sets.join(QLatin1String(", "))
                  + QStringLiteral(" WHERE id = ?"));
    for (const QString &value : record.values)
        query.addBindValue(value.isNull() ? QString(u""_qs) : value);
    query.addBindValue(record.id);
    if (!exec(query, QStringLiteral("saving a tow record")))
        return false;
    // The stored version is the one the record was read with: it becomes one more.
    const std::optional<qint64> revision = raiseVersion(record.id);
    if (!revision)
        return false;
    if (!guard.commit())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    m_ownRevisions.append(*revision);
    change.changedRecords.append(record.id);
    announceWithGroups(change);
    return true;
}

bool RecordStore::removeTowRecord(qint64 id)
{
    if (!isOpen())
        return failNotOpen();
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    QSqlQuery query(database());
    if (!exec(QStringLiteral("DELETE FROM wrecker WHERE id = ?"), {id},
              QStringLiteral("removing a tow record"), &query))
        return false;
    if (query.numRowsAffected() == 0)
        return true;
    const std::optional<qint64> revision = nextRevision();
    if (!revision ||
        !exec(QStringLiteral("INSERT INTO wrecker_version (id, revision, removed) VALUES (?, ?, 1) "
                             "ON CONFLICT (id) DO UPDATE SET revision = excluded.revision, "
                             "removed = 1"),
              {id, *revision}, QStringLiteral("removing a tow record")))
        return false;
    if (!guard.commit())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    m_ownRevisions.append(*revision);
    StoreChange change;
    change.removedRecords.append(id);
    announce(change);
    return true;
}

qint64 RecordStore::towRecordCount()
{
    if (!isOpen()) {
        failNotOpen();
        return -1;
    }
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM wrecker")) || !query.next()) {
        fail(query, QStringLiteral("counting the tow records"));
        return -1;
    }
    return query.value(0).toLongLong();
}

void RecordStore::announceRecordsChanged(const QList<qint64> &ids, const QList<qint64> &revisions)
{
    m_ownRevisions.append(revisions);
    StoreChange change;
    change.changedRecords = ids;
    announce(change);
}

std::optional<qint64> RecordStore::raiseVersion(qint64 id)
{
    return bumpVersionRow(id, true);
}

std::optional<qint64> RecordStore::raiseRevision(qint64 id)
{
    return bumpVersionRow(id, false);
}

std::optional<qint64> RecordStore::bumpVersionRow(qint64 id, bool fieldsChanged)
{
    if (!m_versioned)
        return 0;
    const std::optional<qint64> revision = nextRevision();
    const QString sql = fieldsChanged
        ? QStringLiteral("INSERT INTO wrecker_version (id, version, revision) VALUES (?, 1, ?) "
                         "ON CONFLICT (id) DO UPDATE SET version = wrecker_version.version + 1, "
                         "revision = excluded.revision")
        : QStringLiteral("INSERT INTO wrecker_version (id, version, revision) VALUES (?, 0, ?) "
                         "ON CONFLICT (id) DO UPDATE SET revision = excluded.revision");
    if (!revision || !exec(sql, {id, *revision}, QStringLiteral("saving a tow record")))
        return std::nullopt;
    return revision;
}

bool RecordStore::backupTo(const QString &destinationPath)
{
    if (isServer())
        return fail(3051, QStringLiteral("A database on a server is backed up with the server's "
                                         "own tools."));
    QSqlQuery query(database());
    query.prepare(QStringLiteral("VACUUM INTO ?"));
    query.addBindValue(destinationPath);
    if (!exec(query, QStringLiteral("copying the database")))
        return false;
    // The copy keeps the WAL mark of a database in WAL mode, and would then grow -wal and -shm
    // files beside it whenever it is opened: it is put back to a rollback journal, one file.
    sqlite3 *copy = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(destinationPath).constData(), &copy,
                             SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(copy, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const QString reason = QString::fromUtf8(copy ? sqlite3_errmsg(copy) : sqlite3_errstr(rc));
        rc = copy ? sqlite3_extended_errcode(copy) : rc;
        sqlite3_close(copy);
        return fail(rc, reason);
    }
    sqlite3_close(copy);
    return true;
}

void RecordStore::announceReplaced()
{
    startWatching();
    announce(StoreChange::everything());
}

void RecordStore::setWatchInterval(int milliseconds)
{
    if (!m_watch) {
        m_watch = new QTimer(this);
        connect(m_watch, &QTimer::timeout, this, [this] { checkOutsideChanges(); });
    }
    m_watchInterval = milliseconds;
    restartWatch();
}

void RecordStore::restartWatch()
{
    if (!m_watch)
        return;
    // A server announces every write: its timer only catches writers that do not (psql).
    int interval = m_watchInterval;
    if (interval > 0 && isServer())
        interval = std::max(interval, kServerWatchMs);
    m_watch->setInterval(interval);
    if (interval > 0 && isOpen())
        m_watch->start();
    else
        m_watch->stop();
}

void RecordStore::startWatching()
{
    m_dataVersion = -1;
    m_seenRevision = 0;
    m_ownRevisions.clear();
    m_knownGroups.clear();
    QSqlQuery query(database());
    if (!isServer() &&
        exec(QStringLiteral("PRAGMA data_version"), {}, QStringLiteral("watching for changes"),
             &query) &&
        query.next())
        m_dataVersion = query.value(0).toLongLong();
    if (m_versioned &&
        exec(QStringLiteral("SELECT coalesce(max(revision), 0) FROM wrecker_version"), {},
             QStringLiteral("watching for changes"), &query) &&
        query.next())
        m_seenRevision = query.value(0).toLongLong();
    if (const auto list = groups())
        for (const GroupRecord &group : *list)
            m_knownGroups.append(group.name);
    restartWatch();
}

StoreChange RecordStore::checkOutsideChanges()
{
    StoreChange change;
    if (!isOpen() || !m_versioned)
        return change;
    // Cheap enough for a timer: the number moves only when another connection commits. A
    // server has no such number; there the look below reads only the revisions' index and
    // the groups.
    QSqlQuery query(database());
    qint64 dataVersion = -1;
    if (!isServer()) {
        if (!exec(QStringLiteral("PRAGMA data_version"), {},
                  QStringLiteral("watching for changes"), &query) ||
            !query.next())
            return change;
        dataVersion = query.value(0).toLongLong();
        if (dataVersion == m_dataVersion)
            return change;
    }

    // Records and groups from one snapshot of the database.
    QSqlDatabase db = database();
    TransactionGuard snapshot(db);
    if (!exec(QStringLiteral("SELECT id, added, revision, removed FROM wrecker_version "
                             "WHERE revision > ? ORDER BY id"),
              {m_seenRevision}, QStringLiteral("watching for changes"), &query))
        return change;
    qint64 newest = m_seenRevision;
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        const qint64 added = query.value(1).toLongLong();
        const qint64 revision = query.value(2).toLongLong();
        const bool removed = query.value(3).toLongLong() != 0;
        newest = std::max(newest, revision);
        // Added elsewhere since the last look: this connection's views have not seen it.
        const bool unseen = added > m_seenRevision && !m_ownRevisions.contains(added);
        if (removed) {
            if (!unseen && !m_ownRevisions.contains(revision))
                change.removedRecords.append(id);
        } else if (unseen) {
            change.addedRecords.append(id);
        } else if (!m_ownRevisions.contains(revision)) {
            change.changedRecords.append(id);
        }
    }
    const std::optional<QList<GroupRecord>> now = groups();
    if (!now)
        return StoreChange();
    QStringList names;
    for (const GroupRecord &group : *now) {
        names.append(group.name);
        if (!m_knownGroups.contains(group.name))
            change.addedGroups.append(group.name);
    }
    for (const QString &name : std::as_const(m_knownGroups))
        if (!names.contains(name))
            change.removedGroups.append(name);
    snapshot.commit();

    m_dataVersion = dataVersion;
    m_seenRevision = newest;
    m_knownGroups = names;
    m_ownRevisions.removeIf([newest](qint64 revision) { return revision <= newest; });
    announce(change);
    return change;
}

TransactionGuard::TransactionGuard(QSqlDatabase db, Lock lock)
    : m_db(std::move(db)), m_dialect(SqlDialect::of(m_db))
{
    const QString name = m_db.connectionName();
    int depth = 0;
    {
        QMutexLocker locker(&depthMutex);
        depth = transactionDepth.value(name);
    }
    sqlite3 *engine = m_dialect.isServer() ? nullptr : SqliteHandle::of(m_db);
    if (lock == Lock::Writing && (engine || m_dialect.isServer())) {
        // Inside a transaction someone else began (a bulk load), a savepoint of its own.
        m_nested = engine ? sqlite3_get_autocommit(engine) == 0 : depth > 0;
        m_ownStatements = true;
        m_begun = true;
        for (const QString &sql : m_dialect.beginWriting(m_nested)) {
            QSqlQuery begin(m_db);
            m_begun = begin.exec(sql);
            m_error = begin.lastError();
            if (!m_begun)
                break;
        }
        // A lock not taken leaves the transaction begun: it is rolled back, not left open.
        if (!m_begun && depth == 0)
            QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    } else {
        m_begun = m_db.transaction();
        m_error = m_db.lastError();
    }
    if (m_begun) {
        QMutexLocker locker(&depthMutex);
        ++transactionDepth[name];
    }
}

TransactionGuard::~TransactionGuard()
{
    if (!m_begun || m_done)
        return;
    leave();
    if (!m_ownStatements) {
        m_db.rollback();
        return;
    }
    QSqlQuery rollback(m_db);
    if (m_nested) {
        rollback.exec(QStringLiteral("ROLLBACK TO store_write"));
        rollback.exec(QStringLiteral("RELEASE store_write"));
    } else {
        rollback.exec(QStringLiteral("ROLLBACK"));
    }
}

void TransactionGuard::leave()
{
    QMutexLocker locker(&depthMutex);
    const QString name = m_db.connectionName();
    if (--transactionDepth[name] <= 0)
        transactionDepth.remove(name);
}

bool TransactionGuard::commit()
{
    if (!m_begun || m_done)
        return false;
    if (m_ownStatements) {
        QSqlQuery commit(m_db);
        m_done = commit.exec(m_nested ? QStringLiteral("RELEASE store_write")
                                      : QStringLiteral("COMMIT"));
        m_error = commit.lastError();
    } else {
        m_done = m_db.commit();
        m_error = m_db.lastError();
    }
    if (m_done)
        leave();
    return m_done;
}

} // namespace tarnvale
