#include "RecordStore.h"

#include <QAtomicInteger>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>

namespace tarnvale {

namespace {

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("tarnvale-store-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

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
    if (!isOpen() || isServer() || m_copy)
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

} // namespace tarnvale
