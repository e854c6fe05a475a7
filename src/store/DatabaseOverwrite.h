// Puts another database's content into a database file in place, through SQLite, only while
// no other connection has the file open.
//
// Renaming a new file over a database in WAL mode would leave the programs that have it open
// writing to the old file through its -wal and -shm: the file is torn. Instead the file is
// taken for one connection alone (SQLite's exclusive locking mode: it fails while any other
// connection, in this program or another, on this PC or on another one that shares SQLite's
// locks, has the file open), its content is copied aside when asked, and the source's pages
// are written into it in one transaction, which SQLite's journal makes all or nothing even
// across a crash. A program that opens the file afterwards sees the new content.
#pragma once

#include <QString>

namespace tarnvale {

class DatabaseOverwrite
{
  public:
    struct Result
    {
        bool ok = false;
        bool inUse = false; // another connection has the file open
        QString error;
    };

    // Copies the file's current content into `keepPath` (a new file, no more readable than
    // the database) when it is not empty, then replaces the content with `sourcePath`'s.
    // On failure the database is as it was and no file is left at `keepPath`.
    static Result run(const QString &databasePath, const QString &sourcePath,
                      const QString &keepPath = {});

    // Why a file in use cannot be replaced.
    static QString inUseText();
};

} // namespace tarnvale
