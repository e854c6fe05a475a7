#include "DatabaseOverwrite.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FaultSeam.h"

namespace tarnvale {

namespace {

struct Connection
{
    sqlite3 *handle = nullptr;
    ~Connection() { sqlite3_close(handle); }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(handle)); }
};

int openConnection(Connection &c, const QString &path, int flags)
{
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &c.handle, flags, nullptr);
    if (rc == SQLITE_OK)
        sqlite3_extended_result_codes(c.handle, 1);
    return rc;
}

// Every page of `from` into `to`, in one write transaction on `to`.
int copyPages(Connection &to, Connection &from)
{
    sqlite3_backup *backup = sqlite3_backup_init(to.handle, "main", from.handle, "main");
    if (!backup)
        return sqlite3_errcode(to.handle);
    const int step = sqlite3_backup_step(backup, -1);
    const int end = sqlite3_backup_finish(backup);
    return step == SQLITE_DONE ? end : step;
}

// The journal mode the connection is in after asking for `mode`.
QString setJournalMode(Connection &c, const char *mode)
{
    sqlite3_stmt *statement = nullptr;
    QString now;
    if (sqlite3_prepare_v2(c.handle, (std::string("PRAGMA journal_mode = ") + mode).c_str(), -1,
                           &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        now = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    return now;
}

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

QString DatabaseOverwrite::inUseText()
{
    return QStringLiteral("Another program has the database open, on this PC or another one. "
                          "Close the program everywhere else, then try again.");
}

DatabaseOverwrite::Result DatabaseOverwrite::run(const QString &databasePath,
                                                 const QString &sourcePath,
                                                 const QString &keepPath)
{
    Result result;
    Connection live;
    if (openConnection(live, databasePath, SQLITE_OPEN_READWRITE) != SQLITE_OK) {
        result.error = QStringLiteral("The database could not be opened: ") + live.error();
        return result;
    }
    // A save of another program ends within moments; a program that has the file open keeps
    // a lock on it as long as it does.
    sqlite3_busy_timeout(live.handle, 2000);
    // The first read takes the file for this connection alone until it is closed; a write
    // does so for a file with a rollback journal.
    int rc = sqlite3_exec(live.handle,
                          "PRAGMA locking_mode = EXCLUSIVE; SELECT count(*) FROM sqlite_master; "
                          "BEGIN EXCLUSIVE; COMMIT",
                          nullptr, nullptr, nullptr);
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) {
        result.inUse = true;
        result.error = inUseText();
        return result;
    }
    if (rc != SQLITE_OK) {
        result.error = QStringLiteral("The database could not be read: ") + live.error();
        return result;
    }

    if (!keepPath.isEmpty()) {
        struct stat st {};
        const QByteArray keepName = QFile::encodeName(keepPath);
        const int fault = FaultSeam::check(FileStep::Create);
        const int fd = fault ? -1
                             : ::open(keepName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                      ::stat(QFile::encodeName(databasePath).constData(), &st) == 0
                                          ? st.st_mode & 0666
                                          : 0600);
        const int err = fault ? fault : errno;
        if (fd < 0) {
            result.error = QStringLiteral("The database in use could not be kept as %1: %2")
                               .arg(keepPath, systemError(err));
            return result;
        }
        ::close(fd);
        QString failure;
        {
            Connection kept;
            if (openConnection(kept, keepPath, SQLITE_OPEN_READWRITE) != SQLITE_OK ||
                copyPages(kept, live) != SQLITE_OK)
                failure = kept.handle ? kept.error() : QStringLiteral("cannot open");
            // One file, like every copy this program makes.
            else if (setJournalMode(kept, "DELETE") != QLatin1String("delete"))
                failure = kept.error();
        }
        if (!failure.isEmpty()) {
            for (const char *suffix : {"", "-journal", "-wal", "-shm"})
                QFile::remove(keepPath + QLatin1String(suffix));
            result.error =
                QStringLiteral("The database in use could not be kept as %1: %2").arg(keepPath, failure);
            return result;
        }
    }
    auto dropKept = [&keepPath] {
        if (!keepPath.isEmpty())
            QFile::remove(keepPath);
    };

    // A rollback journal for the copy: the WAL goes into the file first, and the page size may
    // change with the content.
    if (setJournalMode(live, "DELETE") != QLatin1String("delete")) {
        result.error = QStringLiteral("The database could not be prepared: ") + live.error();
        dropKept();
        return result;
    }
    Connection source;
    if (openConnection(source, sourcePath, SQLITE_OPEN_READONLY) != SQLITE_OK) {
        result.error = QStringLiteral("The new content could not be read: ") + source.error();
        dropKept();
        return result;
    }
    if (const int fault = FaultSeam::check(FileStep::Write)) {
        result.error = QStringLiteral("The database could not be written: ") + systemError(fault);
        dropKept();
        return result;
    }
    rc = copyPages(live, source);
    if (rc != SQLITE_OK) {
        result.error = QStringLiteral("The database could not be written: ") +
                       QString::fromUtf8(sqlite3_errstr(rc));
        dropKept();
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace tarnvale
