// The transaction guard: rolls back unless committed.

#include "RecordStore.h"

#include <QHash>
#include <QMutex>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>
#include <utility>

#include "SqliteHandle.h"

namespace tarnvale {

namespace {

// Transactions open on each connection, for the engines that do not tell.
QMutex depthMutex;
QHash<QString, int> transactionDepth;

} // namespace

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
