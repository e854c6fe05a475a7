#include "RestoreFlow.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "DatabaseBackup.h"
#include "DatabaseRestore.h"
#include "Dialogs.h"
#include "RecordStore.h"
#include "SettingsFile.h"

namespace tarnvale {

namespace {

QString crlf()
{
    return QString::fromUtf16(kCrLf);
}

} // namespace

RestoreFlow::RestoreFlow(RecordStore &store, const SettingsFile &settings, Dialogs &dialogs,
                         QObject *parent)
    : QObject(parent), m_store(store), m_settings(settings), m_dialogs(dialogs),
      m_restore(new DatabaseRestore(this))
{
    connect(m_restore, &DatabaseRestore::progress, this, &RestoreFlow::progress);
    connect(m_restore, &DatabaseRestore::unpacked, this, &RestoreFlow::onUnpacked);
}

RestoreFlow::~RestoreFlow()
{
    m_stop = true;
    if (m_server.joinable())
        m_server.join();
}

bool RestoreFlow::isRunning() const
{
    return m_restore->isRunning() || m_writing;
}

bool RestoreFlow::start(const QString &backupFile)
{
    if (isRunning())
        return false;
    m_source = backupFile;
    m_target = m_store.path();
    m_onServer = m_store.isServer();
    m_restore->start(backupFile, DatabaseBackup::scratchPath(m_target));
    return true;
}

void RestoreFlow::refuse(const QString &reason)
{
    m_dialogs.notify(m_settings.companyName(),
                     QStringLiteral("The database cannot be restored from ") + m_source + crlf() +
                         reason + crlf() +
                         (m_onServer ? QStringLiteral("The records on the server were not changed.")
                                     : QStringLiteral("Your database was not changed.")),
                     MessageIcon::Exclamation);
    Q_EMIT finished(false);
}

void RestoreFlow::onUnpacked(const RestoreCheck &check)
{
    Q_EMIT unpacked();
    if (!check.ok) {
        refuse(check.error);
        return;
    }
    const QString question =
        m_onServer
            ? QStringLiteral("Replace the records on the server %1 with the ones saved in %2?")
                      .arg(RecordStore::shownPath(m_target), m_source) +
                  crlf() +
                  QStringLiteral("The records now on the server are not kept: back them up "
                                 "first if you may need them. Every workstation sees the "
                                 "restored records.")
        : !QFileInfo::exists(m_target)
            ? QStringLiteral("There is no database at %1. Make it from the one saved in %2?")
                  .arg(m_target, m_source)
            : QStringLiteral("Replace your database with the one saved in ") + m_source +
                  QStringLiteral("?") + crlf() +
                  QStringLiteral("Your current database will be kept beside it under a name "
                                 "with today's date and time.");
    const Answer answer =
        m_dialogs.askDefaultNo(m_settings.companyName(), question, MessageIcon::Exclamation);
    if (answer != Answer::Yes) {
        QFile::remove(check.unpackedPath);
        Q_EMIT finished(false);
        return;
    }
    if (m_onServer) {
        replaceOnServer(check.unpackedPath);
        return;
    }
    // The file that was in use when the restore began, whatever the settings name now.
    const QString databasePath = m_target;
    const RestoreResult result = DatabaseRestore::replace(
        check.unpackedPath, databasePath, [this] { m_store.close(); },
        [this, databasePath] {
            // The search index is made afresh from the restored records, whatever the backup
            // held of it.
            m_store.setProgressHandler([this](qint64 done, qint64 total) {
                m_dialogs.progress(m_settings.companyName(),
                                   QStringLiteral("Preparing the records for quick searching..."),
                                   done, total);
            });
            const bool opened =
                m_store.open(databasePath, RecordStore::OpenMode::ExistingOnly) &&
                !m_store.isReadOnly() && m_store.rebuildSearchIndex();
            m_store.setProgressHandler({});
            return opened;
        });
    if (!result.ok) {
        QFile::remove(check.unpackedPath);
        refuse(result.error);
        return;
    }
    m_dialogs.notify(m_settings.companyName(),
                     QStringLiteral("Your database has been restored.") +
                         (result.keptPath.isEmpty()
                              ? QString()
                              : crlf() + QStringLiteral("The previous database was kept as ") +
                                    result.keptPath),
                     MessageIcon::Information);
    Q_EMIT finished(true);
}

void RestoreFlow::replaceOnServer(const QString &unpackedPath)
{
    // Only onto the server the restore began with, still open.
    if (m_store.path() != m_target) {
        QFile::remove(unpackedPath);
        refuse(QStringLiteral("Another database was opened meanwhile."));
        return;
    }
    // On a connection of its own, so that the windows go on working meanwhile.
    m_writing = true;
    Q_EMIT writing(0);
    m_server = std::thread([this, unpackedPath, uri = m_target] {
        const YardMove::Result result =
            YardMove::replaceOnServer(unpackedPath, uri, [this](qint64 done, qint64 total) {
                const int procent = int(100 * done / std::max<qint64>(total, 1));
                QMetaObject::invokeMethod(
                    this, [this, procent] { Q_EMIT writing(procent); }, Qt::QueuedConnection);
                return !m_stop;
            });
        QFile::remove(unpackedPath);
        QMetaObject::invokeMethod(
            this, [this, result] { onServerReplaced(result); }, Qt::QueuedConnection);
    });
}

void RestoreFlow::onServerReplaced(const YardMove::Result &result)
{
    m_server.join();
    m_writing = false;
    if (!result.moved) {
        refuse(result.reason);
        return;
    }
    m_store.announceReplaced();
    m_dialogs.notify(m_settings.companyName(),
                     QStringLiteral("The records on the server have been restored: %1 vehicles, "
                                    "%2 groups, %3 reminders.")
                         .arg(result.vehicles)
                         .arg(result.groups)
                         .arg(result.reminders),
                     MessageIcon::Information);
    Q_EMIT finished(true);
}

} // namespace tarnvale
