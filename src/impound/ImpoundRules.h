// The rules of the impound lifecycle: which status changes are allowed, what a vehicle still
// owes, and how amounts are read and written. No database, no windows.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "ChargeFigures.h"
#include "ImpoundRecord.h"

namespace tarnvale {

class SettingsFile;
struct ChargeFigures;
struct TowRecord;

class ImpoundRules
{
  public:
    // The status shown for each value ("In storage", "On hold", ...), and its stored word.
    static QString statusText(VehicleStatus status);
    static QString statusWord(VehicleStatus status);
    static std::optional<VehicleStatus> statusFromWord(const QString &word);
    // Every status in order, as the search offers them.
    static QList<VehicleStatus> allStatuses();

    // A vehicle with no status of its own is released when its tow record has a release
    // date, otherwise in storage.
    static VehicleStatus statusOf(bool kept, VehicleStatus stored, const QString &towedrelease);

    // Why the change from one status to another is refused; empty when it is allowed. A
    // hold is placed only on a vehicle in storage and cleared back to storage; a vehicle on
    // hold leaves only once its hold is cleared; released, sold and disposed are final.
    static QString refusal(VehicleStatus from, VehicleStatus to);

    // Whole cents of an amount, rounded half away from zero as the shown figures are.
    static qint64 toCents(double amount);
    // An amount as typed: an optional sign, an optional "$", digits with at most two after
    // the point ("12", "-5.5", "$20.05"); nullopt for anything else, or for more than a
    // billion dollars.
    static std::optional<qint64> readCents(const QString &text);
    // "$12.50", "-$5.00".
    static QString centsText(qint64 cents);

    // The figures of the charge rules when the vehicle leaves on `day` (days in storage and
    // charges stop there, as they do at the record's release date). Under a plan, the
    // stay's release time is the time of day it leaves.
    static ChargeFigures figuresOn(const TowRecord &record, const QDate &day,
                                   const SettingsFile &settings, const QDate &today,
                                   const std::optional<PricedStay> &stay = std::nullopt);

    static qint64 paidCents(const QList<Payment> &payments);
    // What the vehicle still owes: the grand total of its figures in whole cents (rounded as
    // the figures are shown) less what was paid, refunds counting negative; nullopt when the
    // figures form no grand total. Every list, sheet, paper and export shows this one figure.
    static std::optional<qint64> balanceCents(const ChargeFigures &figures, qint64 paidCents);
    // The balance as shown ("$200.11", "-$5.00"), empty when there is none.
    static QString balanceText(const std::optional<qint64> &balance);

    // What is left to give back of the payment with that id: its amount less the refunds
    // that name it; 0 when no such payment is among those taken, or it is a refund itself.
    static qint64 refundable(qint64 paymentId, const QList<Payment> &taken);
    // Why the payment cannot join those taken; empty when it can. A payment is more than zero
    // and names no other; a refund (below zero) names a payment taken and gives back no more
    // than is left of it.
    static QString paymentRefusal(const Payment &payment, const QList<Payment> &taken);
};

} // namespace tarnvale
