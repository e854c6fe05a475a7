// The SQLite connection under a Qt SQL connection, for the engine's C interface.
#pragma once

#include <QSqlDatabase>

struct sqlite3;

namespace tarnvale {

class SqliteHandle
{
  public:
    // The connection's sqlite3 handle, or nullptr when the driver is not SQLite or runs
    // another SQLite build than the one this program links: that build's handle must not be
    // given to this program's SQLite functions. The caller then takes the portable path.
    static sqlite3 *of(const QSqlDatabase &db);
};

} // namespace tarnvale
