// A pricing plan: how a yard bills storage and its fixed fees, and the bill it gives for one
// stay. Every amount is whole cents.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include <array>
#include <optional>

namespace tarnvale {

enum class VehicleClass { Light, Medium, Heavy, Motorcycle };
inline constexpr int kVehicleClassCount = 4;

// Calendar days count the day boundaries crossed (as the charge sheet always has); periods
// count every 24 hours begun from the moment of the tow.
enum class DayType { CalendarDays, Periods };

// From day (or period) `fromDay` on, each class pays its rate per day.
struct StorageTier
{
    int fromDay = 1;
    std::array<qint64, kVehicleClassCount> rateCents{};

    friend bool operator==(const StorageTier &, const StorageTier &) = default;
};

// A fee billed once the vehicle has been held `afterDays` calendar days (a lien step reached).
struct LienFee
{
    QString step;
    int afterDays = 0;
    qint64 cents = 0;

    friend bool operator==(const LienFee &, const LienFee &) = default;
};

struct PricingPlan
{
    static constexpr int kMaxDays = 3650;
    static constexpr int kMaxTiers = 10;
    static constexpr int kMaxLienFees = 10;

    qint64 id = 0; // given by the store; 0 for Standard and for a plan not stored yet
    QString name;
    // Standard: every class pays Fee/Storage Fee from the settings, and the tiers are unused.
    bool rateFromSettings = false;
    DayType dayType = DayType::CalendarDays;
    bool towDayCounts = false; // calendar days: the day of the tow is a day of its own
    int graceHours = 0;        // claimed within this many hours: no storage
    QList<StorageTier> tiers;  // ascending by fromDay, the first from day 1
    int capDays = 0;           // at most this many days billed; 0 for no cap
    qint64 capCents = 0;       // at most this much storage; 0 for no cap
    qint64 adminFeeCents = 0;
    qint64 afterHoursFeeCents = 0;
    QTime opens, closes; // the yard's hours; a release outside [opens, closes) is after hours
    int openDays = 0x7f; // bit (dayOfWeek - 1) set for each day the yard opens (Monday = bit 0)
    QList<LienFee> lienFees;
    QStringList defaultFor; // tow types and reasons a new vehicle takes this plan for

    friend bool operator==(const PricingPlan &, const PricingPlan &) = default;

    static QString standardName() { return QStringLiteral("Standard"); }
    // The plan of every vehicle that has none: the settings' storage fee per calendar day.
    static PricingPlan standard();
    bool isStandard() const { return rateFromSettings; }

    // Why the plan cannot be kept, one sentence; empty when it can.
    QString problem() const;
    // Whether a release at this moment falls outside the yard's hours.
    bool afterHours(const QDateTime &moment) const;
};

// One line of a bill: `units` days at `rateCents` for storage, or 1 for a fee.
struct BillLine
{
    QString label;
    qint64 units = 0;
    qint64 rateCents = 0;
    qint64 cents = 0;

    friend bool operator==(const BillLine &, const BillLine &) = default;
};

// The storage and fees of one stay. A bill with too large amounts is no bill (nullopt).
struct PricingBill
{
    qint64 counted = 0; // days or periods held, within the grace period too
    qint64 billed = 0;  // those billed, after the cap on days
    bool withinGrace = false;
    qint64 rateCents = 0;    // the daily rate of the last day billed (of day 1 when none)
    QList<BillLine> storage; // one line per tier reached
    qint64 storageCents = 0;
    QList<BillLine> fees; // each fee on its own line, in the plan's order
    qint64 feeCents = 0;

    friend bool operator==(const PricingBill &, const PricingBill &) = default;
};

// What was billed at a release, kept as billed: later changes to the plan, the rates or the
// tax rate leave it as it was.
struct KeptBill
{
    QString planName;
    qint64 days = 0;
    bool periods = false;
    qint64 rateCents = 0;
    QList<BillLine> storage;
    QList<BillLine> fees;
    std::optional<qint64> taxCents; // none when no total could be formed then

    friend bool operator==(const KeptBill &, const KeptBill &) = default;
};

class Pricing
{
  public:
    // The bill of a stay from `in` to `out`. `settingsRateCents` is the daily rate of a plan
    // that takes it from the settings. `released` says that `out` is the moment of a release
    // with its time of day known, the only kind that can be after hours. A stay whose end is
    // before its start holds no days. nullopt when an amount would reach kMaxMoneyCents.
    static std::optional<PricingBill> bill(const PricingPlan &plan, VehicleClass vehicleClass,
                                           qint64 settingsRateCents, const QDateTime &in,
                                           const QDateTime &out, bool released);
    // What the plan bills a light vehicle towed Fri 23:10 and released Mon 08:30 ("towed Fri
    // 23:10, released Mon 08:30: 3 periods, $105.00 storage, $50.00 after-hours release").
    static QString workedExample(const PricingPlan &plan, qint64 settingsRateCents);
    // The class of a vehicle by its hookup ("Light", "Medium", "Heavy"); others are Light.
    static VehicleClass classOfHookup(const QString &hookup);
    static QString className(VehicleClass vehicleClass);
    // The plan a new vehicle of this tow type and reason takes: the first plan that is the
    // default for either (case aside), else the group's default; 0 for Standard.
    static qint64 defaultPlanId(const QString &type, const QString &reason, qint64 groupPlanId,
                                const QList<PricingPlan> &plans);
};

} // namespace tarnvale
