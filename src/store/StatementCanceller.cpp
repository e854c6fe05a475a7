#include "StatementCanceller.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include "PgReader.h"
#include "SqliteHandle.h"

namespace tarnvale {

StatementCanceller::StatementCanceller(const QSqlDatabase &db)
{
    if ((m_file = SqliteHandle::of(db)))
        return;
    if (PGconn *conn = PgReader::connectionOf(db))
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
