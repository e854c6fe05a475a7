#include "RestoreFlow.h"

#include <QFile>

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

bool RestoreFlow::isRunning() const
{
    return m_restore->isRunning();
}

bool RestoreFlow::start(const QString &backupFile)
{
    if (isRunning())
        return false;
    m_source = backupFile;
    if (m_store.isServer()) {
        refuse(QStringLiteral("The database is on a server: it is restored with the server's own "
                              "tools (pg_restore), not here."));
        return true;
    }
    m_target = m_store.path();
    m_restore->start(backupFile, m_target);
    return true;
}

void RestoreFlow::refuse(const QString &reason)
{
    m_dialogs.notify(m_settings.companyName(),
                     QStringLiteral("The database cannot be restored from ") + m_source + crlf() +
                         reason + crlf() + QStringLiteral("Your database was not changed."),
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
    const Answer answer = m_dialogs.ask(
        m_settings.companyName(),
        QStringLiteral("Replace your database with the one saved in ") + m_source +
            QStringLiteral("?") + crlf() +
            QStringLiteral("Your current database will be kept beside it under a name with "
                           "today's date and time."),
        MessageIcon::Exclamation);
    if (answer != Answer::Yes) {
        QFile::remove(check.unpackedPath);
        Q_EMIT finished(false);
        return;
    }
    // The file that was in use when the restore began, whatever the settings name now.
    const QString databasePath = m_target;
    const RestoreResult result = DatabaseRestore::replace(
        check.unpackedPath, databasePath, [this] { m_store.close(); },
        [this, databasePath] {
            return m_store.open(databasePath, RecordStore::OpenMode::ExistingOnly) &&
                   !m_store.isReadOnly();
        });
    if (!result.ok) {
        QFile::remove(check.unpackedPath);
        refuse(result.error);
        return;
    }
    m_dialogs.notify(m_settings.companyName(),
                     QStringLiteral("Your database has been restored.") + crlf() +
                         QStringLiteral("The previous database was kept as ") + result.keptPath,
                     MessageIcon::Information);
    Q_EMIT finished(true);
}

} // namespace tarnvale
