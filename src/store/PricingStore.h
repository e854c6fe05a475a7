// The pricing tables of the open database: the yard's plans, the plan, class and time of tow
// of each vehicle, a group's default plan, and the bill kept when a vehicle leaves the yard
// (released, sold or disposed of).
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

// What is kept about one vehicle's pricing. planId 0: the group's plan, or Standard when
// the group has none; -1: Standard whatever the group's plan.
struct VehiclePricing
{
    qint64 planId = 0;
    std::optional<VehicleClass> vehicleClass; // none: by the record's hookup
    QTime towedAt;                            // invalid: not known, midnight

    friend bool operator==(const VehiclePricing &, const VehiclePricing &) = default;
};

// What the figures of vehicles need from the pricing tables, read at once.
struct PricingBook
{
    QList<PricingPlan> plans;
    QHash<qint64, VehiclePricing> vehicles;
    QHash<QString, qint64> groupPlans; // by group name
    QHash<qint64, QTime> releaseTimes;
    QHash<qint64, KeptBill> kept;

    // How a vehicle is billed: its plan (its own, else its group's, else Standard), its class
    // (chosen, else by its hookup) and times; the bill kept when it left the yard while its
    // record has a release date. `now` is the time of day for a vehicle still held.
    PricedStay stayOf(const TowRecord &record, const QTime &now) const;
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
    Result setVehiclePricing(qint64 vehicleId, const VehiclePricing &pricing);
    // The same inside a transaction the caller holds (a record's own save).
    Result writeVehiclePricing(QSqlDatabase &db, qint64 vehicleId, const VehiclePricing &pricing);
    // Default plans by group id.
    std::optional<QHash<qint64, qint64>> groupPlans();
    // Plan 0: the group has none (Standard). Refused when the group or the plan is gone.
    Result setGroupPlan(qint64 groupId, qint64 planId);

    // The bill kept when the vehicle left the yard; nullopt inside when none was kept.
    std::optional<std::optional<KeptBill>> keptBill(qint64 vehicleId);
    // Inside the transaction of the release, sale or disposal: keeps the lines the figures
    // billed.
    bool keepBill(QSqlDatabase &db, qint64 vehicleId, const ChargeFigures &figures);

    // Everything the figures need, of the vehicles with these ids or of all.
    std::optional<PricingBook> book(const QList<qint64> *vehicleIds = nullptr);
    // The stay of one vehicle (PricingBook::stayOf); nullopt when its pricing cannot be read.
    std::optional<PricedStay> stayOf(const TowRecord &record, const QTime &now);

    const DbError &lastError() const { return m_error; }
    const QString &refusal() const { return m_refusal; }

  private:
    Result fail(const QSqlQuery &query, const QString &doing);
    bool exec(QSqlQuery &query, const QString &doing);
    // Under the write lock: runs `work`, raises the revision of every vehicle in `affected`
    // (which work may fill), commits and announces them.
    template <typename Work> Result underLock(QList<qint64> affected, Work work);
    bool vehiclesOnPlan(QSqlDatabase &db, qint64 planId, QList<qint64> &ids);
    bool readKept(const QList<qint64> *vehicleIds, QHash<qint64, KeptBill> &bills);
    // Runs `sql` once, or once for each vehicle id bound to its one parameter, and visits
    // every row.
    template <typename Visit>
    bool readRows(const QString &sql, const QList<qint64> *vehicleIds, const QString &doing,
                  Visit visit);

    RecordStore &m_store;
    DbError m_error;
    QString m_refusal;
};

} // namespace tarnvale
