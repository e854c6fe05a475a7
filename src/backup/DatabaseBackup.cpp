#include "DatabaseBackup.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>
#include <new>
#include <unistd.h>

#include "RecordStore.h"
#include "SafeOutput.h"
#include "ServerAddress.h"
#include "YardMove.h"
#include "clsHuffman.h"

namespace tarnvale {

DatabaseBackup::DatabaseBackup(RecordStore &store, QObject *parent)
    : QObject(parent), m_store(store)
{
}

DatabaseBackup::~DatabaseBackup()
{
    if (m_worker.joinable())
        m_worker.join();
    dropSnapshot();
}

QString DatabaseBackup::scratchPath(const QString &databasePath)
{
    return ServerAddress::isServerAddress(databasePath)
               ? QDir(QDir::tempPath()).filePath(QStringLiteral("tarnvale-server"))
               : databasePath;
}

int DatabaseBackup::removeLeftovers(const QString &databasePath)
{
    const QString scratch = scratchPath(databasePath);
    const std::string path = QFile::encodeName(scratch).toStdString();
    int removed = SafeOutput::removeLeftovers(path, "snapshot") +
                  SafeOutput::removeLeftovers(path, "restore");
    // A database being written or checked when the program was killed may have SQLite's
    // -journal, -wal and -shm files beside it: they go once the file they belong to has gone.
    const QFileInfo info(scratch);
    QDir folder = info.dir();
    const QStringList names = folder.entryList({info.fileName() + QStringLiteral(".snapshot-*"),
                                                info.fileName() + QStringLiteral(".restore-*")},
                                               QDir::Files | QDir::Hidden);
    for (const QString &name : names)
        for (const QLatin1String suffix : {QLatin1String("-wal"), QLatin1String("-shm"),
                                           QLatin1String("-journal")})
            if (name.endsWith(suffix) && !names.contains(name.chopped(suffix.size())) &&
                folder.remove(name))
                ++removed;
    return removed;
}

void DatabaseBackup::dropSnapshot()
{
    if (!m_snapshot.isEmpty())
        QFile::remove(m_snapshot);
    m_snapshot.clear();
    if (m_snapshotFd >= 0)
        ::close(m_snapshotFd); // releases the lock that marks the snapshot as in use
    m_snapshotFd = -1;
}

QString DatabaseBackup::backupFileIn(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("backup.tow"));
}

std::optional<BackupOutcome> DatabaseBackup::start(const QString &folder)
{
    if (m_running)
        return BackupOutcome::failed(kErrPathFileAccess, QStringLiteral("A backup is already running."));

    const QFileInfo info(folder);
    if (!info.exists())
        return BackupOutcome::noMedium(folder, QStringLiteral("The folder does not exist or is "
                                                              "not mounted."));
    if (!info.isDir())
        return BackupOutcome::noMedium(folder, QStringLiteral("This is not a folder."));
    if (!info.isWritable() || QStorageInfo(folder).isReadOnly())
        return BackupOutcome::noMedium(folder, QStringLiteral("The folder is read-only."));

    // The snapshot is a private file beside the database ("data.dll.snapshot-XXXXXX"), or in
    // the temporary folder for a server's, locked while the backup runs; one left by a crash
    // is removed at the next start.
    if (m_store.path().isEmpty())
        return BackupOutcome::failed(kErrDeviceIo, QStringLiteral("The database is not open."));
    const std::string scratch = QFile::encodeName(scratchPath(m_store.path())).toStdString();
    std::string snapshotName;
    m_snapshotFd = SafeOutput::createTemporary(scratch, "snapshot", snapshotName);
    if (m_snapshotFd < 0)
        return BackupOutcome::failed(kErrDeviceIo,
                                     QStringLiteral("No file for the database snapshot can be made "
                                                    "beside the database: ")
                                         + QString::fromLocal8Bit(std::strerror(errno)));
    m_snapshot = QFile::decodeName(QByteArray::fromStdString(snapshotName));
    if (m_store.isServer()) {
        const YardMove::Result copied = YardMove::toFile(m_store.path(), m_snapshot);
        if (!copied.moved) {
            dropSnapshot();
            return BackupOutcome::failed(kErrDeviceIo,
                                         QStringLiteral("The records could not be read from the "
                                                        "server: ") +
                                             copied.reason);
        }
    } else if (!m_store.backupTo(m_snapshot)) {
        dropSnapshot();
        return BackupOutcome::failed(m_store.lastError().number, m_store.lastError().description);
    }

    m_running = true;
    const std::string source = snapshotName;
    const std::string destination = QFile::encodeName(backupFileIn(folder)).toStdString();
    // A new backup is not more readable than the database it holds; a server's is private.
    const unsigned mode = m_store.isServer() ? 0600 : SafeOutput::modeNoLooserThan(scratch);
    m_worker = std::thread([this, source, destination, folder, mode] {
        clsHuffman codec;
        codec.setOutputMode(mode);
        codec.setProgressHandler([this](int procent) {
            QMetaObject::invokeMethod(
                this, [this, procent] { Q_EMIT progress(procent); }, Qt::QueuedConnection);
        });
        BackupOutcome outcome = BackupOutcome::saved(folder);
        try {
            codec.EncodeFile(source, destination);
        } catch (const CodecError &error) {
            outcome = BackupOutcome::fromCodecError(error, folder);
        } catch (const std::bad_alloc &) {
            outcome = BackupOutcome::failed(7, QStringLiteral("Out of memory"));
        }
        QMetaObject::invokeMethod(
            this, [this, outcome] { finish(outcome); }, Qt::QueuedConnection);
    });
    return std::nullopt;
}

void DatabaseBackup::finish(const BackupOutcome &outcome)
{
    if (m_worker.joinable())
        m_worker.join();
    dropSnapshot();
    m_running = false;
    Q_EMIT finished(outcome);
}

} // namespace tarnvale
