// The check of a database file before it takes the place of the one in use (a backup being
// restored): an SQLite file with the four tables, only this program's schema objects, a schema
// version this program knows, and intact.
#pragma once

#include <QString>

namespace tarnvale {

class DatabaseFileCheck
{
  public:
    // Why the file is not a usable database; empty when it is. The file is only read, and
    // leaves no -wal or -shm file beside it.
    static QString problem(const QString &path);
};

} // namespace tarnvale
