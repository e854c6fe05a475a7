#include "ChargeFigures.h"

#include <QStringList>

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
                   release.trimmed().isEmpty() ? DateText::shortForm(today, locale) : release,
                   record.value(TowField::towedfee), settings, today, locale);
}

ChargeFigures ChargeFigures::compute(const QString &dateTowed, const QString &dateOut,
                                     const QString &towFee, const SettingsFile &settings,
                                     const QDate &today, const QLocale &locale)
{
    ChargeFigures f;
    QStringList notes;
    f.dateTowed = dateTowed;
    f.dateOut = dateOut.trimmed().isEmpty() ? DateText::shortForm(today, locale) : dateOut;

    const auto in = DateText::read(f.dateTowed, locale, today);
    const auto out = DateText::read(f.dateOut, locale, today);
    if (!in) {
        notes << (f.dateTowed.trimmed().isEmpty()
                      ? QStringLiteral("No date towed: 0 days counted.")
                      : QStringLiteral("Date towed \"%1\" is not a date: 0 days counted.")
                            .arg(f.dateTowed));
    } else if (!out) {
        notes
            << QStringLiteral("Date released \"%1\" is not a date: 0 days counted.").arg(f.dateOut);
    } else if (*out < *in) {
        notes << QStringLiteral("Released (%1) before towed (%2): 0 days counted.")
                     .arg(f.dateOut, f.dateTowed);
    } else {
        f.days = in->daysTo(*out);
    }

    f.rate = LeadingNumber(settings.read(QStringLiteral("Fee"), QStringLiteral("Storage Fee")));
    if (f.rate < 0) {
        f.rate = 0;
        notes << QStringLiteral("The storage fee in the settings is below zero: no storage "
                                "charged.");
    }
    f.storage = f.rate * double(f.days);

    const std::optional<double> fee = NumberText::readStored(towFee, locale);
    f.feeReadable = fee.has_value();
    if (!fee) {
        notes << (towFee.trimmed().isEmpty()
                      ? QStringLiteral("No tow fee: no total.")
                      : QStringLiteral("Tow fee \"%1\" is not an amount: no total.").arg(towFee));
    } else if (*fee < 0) {
        notes << QStringLiteral("Tow fee %1 is below zero: no total.").arg(towFee);
    } else {
        const double subtotal = *fee + f.storage;
        f.grandTotal = subtotal;
        f.totalFormed = true;
        if (settings.read(QStringLiteral("Tow Fee"), QStringLiteral("Tax")) !=
            QLatin1String("No")) {
            const auto taxRate = NumberText::readStored(
                settings.read(QStringLiteral("Tow Fee"), QStringLiteral("Taxrate")), locale);
            if (taxRate && *taxRate < 0)
                notes << QStringLiteral("The tax rate in the settings is below zero: no tax "
                                        "added.");
            else if (taxRate) {
                f.tax = *taxRate * subtotal;
                f.grandTotal = subtotal + f.tax;
            }
        }
    }
    f.note = notes.join(u' ');
    return f;
}

} // namespace tarnvale
