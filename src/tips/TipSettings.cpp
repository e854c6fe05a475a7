#include "TipSettings.h"

#include <QLocale>

#include "SettingsFile.h"

namespace tarnvale {

namespace {

const QString kTips = QStringLiteral("Tips");
const QString kQuorvel = QStringLiteral("Quorvel");
const QString kStartupTips = QStringLiteral("StartupTips");

} // namespace

bool TipSettings::showAtStartup(const SettingsFile &settings)
{
    return settings.read(kTips, kStartupTips) == QLatin1String("1");
}

void TipSettings::setShowAtStartup(const SettingsFile &settings, bool show)
{
    settings.write(kTips, kStartupTips, show ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TipSettings::readsAsOne(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && value == 1.0;
}

bool TipSettings::closesItself(const SettingsFile &settings)
{
    return readsAsOne(settings.read(kQuorvel, kStartupTips));
}

QString TipSettings::displayFont(const SettingsFile &settings)
{
    return settings.read(kQuorvel, QStringLiteral("DisplayFont"), QStringLiteral("Tahoma"));
}

QString TipSettings::fontOrFallback(const QString &requested, const QString &reported)
{
    if (!requested.isEmpty() && requested.compare(reported, Qt::CaseInsensitive) == 0)
        return requested;
    return QString::fromUtf16(kFallbackFont);
}

} // namespace tarnvale
