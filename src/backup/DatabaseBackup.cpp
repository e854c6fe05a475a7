#include "DatabaseBackup.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <new>

#include "RecordStore.h"
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

    m_snapshotDir = std::make_unique<QTemporaryDir>();
    if (!m_snapshotDir->isValid())
        return BackupOutcome::failed(kErrDeviceIo, QStringLiteral("No temporary folder for the "
                                                                  "database snapshot: ")
                                                       + m_snapshotDir->errorString());
    const QString snapshot = m_snapshotDir->filePath(QStringLiteral("snapshot.db"));
    if (!m_store.backupTo(snapshot)) {
        m_snapshotDir.reset();
        return BackupOutcome::failed(m_store.lastError().number, m_store.lastError().description);
    }

    m_running = true;
    const std::string source = QFile::encodeName(snapshot).toStdString();
    const std::string destination = QFile::encodeName(backupFileIn(folder)).toStdString();
    m_worker = std::thread([this, source, destination, folder] {
        clsHuffman codec;
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
    m_snapshotDir.reset();
    m_running = false;
    Q_EMIT finished(outcome);
}

} // namespace tarnvale
