// The hookup charge for the class picked in the editor's hookup box.
#pragma once

#include <QString>

#include <optional>

namespace tarnvale {

class SettingsFile;

struct HookupFee
{
    QString charge;            // the new text of the hookup charge box
    bool makeEditable = false; // "Other": the user types the charge

    friend bool operator==(const HookupFee &, const HookupFee &) = default;
};

// By the exact text of the hookup box: "Light", "Medium", "Heavy" give the key of that name in
// section "Tow Fee" (empty when absent); "Other" gives an empty, editable box; anything else
// changes nothing (nullopt).
std::optional<HookupFee> HookupFeeLookup(const QString &hookupText, const SettingsFile &settings);

} // namespace tarnvale
