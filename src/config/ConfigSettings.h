// Reading and storing the business settings of the configuration window.
//
// Nothing is validated here (the window checks the boxes first): every text is stored as
// given. A switch is stored as "Yes" or "No". Tax is on unless its stored text is exactly "No",
// as the charge figures read it; any other switch is on only when its text is exactly "Yes".
#pragma once

#include <QList>
#include <QString>

#include <functional>

#include "ConfigValues.h"
#include "IniFile.h"

namespace tarnvale {

class SettingsFile;

using SettingWrite = IniEntry;

class ConfigSettings
{
public:
    static ConfigValues load(const SettingsFile &settings);

    // The writes of "Apply", in the order they are made: Tax, Name, Address, City, State, Zip,
    // Path, Light, Medium, Heavy, Taxrate, Storage Fee, and last Expanded.
    static QList<SettingWrite> applyWrites(const ConfigValues &values);

    // Stores all the values in one replacement of the file, so that a failure or a crash
    // leaves either all the old values or all the new ones; then hands the company name, read
    // back from the file, to companyNameStored (the main window's caption). False, with
    // `error` saying why, when nothing was stored.
    static bool apply(const SettingsFile &settings, const ConfigValues &values,
                      const std::function<void(const QString &)> &companyNameStored,
                      QString *error = nullptr);

    static QString switchText(bool on);
    static bool switchOn(const QString &stored);
    static bool taxOn(const QString &stored);
};

} // namespace tarnvale
