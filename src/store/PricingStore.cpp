#include "PricingStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "RecordStore.h"
#include "TowRecord.h"

namespace tarnvale {

namespace {

const char *const kPlanColumns =
    "name, day_type, tow_day_counts, grace_hours, cap_days, cap_cents, admin_fee_cents, "
    "after_hours_fee_cents, opens, closes, open_days, default_for";

QString timeText(const QTime &time)
{
    return time.isValid() ? time.toString(QStringLiteral("HH:mm")) : QString(u""_qs);
}

QTime timeOf(const QVariant &value)
{
    return QTime::fromString(value.toString(), QStringLiteral("HH:mm"));
}

QVariantList planValues(const PricingPlan &plan)
{
    return {plan.name.trimmed(),
            plan.dayType == DayType::Periods ? QStringLiteral("periods")
                                             : QStringLiteral("calendar"),
            int(plan.towDayCounts),
            plan.graceHours,
            plan.capDays,
            plan.capCents,
            plan.adminFeeCents,
            plan.afterHoursFeeCents,
            timeText(plan.opens),
            timeText(plan.closes),
            plan.openDays,
            // Never NULL: a plan that is no tow type's default keeps an empty list.
            plan.defaultFor.isEmpty() ? QString(u""_qs) : plan.defaultFor.join(u'\n')};
}

PricingPlan planAt(const QSqlQuery &q)
{
    PricingPlan plan;
    plan.id = q.value(0).toLongLong();
    plan.name = q.value(1).toString();
    plan.dayType = q.value(2).toString() == QLatin1String("periods") ? DayType::Periods
                                                                     : DayType::CalendarDays;
    plan.towDayCounts = q.value(3).toLongLong() != 0;
    plan.graceHours = q.value(4).toInt();
    plan.capDays = q.value(5).toInt();
    plan.capCents = q.value(6).toLongLong();
    plan.adminFeeCents = q.value(7).toLongLong();
    plan.afterHoursFeeCents = q.value(8).toLongLong();
    plan.opens = timeOf(q.value(9));
    plan.closes = timeOf(q.value(10));
    plan.openDays = q.value(11).toInt();
    plan.defaultFor = q.value(12).toString().split(u'\n', Qt::SkipEmptyParts);
    return plan;
}

std::optional<VehicleClass> classOf(const QString &word)
{
    for (int i = 0; i < kVehicleClassCount; ++i)
        if (word == Pricing::className(VehicleClass(i)))
            return VehicleClass(i);
    return std::nullopt;
}

VehiclePricing pricingAt(const QSqlQuery &q, int first)
{
    return VehiclePricing{q.value(first).toLongLong(), classOf(q.value(first + 1).toString()),
                          timeOf(q.value(first + 2))};
}

} // namespace

PricingStore::PricingStore(RecordStore &store) : m_store(store) {}

PricingStore::Result PricingStore::fail(const QSqlQuery &query, const QString &doing)
{
    m_error = DbError::fromSql(query.lastError(), doing);
    if (!m_store.isOpen())
        m_error = DbError{DbError::kNotOpen, QStringLiteral("The database is not open.")};
    return Result::Failed;
}

bool PricingStore::exec(QSqlQuery &query, const QString &doing)
{
    if (query.exec())
        return true;
    fail(query, doing);
    return false;
}

std::optional<QList<PricingPlan>> PricingStore::plans()
{
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    QList<PricingPlan> result;
    QHash<qint64, qsizetype> at;
    if (!query.exec(QStringLiteral("SELECT id, %1 FROM pricing_plans ORDER BY name")
                        .arg(QLatin1String(kPlanColumns)))) {
        fail(query, QStringLiteral("reading the pricing plans"));
        return std::nullopt;
    }
    while (query.next()) {
        at.insert(query.value(0).toLongLong(), result.size());
        result.append(planAt(query));
    }
    if (!query.exec(QStringLiteral("SELECT plan_id, from_day, light_cents, medium_cents, "
                                   "heavy_cents, motorcycle_cents FROM pricing_tiers "
                                   "ORDER BY plan_id, from_day"))) {
        fail(query, QStringLiteral("reading the pricing plans"));
        return std::nullopt;
    }
    while (query.next())
        if (const auto i = at.find(query.value(0).toLongLong()); i != at.end())
            result[*i].tiers.append(
                StorageTier{query.value(1).toInt(),
                            {query.value(2).toLongLong(), query.value(3).toLongLong(),
                             query.value(4).toLongLong(), query.value(5).toLongLong()}});
    if (!query.exec(QStringLiteral("SELECT plan_id, step, after_days, cents FROM "
                                   "pricing_lien_fees ORDER BY plan_id, id"))) {
        fail(query, QStringLiteral("reading the pricing plans"));
        return std::nullopt;
    }
    while (query.next())
        if (const auto i = at.find(query.value(0).toLongLong()); i != at.end())
            result[*i].lienFees.append(LienFee{query.value(1).toString(), query.value(2).toInt(),
                                               query.value(3).toLongLong()});
    return result;
}

template <typename Work>
PricingStore::Result PricingStore::underLock(QList<qint64> affected, Work work)
{
    m_error = {};
    m_refusal.clear();
    QSqlDatabase db = m_store.database();
    QList<qint64> revisions;
    {
        TransactionGuard guard(db, TransactionGuard::Lock::Writing);
        if (!guard.begun()) {
            m_error = DbError::fromSql(guard.lastError(), QStringLiteral("starting a change"));
            return Result::Failed;
        }
        if (const Result result = work(db, affected); result != Result::Done)
            return result;
        for (const qint64 id : affected) {
            const std::optional<qint64> revision = m_store.raiseRevision(id);
            if (!revision) {
                m_error = m_store.lastError();
                return Result::Failed;
            }
            revisions.append(*revision);
        }
        if (!guard.commit()) {
            m_error = DbError::fromSql(guard.lastError(), QStringLiteral("saving a change"));
            return Result::Failed;
        }
    }
    if (!affected.isEmpty())
        m_store.announceRecordsChanged(affected, revisions);
    return Result::Done;
}

bool PricingStore::vehiclesOnPlan(QSqlDatabase &db, qint64 planId, QList<qint64> &ids)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT vehicle_id FROM vehicle_pricing WHERE plan_id = ? UNION "
                       "SELECT w.id FROM wrecker w JOIN groups g ON g.groupname = w.groupname "
                       "JOIN group_pricing p ON p.group_id = g.GROUPID "
                       "LEFT JOIN vehicle_pricing v ON v.vehicle_id = w.id "
                       "WHERE p.plan_id = ? AND coalesce(v.plan_id, 0) = 0"));
    query.addBindValue(planId);
    query.addBindValue(planId);
    if (!exec(query, QStringLiteral("reading the vehicles of a plan")))
        return false;
    while (query.next())
        ids.append(query.value(0).toLongLong());
    return true;
}

PricingStore::Result PricingStore::savePlan(PricingPlan &plan)
{
    m_error = {};
    if (const QString why = plan.problem(); !why.isEmpty() || plan.rateFromSettings) {
        m_refusal = why.isEmpty() ? QStringLiteral("Standard follows the storage fee in the "
                                                   "settings.")
                                  : why;
        return Result::Refused;
    }
    PricingPlan saved = plan;
    const Result result = underLock({}, [&](QSqlDatabase &db, QList<qint64> &affected) {
        QSqlQuery query(db);
        query.prepare(
            QStringLiteral("SELECT count(*) FROM pricing_plans WHERE name = ? AND id <> ?"));
        query.addBindValue(plan.name.trimmed());
        query.addBindValue(plan.id);
        if (!exec(query, QStringLiteral("saving a pricing plan")) || !query.next())
            return Result::Failed;
        if (query.value(0).toLongLong() > 0) {
            m_refusal =
                QStringLiteral("A plan named \"%1\" is kept already.").arg(plan.name.trimmed());
            return Result::Refused;
        }
        const QVariantList values = planValues(plan);
        if (plan.id == 0) {
            query.prepare(m_store.dialect().insertReturningId(
                QStringLiteral("INSERT INTO pricing_plans (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, "
                               "?, ?, ?, ?)")
                    .arg(QLatin1String(kPlanColumns)),
                QStringLiteral("id")));
            for (const QVariant &value : values)
                query.addBindValue(value);
            if (!exec(query, QStringLiteral("saving a pricing plan")))
                return Result::Failed;
            const std::optional<qint64> id = m_store.dialect().insertedId(query);
            if (!id)
                return fail(query, QStringLiteral("saving a pricing plan"));
            saved.id = *id;
        } else {
            query.prepare(QStringLiteral("UPDATE pricing_plans SET name = ?, day_type = ?, "
                                         "tow_day_counts = ?, grace_hours = ?, cap_days = ?, "
                                         "cap_cents = ?, admin_fee_cents = ?, "
                                         "after_hours_fee_cents = ?, opens = ?, closes = ?, "
                                         "open_days = ?, default_for = ? WHERE id = ?"));
            for (const QVariant &value : values + QVariantList{plan.id})
                query.addBindValue(value);
            if (!exec(query, QStringLiteral("saving a pricing plan")))
                return Result::Failed;
            if (query.numRowsAffected() != 1) {
                m_refusal = QStringLiteral("This plan was removed on another workstation.");
                return Result::Refused;
            }
            for (const char *table : {"pricing_tiers", "pricing_lien_fees"}) {
                QSqlQuery remove(db);
                remove.prepare(
                    QStringLiteral("DELETE FROM %1 WHERE plan_id = ?").arg(QLatin1String(table)));
                remove.addBindValue(plan.id);
                if (!exec(remove, QStringLiteral("saving a pricing plan")))
                    return Result::Failed;
            }
            if (!vehiclesOnPlan(db, plan.id, affected))
                return Result::Failed;
        }
        QSqlQuery tier(db);
        tier.prepare(QStringLiteral("INSERT INTO pricing_tiers (plan_id, from_day, light_cents, "
                                    "medium_cents, heavy_cents, motorcycle_cents) "
                                    "VALUES (?, ?, ?, ?, ?, ?)"));
        for (const StorageTier &t : plan.tiers) {
            for (const QVariant &value :
                 QVariantList{saved.id, t.fromDay, t.rateCents[0], t.rateCents[1], t.rateCents[2],
                              t.rateCents[3]})
                tier.addBindValue(value);
            if (!exec(tier, QStringLiteral("saving a pricing plan")))
                return Result::Failed;
        }
        QSqlQuery lien(db);
        lien.prepare(QStringLiteral("INSERT INTO pricing_lien_fees (plan_id, step, after_days, "
                                    "cents) VALUES (?, ?, ?, ?)"));
        for (const LienFee &fee : plan.lienFees) {
            for (const QVariant &value :
                 QVariantList{saved.id, fee.step.trimmed(), fee.afterDays, fee.cents})
                lien.addBindValue(value);
            if (!exec(lien, QStringLiteral("saving a pricing plan")))
                return Result::Failed;
        }
        return Result::Done;
    });
    if (result == Result::Done)
        plan = saved;
    return result;
}

PricingStore::Result PricingStore::removePlan(qint64 planId)
{
    return underLock({}, [&](QSqlDatabase &db, QList<qint64> &) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT (SELECT count(*) FROM vehicle_pricing WHERE "
                                     "plan_id = ?), (SELECT count(*) FROM group_pricing WHERE "
                                     "plan_id = ?)"));
        query.addBindValue(planId);
        query.addBindValue(planId);
        if (!exec(query, QStringLiteral("removing a pricing plan")) || !query.next())
            return Result::Failed;
        const qint64 vehicles = query.value(0).toLongLong(), groups = query.value(1).toLongLong();
        if (vehicles + groups > 0) {
            m_refusal = QStringLiteral("The plan is still the plan of %1 vehicles and %2 groups: "
                                       "give them another plan first.")
                            .arg(vehicles)
                            .arg(groups);
            return Result::Refused;
        }
        query.prepare(QStringLiteral("DELETE FROM pricing_plans WHERE id = ?"));
        query.addBindValue(planId);
        return exec(query, QStringLiteral("removing a pricing plan")) ? Result::Done
                                                                      : Result::Failed;
    });
}

std::optional<VehiclePricing> PricingStore::vehiclePricing(qint64 vehicleId)
{
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT plan_id, vehicle_class, towed_at FROM vehicle_pricing "
                                 "WHERE vehicle_id = ?"));
    query.addBindValue(vehicleId);
    if (!exec(query, QStringLiteral("reading the vehicle's pricing")))
        return std::nullopt;
    return query.next() ? pricingAt(query, 0) : VehiclePricing{};
}

PricingStore::Result PricingStore::setVehiclePricing(qint64 vehicleId,
                                                     const VehiclePricing &pricing)
{
    return underLock({vehicleId}, [&](QSqlDatabase &db, QList<qint64> &) {
        return writeVehiclePricing(db, vehicleId, pricing);
    });
}

PricingStore::Result PricingStore::writeVehiclePricing(QSqlDatabase &db, qint64 vehicleId,
                                                       const VehiclePricing &pricing)
{
    m_error = {};
    m_refusal.clear();
    QSqlQuery query(db);
    if (pricing.planId > 0) {
        query.prepare(QStringLiteral("SELECT count(*) FROM pricing_plans WHERE id = ?"));
        query.addBindValue(pricing.planId);
        if (!exec(query, QStringLiteral("saving the vehicle's pricing")) || !query.next())
            return Result::Failed;
        if (query.value(0).toLongLong() == 0) {
            m_refusal = QStringLiteral("This plan was removed on another workstation.");
            return Result::Refused;
        }
    }
    query.prepare(QStringLiteral("DELETE FROM vehicle_pricing WHERE vehicle_id = ?"));
    query.addBindValue(vehicleId);
    if (!exec(query, QStringLiteral("saving the vehicle's pricing")))
        return Result::Failed;
    query.prepare(QStringLiteral("INSERT INTO vehicle_pricing (vehicle_id, plan_id, "
                                 "vehicle_class, towed_at) VALUES (?, ?, ?, ?)"));
    query.addBindValue(vehicleId);
    query.addBindValue(pricing.planId);
    query.addBindValue(pricing.vehicleClass ? Pricing::className(*pricing.vehicleClass)
                                            : QString(u""_qs));
    query.addBindValue(timeText(pricing.towedAt));
    return exec(query, QStringLiteral("saving the vehicle's pricing")) ? Result::Done
                                                                       : Result::Failed;
}

std::optional<QHash<qint64, qint64>> PricingStore::groupPlans()
{
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT group_id, plan_id FROM group_pricing"))) {
        fail(query, QStringLiteral("reading the groups' plans"));
        return std::nullopt;
    }
    QHash<qint64, qint64> result;
    while (query.next())
        result.insert(query.value(0).toLongLong(), query.value(1).toLongLong());
    return result;
}

PricingStore::Result PricingStore::setGroupPlan(qint64 groupId, qint64 planId)
{
    return underLock({}, [&](QSqlDatabase &db, QList<qint64> &affected) {
        QSqlQuery query(db);
        // Read under the lock: the group or the plan may be gone since the caller read them.
        query.prepare(QStringLiteral("SELECT (SELECT count(*) FROM groups WHERE GROUPID = ?), "
                                     "(SELECT count(*) FROM pricing_plans WHERE id = ?)"));
        query.addBindValue(groupId);
        query.addBindValue(planId);
        if (!exec(query, QStringLiteral("saving the group's plan")) || !query.next())
            return Result::Failed;
        if (query.value(0).toLongLong() == 0 || (planId != 0 && query.value(1).toLongLong() == 0)) {
            m_refusal = query.value(0).toLongLong() == 0
                            ? QStringLiteral("This group was removed on another workstation.")
                            : QStringLiteral("This plan was removed on another workstation.");
            return Result::Refused;
        }
        query.prepare(QStringLiteral("SELECT w.id FROM wrecker w JOIN groups g ON "
                                     "g.groupname = w.groupname WHERE g.GROUPID = ?"));
        query.addBindValue(groupId);
        if (!exec(query, QStringLiteral("saving the group's plan")))
            return Result::Failed;
        while (query.next())
            affected.append(query.value(0).toLongLong());
        query.prepare(QStringLiteral("DELETE FROM group_pricing WHERE group_id = ?"));
        query.addBindValue(groupId);
        if (!exec(query, QStringLiteral("saving the group's plan")))
            return Result::Failed;
        if (planId == 0)
            return Result::Done;
        query.prepare(QStringLiteral("INSERT INTO group_pricing (group_id, plan_id) "
                                     "VALUES (?, ?)"));
        query.addBindValue(groupId);
        query.addBindValue(planId);
        return exec(query, QStringLiteral("saving the group's plan")) ? Result::Done
                                                                      : Result::Failed;
    });
}

template <typename Visit>
bool PricingStore::readRows(const QString &sql, const QList<qint64> *vehicleIds,
                            const QString &doing, Visit visit)
{
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        fail(query, doing);
        return false;
    }
    const QList<qint64> once{0};
    for (const qint64 id : vehicleIds ? *vehicleIds : once) {
        if (vehicleIds)
            query.bindValue(0, id);
        if (!exec(query, doing))
            return false;
        while (query.next())
            visit(query);
    }
    return true;
}

bool PricingStore::readKept(const QList<qint64> *vehicleIds, QHash<qint64, KeptBill> &bills)
{
    return readRows(
        QStringLiteral("SELECT vehicle_id, plan_name, kind, label, units, rate_cents, cents FROM "
                       "release_bills %1 ORDER BY vehicle_id, position")
            .arg(vehicleIds ? QStringLiteral("WHERE vehicle_id = ?") : QString()),
        vehicleIds, QStringLiteral("reading the bill kept at the release"),
        [&](const QSqlQuery &q) {
            KeptBill &bill = bills[q.value(0).toLongLong()];
            bill.planName = q.value(1).toString();
            const QString kind = q.value(2).toString();
            const BillLine line{q.value(3).toString(), q.value(4).toLongLong(),
                                q.value(5).toLongLong(), q.value(6).toLongLong()};
            if (kind == QLatin1String("storage"))
                bill.storage.append(line);
            else if (kind == QLatin1String("fee"))
                bill.fees.append(line);
            else if (kind == QLatin1String("tax"))
                bill.taxCents = line.cents;
            else if (kind == QLatin1String("days"))
                bill.days = line.units, bill.periods = line.label == QLatin1String("periods"),
                bill.rateCents = line.rateCents;
        });
}

std::optional<std::optional<KeptBill>> PricingStore::keptBill(qint64 vehicleId)
{
    QHash<qint64, KeptBill> bills;
    const QList<qint64> ids{vehicleId};
    if (!readKept(&ids, bills))
        return std::nullopt;
    return bills.contains(vehicleId) ? std::optional(bills.value(vehicleId)) : std::nullopt;
}

std::optional<PricingBook> PricingStore::book(const QList<qint64> *vehicleIds)
{
    PricingBook book;
    const QString one = vehicleIds ? QStringLiteral(" WHERE vehicle_id = ?") : QString();
    std::optional<QList<PricingPlan>> stored = plans();
    if (!stored ||
        !readRows(QStringLiteral("SELECT g.groupname, p.plan_id FROM group_pricing p "
                                 "JOIN groups g ON g.GROUPID = p.group_id"),
                  nullptr, QStringLiteral("reading the groups' plans"),
                  [&](const QSqlQuery &q) {
                      book.groupPlans.insert(q.value(0).toString(), q.value(1).toLongLong());
                  }) ||
        !readRows(QStringLiteral("SELECT vehicle_id, plan_id, vehicle_class, towed_at FROM "
                                 "vehicle_pricing") +
                      one,
                  vehicleIds, QStringLiteral("reading the vehicles' pricing"),
                  [&](const QSqlQuery &q) {
                      book.vehicles.insert(q.value(0).toLongLong(), pricingAt(q, 1));
                  }) ||
        !readRows(QStringLiteral("SELECT vehicle_id, released_at FROM impound_releases") + one,
                  vehicleIds, QStringLiteral("reading the release times"),
                  [&](const QSqlQuery &q) {
                      if (const QTime at = timeOf(q.value(1)); at.isValid())
                          book.releaseTimes.insert(q.value(0).toLongLong(), at);
                  }) ||
        !readKept(vehicleIds, book.kept))
        return std::nullopt;
    book.plans = std::move(*stored);
    return book;
}

bool PricingStore::keepBill(QSqlDatabase &db, qint64 vehicleId, const ChargeFigures &figures)
{
    const KeptBill bill = figures.keep();
    QSqlQuery query(db);
    query.prepare(QStringLiteral("DELETE FROM release_bills WHERE vehicle_id = ?"));
    query.addBindValue(vehicleId);
    if (!exec(query, QStringLiteral("keeping the bill of the release")))
        return false;
    QList<QPair<QString, BillLine>> rows{
        {QStringLiteral("days"),
         BillLine{bill.periods ? QStringLiteral("periods") : QStringLiteral("days"), bill.days,
                  bill.rateCents, 0}}};
    if (bill.taxCents)
        rows.append({QStringLiteral("tax"), BillLine{QStringLiteral("Tax"), 1, 0, *bill.taxCents}});
    for (const BillLine &line : bill.storage)
        rows.append({QStringLiteral("storage"), line});
    for (const BillLine &line : bill.fees)
        rows.append({QStringLiteral("fee"), line});
    query.prepare(QStringLiteral("INSERT INTO release_bills (vehicle_id, position, plan_name, "
                                 "kind, label, units, rate_cents, cents) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const BillLine &line = rows[i].second;
        for (const QVariant &value :
             QVariantList{vehicleId, qint64(i), bill.planName, rows[i].first, line.label,
                          line.units, line.rateCents, line.cents})
            query.addBindValue(value);
        if (!exec(query, QStringLiteral("keeping the bill of the release")))
            return false;
    }
    return true;
}

std::optional<PricedStay> PricingStore::stayOf(const TowRecord &record, const QTime &now)
{
    const QList<qint64> ids{record.id};
    const std::optional<PricingBook> one = book(&ids);
    return one ? std::optional(one->stayOf(record, now)) : std::nullopt;
}

PricedStay PricingBook::stayOf(const TowRecord &record, const QTime &now) const
{
    PricedStay stay;
    const VehiclePricing pricing = vehicles.value(record.id);
    const qint64 planId = pricing.planId != 0
                              ? pricing.planId
                              : groupPlans.value(record.value(TowField::groupname), 0);
    for (const PricingPlan &plan : plans)
        if (planId != 0 && plan.id == planId)
            stay.plan = plan;
    stay.vehicleClass =
        pricing.vehicleClass.value_or(Pricing::classOfHookup(record.value(TowField::Hookup)));
    stay.towedAt = pricing.towedAt;
    stay.releasedAt = releaseTimes.value(record.id);
    stay.now = now;
    if (!record.value(TowField::towedrelease).trimmed().isEmpty() && kept.contains(record.id))
        stay.kept = kept.value(record.id);
    return stay;
}

} // namespace tarnvale
