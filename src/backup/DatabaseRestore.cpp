#include "DatabaseRestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <new>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "DatabaseOverwrite.h"
#include "FaultSeam.h"
#include "SafeOutput.h"
#include "SchemaCheck.h"
#include "StoreConnection.h"
#include "clsHuffman.h"

namespace tarnvale {

namespace {

const QStringList kTables = {QStringLiteral("groups"), QStringLiteral("wrecker"),
                             QStringLiteral("reminders"), QStringLiteral("lb_type")};

// Moves the lock that marks a temporary file as in use onto the file now at `path`.
void holdLockOn(int &lock, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::flock(fd, LOCK_EX | LOCK_NB);
    ::close(lock);
    lock = fd;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString checkOpenDatabase(QSqlDatabase &db)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT lower(name) FROM sqlite_master WHERE type = 'table'")))
        return QStringLiteral("The file is not a database.");
    QStringList tables;
    while (query.next())
        tables << query.value(0).toString();
    for (const QString &table : kTables)
        if (!tables.contains(table))
            return QStringLiteral("The database has no table %1.").arg(table);
    // Only what this program creates: a trigger or a view would run on the next change.
    QString reason;
    const std::optional<QStringList> foreign = SchemaCheck::foreignObjects(db, &reason);
    if (!foreign)
        return QStringLiteral("The database's schema cannot be read: ") + reason;
    if (!foreign->isEmpty())
        return QStringLiteral("The database holds objects this program does not create: ")
               + SchemaCheck::describe(*foreign) + u'.';
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return QStringLiteral("The database could not be checked.");
    if (query.value(0).toInt() > SchemaCheck::kVersion)
        return QStringLiteral("The database was made by a newer version of the program "
                              "(schema version %1).").arg(query.value(0).toInt());
    if (!query.exec(QStringLiteral("PRAGMA integrity_check")) || !query.next())
        return QStringLiteral("The database could not be checked.");
    const QString verdict = query.value(0).toString();
    // SQLite lists up to a hundred problems, in rows and lines, under "*** in database main
    // ***": the first says enough.
    QStringList problems;
    do
        problems << query.value(0).toString().split(u'\n', Qt::SkipEmptyParts);
    while (query.next());
    problems.removeIf([](const QString &line) { return line.startsWith(QLatin1String("***")); });
    if (verdict != QLatin1String("ok"))
        return QStringLiteral("The database is damaged: ") + problems.value(0).trimmed()
               + (problems.size() > 1
                      ? QStringLiteral(" (and %1 more problems)").arg(problems.size() - 1)
                      : QString())
               + QStringLiteral(". Restore another backup.");
    return {};
}

} // namespace

DatabaseRestore::DatabaseRestore(QObject *parent) : QObject(parent) {}

DatabaseRestore::~DatabaseRestore()
{
    if (m_worker.joinable())
        m_worker.join();
}

QString DatabaseRestore::checkDatabase(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("The unpacked file cannot be read: ") + file.errorString();
    if (file.read(16) != QByteArray("SQLite format 3", 16))
        return QStringLiteral("The file is not a database.");
    file.close();

    const QString connection = QStringLiteral("tarnvale-restore-check-")
                               + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString verdict;
    {
        const auto failure =
            StoreConnection::openFile(connection, path, StoreConnection::Access::ReadOnly);
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        if (failure)
            verdict = failure->atOpen ? QStringLiteral("The file is not a database.")
                                      : failure->reason;
        else
            verdict = checkOpenDatabase(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    // A read-only look at a database in WAL mode leaves SQLite's -wal and -shm files beside
    // it, empty of changes: they go, so that only the file itself is kept or removed.
    for (const char *suffix : {"-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    return verdict;
}

QString DatabaseRestore::keptPath(const QString &databasePath, const QDateTime &when)
{
    const QString stamp = when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = databasePath + u'.' + stamp + QStringLiteral(".bak");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = databasePath + u'.' + stamp + u'-' + QString::number(n) + QStringLiteral(".bak");
    return path;
}

void DatabaseRestore::start(const QString &backupFile, const QString &databasePath)
{
    m_running = true;
    // Beside the database in use, so that putting it in place is a rename on one disk; private
    // (0600) and locked while it is unpacked, so that a crash leaves a file that the next start
    // recognises ("data.dll.restore-XXXXXX") and removes.
    std::string reserved;
    const int lock = SafeOutput::createTemporary(QFile::encodeName(databasePath).toStdString(),
                                                 "restore", reserved);
    if (lock < 0) {
        const RestoreCheck check{false, {},
                                 QStringLiteral("No temporary file can be made beside the "
                                                "database: ")
                                     + systemError()};
        QMetaObject::invokeMethod(this, [this, check] { finish(check); }, Qt::QueuedConnection);
        return;
    }
    const QString unpackedPath = QFile::decodeName(QByteArray::fromStdString(reserved));

    m_worker = std::thread([this, backupFile, unpackedPath, held = lock]() mutable {
        RestoreCheck check{false, unpackedPath, {}};
        clsHuffman codec;
        codec.setProgressHandler([this](int procent) {
            QMetaObject::invokeMethod(
                this, [this, procent] { Q_EMIT progress(procent); }, Qt::QueuedConnection);
        });
        try {
            codec.DecodeFile(QFile::encodeName(backupFile).toStdString(),
                             QFile::encodeName(unpackedPath).toStdString());
            holdLockOn(held, unpackedPath); // the unpacked file replaced the reserved one
            check.error = checkDatabase(unpackedPath);
        } catch (const CodecError &error) {
            check.error = QString::fromStdString(error.description());
        } catch (const std::bad_alloc &) {
            check.error = QStringLiteral("Out of memory");
        }
        check.ok = check.error.isEmpty();
        if (!check.ok) {
            QFile::remove(unpackedPath);
            check.unpackedPath.clear();
        }
        ::close(held);
        QMetaObject::invokeMethod(this, [this, check] { finish(check); }, Qt::QueuedConnection);
    });
}

void DatabaseRestore::finish(const RestoreCheck &check)
{
    if (m_worker.joinable())
        m_worker.join();
    m_running = false;
    Q_EMIT unpacked(check);
}

RestoreResult DatabaseRestore::replace(const QString &unpackedPath, const QString &databasePath,
                                       const std::function<void()> &closeStore,
                                       const std::function<bool()> &reopenStore,
                                       const QDateTime &when)
{
    RestoreResult result;
    closeStore();
    const auto dropUnpacked = [&unpackedPath] {
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(unpackedPath + QLatin1String(suffix));
    };
    if (!QFileInfo::exists(databasePath)) {
        // Nothing to keep: the unpacked file takes the name, unless a file appeared meanwhile.
        const QByteArray target = QFile::encodeName(databasePath);
        if (const int fault = FaultSeam::check(FileStep::Rename))
            errno = fault;
        else if (::link(QFile::encodeName(unpackedPath).constData(), target.constData()) == 0) {
            dropUnpacked();
            result.ok = reopenStore();
            if (!result.ok)
                result.error = QStringLiteral("The restored database could not be opened.");
            return result;
        }
        result.error = QStringLiteral("The restored database could not be put in place: ")
                       + systemError();
        reopenStore();
        return result;
    }
    // Written into the database file itself, which every program that opens it next sees;
    // refused while another program has it open.
    const QString kept = keptPath(databasePath, when);
    const DatabaseOverwrite::Result written =
        DatabaseOverwrite::run(databasePath, unpackedPath, kept);
    dropUnpacked();
    if (!written.ok) {
        result.error = written.error;
        reopenStore();
        return result;
    }
    if (!reopenStore()) {
        // The previous content goes back the same way.
        if (const DatabaseOverwrite::Result back = DatabaseOverwrite::run(databasePath, kept);
            !back.ok) {
            result.error = QStringLiteral("The restored database could not be opened, and the "
                                          "previous database could not be put back (%1); it is "
                                          "kept as %2.")
                               .arg(back.error, kept);
            return result;
        }
        QFile::remove(kept);
        result.error = reopenStore()
                           ? QStringLiteral("The restored database could not be opened; the "
                                            "previous database is back in place.")
                           : QStringLiteral("The restored database could not be opened; the "
                                            "previous database is back in place, but it could "
                                            "not be opened either.");
        return result;
    }
    result.ok = true;
    result.keptPath = kept;
    return result;
}

} // namespace tarnvale
