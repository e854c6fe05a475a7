#include "ImpoundRules.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include "ChargeFigures.h"
#include "MoneyFormat.h"
#include "DateText.h"
#include "TowRecord.h"

namespace tarnvale {

QString ImpoundRules::statusText(VehicleStatus status)
{
    switch (status) {
    case VehicleStatus::InStorage:
        return QStringLiteral("In storage");
    case VehicleStatus::OnHold:
        return QStringLiteral("On hold");
    case VehicleStatus::Released:
        return QStringLiteral("Released");
    case VehicleStatus::Sold:
        return QStringLiteral("Sold");
    case VehicleStatus::Disposed:
        return QStringLiteral("Disposed");
    }
    return {};
}

QString ImpoundRules::statusWord(VehicleStatus status)
{
    switch (status) {
    case VehicleStatus::InStorage:
        return QStringLiteral("storage");
    case VehicleStatus::OnHold:
        return QStringLiteral("hold");
    case VehicleStatus::Released:
        return QStringLiteral("released");
    case VehicleStatus::Sold:
        return QStringLiteral("sold");
    case VehicleStatus::Disposed:
        return QStringLiteral("disposed");
    }
    return {};
}

std::optional<VehicleStatus> ImpoundRules::statusFromWord(const QString &word)
{
    for (VehicleStatus status : allStatuses())
        if (statusWord(status) == word)
            return status;
    return std::nullopt;
}

QList<VehicleStatus> ImpoundRules::allStatuses()
{
    return {VehicleStatus::InStorage, VehicleStatus::OnHold, VehicleStatus::Released,
            VehicleStatus::Sold, VehicleStatus::Disposed};
}

VehicleStatus ImpoundRules::statusOf(bool kept, VehicleStatus stored, const QString &towedrelease)
{
    if (kept)
        return stored;
    return towedrelease.trimmed().isEmpty() ? VehicleStatus::InStorage : VehicleStatus::Released;
}

QString ImpoundRules::refusal(VehicleStatus from, VehicleStatus to)
{
    if (from == VehicleStatus::Released || from == VehicleStatus::Sold
        || from == VehicleStatus::Disposed)
        return QStringLiteral("The vehicle is %1 already; its status cannot change.")
            .arg(statusText(from).toLower());
    if (from == to)
        return QStringLiteral("The vehicle is %1 already.").arg(statusText(from).toLower());
    if (from == VehicleStatus::OnHold && to != VehicleStatus::InStorage)
        return QStringLiteral("The vehicle is on hold: it cannot leave until the hold is cleared.");
    if (from == VehicleStatus::InStorage && to == VehicleStatus::InStorage)
        return QStringLiteral("The vehicle is in storage already.");
    return {};
}

qint64 ImpoundRules::toCents(double amount)
{
    if (!std::isfinite(amount))
        return 0;
    if (const std::optional<qint64> cents = MoneyCents(amount))
        return *cents;
    // As MoneyFormat rounds: the cents to 15 significant digits first, so that a figure that
    // reads 2.675 gives 268 cents.
    const double cents = QString::number(std::fabs(amount) * 100.0, 'g', 15).toDouble();
    const auto whole = qint64(std::floor(cents + 0.5));
    return amount < 0 ? -whole : whole;
}

std::optional<qint64> ImpoundRules::readCents(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*([-+]?)\\s*\\$?\\s*(\\d{1,10})(?:\\.(\\d{0,2}))?\\s*$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const qint64 dollars = match.captured(2).toLongLong();
    QString fraction = match.captured(3);
    while (fraction.size() < 2)
        fraction += u'0';
    const qint64 cents = dollars * 100 + fraction.toLongLong();
    if (dollars > 1000000000)
        return std::nullopt;
    return match.captured(1) == QLatin1String("-") ? -cents : cents;
}

QString ImpoundRules::centsText(qint64 cents)
{
    const qint64 magnitude = cents < 0 ? -cents : cents;
    return (cents < 0 ? QStringLiteral("-$") : QStringLiteral("$"))
           + QStringLiteral("%1.%2").arg(magnitude / 100).arg(magnitude % 100, 2, 10, QChar(u'0'));
}

ChargeFigures ImpoundRules::figuresOn(const TowRecord &record, const QDate &day,
                                      const SettingsFile &settings, const QDate &today,
                                      const std::optional<PricedStay> &stay)
{
    if (stay)
        return ChargeFigures::compute(record.value(TowField::toweddate),
                                      DateText::shortForm(day), record.value(TowField::towedfee),
                                      settings, today, *stay);
    return ChargeFigures::compute(record.value(TowField::toweddate), DateText::shortForm(day),
                                  record.value(TowField::towedfee), settings, today);
}

qint64 ImpoundRules::paidCents(const QList<Payment> &payments)
{
    qint64 sum = 0;
    for (const Payment &payment : payments)
        sum += payment.cents;
    return sum;
}

std::optional<qint64> ImpoundRules::balanceCents(const ChargeFigures &figures, qint64 paidCents)
{
    if (!figures.totalFormed)
        return std::nullopt;
    return toCents(figures.grandTotal) - paidCents;
}

QString ImpoundRules::balanceText(const std::optional<qint64> &balance)
{
    return balance ? centsText(*balance) : QString();
}

qint64 ImpoundRules::refundable(qint64 paymentId, const QList<Payment> &taken)
{
    qint64 left = 0;
    for (const Payment &p : taken) {
        if (p.id == paymentId && p.cents > 0 && p.refundOf == 0)
            left += p.cents;
        else if (p.refundOf == paymentId && p.cents < 0)
            left += p.cents;
    }
    return std::max<qint64>(left, 0);
}

QString ImpoundRules::paymentRefusal(const Payment &payment, const QList<Payment> &taken)
{
    if (payment.cents == 0)
        return QStringLiteral("Please enter an amount other than zero.");
    if (payment.cents > 0)
        return payment.refundOf == 0 ? QString()
                                     : QStringLiteral("A refund is an amount below zero.");
    if (payment.refundOf == 0)
        return QStringLiteral("A refund gives back a payment taken: choose the payment first.");
    if (std::none_of(taken.begin(), taken.end(), [&payment](const Payment &p) {
            return p.id == payment.refundOf && p.cents > 0 && p.refundOf == 0;
        }))
        return QStringLiteral("The refund names no payment taken.");
    const qint64 left = refundable(payment.refundOf, taken);
    if (-payment.cents > left)
        return QStringLiteral("Only %1 of that payment is left to give back.").arg(centsText(left));
    return {};
}

} // namespace tarnvale
