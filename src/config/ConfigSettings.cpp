#include "ConfigSettings.h"

#include "SettingsFile.h"

namespace tarnvale {

namespace {

const QString kCompany = QStringLiteral("Company");
const QString kTowFee = QStringLiteral("Tow Fee");

} // namespace

QString ConfigSettings::switchText(bool on)
{
    return on ? QStringLiteral("Yes") : QStringLiteral("No");
}

bool ConfigSettings::switchOn(const QString &stored)
{
    return stored == QLatin1String("Yes");
}

bool ConfigSettings::taxOn(const QString &stored)
{
    return stored != QLatin1String("No");
}

ConfigValues ConfigSettings::load(const SettingsFile &settings)
{
    ConfigValues values;
    values.name = settings.read(kCompany, QStringLiteral("Name"));
    values.address = settings.read(kCompany, QStringLiteral("Address"));
    values.city = settings.read(kCompany, QStringLiteral("City"));
    values.state = settings.read(kCompany, QStringLiteral("State"));
    values.zip = settings.read(kCompany, QStringLiteral("Zip"));
    values.storageFee = settings.read(QStringLiteral("Fee"), QStringLiteral("Storage Fee"));
    values.light = settings.read(kTowFee, QStringLiteral("Light"));
    values.medium = settings.read(kTowFee, QStringLiteral("Medium"));
    values.heavy = settings.read(kTowFee, QStringLiteral("Heavy"));
    values.taxRate = settings.read(kTowFee, QStringLiteral("Taxrate"));
    values.tax = taxOn(settings.read(kTowFee, QStringLiteral("Tax")));
    values.expanded =
        switchOn(settings.read(QStringLiteral("Program"), QStringLiteral("Expanded")));
    values.databasePath = settings.read(QStringLiteral("Database"), QStringLiteral("Path"));
    return values;
}

QList<SettingWrite> ConfigSettings::applyWrites(const ConfigValues &values)
{
    return {
        {kTowFee, QStringLiteral("Tax"), switchText(values.tax)},
        {kCompany, QStringLiteral("Name"), values.name},
        {kCompany, QStringLiteral("Address"), values.address},
        {kCompany, QStringLiteral("City"), values.city},
        {kCompany, QStringLiteral("State"), values.state},
        {kCompany, QStringLiteral("Zip"), values.zip},
        {QStringLiteral("Database"), QStringLiteral("Path"), values.databasePath},
        {kTowFee, QStringLiteral("Light"), values.light},
        {kTowFee, QStringLiteral("Medium"), values.medium},
        {kTowFee, QStringLiteral("Heavy"), values.heavy},
        {kTowFee, QStringLiteral("Taxrate"), values.taxRate},
        {QStringLiteral("Fee"), QStringLiteral("Storage Fee"), values.storageFee},
        {QStringLiteral("Program"), QStringLiteral("Expanded"), switchText(values.expanded)},
    };
}

void ConfigSettings::apply(const SettingsFile &settings, const ConfigValues &values,
                           const std::function<void(const QString &)> &companyNameStored)
{
    const QList<SettingWrite> writes = applyWrites(values);
    for (qsizetype i = 0; i + 1 < writes.size(); ++i)
        settings.write(writes[i].section, writes[i].key, writes[i].value);
    if (companyNameStored)
        companyNameStored(settings.companyName());
    const SettingWrite &last = writes.last();
    settings.write(last.section, last.key, last.value);
}

} // namespace tarnvale
