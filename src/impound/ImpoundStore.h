// The impound tables of the open database: status, holds, releases, payments and the lien
// steps done, each row tied to its vehicle by the vehicle's id.
//
// Every change is one transaction under the write lock and decides from what is stored then
// (ImpoundRules::refusal for the status); once committed, the store announces the vehicle as
// changed, here and to every other program watching, so every view that shows it reads it
// again. A refused change answers Refused with the reason in refusal(); a database failure
// answers Failed with the engine's reason in lastError().
#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

#include "ChargeFigures.h"
#include "DbError.h"
#include "ImpoundRecord.h"
#include "ImpoundTables.h"
#include "LienSchedule.h"

class QSqlDatabase;

namespace tarnvale {

class RecordStore;
struct TowRecord;

class ImpoundStore
{
  public:
    explicit ImpoundStore(RecordStore &store);

    enum class Result { Done, Refused, Failed };

    // Everything kept about the vehicle, its status as ImpoundRules::statusOf gives it.
    std::optional<ImpoundState> state(const TowRecord &record);
    // The stored status of every vehicle that has one, by id.
    std::optional<QHash<qint64, VehicleStatus>> storedStatuses();
    // The lien steps done, by vehicle id.
    std::optional<QHash<qint64, QList<QPair<QString, QDate>>>> stepsDone();
    // Every payment, by vehicle id.
    std::optional<QHash<qint64, QList<Payment>>> payments();
    // The steps of the schedule due by today for every vehicle still in the yard (in storage
    // or on hold) whose tow date can be read, earliest first.
    // Read from the vehicles in the yard alone, whatever the number of vehicles kept.
    std::optional<QList<LienItem>> lienStepsDue(const QList<LienStep> &schedule,
                                                const QDate &today);
    // The same for the vehicles with these ids only (a missing id gives nothing).
    std::optional<QList<LienItem>> lienStepsDue(const QList<LienStep> &schedule,
                                                const QDate &today,
                                                const QList<qint64> &vehicleIds);
    // True once any vehicle has a status of its own.
    std::optional<bool> inUse();

    // Places a hold (its reason, agency, case number, who may release) on a vehicle in storage.
    Result placeHold(const TowRecord &record, Hold hold, const QDate &today);
    // Clears the standing hold: who cleared it and when are kept; the vehicle is in storage.
    Result clearHold(const TowRecord &record, const QString &clearedBy, const QDate &today);
    // Releases the vehicle: the release is kept, the day is written to the record's release
    // date field (so days in storage and charges stop there), and the bill when given is
    // kept with it, never to change.
    Result release(const TowRecord &record, const Release &release,
                   const std::optional<ChargeFigures> &bill = std::nullopt);
    // Keeps a payment or a refund (a negative amount naming the payment it gives back) at
    // once, whatever the vehicle's status: before or after its release, sale or disposal.
    // Payments are never changed; ImpoundRules::paymentRefusal says which are refused.
    Result addPayment(const TowRecord &record, const Payment &payment);
    // Sold or disposed: the day is written to the release date field, and the bill when
    // given is kept, as for a release.
    Result dispose(const TowRecord &record, VehicleStatus how, const QDate &day,
                   const std::optional<ChargeFigures> &bill = std::nullopt);
    // Records the step as done on the day (again: the day is replaced).
    Result markStepDone(qint64 vehicleId, const QString &step, const QDate &day);

    const DbError &lastError() const { return m_error; }
    const QString &refusal() const { return m_refusal; }

  private:
    Result failDb(const QSqlDatabase &db, const QString &doing);
    Result refuse(const QString &why);
    // Takes the tables' error; false, to answer the write that failed.
    bool tablesFailed();
    // Under the write lock, reads the vehicle as stored and runs `work` with its state (Done,
    // or the refusal or failure that stops the change); commits, and the vehicle is announced
    // here and raised for every other program watching.
    template <typename Work>
    Result underLock(qint64 id, Work work);
    // Checks the change of status under the lock, then runs `work` and the status row.
    template <typename Work>
    Result change(const TowRecord &record, VehicleStatus to, Work work);
    std::optional<QList<LienItem>> dueSteps(const QList<LienStep> &schedule, const QDate &today,
                                            const QList<qint64> *vehicleIds);
    // Keeps the bill, when given, in the change in hand: the vehicle's figures from then on.
    bool keepBill(qint64 id, const std::optional<ChargeFigures> &bill);
    // The release date field, and the record's version raised.
    bool setReleaseDate(qint64 id, const QDate &day);

    RecordStore &m_store;
    ImpoundTables m_tables;
    DbError m_error;
    QString m_refusal;
    QList<qint64> m_revisions; // the versions the change in hand raised
};

} // namespace tarnvale
