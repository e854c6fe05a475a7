#include "DatabaseSnapshot.h"

#include <QFile>

#include <chrono>
#include <sqlite3.h>
#include <sys/stat.h>

#include "RecordStore.h"
#include "StoreConnection.h"

namespace tarnvale {

namespace {

struct Connection
{
    sqlite3 *handle = nullptr;
    ~Connection() { sqlite3_close(handle); }
    QString error(const char *doing) const
    {
        return QStringLiteral("Failed while %1: %2")
            .arg(QLatin1String(doing), QString::fromUtf8(sqlite3_errmsg(handle)));
    }
};

struct Watch
{
    const DatabaseSnapshot::Progress *progress;
    sqlite3 *db;
    QByteArray destination;
    double pages = 1;
    double expected = 1; // bytes of the copy
    std::chrono::steady_clock::time_point last{}, looked{};
    double written = 0;
    int told = -1;
    bool stopped = false;
};

// SQLite asks this every thousand steps of the copy; non-zero interrupts it. How far the copy
// got: the pages read into the connection's cache (each page of the database is read once) or
// the size of the copy written (looked at every few milliseconds), whichever is further. The
// caller is told each new percentage, and every 40 ms when it does not change.
int onProgress(void *context)
{
    Watch &watch = *static_cast<Watch *>(context);
    int read = 0, highest = 0;
    sqlite3_db_status(watch.db, SQLITE_DBSTATUS_CACHE_MISS, &read, &highest, 0);
    const auto now = std::chrono::steady_clock::now();
    if (now - watch.looked >= std::chrono::milliseconds(5)) {
        watch.looked = now;
        struct stat st {};
        if (::stat(watch.destination.constData(), &st) == 0)
            watch.written = double(st.st_size);
    }
    const double done = std::max(double(read) / watch.pages, watch.written / watch.expected);
    const int procent = int(std::min(99.0, 100.0 * done));
    if (procent == watch.told && now - watch.last < std::chrono::milliseconds(40))
        return 0;
    watch.last = now;
    watch.told = procent;
    watch.stopped = !(*watch.progress)(procent);
    return watch.stopped ? 1 : 0;
}

qint64 number(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    qint64 value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return value;
}

} // namespace

QString DatabaseSnapshot::take(const QString &databasePath, const QString &destinationPath,
                               const Progress &progress)
{
    Connection from;
    // Not created when missing; read-only when the file is.
    if (sqlite3_open_v2(QFile::encodeName(databasePath).constData(), &from.handle,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
        return from.error("opening the database");
    sqlite3_busy_timeout(from.handle, RecordStore::kBusyTimeoutMs);
    if (!StoreConnection::harden(from.handle, false))
        return from.error("preparing the connection");
    const qint64 pages = number(from.handle, "PRAGMA page_count");
    const qint64 free = number(from.handle, "PRAGMA freelist_count");
    const qint64 pageSize = number(from.handle, "PRAGMA page_size");
    if (pages < 0 || free < 0 || pageSize <= 0)
        return from.error("reading the database");
    Watch watch{&progress, from.handle, QFile::encodeName(destinationPath),
                std::max(1.0, double(pages - free)),
                std::max(1.0, double(pages - free) * double(pageSize))};
    if (progress)
        sqlite3_progress_handler(from.handle, 1000, onProgress, &watch);
    sqlite3_stmt *vacuum = nullptr;
    int rc = sqlite3_prepare_v2(from.handle, "VACUUM INTO ?1", -1, &vacuum, nullptr);
    const QByteArray destination = QFile::encodeName(destinationPath);
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_text(vacuum, 1, destination.constData(), int(destination.size()),
                               SQLITE_TRANSIENT);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(vacuum);
    sqlite3_finalize(vacuum);
    sqlite3_progress_handler(from.handle, 0, nullptr, nullptr);
    if (watch.stopped)
        return kStopped;
    if (rc != SQLITE_DONE)
        return from.error("copying the database");
    // The copy keeps the WAL mark of a database in WAL mode, and would then grow -wal and -shm
    // files beside it whenever it is opened: it is put back to a rollback journal, one file.
    Connection copy;
    if (sqlite3_open_v2(destination.constData(), &copy.handle, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK ||
        sqlite3_exec(copy.handle, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr) !=
            SQLITE_OK)
        return copy.error("copying the database");
    return {};
}

} // namespace tarnvale
