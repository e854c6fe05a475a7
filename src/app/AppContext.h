// What every window of one running program shares: its folder, settings file, dialogs,
// record store and the database routines. Built once in main() (or by a test).
#pragma once

#include "ModDatabase.h"
#include "ProgramFolder.h"
#include "RecordStore.h"
#include "SettingsFile.h"

namespace tarnvale {

class Dialogs;

struct AppContext
{
    AppContext(const ProgramFolder &programFolder, Dialogs &dialogs)
        : folder(programFolder), settings(folder.settingsPath()), dialogs(dialogs),
          database(store, settings, folder, dialogs)
    {
    }
    AppContext(const QString &folderPath, Dialogs &dialogs)
        : AppContext(ProgramFolder(folderPath), dialogs)
    {
    }
    AppContext(const AppContext &) = delete;
    AppContext &operator=(const AppContext &) = delete;

    ProgramFolder folder;
    SettingsFile settings;
    Dialogs &dialogs;
    RecordStore store;
    ModDatabase database;
};

} // namespace tarnvale
