#include "HookupFeeLookup.h"

#include "SettingsFile.h"

namespace tarnvale {

std::optional<HookupFee> HookupFeeLookup(const QString &hookupText, const SettingsFile &settings)
{
    if (hookupText == QLatin1String("Light") || hookupText == QLatin1String("Medium") ||
        hookupText == QLatin1String("Heavy"))
        return HookupFee{settings.read(QStringLiteral("Tow Fee"), hookupText, QString()), false};
    if (hookupText == QLatin1String("Other"))
        return HookupFee{QString(), true};
    return std::nullopt;
}

} // namespace tarnvale
