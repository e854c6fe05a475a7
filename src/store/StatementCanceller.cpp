#include "StatementCanceller.h"

#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>
#include <sqlite3.h>

#include "SqliteHandle.h"

namespace tarnvale {

StatementCanceller::StatementCanceller(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver())
        return;
    if ((m_file = SqliteHandle::of(db)))
        return;
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() &&
        (qstrcmp(handle.typeName(), "pg_conn*") == 0 || qstrcmp(handle.typeName(), "PGconn*") == 0))
        if (PGconn *conn = *static_cast<PGconn *const *>(handle.constData()))
            m_server = PQgetCancel(conn);
}

StatementCanceller::~StatementCanceller()
{
    const std::lock_guard lock(m_mutex);
    if (m_server)
        PQfreeCancel(m_server);
}

bool StatementCanceller::cancel()
{
    const std::lock_guard lock(m_mutex);
    if (m_file) {
        sqlite3_interrupt(m_file);
        return true;
    }
    char reason[256];
    return m_server && PQcancel(m_server, reason, sizeof reason) == 1;
}

} // namespace tarnvale
