// Whether a database file lies on a network file system, where SQLite's file locks cannot be
// relied on: two programs writing the file through the share can damage it.
#pragma once

#include <QString>

namespace tarnvale {

class NetworkShare
{
  public:
    // The name of the network file system with this statfs f_type ("NFS", "CIFS/SMB", ...);
    // empty for a local one.
    static QString kindOf(qint64 fileSystemType);
    // The network file system holding the file (or, for a file not made yet, its folder);
    // empty when it is local or cannot be told.
    static QString kindOfPath(const QString &path);
};

} // namespace tarnvale
