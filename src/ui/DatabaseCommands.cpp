#include "DatabaseCommands.h"

#include <QFileInfo>

#include "Dialogs.h"
#include "NetworkShare.h"
#include "ProgramFolder.h"
#include "ServerAddress.h"
#include "SettingsFile.h"

namespace tarnvale {

namespace {
const QString kCrLf2 = QStringLiteral("\r\n\r\n");
const QString kDatabaseErrorTitle = QStringLiteral("Database Error!");
} // namespace

DatabaseCommands::DatabaseCommands(RecordStore &store, const SettingsFile &settings,
                         const ProgramFolder &folder, Dialogs &dialogs)
    : m_store(store), m_settings(settings), m_folder(folder), m_dialogs(dialogs)
{
}

QString DatabaseCommands::configuredPath() const
{
    return m_chosenPath.isEmpty()
               ? m_settings.read(QStringLiteral("Database"), QStringLiteral("Path"))
               : m_chosenPath;
}

QString DatabaseCommands::databasePath() const
{
    const QString configured = configuredPath();
    return configured.isEmpty() ? m_folder.defaultDatabasePath() : configured;
}

bool DatabaseCommands::onAnotherDatabase() const
{
    if (m_chosenPath.isEmpty())
        return false;
    const QString configured = m_settings.read(QStringLiteral("Database"), QStringLiteral("Path"));
    const QString named = configured.isEmpty() ? m_folder.defaultDatabasePath() : configured;
    return ServerAddress::isServerAddress(m_chosenPath)
               ? m_chosenPath != named
               : QFileInfo(m_chosenPath).absoluteFilePath() != QFileInfo(named).absoluteFilePath();
}

bool DatabaseCommands::OpenDatabaseFile()
{
    const QString configured = configuredPath();
    const QString path = configured.isEmpty() ? m_folder.defaultDatabasePath() : configured;
    // A configured file that is missing (say, a share not mounted) must never be replaced by
    // a new, empty database; only the default file of a fresh install is created.
    const auto mode = configured.isEmpty() ? RecordStore::OpenMode::CreateIfMissing
                                           : RecordStore::OpenMode::ExistingOnly;
    // Opening an older file makes its search index, which takes a while for a large one.
    m_store.setProgressHandler([this](qint64 done, qint64 total) {
        m_dialogs.progress(m_settings.companyName(),
                           QStringLiteral("Preparing the records for quick searching..."), done,
                           total);
    });
    if (m_chosenPath.isEmpty() && ServerAddress::holdsPassword(configured) && !m_passwordWarned) {
        m_passwordWarned = true;
        m_dialogs.notify(
            QStringLiteral("Password in settings.ini"),
            QStringLiteral("The database path in settings.ini holds the password of the database "
                           "server: anyone who can read that file can read it. This program never "
                           "shows it (it is shown as ****).") + kCrLf2 +
                QStringLiteral("Keep it in the password file instead: one line "
                               "host:port:database:user:password in the file .pgpass in your home "
                               "folder (~/.pgpass), readable only by you (chmod 600 ~/.pgpass); "
                               "then remove the password from the path (") +
                RecordStore::shownPath(configured) + QStringLiteral(")."),
            MessageIcon::Exclamation);
    }
    const bool opened = m_store.open(path, mode);
    m_store.setProgressHandler({});
    if (opened) {
        if (m_store.isReadOnly() && m_store.isServer())
            m_dialogs.notify(kDatabaseErrorTitle,
                             QStringLiteral("The database ") + RecordStore::shownPath(path)
                                 + QStringLiteral(" is open read-only: ")
                                 + m_store.readOnlyReason() + u'.' + kCrLf2
                                 + QStringLiteral("Its records can be viewed and printed, but no "
                                                  "change can be saved. Ask the server's "
                                                  "administrator for the right to change them."),
                             MessageIcon::Exclamation);
        else if (m_store.isReadOnly())
            m_dialogs.notify(kDatabaseErrorTitle,
                             QStringLiteral("The database ") + RecordStore::shownPath(path)
                                 + QStringLiteral(" holds objects this program does not create: ")
                                 + m_store.readOnlyReason() + kCrLf2
                                 + QStringLiteral("It is open read-only: its records can be viewed "
                                                  "and printed, but no change can be saved. Remove "
                                                  "those objects, or restore a backup, to work "
                                                  "with it again."),
                             MessageIcon::Exclamation);
        if (!m_store.isServer())
            warnIfOnNetworkShare(path);
        return true;
    }
    m_dialogs.notify(kDatabaseErrorTitle,
                     QStringLiteral("Error while initializing database: ") +
                         RecordStore::shownPath(path) + kCrLf2
                         + m_store.lastError().description,
                     MessageIcon::Critical);
    return false;
}

void DatabaseCommands::warnIfOnNetworkShare(const QString &path)
{
    const QString kind = NetworkShare::kindOfPath(path);
    if (kind.isEmpty())
        return;
    m_dialogs.notify(
        QStringLiteral("Database on a network folder"),
        QStringLiteral("The database ") + path + QStringLiteral(" lies on a network folder (") +
            kind + QStringLiteral(").") + kCrLf2 +
            QStringLiteral("The database file's locks are not reliable on a network file "
                           "system: two workstations using it at once can damage it or lose "
                           "changes. Keep the file on this computer's own disk, or, for "
                           "several workstations, keep the records on a database server."),
        MessageIcon::Exclamation);
}

void DatabaseCommands::CloseDatabaseFile()
{
    m_store.close();
}

std::optional<TowRecord> DatabaseCommands::FindVehicleById(const QString &idText)
{
    return m_store.findVehicleById(idText);
}

void DatabaseCommands::RemoveVehicle(const QString &idText)
{
    const std::optional<TowRecord> record = m_store.findVehicleById(idText);
    if (!record)
        return;
    const QString text = QStringLiteral("Are you sure you want to remove this Vehicle?") + kCrLf2
                         + record->value(TowField::vehyear) + u' ' + record->value(TowField::vehmake)
                         + u' ' + record->value(TowField::vehmodel);
    if (m_dialogs.askDefaultNo(m_settings.companyName(), text, MessageIcon::Exclamation)
        == Answer::No)
        return;
    if (!m_store.removeTowRecord(record->id))
        ReportUnknownError(m_store.lastError());
}

int DatabaseCommands::AddGroup(const QString &name)
{
    if (!m_store.addGroup(name)) {
        ReportDatabaseError(m_store.lastError(), name);
        return -1;
    }
    return 1;
}

std::optional<int> DatabaseCommands::RemoveGroup(const QString &name)
{
    if (name.trimmed().isEmpty())
        return std::nullopt;
    const qint64 count = m_store.countVehiclesInGroup(name);
    if (count < 0) {
        m_dialogs.notify(kDatabaseErrorTitle,
                         QStringLiteral("Database error: ") + kCrLf2 + m_store.lastError().description,
                         MessageIcon::Critical);
        return std::nullopt;
    }
    if (count > 0) {
        const QString text = QStringLiteral("There are ") + QString::number(count)
                             + QStringLiteral(" vehicles(s) in this group, this action will also "
                                              "remove these vehicles entries, are you sure you want "
                                              "to delete the group '")
                             + name + QStringLiteral("' ?");
        if (m_dialogs.askDefaultNo(QStringLiteral("Vehicles in group"), text,
                                   MessageIcon::Exclamation)
            == Answer::No)
            return std::nullopt;
    }
    const RecordStore::RemoveGroupResult result = m_store.removeGroupWithVehicles(name);
    if (result == RecordStore::RemoveGroupResult::Failed) {
        m_dialogs.notify(kDatabaseErrorTitle,
                         QStringLiteral("Database error: ") + kCrLf2 + m_store.lastError().description,
                         MessageIcon::Critical);
        return std::nullopt;
    }
    return result == RecordStore::RemoveGroupResult::Removed ? 1 : -1;
}

void DatabaseCommands::ReportDatabaseError(const DbError &error, const QString &groupName)
{
    if (error.number == DbError::kBlankName) {
        m_dialogs.notify(QStringLiteral("Group name"),
                         QStringLiteral("Please type a name for the group: a name that is empty "
                                        "or only blanks is not accepted."),
                         MessageIcon::Exclamation);
        return;
    }
    if (error.number == DbError::kDuplicateKey) {
        m_dialogs.notify(QStringLiteral("Duplicate Group"),
                         QStringLiteral("The group '") + groupName + QStringLiteral("' Exists!")
                             + kCrLf2 + QStringLiteral("Please choose a unique group name"),
                         MessageIcon::Exclamation);
        return;
    }
    ReportUnknownError(error);
}

void DatabaseCommands::ReportUnknownError(Dialogs &dialogs, const DbError &error)
{
    if (error.number == DbError::kConnectionLost) {
        dialogs.notify(QStringLiteral("Connection lost"),
                         error.description + kCrLf2
                             + QStringLiteral("The program connects again at your next action "
                                              "once the server answers, or now with Reconnect "
                                              "in the File menu. Nothing is done again by "
                                              "itself."),
                         MessageIcon::Critical);
        return;
    }
    if (error.number == DbError::kBusy || error.number == DbError::kReadOnly) {
        dialogs.notify(kDatabaseErrorTitle, error.description, MessageIcon::Exclamation);
        return;
    }
    dialogs.notify(kDatabaseErrorTitle,
                     QStringLiteral("Unknown database error: ") + kCrLf2 + error.description,
                     MessageIcon::Critical);
}

} // namespace tarnvale
