// The business settings that the configuration window edits, as one value.
#pragma once

#include <QString>

namespace tarnvale {

struct ConfigValues
{
    QString name;          // Company/Name
    QString address;       // Company/Address
    QString city;          // Company/City
    QString state;         // Company/State
    QString zip;           // Company/Zip
    QString storageFee;    // Fee/Storage Fee
    QString light;         // Tow Fee/Light
    QString medium;        // Tow Fee/Medium
    QString heavy;         // Tow Fee/Heavy
    QString taxRate;       // Tow Fee/Taxrate
    bool tax = true;       // Tow Fee/Tax: "Yes" / "No"; on unless stored as "No"
    bool expanded = false; // Program/Expanded: "Yes" / "No"
    QString databasePath;  // Database/Path; empty means the default database

    friend bool operator==(const ConfigValues &, const ConfigValues &) = default;
};

} // namespace tarnvale
