// Opening a database file or a server's database, and opening it again after the server's
// connection was lost.

#include "RecordStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <libpq-fe.h>

#include "SchemaCheck.h"
#include "ServerAddress.h"
#include "StoreConnection.h"
#include "SearchQueries.h"

namespace tarnvale {

bool RecordStore::openConnection(bool readOnly)
{
    const auto failure = StoreConnection::openFile(
        m_connection, m_path,
        readOnly ? StoreConnection::Access::ReadOnly : StoreConnection::Access::Writing);
    if (!failure)
        return true;
    closeConnection();
    return fail(DbError::kCannotOpen, failure->atOpen ? DbError::openFailure(m_path, failure->reason)
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

bool RecordStore::openReadingCopy(const QString &sourceConnection)
{
    closeConnection();
    m_error = {};
    m_lost = false;
    m_readOnlyReason.clear();
    m_path.clear();
    m_copy = true;
    if (const auto failure = StoreConnection::openReadingCopy(sourceConnection, m_connection)) {
        closeConnection();
        return fail(DbError::kCannotOpen, failure->reason);
    }
    if (database().driverName() == QLatin1String("QPSQL"))
        m_dialect = SqlDialect(SqlDialect::Engine::Postgres);
    return true;
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
        return fail(DbError::kInvalidPath, reason);
    m_dialect = SqlDialect(SqlDialect::Engine::Postgres);
    if (!address->connect(m_connection, &reason)) {
        closeConnection();
        return fail(DbError::kCannotOpen, reason);
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
    // The searches' trigram index, where this user may make it; without it they scan.
    if (ok && m_readOnlyReason.isEmpty())
        SearchQueries::makeServerIndex(database());
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
    m_copy = false;
    m_readOnlyReason.clear();
    m_path = path;
    if (ServerAddress::isServerAddress(path))
        return openServer(path);
    const QFileInfo info(path);
    const bool existed = info.exists();
    m_searchIndexMade = mode != OpenMode::ExistingForServer;
    if (!existed && mode != OpenMode::CreateIfMissing)
        return fail(DbError::kFileNotFound, QStringLiteral("Could not find file '%1'.").arg(path));
    if (existed && !info.isFile())
        return fail(DbError::kInvalidPath, QStringLiteral("'%1' is not a valid path.").arg(path));
    // A file that exists but holds nothing was cut short (a full disk, a failed copy); taking
    // it for a new database would show an empty yard where the records should be.
    if (existed && info.size() == 0)
        return fail(DbError::kDamaged, QStringLiteral("The database file is empty (0 bytes): it is damaged or "
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
                ok = fail(DbError::kCannotOpen, reason);
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

} // namespace tarnvale
