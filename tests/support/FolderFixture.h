// A fresh program folder, its settings file and a scripted user. Header-only; tests that use
// it link tarnvale_settings.
#pragma once

#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "SettingsFile.h"
#include "TestFolder.h"

namespace tarnvale::test {

struct FolderFixture
{
    TestFolder dir;
    ProgramFolder folder{dir.path()};
    SettingsFile settings{folder.settingsPath()};
    ScriptedDialogs dialogs;
};

} // namespace tarnvale::test
