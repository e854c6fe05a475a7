#include "PricingBookRead.h"

#include "ExportQueries.h"
#include "QtSqlRows.h"
#include "SqlDialect.h"
#include "SqliteReader.h"

namespace tarnvale {

template <class Reader>
bool PricingBookRead::read(Reader &db, const SqlDialect &dialect, PricingBook &book)
{
    const std::optional<bool> present = ExportQueries::hasTable(db, dialect, QStringLiteral("pricing_plans"));
    if (!present || !*present)
        return present.has_value();
    const auto text = [&db](int column) { return QString::fromUtf8(db.text(column)); };
    const auto time = [&](int column) { return QTime::fromString(text(column), u"HH:mm"); };
    const auto scan = [&db](const char *sql, const auto &visit) {
        return ExportQueries::scan(db, sql, visit);
    };
    QHash<qint64, qsizetype> at;
    const auto plan = [&](qint64 id) { return at.contains(id) ? &book.plans[at[id]] : nullptr; };
    return scan("SELECT id, name, day_type, tow_day_counts, grace_hours, cap_days, cap_cents, "
                "admin_fee_cents, after_hours_fee_cents, opens, closes, open_days "
                "FROM pricing_plans",
                [&] {
                    PricingPlan p;
                    p.id = db.integer(0), p.name = text(1);
                    p.dayType = text(2) == u"periods" ? DayType::Periods : DayType::CalendarDays;
                    p.towDayCounts = db.integer(3) != 0, p.graceHours = int(db.integer(4));
                    p.capDays = int(db.integer(5)), p.capCents = db.integer(6);
                    p.adminFeeCents = db.integer(7), p.afterHoursFeeCents = db.integer(8);
                    p.opens = time(9), p.closes = time(10), p.openDays = int(db.integer(11));
                    at.insert(p.id, book.plans.size());
                    book.plans.append(p);
                })
           && scan("SELECT plan_id, from_day, light_cents, medium_cents, heavy_cents, "
                   "motorcycle_cents FROM pricing_tiers ORDER BY plan_id, from_day",
                   [&] {
                       if (PricingPlan *p = plan(db.integer(0)))
                           p->tiers.append(StorageTier{int(db.integer(1)),
                                            {db.integer(2), db.integer(3), db.integer(4),
                                             db.integer(5)}});
                   })
           && scan("SELECT plan_id, step, after_days, cents FROM pricing_lien_fees "
                   "ORDER BY plan_id, id",
                   [&] {
                       if (PricingPlan *p = plan(db.integer(0)))
                           p->lienFees.append(LienFee{text(1), int(db.integer(2)), db.integer(3)});
                   })
           && scan("SELECT vehicle_id, plan_id, vehicle_class, towed_at FROM vehicle_pricing",
                   [&] {
                       VehiclePricing v{db.integer(1), std::nullopt, time(3)};
                       for (int c = 0; c < kVehicleClassCount; ++c)
                           if (text(2) == Pricing::className(VehicleClass(c)))
                               v.vehicleClass = VehicleClass(c);
                       book.vehicles.insert(db.integer(0), v);
                   })
           && scan("SELECT g.groupname, p.plan_id FROM group_pricing p JOIN groups g "
                   "ON g.GROUPID = p.group_id",
                   [&] { book.groupPlans.insert(text(0), db.integer(1)); })
           && scan("SELECT vehicle_id, released_at FROM impound_releases",
                   [&] {
                       if (const QTime t = time(1); t.isValid())
                           book.releaseTimes.insert(db.integer(0), t);
                   })
           && scan("SELECT vehicle_id, plan_name, kind, label, units, rate_cents, cents "
                   "FROM release_bills ORDER BY vehicle_id, position",
                   [&] {
                       KeptBill &bill = book.kept[db.integer(0)];
                       bill.planName = text(1);
                       const QString kind = text(2);
                       const BillLine line{text(3), db.integer(4), db.integer(5),
                                           db.integer(6)};
                       if (kind == u"storage")
                           bill.storage.append(line);
                       else if (kind == u"fee")
                           bill.fees.append(line);
                       else if (kind == u"tax")
                           bill.taxCents = line.cents;
                       else if (kind == u"days")
                           bill.days = line.units, bill.periods = line.label == u"periods",
                           bill.rateCents = line.rateCents;
                   });
}

template bool PricingBookRead::read(SqliteReader &, const SqlDialect &, PricingBook &);
template bool PricingBookRead::read(QtSqlRows &, const SqlDialect &, PricingBook &);

} // namespace tarnvale
