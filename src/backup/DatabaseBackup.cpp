#include "DatabaseBackup.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <unistd.h>

#include "DatabaseSnapshot.h"
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
    m_stop = true;
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

    m_running = true;
    m_stop = false;
    const bool onServer = m_store.isServer();
    const QString database = m_store.path(), snapshot = m_snapshot;
    const std::string destination = QFile::encodeName(backupFileIn(folder)).toStdString();
    // A new backup is not more readable than the database it holds; a server's is private.
    const unsigned mode = onServer ? 0600 : SafeOutput::modeNoLooserThan(scratch);
    m_worker = std::thread([this, onServer, database, snapshot, destination, folder, mode] {
        const auto tell = [this](void (DatabaseBackup::*signal)(int), int procent) {
            QMetaObject::invokeMethod(
                this, [this, signal, procent] { Q_EMIT(this->*signal)
                                                (procent); },
                Qt::QueuedConnection);
            return !m_stop;
        };
        BackupOutcome outcome = BackupOutcome::saved(folder);
        QString failure;
        if (onServer) {
            const YardMove::Result copied =
                YardMove::toFile(database, snapshot, [&](qint64 done, qint64 total) {
                    return tell(&DatabaseBackup::copying,
                                int(100 * done / std::max<qint64>(total, 1)));
                });
            if (!copied.moved)
                failure = copied.reason == DatabaseSnapshot::kStopped
                              ? copied.reason
                              : QStringLiteral("The records could not be read from the server: ") +
                                    copied.reason;
        } else {
            failure = DatabaseSnapshot::take(database, snapshot, [&](int procent) {
                return tell(&DatabaseBackup::copying, procent);
            });
        }
        if (!failure.isEmpty() || m_stop) {
            outcome =
                m_stop ? BackupOutcome::stopped() : BackupOutcome::failed(kErrDeviceIo, failure);
        } else {
            tell(&DatabaseBackup::copying, 100);
            clsHuffman codec;
            codec.setOutputMode(mode);
            codec.setProgressHandler([&](int procent) {
                if (!tell(&DatabaseBackup::progress, procent))
                    throw BackupOutcome::stopped();
            });
            try {
                codec.EncodeFile(QFile::encodeName(snapshot).toStdString(), destination);
            } catch (const CodecError &error) {
                outcome = BackupOutcome::fromCodecError(error, folder);
            } catch (const BackupOutcome &stopped) {
                outcome = stopped;
            } catch (const std::bad_alloc &) {
                outcome = BackupOutcome::failed(7, QStringLiteral("Out of memory"));
            }
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
