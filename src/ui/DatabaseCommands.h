// The database commands that talk to the user: opening and closing the store, removing a
// vehicle, adding and removing groups, each with its questions and messages through Dialogs,
// and the messages of failed database operations.
//
// Who gets what: a window whose database commands talk to the user (the browser, the record
// form, the group dialog) is given this object for them and the RecordStore for what it reads
// and listens to; a window that only reads (find, reminders, backup) is given the RecordStore
// alone. The commands change the store through its own calls, so the store announces each
// change as it announces any other.
#pragma once

#include "RecordStore.h"

#include <QString>

#include <optional>

namespace tarnvale {

class Dialogs;
class ProgramFolder;
class SettingsFile;

class DatabaseCommands
{
public:
    DatabaseCommands(RecordStore &store, const SettingsFile &settings, const ProgramFolder &folder,
                Dialogs &dialogs);

    Dialogs &dialogs() const { return m_dialogs; }
    // The database file in use: the one chosen for this run (File > Open Recent), else
    // Database/Path, else data.dll in the program's folder.
    QString databasePath() const;
    // A database chosen on this workstation for this run, in place of Database/Path; it is
    // opened only when it exists. settings.ini is not changed.
    void useDatabase(const QString &path) { m_chosenPath = path; }
    // Whether that chosen database is another than the one settings.ini names.
    bool onAnotherDatabase() const;
    // Opens the store. The default file is created when missing, a configured path never is.
    // A failure is reported ("Error while initializing database: ") and answers false. A
    // database that holds objects this program does not create is opened read-only, and the
    // user is told so. A file on a network file system is opened, with a warning that its
    // locks cannot be relied on there. A path that holds a server's password is warned about
    // once, with how to keep it in the password file instead.
    bool OpenDatabaseFile();
    void CloseDatabaseFile();

    std::optional<TowRecord> FindVehicleById(const QString &idText);
    // Asks, then deletes the record. An id that no record has does nothing.
    void RemoveVehicle(const QString &idText);

    // 1 added, -1 failed (and reported).
    int AddGroup(const QString &name);
    // Nothing when the name is blank, the user declines or the store fails (reported);
    // 1 when the group row was removed, -1 when no group row had that name.
    std::optional<int> RemoveGroup(const QString &name);
    bool GroupExists(const QString &name) { return m_store.groupExists(name); }
    qint64 GroupIdByName(const QString &name) { return m_store.groupIdByName(name); }

    // The message for a failed AddGroup: "Duplicate Group" for 3022, else "Database Error!".
    void ReportDatabaseError(const DbError &error, const QString &groupName);
    // "Unknown database error: " and the description, titled "Database Error!". A lost
    // connection, a wait for another workstation's write and a read-only database are said
    // as they are.
    void ReportUnknownError(const DbError &error) { ReportUnknownError(m_dialogs, error); }
    // The same for a window that has no commands of its own (impound, reminders).
    static void ReportUnknownError(Dialogs &dialogs, const DbError &error);

private:
    QString configuredPath() const;
    void warnIfOnNetworkShare(const QString &path);

    RecordStore &m_store;
    const SettingsFile &m_settings;
    const ProgramFolder &m_folder;
    Dialogs &m_dialogs;
    bool m_passwordWarned = false;
    QString m_chosenPath;
};

} // namespace tarnvale
