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

namespace tarnvale {

class SettingsFile;

struct SettingWrite
{
    QString section;
    QString key;
    QString value;

    friend bool operator==(const SettingWrite &, const SettingWrite &) = default;
};

class ConfigSettings
{
public:
    static ConfigValues load(const SettingsFile &settings);

    // The writes of "Apply", in the order they are made: Tax, Name, Address, City, State, Zip,
    // Path, Light, Medium, Heavy, Taxrate, Storage Fee, and last Expanded.
    static QList<SettingWrite> applyWrites(const ConfigValues &values);

    // Makes the writes; before the last one (Expanded) hands the company name, read back from
    // the file, to companyNameStored (the main window's caption).
    static void apply(const SettingsFile &settings, const ConfigValues &values,
                      const std::function<void(const QString &)> &companyNameStored);

    static QString switchText(bool on);
    static bool switchOn(const QString &stored);
    static bool taxOn(const QString &stored);
};

} // namespace tarnvale
