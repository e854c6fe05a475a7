#include "ImpoundStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <map>

#include "DateText.h"
#include "ImpoundRules.h"
#include "PricingStore.h"
#include "RecordStore.h"
#include "SchemaCheck.h"
#include "TowRecord.h"

namespace tarnvale {

namespace {

// Dates in the impound tables are ISO text: the same under every locale and engine.
QString isoDate(const QDate &date)
{
    return date.isValid() ? date.toString(Qt::ISODate) : QString(u""_qs);
}

// Every text column is NOT NULL: a null string goes in as empty text.
QString notNull(const QString &text)
{
    return text.isNull() ? QString(u""_qs) : text;
}

QDate fromIso(const QVariant &value)
{
    return QDate::fromString(value.toString(), Qt::ISODate);
}

// The columns of a payment, as paymentAt reads them from `first` on.
const char *const kPaymentColumns =
    "id, amount_cents, method, reference, paid_on, paid_at, taken_by, refund_of";

Payment paymentAt(const QSqlQuery &query, int first)
{
    const auto v = [&](int i) { return query.value(first + i); };
    return Payment{v(1).toLongLong(),
                   v(2).toString(),
                   v(3).toString(),
                   fromIso(v(4)),
                   QTime::fromString(v(5).toString(), Qt::ISODate),
                   v(6).toString(),
                   v(7).toLongLong(),
                   v(0).toLongLong()};
}

} // namespace

ImpoundStore::ImpoundStore(RecordStore &store) : m_store(store) {}

ImpoundStore::Result ImpoundStore::fail(const QSqlQuery &query, const QString &doing)
{
    m_error = DbError::fromSql(query.lastError(), doing);
    if (!m_store.isOpen())
        m_error = DbError{DbError::kNotOpen, QStringLiteral("The database is not open.")};
    return Result::Failed;
}

ImpoundStore::Result ImpoundStore::failDb(const QSqlDatabase &db, const QString &doing)
{
    m_error = DbError::fromSql(db.lastError(), doing);
    if (!m_store.isOpen())
        m_error = DbError{DbError::kNotOpen, QStringLiteral("The database is not open.")};
    return Result::Failed;
}

bool ImpoundStore::exec(QSqlQuery &query, const QString &doing)
{
    if (query.exec())
        return true;
    fail(query, doing);
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
    QSqlDatabase db = m_store.database();
    ImpoundState state;
    VehicleStatus stored = VehicleStatus::InStorage;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT status FROM impound_status WHERE vehicle_id = ?"));
    query.addBindValue(record.id);
    if (!query.exec()) {
        fail(query, QStringLiteral("reading the vehicle's status"));
        return std::nullopt;
    }
    if (query.next()) {
        state.kept = true;
        stored = ImpoundRules::statusFromWord(query.value(0).toString())
                     .value_or(VehicleStatus::InStorage);
    }
    state.status = ImpoundRules::statusOf(state.kept, stored, record.value(TowField::towedrelease));

    query.prepare(QStringLiteral("SELECT id, reason, agency, case_number, release_by, placed_on, "
                                 "cleared_by, cleared_on FROM impound_holds WHERE vehicle_id = ? "
                                 "ORDER BY id"));
    query.addBindValue(record.id);
    if (!query.exec()) {
        fail(query, QStringLiteral("reading the vehicle's holds"));
        return std::nullopt;
    }
    while (query.next())
        state.holds.append(Hold{query.value(0).toLongLong(), query.value(1).toString(),
                                query.value(2).toString(), query.value(3).toString(),
                                query.value(4).toString(), fromIso(query.value(5)),
                                query.value(6).toString(), fromIso(query.value(7))});

    query.prepare(QStringLiteral("SELECT released_to, id_type, id_number, released_on, "
                                 "released_at FROM impound_releases WHERE vehicle_id = ?"));
    query.addBindValue(record.id);
    if (!query.exec()) {
        fail(query, QStringLiteral("reading the vehicle's release"));
        return std::nullopt;
    }
    if (query.next())
        state.release = Release{query.value(0).toString(), query.value(1).toString(),
                                query.value(2).toString(), fromIso(query.value(3)),
                                QTime::fromString(query.value(4).toString(), Qt::ISODate)};

    query.prepare(QStringLiteral("SELECT %1 FROM impound_payments WHERE vehicle_id = ? "
                                 "ORDER BY id")
                      .arg(QLatin1String(kPaymentColumns)));
    query.addBindValue(record.id);
    if (!query.exec()) {
        fail(query, QStringLiteral("reading the vehicle's payments"));
        return std::nullopt;
    }
    while (query.next())
        state.payments.append(paymentAt(query, 0));

    query.prepare(QStringLiteral("SELECT step_name, done_on FROM lien_steps_done "
                                 "WHERE vehicle_id = ? ORDER BY id"));
    query.addBindValue(record.id);
    if (!query.exec()) {
        fail(query, QStringLiteral("reading the vehicle's lien steps"));
        return std::nullopt;
    }
    while (query.next())
        state.stepsDone.append({query.value(0).toString(), fromIso(query.value(1))});
    return state;
}

std::optional<QHash<qint64, VehicleStatus>> ImpoundStore::storedStatuses()
{
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT vehicle_id, status FROM impound_status"))) {
        fail(query, QStringLiteral("reading the vehicles' status"));
        return std::nullopt;
    }
    QHash<qint64, VehicleStatus> result;
    while (query.next())
        result.insert(query.value(0).toLongLong(),
                      ImpoundRules::statusFromWord(query.value(1).toString())
                          .value_or(VehicleStatus::InStorage));
    return result;
}

std::optional<QHash<qint64, QList<QPair<QString, QDate>>>> ImpoundStore::stepsDone()
{
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT vehicle_id, step_name, done_on FROM lien_steps_done ORDER BY id"))) {
        fail(query, QStringLiteral("reading the lien steps done"));
        return std::nullopt;
    }
    QHash<qint64, QList<QPair<QString, QDate>>> result;
    while (query.next())
        result[query.value(0).toLongLong()].append(
            {query.value(1).toString(), fromIso(query.value(2))});
    return result;
}

std::optional<QHash<qint64, QList<Payment>>> ImpoundStore::payments()
{
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT vehicle_id, %1 FROM impound_payments ORDER BY id")
                        .arg(QLatin1String(kPaymentColumns)))) {
        fail(query, QStringLiteral("reading the payments"));
        return std::nullopt;
    }
    QHash<qint64, QList<Payment>> result;
    while (query.next())
        result[query.value(0).toLongLong()].append(paymentAt(query, 1));
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
    // The candidates: every vehicle with a blank release date (from its own index) and every
    // vehicle whose status keeps it in the yard; the status rule below decides. Without ids,
    // nothing of the rest of the yard is read.
    const SqlDialect &dialect = m_store.dialect();
    const QString columns = QStringLiteral("w.id, w.vehyear, w.vehmake, w.vehmodel, w.vehcolor, "
                                           "w.toweddate, w.towedrelease, s.status, w.vehtag");
    const QString inYard = QStringLiteral("s.status IN ('storage', 'hold')");
    QStringList vehicleSql, stepSql;
    if (vehicleIds) {
        vehicleSql << QStringLiteral("SELECT %1 FROM wrecker w LEFT JOIN impound_status s "
                                     "ON s.vehicle_id = w.id WHERE w.id = ?")
                          .arg(columns);
        stepSql << QStringLiteral("SELECT vehicle_id, step_name, done_on FROM lien_steps_done "
                                  "WHERE vehicle_id = ?");
    } else {
        const QString blank = dialect.schemaStatement(SchemaCheck::blankRelease());
        vehicleSql << QStringLiteral("SELECT %1 FROM wrecker w LEFT JOIN impound_status s "
                                     "ON s.vehicle_id = w.id WHERE %2")
                          .arg(columns, blank)
                   << QStringLiteral("SELECT %1 FROM impound_status s JOIN wrecker w "
                                     "ON w.id = s.vehicle_id WHERE %2")
                          .arg(columns, inYard);
        stepSql << QStringLiteral("SELECT vehicle_id, step_name, done_on FROM lien_steps_done "
                                  "WHERE vehicle_id IN (SELECT id FROM wrecker WHERE %1)")
                       .arg(blank)
                << QStringLiteral("SELECT d.vehicle_id, d.step_name, d.done_on FROM "
                                  "impound_status s JOIN lien_steps_done d "
                                  "ON d.vehicle_id = s.vehicle_id WHERE %1")
                       .arg(inYard);
    }
    const QList<qint64> once{0};
    const auto run = [&](const QStringList &statements, const QString &doing, auto visit) {
        QSqlQuery query(m_store.database());
        query.setForwardOnly(true);
        for (const QString &sql : statements) {
            if (!query.prepare(sql)) {
                fail(query, doing);
                return false;
            }
            for (const qint64 id : vehicleIds ? *vehicleIds : once) {
                if (vehicleIds)
                    query.bindValue(0, id);
                if (!exec(query, doing))
                    return false;
                while (query.next())
                    visit(query);
            }
        }
        return true;
    };

    struct Vehicle
    {
        QString vehicle;
        QString towed;
        QList<QPair<QString, QDate>> done;
    };
    std::map<qint64, Vehicle> vehicles; // table order
    const bool read = run(
        vehicleSql, QStringLiteral("reading the vehicles in the yard"), [&](const QSqlQuery &q) {
            const bool kept = !q.value(7).isNull();
            const VehicleStatus status = ImpoundRules::statusOf(
                kept,
                ImpoundRules::statusFromWord(q.value(7).toString()).value_or(VehicleStatus::InStorage),
                q.value(6).toString());
            if (status != VehicleStatus::InStorage && status != VehicleStatus::OnHold)
                return;
            QStringList vehicle;
            for (int column = 1; column <= 4; ++column)
                if (const QString part = q.value(column).toString().trimmed(); !part.isEmpty())
                    vehicle << part.toUpper();
            // The plate beside it: what a clerk looks for on the lot.
            if (const QString plate = q.value(8).toString().trimmed(); !plate.isEmpty())
                vehicle << u'(' + plate.toUpper() + u')';
            vehicles[q.value(0).toLongLong()] = {vehicle.join(u' '), q.value(5).toString(), {}};
        });
    if (!read || !run(stepSql, QStringLiteral("reading the lien steps done"),
                      [&](const QSqlQuery &q) {
                          const auto at = vehicles.find(q.value(0).toLongLong());
                          if (at != vehicles.end())
                              at->second.done.append(
                                  {q.value(1).toString(), fromIso(q.value(2))});
                      }))
        return std::nullopt;
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
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM impound_status")) || !query.next()) {
        fail(query, QStringLiteral("reading the vehicles' status"));
        return std::nullopt;
    }
    return query.value(0).toLongLong() > 0;
}

bool ImpoundStore::setStatus(QSqlDatabase &db, qint64 id, VehicleStatus status)
{
    QSqlQuery remove(db);
    remove.prepare(QStringLiteral("DELETE FROM impound_status WHERE vehicle_id = ?"));
    remove.addBindValue(id);
    if (!exec(remove, QStringLiteral("changing the vehicle's status")))
        return false;
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO impound_status (vehicle_id, status) VALUES (?, ?)"));
    insert.addBindValue(id);
    insert.addBindValue(ImpoundRules::statusWord(status));
    return exec(insert, QStringLiteral("changing the vehicle's status"));
}

bool ImpoundStore::setReleaseDate(QSqlDatabase &db, qint64 id, const QDate &day)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE wrecker SET towedrelease = ? WHERE id = ?"));
    query.addBindValue(DateText::shortForm(day));
    query.addBindValue(id);
    if (!exec(query, QStringLiteral("writing the release date")))
        return false;
    const std::optional<qint64> revision = m_store.raiseVersion(id);
    if (!revision) {
        m_error = m_store.lastError();
        return false;
    }
    m_revisions.append(*revision);
    return true;
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
        if (const Result result = work(db, *now); result != Result::Done)
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
    return underLock(record.id, [&](QSqlDatabase &db, const ImpoundState &now) {
        if (const QString why = ImpoundRules::refusal(now.status, to); !why.isEmpty())
            return refuse(why);
        return work(db, now) && setStatus(db, record.id, to) ? Result::Done : Result::Failed;
    });
}

ImpoundStore::Result ImpoundStore::placeHold(const TowRecord &record, Hold hold,
                                             const QDate &today)
{
    return change(record, VehicleStatus::OnHold, [&](QSqlDatabase &db, const ImpoundState &) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("INSERT INTO impound_holds (vehicle_id, reason, agency, "
                                     "case_number, release_by, placed_on) VALUES (?, ?, ?, ?, ?, ?)"));
        query.addBindValue(record.id);
        query.addBindValue(notNull(hold.reason));
        query.addBindValue(notNull(hold.agency));
        query.addBindValue(notNull(hold.caseNumber));
        query.addBindValue(notNull(hold.releaseBy));
        query.addBindValue(isoDate(today));
        return exec(query, QStringLiteral("placing a hold"));
    });
}

ImpoundStore::Result ImpoundStore::clearHold(const TowRecord &record, const QString &clearedBy,
                                             const QDate &today)
{
    if (clearedBy.trimmed().isEmpty())
        return refuse(QStringLiteral("Say who cleared the hold."));
    return change(record, VehicleStatus::InStorage,
                  [&](QSqlDatabase &db, const ImpoundState &now) {
                      const Hold *hold = now.activeHold();
                      QSqlQuery query(db);
                      query.prepare(QStringLiteral("UPDATE impound_holds SET cleared_by = ?, "
                                                   "cleared_on = ? WHERE id = ?"));
                      query.addBindValue(notNull(clearedBy.trimmed()));
                      query.addBindValue(isoDate(today));
                      query.addBindValue(hold ? hold->id : qint64(-1));
                      return exec(query, QStringLiteral("clearing a hold"));
                  });
}

ImpoundStore::Result ImpoundStore::release(const TowRecord &record, const Release &release,
                                           const std::optional<ChargeFigures> &bill)
{
    if (release.releasedTo.trimmed().isEmpty() || !release.date.isValid())
        return refuse(QStringLiteral("Say to whom the vehicle is released, and on what day."));
    return change(record, VehicleStatus::Released, [&](QSqlDatabase &db, const ImpoundState &) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("INSERT INTO impound_releases (vehicle_id, released_to, "
                                     "id_type, id_number, released_on, released_at) "
                                     "VALUES (?, ?, ?, ?, ?, ?)"));
        query.addBindValue(record.id);
        query.addBindValue(notNull(release.releasedTo.trimmed()));
        query.addBindValue(notNull(release.idType.trimmed()));
        query.addBindValue(notNull(release.idNumber.trimmed()));
        query.addBindValue(isoDate(release.date));
        query.addBindValue(release.time.isValid() ? release.time.toString(QStringLiteral("HH:mm"))
                                                  : QString(u""_qs));
        if (!exec(query, QStringLiteral("recording the release")))
            return false;
        PricingStore pricing(m_store);
        if (bill && !pricing.keepBill(db, record.id, *bill)) {
            m_error = pricing.lastError();
            return false;
        }
        return setReleaseDate(db, record.id, release.date);
    });
}

ImpoundStore::Result ImpoundStore::addPayment(const TowRecord &record, const Payment &payment)
{
    if (!payment.paidOn.isValid())
        return refuse(QStringLiteral("Say on what day the payment was taken."));
    // The payments are read under the write lock: two refunds of one payment taken at once on
    // two workstations cannot both give back what is left of it.
    return underLock(record.id, [&](QSqlDatabase &db, const ImpoundState &now) {
        if (const QString why = ImpoundRules::paymentRefusal(payment, now.payments);
            !why.isEmpty())
            return refuse(why);
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO impound_payments (vehicle_id, amount_cents, "
                                      "method, reference, paid_on, paid_at, taken_by, refund_of) "
                                      "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
        insert.addBindValue(record.id);
        insert.addBindValue(payment.cents);
        insert.addBindValue(notNull(payment.method.trimmed()));
        insert.addBindValue(notNull(payment.reference.trimmed()));
        insert.addBindValue(isoDate(payment.paidOn));
        insert.addBindValue(payment.paidAt.isValid()
                                ? payment.paidAt.toString(QStringLiteral("HH:mm:ss"))
                                : QString(u""_qs));
        insert.addBindValue(notNull(payment.takenBy.trimmed()));
        insert.addBindValue(payment.refundOf);
        return exec(insert, QStringLiteral("recording a payment")) ? Result::Done : Result::Failed;
    });
}

ImpoundStore::Result ImpoundStore::dispose(const TowRecord &record, VehicleStatus how,
                                           const QDate &day)
{
    if (how != VehicleStatus::Sold && how != VehicleStatus::Disposed)
        return refuse(QStringLiteral("A vehicle leaves the yard sold or disposed of."));
    return change(record, how, [&](QSqlDatabase &db, const ImpoundState &) {
        return setReleaseDate(db, record.id, day);
    });
}

ImpoundStore::Result ImpoundStore::markStepDone(qint64 vehicleId, const QString &step,
                                                const QDate &day)
{
    return underLock(vehicleId, [&](QSqlDatabase &db, const ImpoundState &) {
        QSqlQuery remove(db);
        remove.prepare(
            QStringLiteral("DELETE FROM lien_steps_done WHERE vehicle_id = ? AND step_name = ?"));
        remove.addBindValue(vehicleId);
        remove.addBindValue(notNull(step));
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral(
            "INSERT INTO lien_steps_done (vehicle_id, step_name, done_on) VALUES (?, ?, ?)"));
        insert.addBindValue(vehicleId);
        insert.addBindValue(notNull(step));
        insert.addBindValue(isoDate(day));
        return exec(remove, QStringLiteral("marking a lien step done")) &&
                       exec(insert, QStringLiteral("marking a lien step done"))
                   ? Result::Done
                   : Result::Failed;
    });
}

} // namespace tarnvale
