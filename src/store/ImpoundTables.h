// The statements of the impound tables (impound_status, impound_holds, impound_releases,
// impound_payments, lien_steps_done): each row tied to its vehicle by the vehicle's id. Dates
// are kept as ISO text, the same under every locale and engine; a status as its stored word
// (ImpoundRules::statusWord). What the rows mean is ImpoundStore's business: these calls only
// read and write them, on the store's connection (the writes inside the caller's transaction).
#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <optional>

#include "DbError.h"
#include "ImpoundRecord.h"

class QSqlQuery;

namespace tarnvale {

class RecordStore;

class ImpoundTables
{
  public:
    explicit ImpoundTables(RecordStore &store);

    // Everything kept about the vehicle but its status, which is left to the caller:
    // `statusWord` is the stored word, null when the vehicle has no status row (kept false).
    std::optional<ImpoundState> read(qint64 vehicleId, QString *statusWord);
    // The stored status word of every vehicle that has one, by id.
    std::optional<QHash<qint64, QString>> statusWords();
    std::optional<QHash<qint64, QList<QPair<QString, QDate>>>> stepsDone();
    std::optional<QHash<qint64, QList<Payment>>> payments();
    // True once any vehicle has a status row.
    std::optional<bool> inUse();

    // A vehicle that may be in the yard, as the lien steps due are worked out from it.
    struct YardVehicle
    {
        qint64 id = 0;
        QString year, make, model, colour, plate;
        QString towedDate, towedRelease;
        bool hasStatus = false; // the vehicle has a status row
        QString statusWord;
    };
    // Visits the vehicles that may be in the yard (a blank release date, or a status word of
    // storage or hold), then the lien steps done of those; with ids, the vehicles with those
    // ids and their steps only. The caller decides which are in the yard. False on failure.
    bool scanYard(const QList<qint64> *vehicleIds,
                  const std::function<void(const YardVehicle &)> &vehicle,
                  const std::function<void(qint64, const QString &, const QDate &)> &stepDone);

    // Writes, each inside the caller's transaction.
    bool setStatus(qint64 vehicleId, const QString &statusWord);
    bool addHold(qint64 vehicleId, const Hold &hold, const QDate &placedOn);
    bool clearHold(qint64 holdId, const QString &clearedBy, const QDate &clearedOn);
    bool addRelease(qint64 vehicleId, const Release &release);
    // The record's release date field, as the form shows it.
    bool setReleaseDate(qint64 vehicleId, const QString &dateText);
    bool addPayment(qint64 vehicleId, const Payment &payment);
    // Records the step as done on the day, replacing the day it was done before.
    bool markStepDone(qint64 vehicleId, const QString &step, const QDate &day);

    const DbError &lastError() const { return m_error; }

  private:
    bool fail(const QSqlQuery &query, const QString &doing);
    bool exec(QSqlQuery &query, const QString &doing);

    RecordStore &m_store;
    DbError m_error;
};

} // namespace tarnvale
