#include "PackSnapshot.h"

#include "CodecError.h"
#include "CodecFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnvale {

namespace {

struct Connection
{
    sqlite3 *handle = nullptr;
    ~Connection() { sqlite3_close(handle); }
};

} // namespace

bool hasUnwrittenLog(const std::string &path)
{
    struct stat st {};
    return ::stat((path + "-wal").c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

void writeDatabaseSnapshot(const std::string &path, const std::string &snapshotPath)
{
    const std::string source = "tarnvale-pack backup";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const CodecError e = CodecFiles::errorFromErrno(errno, source, path);
        throw CodecError(e.number(), source, e.description(), CodecError::Side::Input);
    }
    if (!S_ISREG(st.st_mode))
        throw CodecError(kErrDeviceIo, source, path + " is not a file", CodecError::Side::Input);
    Connection from, to;
    auto unreadable = [&](sqlite3 *handle, int rc) {
        return CodecError(kErrDeviceIo, source,
                          path + " cannot be read as a database: " +
                              (handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc)),
                          CodecError::Side::Input);
    };
    int rc = sqlite3_open_v2(path.c_str(), &from.handle, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK)
        throw unreadable(from.handle, rc);
    sqlite3_busy_timeout(from.handle, 5000); // a save in progress ends within moments
    // The copy in memory takes the database's page size before its first page.
    sqlite3_stmt *statement = nullptr;
    rc = sqlite3_prepare_v2(from.handle, "PRAGMA page_size", -1, &statement, nullptr);
    const int pageSize = rc == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW
                             ? sqlite3_column_int(statement, 0)
                             : 0;
    sqlite3_finalize(statement);
    if (pageSize <= 0)
        throw unreadable(from.handle, rc);
    rc = sqlite3_open_v2(snapshotPath.c_str(), &to.handle, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(to.handle, ("PRAGMA page_size = " + std::to_string(pageSize)).c_str(),
                          nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw unreadable(to.handle, rc);
    sqlite3_backup *backup = sqlite3_backup_init(to.handle, "main", from.handle, "main");
    if (!backup)
        throw unreadable(to.handle, sqlite3_errcode(to.handle));
    rc = sqlite3_backup_step(backup, -1);
    const int ended = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE || ended != SQLITE_OK)
        throw unreadable(from.handle, rc);
    // Bytes 18 and 19 of the header: 2 marks a database in WAL mode, 1 one with a journal.
    sqlite3_close(to.handle);
    to.handle = nullptr;
    const int fd = ::open(snapshotPath.c_str(), O_RDWR | O_CLOEXEC);
    std::uint8_t mark[2] = {};
    const bool read = fd >= 0 && ::pread(fd, mark, 2, 18) == 2;
    const std::uint8_t journal[2] = {1, 1};
    const bool written =
        read && (mark[0] != 2 || mark[1] != 2 || ::pwrite(fd, journal, 2, 18) == 2);
    if (fd >= 0)
        ::close(fd);
    if (!written)
        throw CodecError(kErrDeviceIo, source, "the snapshot of " + path + " cannot be written",
                         CodecError::Side::Input);
}

} // namespace tarnvale
