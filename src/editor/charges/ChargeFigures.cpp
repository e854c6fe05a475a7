#include "ChargeFigures.h"

#include "DateText.h"
#include "LeadingNumber.h"
#include "MoneyFormat.h"
#include "NumberText.h"
#include "SettingsFile.h"
#include "TowRecord.h"

namespace tarnvale {

QString ChargeFigures::daysText() const
{
    return QString::number(days);
}

QString ChargeFigures::rateText() const
{
    return MoneyFormat(rate, kMoneyRate);
}

QString ChargeFigures::storageText() const
{
    return MoneyFormat(storage, kMoneyDollar);
}

QString ChargeFigures::grandTotalText() const
{
    return MoneyFormat(grandTotal, kMoneyDollar);
}

ChargeFigures ChargeFigures::compute(const TowRecord &record, const SettingsFile &settings,
                                     const QDate &today, const QLocale &locale)
{
    const QString release = record.value(TowField::towedrelease);
    return compute(record.value(TowField::toweddate),
                   release.isEmpty() ? DateText::shortForm(today, locale) : release,
                   record.value(TowField::towedfee), settings, today, locale);
}

ChargeFigures ChargeFigures::compute(const QString &dateTowed, const QString &dateOut,
                                     const QString &towFee, const SettingsFile &settings,
                                     const QDate &today, const QLocale &locale)
{
    ChargeFigures f;
    f.dateTowed = dateTowed;
    f.dateOut = dateOut.isEmpty() ? DateText::shortForm(today, locale) : dateOut;

    const auto in = DateText::read(f.dateTowed, locale, today);
    const auto out = DateText::read(f.dateOut, locale, today);
    if (in && out)
        f.days = in->daysTo(*out);

    f.rate = LeadingNumber(settings.read(QStringLiteral("Fee"), QStringLiteral("Storage Fee")));
    f.storage = f.rate * double(f.days);

    const std::optional<double> fee = NumberText::read(towFee, locale);
    f.feeReadable = fee.has_value();
    if (!fee)
        return f; // no sum can be formed: the grand total stays 0

    const double subtotal = *fee + f.storage;
    f.grandTotal = subtotal;
    if (settings.read(QStringLiteral("Tow Fee"), QStringLiteral("Tax")) != QLatin1String("No")) {
        const auto taxRate = NumberText::read(
            settings.read(QStringLiteral("Tow Fee"), QStringLiteral("Taxrate")), locale);
        if (taxRate) {
            f.tax = *taxRate * subtotal;
            f.grandTotal = subtotal + f.tax;
        }
    }
    return f;
}

} // namespace tarnvale
