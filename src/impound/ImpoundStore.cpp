#include "ImpoundStore.h"

#include <QSqlError>

#include <algorithm>
#include <map>

#include "DateText.h"
#include "ImpoundRules.h"
#include "PricingStore.h"
#include "RecordStore.h"
#include "TowRecord.h"

namespace tarnvale {

ImpoundStore::ImpoundStore(RecordStore &store) : m_store(store), m_tables(store) {}

ImpoundStore::Result ImpoundStore::failDb(const QSqlDatabase &db, const QString &doing)
{
    m_error = DbError::fromSql(db.lastError(), doing);
    if (!m_store.isOpen())
        m_error = DbError{DbError::kNotOpen, QStringLiteral("The database is not open.")};
    return Result::Failed;
}

bool ImpoundStore::tablesFailed()
{
    m_error = m_tables.lastError();
    return false;
}

ImpoundStore::Result ImpoundStore::refuse(const QString &why)
{
    m_error = {};
    m_refusal = why;
    return Result::Refused;
}

std::optional<ImpoundState> ImpoundStore::state(const TowRecord &record)
{
    QString word;
    std::optional<ImpoundState> state = m_tables.read(record.id, &word);
    if (!state) {
        tablesFailed();
        return std::nullopt;
    }
    const VehicleStatus stored =
        ImpoundRules::statusFromWord(word).value_or(VehicleStatus::InStorage);
    state->status = ImpoundRules::statusOf(state->kept, stored,
                                           record.value(TowField::towedrelease));
    return state;
}

std::optional<QHash<qint64, VehicleStatus>> ImpoundStore::storedStatuses()
{
    const auto words = m_tables.statusWords();
    if (!words) {
        tablesFailed();
        return std::nullopt;
    }
    QHash<qint64, VehicleStatus> result;
    for (auto at = words->cbegin(); at != words->cend(); ++at)
        result.insert(at.key(),
                      ImpoundRules::statusFromWord(at.value()).value_or(VehicleStatus::InStorage));
    return result;
}

std::optional<QHash<qint64, QList<QPair<QString, QDate>>>> ImpoundStore::stepsDone()
{
    auto result = m_tables.stepsDone();
    if (!result)
        tablesFailed();
    return result;
}

std::optional<QHash<qint64, QList<Payment>>> ImpoundStore::payments()
{
    auto result = m_tables.payments();
    if (!result)
        tablesFailed();
    return result;
}

std::optional<QList<LienItem>> ImpoundStore::lienStepsDue(const QList<LienStep> &schedule,
                                                          const QDate &today)
{
    return dueSteps(schedule, today, nullptr);
}

std::optional<QList<LienItem>> ImpoundStore::lienStepsDue(const QList<LienStep> &schedule,
                                                          const QDate &today,
                                                          const QList<qint64> &vehicleIds)
{
    return dueSteps(schedule, today, &vehicleIds);
}

std::optional<QList<LienItem>> ImpoundStore::dueSteps(const QList<LienStep> &schedule,
                                                      const QDate &today,
                                                      const QList<qint64> *vehicleIds)
{
    QList<LienItem> items;
    if (schedule.isEmpty() || (vehicleIds && vehicleIds->isEmpty()))
        return items;
    struct Vehicle
    {
        QString vehicle;
        QString towed;
        QList<QPair<QString, QDate>> done;
    };
    std::map<qint64, Vehicle> vehicles; // table order
    const bool read = m_tables.scanYard(
        vehicleIds,
        [&](const ImpoundTables::YardVehicle &v) {
            const VehicleStatus status = ImpoundRules::statusOf(
                v.hasStatus,
                ImpoundRules::statusFromWord(v.statusWord).value_or(VehicleStatus::InStorage),
                v.towedRelease);
            if (status != VehicleStatus::InStorage && status != VehicleStatus::OnHold)
                return;
            QStringList vehicle;
            for (const QString &part : {v.year, v.make, v.model, v.colour})
                if (const QString trimmed = part.trimmed(); !trimmed.isEmpty())
                    vehicle << trimmed.toUpper();
            // The plate beside it: what a clerk looks for on the lot.
            if (const QString plate = v.plate.trimmed(); !plate.isEmpty())
                vehicle << u'(' + plate.toUpper() + u')';
            vehicles[v.id] = {vehicle.join(u' '), v.towedDate, {}};
        },
        [&](qint64 id, const QString &step, const QDate &day) {
            const auto at = vehicles.find(id);
            if (at != vehicles.end())
                at->second.done.append({step, day});
        });
    if (!read) {
        tablesFailed();
        return std::nullopt;
    }
    for (const auto &[id, v] : vehicles) {
        const auto towed = DateText::read(v.towed, QLocale(), today);
        if (!towed)
            continue;
        for (const LienDeadline &deadline :
             LienSchedule::dueBy(LienSchedule::deadlines(schedule, *towed, v.done), today))
            items.append(LienItem{id, v.vehicle, deadline, deadline.due < today});
    }
    std::stable_sort(items.begin(), items.end(), [](const LienItem &a, const LienItem &b) {
        return a.deadline.due < b.deadline.due;
    });
    return items;
}

std::optional<bool> ImpoundStore::inUse()
{
    const std::optional<bool> used = m_tables.inUse();
    if (!used)
        tablesFailed();
    return used;
}

bool ImpoundStore::setReleaseDate(qint64 id, const QDate &day)
{
    if (!m_tables.setReleaseDate(id, DateText::shortForm(day)))
        return tablesFailed();
    const std::optional<qint64> revision = m_store.raiseVersion(id);
    if (!revision) {
        m_error = m_store.lastError();
        return false;
    }
    m_revisions.append(*revision);
    return true;
}

bool ImpoundStore::keepBill(qint64 id, const std::optional<ChargeFigures> &bill)
{
    if (!bill)
        return true;
    PricingStore pricing(m_store);
    QSqlDatabase db = m_store.database();
    if (pricing.keepBill(db, id, *bill))
        return true;
    m_error = pricing.lastError();
    return false;
}

template <typename Work>
ImpoundStore::Result ImpoundStore::underLock(qint64 id, Work work)
{
    m_error = {};
    m_refusal.clear();
    m_revisions.clear();
    QSqlDatabase db = m_store.database();
    {
        TransactionGuard guard(db, TransactionGuard::Lock::Writing);
        if (!guard.begun())
            return failDb(db, QStringLiteral("starting a change"));
        // Read again under the lock: another workstation may have placed a hold, released the
        // vehicle, written its release date or removed it since the caller read it.
        const std::optional<TowRecord> stored = m_store.towRecord(id);
        if (!stored && m_store.lastError().number != 0) {
            m_error = m_store.lastError();
            return Result::Failed;
        }
        if (!stored)
            return refuse(QStringLiteral("This vehicle was removed on another workstation."));
        const std::optional<ImpoundState> now = state(*stored);
        if (!now)
            return Result::Failed;
        if (const Result result = work(*now); result != Result::Done)
            return result;
        // Every other program watching hears of the change, also when no field changed.
        if (m_revisions.isEmpty()) {
            const std::optional<qint64> revision = m_store.raiseRevision(id);
            if (!revision) {
                m_error = m_store.lastError();
                return Result::Failed;
            }
            m_revisions.append(*revision);
        }
        if (!guard.commit())
            return failDb(db, QStringLiteral("saving a change"));
    }
    m_store.announceRecordsChanged({id}, m_revisions);
    return Result::Done;
}

template <typename Work>
ImpoundStore::Result ImpoundStore::change(const TowRecord &record, VehicleStatus to, Work work)
{
    return underLock(record.id, [&](const ImpoundState &now) {
        if (const QString why = ImpoundRules::refusal(now.status, to); !why.isEmpty())
            return refuse(why);
        return work(now) && (m_tables.setStatus(record.id, ImpoundRules::statusWord(to)) ||
                             tablesFailed())
                   ? Result::Done
                   : Result::Failed;
    });
}

ImpoundStore::Result ImpoundStore::placeHold(const TowRecord &record, Hold hold,
                                             const QDate &today)
{
    return change(record, VehicleStatus::OnHold, [&](const ImpoundState &) {
        return m_tables.addHold(record.id, hold, today) || tablesFailed();
    });
}

ImpoundStore::Result ImpoundStore::clearHold(const TowRecord &record, const QString &clearedBy,
                                             const QDate &today)
{
    if (clearedBy.trimmed().isEmpty())
        return refuse(QStringLiteral("Say who cleared the hold."));
    return change(record, VehicleStatus::InStorage, [&](const ImpoundState &now) {
        const Hold *hold = now.activeHold();
        return m_tables.clearHold(hold ? hold->id : qint64(-1), clearedBy.trimmed(), today) ||
               tablesFailed();
    });
}

ImpoundStore::Result ImpoundStore::release(const TowRecord &record, const Release &release,
                                           const std::optional<ChargeFigures> &bill)
{
    if (release.releasedTo.trimmed().isEmpty() || !release.date.isValid())
        return refuse(QStringLiteral("Say to whom the vehicle is released, and on what day."));
    return change(record, VehicleStatus::Released, [&](const ImpoundState &) {
        return (m_tables.addRelease(record.id, release) || tablesFailed()) &&
               keepBill(record.id, bill) && setReleaseDate(record.id, release.date);
    });
}

ImpoundStore::Result ImpoundStore::addPayment(const TowRecord &record, const Payment &payment)
{
    if (!payment.paidOn.isValid())
        return refuse(QStringLiteral("Say on what day the payment was taken."));
    // The payments are read under the write lock: two refunds of one payment taken at once on
    // two workstations cannot both give back what is left of it.
    return underLock(record.id, [&](const ImpoundState &now) {
        if (const QString why = ImpoundRules::paymentRefusal(payment, now.payments);
            !why.isEmpty())
            return refuse(why);
        return m_tables.addPayment(record.id, payment) || tablesFailed() ? Result::Done
                                                                         : Result::Failed;
    });
}

ImpoundStore::Result ImpoundStore::dispose(const TowRecord &record, VehicleStatus how,
                                           const QDate &day,
                                           const std::optional<ChargeFigures> &bill)
{
    if (how != VehicleStatus::Sold && how != VehicleStatus::Disposed)
        return refuse(QStringLiteral("A vehicle leaves the yard sold or disposed of."));
    return change(record, how, [&](const ImpoundState &) {
        return keepBill(record.id, bill) && setReleaseDate(record.id, day);
    });
}

ImpoundStore::Result ImpoundStore::markStepDone(qint64 vehicleId, const QString &step,
                                                const QDate &day)
{
    return underLock(vehicleId, [&](const ImpoundState &) {
        return m_tables.markStepDone(vehicleId, step, day) || tablesFailed() ? Result::Done
                                                                             : Result::Failed;
    });
}

} // namespace tarnvale
