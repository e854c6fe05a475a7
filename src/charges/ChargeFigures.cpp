#include "ChargeFigures.h"

#include <QStringList>

#include <cmath>

#include "DateText.h"
#include "LeadingNumber.h"
#include "MoneyFormat.h"
#include "NumberText.h"
#include "SettingsFile.h"
#include "TowRecord.h"

namespace tarnvale {

namespace {

// Tow Fee/Tax switches tax off only when it is exactly "No".
bool taxAdded(const SettingsFile &settings)
{
    return settings.read(QStringLiteral("Tow Fee"), QStringLiteral("Tax")) != QLatin1String("No");
}

std::optional<double> storedTaxRate(const SettingsFile &settings, const QLocale &locale)
{
    return NumberText::readStored(
        settings.read(QStringLiteral("Tow Fee"), QStringLiteral("Taxrate")), locale);
}

// A stored fraction of 1 or more (7.25 written for 7.25 %) is taken as it stands, and said.
QString taxRateNote(double fraction)
{
    // Six decimals of a percent hide binary noise.
    return QStringLiteral("The tax rate %1 % in settings.ini is added as it stands: mend it "
                          "in Config Settings.")
        .arg(NumberText::plain(std::round(fraction * 100 * 1e6) / 1e6));
}

// The tax on `subtotal` cents at `rate` (a fraction), as every sheet figures it.
std::optional<qint64> taxOn(qint64 subtotal, double rate)
{
    return MoneyCents(double(subtotal) * rate / 100.0);
}

} // namespace

ChargeFigures::TaxRule::TaxRule(const SettingsFile &settings, const QLocale &locale)
    : m_rate(taxAdded(settings) ? storedTaxRate(settings, locale) : std::nullopt)
{
}

qint64 ChargeFigures::TaxRule::on(qint64 subtotalCents) const
{
    return m_rate && *m_rate >= 0 ? taxOn(subtotalCents, *m_rate).value_or(0) : 0;
}

QString ChargeFigures::taxRateWarning(const SettingsFile &settings, const QLocale &locale)
{
    const auto rate = taxAdded(settings) ? storedTaxRate(settings, locale) : std::nullopt;
    return rate && *rate >= 1 ? taxRateNote(*rate) : QString();
}

KeptBill ChargeFigures::keep() const
{
    return KeptBill{planName,
                    days,
                    periods,
                    MoneyCents(rate).value_or(0),
                    storageLines,
                    fees,
                    totalFormed ? std::optional(taxCents) : std::nullopt};
}

QStringList ChargeFigures::chargeLines(const QString &towFee) const
{
    const auto money = [](qint64 cents) {
        const qint64 magnitude = cents < 0 ? -cents : cents;
        return QStringLiteral("%1$%2.%3")
            .arg(cents < 0 ? QStringLiteral("-") : QString())
            .arg(magnitude / 100)
            .arg(magnitude % 100, 2, 10, QChar(u'0'));
    };
    QStringList lines;
    const auto add = [&](const QString &label, qint64 cents) {
        lines << label + u'\t' + money(cents);
    };
    if (const auto fee = MoneyCents(NumberText::readStored(towFee).value_or(-1));
        totalFormed && fee)
        add(QStringLiteral("Tow fee"), *fee);
    QList<BillLine> billed = storageLines;
    // The flat figures keep no lines of their own.
    if (billed.isEmpty() && storage > 0)
        billed << BillLine{QStringLiteral("Storage"), days, MoneyCents(rate).value_or(0),
                           MoneyCents(storage).value_or(0)};
    for (const BillLine &line : billed + fees)
        add(line.units == 1 && line.rateCents == line.cents
                ? line.label
                : QStringLiteral("%1, %2 %3 x %4")
                      .arg(line.label)
                      .arg(line.units)
                      .arg(periods ? QStringLiteral("periods") : QStringLiteral("days"),
                           money(line.rateCents)),
            line.cents);
    if (totalFormed)
        add(QStringLiteral("Tax"), taxCents);
    return lines;
}

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

std::optional<std::pair<QDate, QDate>> ChargeFigures::readDates(ChargeFigures &f,
                                                                QStringList &notes,
                                                                const QDate &today,
                                                                const QLocale &locale)
{
    const auto in = DateText::read(f.dateTowed, locale, today);
    const auto out = DateText::read(f.dateOut, locale, today);
    // A date in a year no tow has: the year it reads as, and the years a tow date may have.
    const auto strayYear = [&today](const QString &what, const QString &text, const QDate &d) {
        return QStringLiteral("%1 \"%2\" is in the year %3, not from %4 to %5: 0 days counted.")
            .arg(what, text)
            .arg(d.year())
            .arg(DateText::kFirstYear)
            .arg(DateText::lastYear(today));
    };
    if (!in) {
        notes << (f.dateTowed.trimmed().isEmpty()
                      ? QStringLiteral("No date towed: 0 days counted.")
                      : QStringLiteral("Date towed \"%1\" is not a date: 0 days counted.")
                            .arg(f.dateTowed));
    } else if (!out) {
        notes
            << QStringLiteral("Date released \"%1\" is not a date: 0 days counted.").arg(f.dateOut);
    } else if (!DateText::yearAllowed(*in, today)) {
        notes << strayYear(QStringLiteral("Date towed"), f.dateTowed, *in);
    } else if (!DateText::yearAllowed(*out, today)) {
        notes << strayYear(QStringLiteral("Date released"), f.dateOut, *out);
    } else if (*out < *in) {
        notes << QStringLiteral("Released (%1) before towed (%2): 0 days counted.")
                     .arg(f.dateOut, f.dateTowed);
    } else {
        return std::pair{*in, *out};
    }
    return std::nullopt;
}

qint64 ChargeFigures::settingsRate(const SettingsFile &settings, QStringList &notes, bool *usable)
{
    const double rate =
        LeadingNumber(settings.read(QStringLiteral("Fee"), QStringLiteral("Storage Fee")));
    const std::optional<qint64> cents = MoneyCents(rate);
    *usable = true;
    if (rate < 0) {
        notes << QStringLiteral("The storage fee in the settings is below zero: no storage "
                                "charged.");
        return 0;
    }
    if (!cents) {
        *usable = false;
        return 0;
    }
    return *cents;
}

ChargeFigures ChargeFigures::compute(const QString &dateTowed, const QString &dateOut,
                                     const QString &towFee, const SettingsFile &settings,
                                     const QDate &today, const QLocale &locale)
{
    ChargeFigures f;
    QStringList notes;
    f.dateTowed = dateTowed;
    f.dateOut = dateOut.trimmed().isEmpty() ? DateText::shortForm(today, locale) : dateOut;
    if (const auto dates = readDates(f, notes, today, locale))
        f.days = dates->first.daysTo(dates->second);

    // Every figure is whole cents: the rate as printed, storage = days x that rate, tax
    // rounded on its own, and the grand total the sum of the lines a sheet prints.
    bool usable = true;
    qint64 rateCents = settingsRate(settings, notes, &usable);
    qint64 storageCents = 0;
    if (!usable || __builtin_mul_overflow(rateCents, f.days, &storageCents) ||
        storageCents >= kMaxMoneyCents) {
        rateCents = storageCents = 0;
        notes << QStringLiteral("The storage fee in the settings is too large: no storage "
                                "charged.");
    }
    f.rate = double(rateCents) / 100.0;
    f.storage = double(storageCents) / 100.0;
    addTotal(f, towFee, storageCents, settings, locale, notes);
    f.note = notes.join(u' ');
    return f;
}

ChargeFigures ChargeFigures::compute(const TowRecord &record, const SettingsFile &settings,
                                     const QDate &today, const PricedStay &stay,
                                     const QLocale &locale)
{
    return compute(record.value(TowField::toweddate), record.value(TowField::towedrelease),
                   record.value(TowField::towedfee), settings, today, stay, locale);
}

ChargeFigures ChargeFigures::compute(const QString &dateTowed, const QString &dateOut,
                                     const QString &towFee, const SettingsFile &settings,
                                     const QDate &today, const PricedStay &stay,
                                     const QLocale &locale)
{
    static const PricingPlan kStandard = PricingPlan::standard();
    const PricingPlan &plan = stay.plan ? *stay.plan : kStandard;
    ChargeFigures f;
    QStringList notes;
    const bool held = dateOut.trimmed().isEmpty();
    f.dateTowed = dateTowed;
    f.dateOut = held ? DateText::shortForm(today, locale) : dateOut;
    f.planName = plan.name;
    f.periods = plan.dayType == DayType::Periods;

    // Only the moments of a period, a grace period or a release time need the yard's zone;
    // calendar days need the days alone.
    const bool timed = plan.dayType == DayType::Periods || plan.graceHours > 0
                       || plan.afterHoursFeeCents > 0;
    const auto moment = [&](const QDate &day, const QTime &time) {
        const QTime at = time.isValid() ? time : QTime(0, 0);
        if (!timed)
            return QDateTime(day, at, Qt::UTC);
        const QDateTime local(day, at, stay.zone);
        if (local.isValid() || !day.isValid())
            return local;
        // A time the clocks skip when summer time begins (02:30 when 02:00 becomes 03:00) is
        // read on the clock of the day before, as the moment it would have been: 03:30.
        const QDateTime asUtc(day, at, Qt::UTC);
        return asUtc.addSecs(-stay.zone.offsetFromUtc(asUtc.addDays(-1))).toTimeZone(stay.zone);
    };
    QDateTime in = moment(today, QTime()), out = in;
    const auto dates = readDates(f, notes, today, locale);
    if (dates) {
        in = moment(dates->first, stay.towedAt);
        out = moment(dates->second, held ? stay.now : stay.releasedAt);
    }
    if (const auto &kept = stay.kept) {
        qint64 storageCents = 0, feeCents = 0;
        for (const BillLine &line : kept->storage)
            storageCents += line.cents;
        for (const BillLine &line : kept->fees)
            feeCents += line.cents;
        f.planName = kept->planName;
        f.periods = kept->periods;
        f.days = kept->days;
        f.rate = double(kept->rateCents) / 100.0;
        f.storage = double(storageCents) / 100.0;
        f.storageLines = kept->storage;
        f.fees = kept->fees;
        f.feesTotal = double(feeCents) / 100.0;
        addTotal(f, towFee, storageCents + feeCents, settings, locale, notes, kept->taxCents);
        f.note = notes.join(u' ');
        return f;
    }
    bool usable = true;
    const qint64 rateCents = plan.rateFromSettings ? settingsRate(settings, notes, &usable) : 0;
    std::optional<PricingBill> bill;
    if (usable)
        bill = Pricing::bill(plan, stay.vehicleClass, rateCents, in, out,
                             dates && !held && stay.releasedAt.isValid());
    if (!bill) {
        notes << (plan.rateFromSettings
                      ? QStringLiteral("The storage fee in the settings is too large: no "
                                       "storage charged.")
                      : QStringLiteral("The amounts of plan \"%1\" are too large: nothing "
                                       "charged for storage or fees.")
                            .arg(plan.name));
        bill = PricingBill{};
        bill->counted = std::max<qint64>(0, in.date().daysTo(out.date()));
    }
    f.days = bill->counted;
    f.rate = double(bill->rateCents) / 100.0;
    f.storage = double(bill->storageCents) / 100.0;
    f.storageLines = bill->storage;
    f.fees = bill->fees;
    f.feesTotal = double(bill->feeCents) / 100.0;
    addTotal(f, towFee, bill->storageCents + bill->feeCents, settings, locale, notes);
    f.note = notes.join(u' ');
    return f;
}

void ChargeFigures::addTotal(ChargeFigures &f, const QString &towFee, qint64 billedCents,
                             const SettingsFile &settings, const QLocale &locale,
                             QStringList &notes, std::optional<qint64> keptTax)
{
    const std::optional<double> fee = NumberText::readStored(towFee, locale);
    const std::optional<qint64> feeCents = fee ? MoneyCents(*fee) : std::nullopt;
    f.feeReadable = fee.has_value();
    if (!fee) {
        notes << (towFee.trimmed().isEmpty()
                      ? QStringLiteral("No tow fee: no total.")
                      : QStringLiteral("Tow fee \"%1\" is not an amount: no total.").arg(towFee));
    } else if (*fee < 0) {
        notes << QStringLiteral("Tow fee %1 is below zero: no total.").arg(towFee);
    } else if (!feeCents) {
        notes << QStringLiteral("Tow fee %1 is too large: no total.").arg(towFee);
    } else {
        const qint64 subtotal = *feeCents + billedCents;
        qint64 taxCents = 0;
        f.totalFormed = true;
        if (keptTax) {
            taxCents = *keptTax;
        } else if (taxAdded(settings)) {
            const auto taxRate = storedTaxRate(settings, locale);
            if (taxRate && *taxRate < 0) {
                notes << QStringLiteral("The tax rate in the settings is below zero: no tax "
                                        "added.");
            } else if (taxRate) {
                const std::optional<qint64> tax = taxOn(subtotal, *taxRate);
                if (tax)
                    taxCents = *tax;
                else
                    notes << QStringLiteral("The tax rate in the settings is too large: no tax "
                                            "added.");
                if (*taxRate >= 1)
                    notes << taxRateNote(*taxRate);
            }
        }
        f.tax = double(taxCents) / 100.0;
        f.taxCents = taxCents;
        f.grandTotal = double(subtotal + taxCents) / 100.0;
    }
}

} // namespace tarnvale
