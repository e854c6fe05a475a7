#include "PricingPlan.h"

#include <algorithm>

#include "MoneyFormat.h"

namespace tarnvale {

namespace {

constexpr qint64 kSecondsPerPeriod = 24 * 3600;

bool validCents(qint64 cents)
{
    return cents >= 0 && cents < kMaxMoneyCents;
}

// a + b * c, false when it would reach kMaxMoneyCents.
bool addProduct(qint64 &sum, qint64 b, qint64 c)
{
    qint64 product = 0;
    return !__builtin_mul_overflow(b, c, &product) && !__builtin_add_overflow(sum, product, &sum) &&
           sum < kMaxMoneyCents;
}

} // namespace

PricingPlan PricingPlan::standard()
{
    PricingPlan plan;
    plan.name = standardName();
    plan.rateFromSettings = true;
    plan.tiers = {StorageTier{}};
    return plan;
}

QString PricingPlan::problem() const
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("A plan needs a name.");
    if (!rateFromSettings && trimmed.compare(standardName(), Qt::CaseInsensitive) == 0)
        return QStringLiteral("The name \"%1\" is the plan that follows the storage fee in the "
                              "settings.")
            .arg(standardName());
    if (tiers.isEmpty() || tiers.first().fromDay != 1)
        return QStringLiteral("The first rate applies from day 1.");
    if (tiers.size() > kMaxTiers)
        return QStringLiteral("A plan has at most %1 rates.").arg(kMaxTiers);
    for (qsizetype i = 0; i < tiers.size(); ++i) {
        if (i > 0 && (tiers[i].fromDay <= tiers[i - 1].fromDay || tiers[i].fromDay > kMaxDays))
            return QStringLiteral("Each rate starts on a later day than the one before, at most "
                                  "day %1.")
                .arg(kMaxDays);
        if (!std::all_of(tiers[i].rateCents.begin(), tiers[i].rateCents.end(), validCents))
            return QStringLiteral("A daily rate is below zero or too large.");
    }
    if (graceHours < 0 || graceHours > kMaxDays * 24)
        return QStringLiteral("The grace period is from 0 to %1 hours.").arg(kMaxDays * 24);
    if (capDays < 0 || capDays > kMaxDays)
        return QStringLiteral("The cap on days is from 0 (none) to %1.").arg(kMaxDays);
    if (!validCents(capCents) || !validCents(adminFeeCents) || !validCents(afterHoursFeeCents))
        return QStringLiteral("A fee or the cap is below zero or too large.");
    if (afterHoursFeeCents > 0 && !(opens.isValid() && closes.isValid() && opens < closes))
        return QStringLiteral("An after-hours fee needs the yard's hours, opening before "
                              "closing.");
    if (lienFees.size() > kMaxLienFees)
        return QStringLiteral("A plan has at most %1 lien fees.").arg(kMaxLienFees);
    for (const LienFee &fee : lienFees)
        if (fee.step.trimmed().isEmpty() || fee.afterDays < 0 || fee.afterDays > kMaxDays ||
            !validCents(fee.cents))
            return QStringLiteral("Each lien fee needs a name, its day (0 to %1) and an amount.")
                .arg(kMaxDays);
    return QString();
}

bool PricingPlan::afterHours(const QDateTime &moment) const
{
    if (!opens.isValid() || !closes.isValid() || !moment.isValid())
        return false;
    if (!(openDays & (1 << (moment.date().dayOfWeek() - 1))))
        return true;
    const QTime time = moment.time();
    return time < opens || time >= closes;
}

VehicleClass Pricing::classOfHookup(const QString &hookup)
{
    const QString word = hookup.trimmed();
    if (word == QLatin1String("Medium"))
        return VehicleClass::Medium;
    if (word == QLatin1String("Heavy"))
        return VehicleClass::Heavy;
    return VehicleClass::Light;
}

QString Pricing::className(VehicleClass vehicleClass)
{
    switch (vehicleClass) {
    case VehicleClass::Medium:
        return QStringLiteral("Medium");
    case VehicleClass::Heavy:
        return QStringLiteral("Heavy");
    case VehicleClass::Motorcycle:
        return QStringLiteral("Motorcycle");
    case VehicleClass::Light:
        break;
    }
    return QStringLiteral("Light");
}

QString Pricing::workedExample(const PricingPlan &plan, qint64 settingsRateCents)
{
    const QDateTime in(QDate(2026, 3, 13), QTime(23, 10), Qt::UTC),
        out(QDate(2026, 3, 16), QTime(8, 30), Qt::UTC);
    const std::optional<PricingBill> bill =
        Pricing::bill(plan, VehicleClass::Light, settingsRateCents, in, out, true);
    const QString stay = QStringLiteral("towed Fri 23:10, released Mon 08:30: ");
    if (!bill)
        return stay + QStringLiteral("the amounts are too large.");
    const auto money = [](qint64 cents) { return MoneyFormat(cents / 100.0, kMoneyDollar); };
    const QString unit =
        plan.dayType == DayType::Periods ? QStringLiteral("period") : QStringLiteral("day");
    QStringList parts{QStringLiteral("%1 %2%3")
                          .arg(bill->counted)
                          .arg(unit, bill->counted == 1 ? QString() : QStringLiteral("s"))};
    parts << (bill->withinGrace ? QStringLiteral("no storage (grace period)")
                                : money(bill->storageCents) + QStringLiteral(" storage"));
    for (const BillLine &fee : bill->fees) {
        QString label = fee.label;
        if (!label.isEmpty())
            label[0] = label[0].toLower();
        parts << money(fee.cents) + u' ' + label;
    }
    return stay + parts.join(QStringLiteral(", "));
}

qint64 Pricing::defaultPlanId(const QString &type, const QString &reason, qint64 groupPlanId,
                              const QList<PricingPlan> &plans)
{
    for (const PricingPlan &plan : plans)
        for (const QString &word : plan.defaultFor)
            for (const QString &given : {type, reason})
                if (!word.trimmed().isEmpty() &&
                    given.trimmed().compare(word.trimmed(), Qt::CaseInsensitive) == 0)
                    return plan.id;
    return groupPlanId;
}

std::optional<PricingBill> Pricing::bill(const PricingPlan &plan, VehicleClass vehicleClass,
                                         qint64 settingsRateCents, const QDateTime &in,
                                         const QDateTime &out, bool released)
{
    PricingBill bill;
    const qint64 seconds = in.secsTo(out);
    const qint64 calendarDays = std::max<qint64>(0, in.date().daysTo(out.date()));
    if (plan.dayType == DayType::Periods)
        bill.counted = seconds > 0 ? (seconds + kSecondsPerPeriod - 1) / kSecondsPerPeriod : 0;
    else if (in.date() <= out.date())
        bill.counted = calendarDays + (plan.towDayCounts ? 1 : 0);
    bill.withinGrace = plan.graceHours > 0 && seconds <= qint64(plan.graceHours) * 3600;
    bill.billed = bill.withinGrace ? 0 : bill.counted;
    if (plan.capDays > 0 && bill.billed > plan.capDays)
        bill.billed = plan.capDays;

    const QList<StorageTier> flat{StorageTier{}};
    const QList<StorageTier> &tiers = plan.rateFromSettings ? flat : plan.tiers;
    const auto rateOf = [&](const StorageTier &tier) {
        return plan.rateFromSettings ? settingsRateCents : tier.rateCents[size_t(vehicleClass)];
    };
    const QString unit =
        plan.dayType == DayType::Periods ? QStringLiteral("period") : QStringLiteral("day");
    for (qsizetype i = 0; i < tiers.size(); ++i) {
        const qint64 from = tiers[i].fromDay;
        if (i == 0 || from <= std::max<qint64>(bill.billed, 1))
            bill.rateCents = rateOf(tiers[i]);
        const qint64 to = std::min<qint64>(
            bill.billed, i + 1 < tiers.size() ? tiers[i + 1].fromDay - 1 : bill.billed);
        if (to < from)
            continue;
        BillLine line{from == 1 ? QStringLiteral("Storage")
                                : QStringLiteral("Storage from %1 %2").arg(unit).arg(from),
                      to - from + 1, rateOf(tiers[i]), 0};
        if (!addProduct(line.cents, line.units, line.rateCents) ||
            !addProduct(bill.storageCents, line.cents, 1))
            return std::nullopt;
        bill.storage.append(line);
    }
    if (plan.capCents > 0 && bill.storageCents > plan.capCents) {
        bill.storage.append(BillLine{QStringLiteral("Storage cap"), 1,
                                     plan.capCents - bill.storageCents,
                                     plan.capCents - bill.storageCents});
        bill.storageCents = plan.capCents;
    }

    const auto fee = [&](const QString &label, qint64 cents) {
        if (cents > 0)
            bill.fees.append(BillLine{label, 1, cents, cents});
    };
    fee(QStringLiteral("Administrative fee"), plan.adminFeeCents);
    if (released && plan.afterHours(out))
        fee(QStringLiteral("After-hours release"), plan.afterHoursFeeCents);
    for (const LienFee &lien : plan.lienFees)
        if (calendarDays >= lien.afterDays)
            fee(lien.step, lien.cents);
    for (const BillLine &line : bill.fees)
        if (!addProduct(bill.feeCents, line.cents, 1))
            return std::nullopt;
    return bill;
}

} // namespace tarnvale
