// The pricing tables of the open database: the yard's plans, the plan, class and time of tow
// of each vehicle, a group's default plan, and the bill kept at each release.
//
// A vehicle with no plan of its own takes its group's, and without that Standard: a yard that
// keeps no plans bills as it always has. Every change is one transaction under the write lock;
// once committed, the vehicles whose figures it changes are announced through the store.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QTime>

#include <optional>

#include "ChargeFigures.h"
#include "DbError.h"
#include "PricingPlan.h"

class QSqlDatabase;
class QSqlQuery;

namespace tarnvale {

class RecordStore;
struct TowRecord;

// What is kept about one vehicle's pricing. planId 0: the group's plan, or Standard.
struct VehiclePricing
{
    qint64 planId = 0;
    std::optional<VehicleClass> vehicleClass; // none: by the record's hookup
    QTime towedAt;                            // invalid: not known, midnight

    friend bool operator==(const VehiclePricing &, const VehiclePricing &) = default;
};

class PricingStore
{
  public:
    explicit PricingStore(RecordStore &store);

    enum class Result { Done, Refused, Failed };

    // Every stored plan, by name. Standard is not stored: it is PricingPlan::standard().
    std::optional<QList<PricingPlan>> plans();
    // Adds the plan (id 0, and it gets its id) or replaces the stored one with its id.
    Result savePlan(PricingPlan &plan);
    // Refused while a vehicle or a group still takes the plan.
    Result removePlan(qint64 planId);

    std::optional<VehiclePricing> vehiclePricing(qint64 vehicleId);
    std::optional<QHash<qint64, VehiclePricing>> allVehiclePricing();
    Result setVehiclePricing(qint64 vehicleId, const VehiclePricing &pricing);
    // Default plans by group id.
    std::optional<QHash<qint64, qint64>> groupPlans();
    Result setGroupPlan(qint64 groupId, qint64 planId);

    // The bill kept at the vehicle's release; nullopt inside when none was kept.
    std::optional<std::optional<KeptBill>> keptBill(qint64 vehicleId);
    // Inside the release's own transaction: keeps the lines the figures billed.
    bool keepBill(QSqlDatabase &db, qint64 vehicleId, const ChargeFigures &figures);

    // The pricing of a vehicle as billed today: its plan (its own, else its group's, else
    // Standard) out of `plans`, its class, and its time of tow. `plan` points into `plans`.
    static PricedStay stayOf(const TowRecord &record, const VehiclePricing &pricing,
                             qint64 groupPlanId, const QList<PricingPlan> &plans);

    const DbError &lastError() const { return m_error; }
    const QString &refusal() const { return m_refusal; }

  private:
    Result fail(const QSqlQuery &query, const QString &doing);
    bool exec(QSqlQuery &query, const QString &doing);
    // Under the write lock: runs `work`, raises the revision of every vehicle in `affected`
    // (which work may fill), commits and announces them.
    template <typename Work> Result underLock(QList<qint64> affected, Work work);
    bool vehiclesOnPlan(QSqlDatabase &db, qint64 planId, QList<qint64> &ids);

    RecordStore &m_store;
    DbError m_error;
    QString m_refusal;
};

} // namespace tarnvale
