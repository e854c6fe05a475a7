// SQLite's own online backup of the open database.

#include "RecordStore.h"

#include <QFile>
#include <QSqlQuery>

#include <sqlite3.h>

namespace tarnvale {

bool RecordStore::backupTo(const QString &destinationPath)
{
    if (isServer())
        return fail(DbError::kCannotOpen, QStringLiteral("A database on a server is backed up with the server's "
                                         "own tools."));
    QSqlQuery query(database());
    query.prepare(QStringLiteral("VACUUM INTO ?"));
    query.addBindValue(destinationPath);
    if (!exec(query, QStringLiteral("copying the database")))
        return false;
    // The copy keeps the WAL mark of a database in WAL mode, and would then grow -wal and -shm
    // files beside it whenever it is opened: it is put back to a rollback journal, one file.
    sqlite3 *copy = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(destinationPath).constData(), &copy,
                             SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(copy, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const QString reason = QString::fromUtf8(copy ? sqlite3_errmsg(copy) : sqlite3_errstr(rc));
        rc = copy ? sqlite3_extended_errcode(copy) : rc;
        sqlite3_close(copy);
        return fail(rc, reason);
    }
    sqlite3_close(copy);
    return true;
}

} // namespace tarnvale
