#include "DatabaseRestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <new>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "DatabaseFileCheck.h"
#include "DatabaseOverwrite.h"
#include "FaultSeam.h"
#include "SafeOutput.h"
#include "clsHuffman.h"

namespace tarnvale {

namespace {

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

} // namespace

DatabaseRestore::DatabaseRestore(QObject *parent) : QObject(parent) {}

DatabaseRestore::~DatabaseRestore()
{
    if (m_worker.joinable())
        m_worker.join();
}

QString DatabaseRestore::checkDatabase(const QString &path)
{
    return DatabaseFileCheck::problem(path);
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
