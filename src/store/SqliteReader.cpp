#include "SqliteReader.h"

#include <QFile>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include "DbError.h"
#include "RecordStore.h"
#include "SqliteHandle.h"
#include "StoreConnection.h"

namespace tarnvale {

SqliteReader::SqliteReader(const QSqlDatabase &db)
{
    if (db.isOpen())
        m_db = SqliteHandle::of(db);
}

SqliteReader SqliteReader::openReadOnly(const QString &path)
{
    SqliteReader reader;
    sqlite3 *db = nullptr;
    // Opened for writing where this user may (SQLite falls back to reading only where not),
    // but only ever reads: the last connection to close then removes SQLite's -wal and -shm
    // files, which a connection opened read-only would leave beside the database.
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        reader.m_errorCode = db ? sqlite3_extended_errcode(db) : rc;
        reader.m_errorText = DbError::openFailure(
            path, QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
        sqlite3_close(db);
        return reader;
    }
    sqlite3_exec(db, "PRAGMA query_only = ON", nullptr, nullptr, nullptr);
    if (!StoreConnection::harden(db, false)) {
        reader.m_errorCode = sqlite3_extended_errcode(db);
        reader.m_errorText = DbError::openFailure(
            path, QStringLiteral("The database engine's safe mode cannot be set: ") +
                      QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_close(db);
        return reader;
    }
    sqlite3_busy_timeout(db, RecordStore::kBusyTimeoutMs);
    reader.m_db = db;
    reader.m_owned = true;
    return reader;
}

SqliteReader::SqliteReader(SqliteReader &&other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)),
      m_statement(std::exchange(other.m_statement, nullptr)),
      m_owned(std::exchange(other.m_owned, false)),
      m_stopFlag(std::exchange(other.m_stopFlag, nullptr)), m_errorCode(other.m_errorCode),
      m_errorText(std::move(other.m_errorText))
{
}

SqliteReader::~SqliteReader()
{
    sqlite3_finalize(m_statement);
    if (m_stopFlag)
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    if (m_owned)
        sqlite3_close(m_db);
}

bool SqliteReader::check(int rc)
{
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
        return true;
    m_errorCode = m_db ? sqlite3_extended_errcode(m_db) : rc;
    m_errorText = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
    return false;
}

bool SqliteReader::exec(const char *sql)
{
    return m_db && check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr));
}

bool SqliteReader::prepare(QByteArrayView sql, const QString *boundText)
{
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
    if (!m_db ||
        !check(sqlite3_prepare_v2(m_db, sql.data(), int(sql.size()), &m_statement, nullptr)))
        return false;
    if (boundText) {
        const QByteArray bytes = boundText->toUtf8();
        return check(sqlite3_bind_text(m_statement, 1, bytes.constData(), int(bytes.size()),
                                       SQLITE_TRANSIENT));
    }
    return true;
}

bool SqliteReader::rebind(qint64 first)
{
    sqlite3_reset(m_statement);
    return check(sqlite3_bind_int64(m_statement, 1, first));
}

bool SqliteReader::rebind(qint64 first, const QString &second)
{
    const QByteArray bytes = second.toUtf8();
    return rebind(first)
           && check(sqlite3_bind_text(m_statement, 2, bytes.constData(), int(bytes.size()),
                                      SQLITE_TRANSIENT));
}

bool SqliteReader::rebind(const QString &first)
{
    sqlite3_reset(m_statement);
    const QByteArray bytes = first.toUtf8();
    return check(sqlite3_bind_text(m_statement, 1, bytes.constData(), int(bytes.size()),
                                   SQLITE_TRANSIENT));
}

bool SqliteReader::bindText(int parameter, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return check(sqlite3_bind_text(m_statement, parameter, bytes.constData(), int(bytes.size()),
                                   SQLITE_TRANSIENT));
}

SqliteReader::Step SqliteReader::step()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return Step::Row;
    if (rc == SQLITE_DONE)
        return Step::Done;
    check(rc);
    return Step::Failed;
}

void SqliteReader::stopWhen(const std::atomic<bool> *flag)
{
    if (!m_db)
        return;
    m_stopFlag = flag;
    int (*stopped)(void *) = [](void *stop) {
        return int(static_cast<const std::atomic<bool> *>(stop)->load(std::memory_order_relaxed));
    };
    // Looked at every thousand steps of the engine's machine: a few microseconds apart.
    sqlite3_progress_handler(m_db, flag ? 1000 : 0, flag ? stopped : nullptr,
                             const_cast<std::atomic<bool> *>(flag));
}

qint64 SqliteReader::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

QByteArrayView SqliteReader::text(int column) const
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QByteArrayView(bytes, bytes ? sqlite3_column_bytes(m_statement, column) : 0);
}

} // namespace tarnvale
