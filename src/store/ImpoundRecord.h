// What the program keeps about a vehicle beyond its tow record: its status, the holds placed
// on it, its release and the payments taken. Plain values, compared directly.
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QTime>

#include <optional>

namespace tarnvale {

enum class VehicleStatus { InStorage, OnHold, Released, Sold, Disposed };

struct Hold
{
    qint64 id = 0;
    QString reason;
    QString agency;
    QString caseNumber;
    QString releaseBy; // who may release the vehicle
    QDate placedOn;
    QString clearedBy; // empty while the hold stands
    QDate clearedOn;

    bool isActive() const { return clearedBy.isEmpty() && !clearedOn.isValid(); }
    friend bool operator==(const Hold &, const Hold &) = default;
};

// Money taken or given back, kept as taken: never changed, only answered by a refund.
struct Payment
{
    qint64 cents = 0; // a refund is negative
    QString method;   // "Cash", "Card", ...
    QString reference;
    QDate paidOn;
    QTime paidAt{};      // invalid for a payment kept before times were
    QString takenBy{};   // the user name of the workstation that took it
    qint64 refundOf = 0; // a refund: the id of the payment it gives back
    qint64 id = 0;       // given by the store

    friend bool operator==(const Payment &, const Payment &) = default;
};

struct Release
{
    QString releasedTo;
    QString idType;
    QString idNumber;
    QDate date;
    QTime time;

    friend bool operator==(const Release &, const Release &) = default;
};

// Everything kept about one vehicle. `kept` is false for a vehicle nothing was ever recorded
// for: its status then follows its tow record (see ImpoundRules::statusOf).
struct ImpoundState
{
    bool kept = false;
    VehicleStatus status = VehicleStatus::InStorage;
    QList<Hold> holds; // oldest first
    std::optional<Release> release;
    QList<Payment> payments; // in the order taken
    QList<QPair<QString, QDate>> stepsDone; // lien steps by name, with the day each was done

    const Hold *activeHold() const
    {
        for (const Hold &hold : holds)
            if (hold.isActive())
                return &hold;
        return nullptr;
    }
    friend bool operator==(const ImpoundState &, const ImpoundState &) = default;
};

} // namespace tarnvale
