// What every window of one running program shares: its folder, settings file, dialogs,
// record store and the database routines, and what this workstation keeps for itself (where
// each window was). Built once in main() (or by a test).
#pragma once

#include <QDir>
#include <QSettings>

#include "DatabaseCommands.h"
#include "ProgramFolder.h"
#include "RecordStore.h"
#include "SettingsFile.h"

namespace tarnvale {

class Dialogs;

struct AppContext
{
    // `workstationFile`: an INI file of this user on this computer, never the yard's shared
    // settings.ini.
    AppContext(const ProgramFolder &programFolder, Dialogs &dialogs, const QString &workstationFile)
        : folder(programFolder), settings(folder.settingsPath()), dialogs(dialogs),
          database(store, settings, folder, dialogs),
          workstation(workstationFile, QSettings::IniFormat)
    {
    }
    // Everything in one folder, this workstation's file too.
    AppContext(const QString &folderPath, Dialogs &dialogs)
        : AppContext(ProgramFolder(folderPath), dialogs,
                     QDir(folderPath).filePath(QStringLiteral("workstation.ini")))
    {
    }
    AppContext(const AppContext &) = delete;
    AppContext &operator=(const AppContext &) = delete;

    ProgramFolder folder;
    SettingsFile settings;
    Dialogs &dialogs;
    RecordStore store;
    DatabaseCommands database;
    QSettings workstation;
};

} // namespace tarnvale
