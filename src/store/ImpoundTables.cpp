#include "ImpoundTables.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "RecordStore.h"
#include "SchemaCheck.h"

namespace tarnvale {

namespace {

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

ImpoundTables::ImpoundTables(RecordStore &store) : m_store(store) {}

bool ImpoundTables::fail(const QSqlQuery &query, const QString &doing)
{
    m_error = DbError::fromSql(query.lastError(), doing);
    if (!m_store.isOpen())
        m_error = DbError{DbError::kNotOpen, QStringLiteral("The database is not open.")};
    return false;
}

bool ImpoundTables::exec(QSqlQuery &query, const QString &doing)
{
    if (query.exec())
        return true;
    return fail(query, doing);
}

std::optional<ImpoundState> ImpoundTables::read(qint64 vehicleId, QString *statusWord)
{
    m_error = {};
    ImpoundState state;
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT status FROM impound_status WHERE vehicle_id = ?"));
    query.addBindValue(vehicleId);
    if (!exec(query, QStringLiteral("reading the vehicle's status")))
        return std::nullopt;
    *statusWord = QString();
    if (query.next()) {
        state.kept = true;
        *statusWord = notNull(query.value(0).toString());
    }

    query.prepare(QStringLiteral("SELECT id, reason, agency, case_number, release_by, placed_on, "
                                 "cleared_by, cleared_on FROM impound_holds WHERE vehicle_id = ? "
                                 "ORDER BY id"));
    query.addBindValue(vehicleId);
    if (!exec(query, QStringLiteral("reading the vehicle's holds")))
        return std::nullopt;
    while (query.next())
        state.holds.append(Hold{query.value(0).toLongLong(), query.value(1).toString(),
                                query.value(2).toString(), query.value(3).toString(),
                                query.value(4).toString(), fromIso(query.value(5)),
                                query.value(6).toString(), fromIso(query.value(7))});

    query.prepare(QStringLiteral("SELECT released_to, id_type, id_number, released_on, "
                                 "released_at FROM impound_releases WHERE vehicle_id = ?"));
    query.addBindValue(vehicleId);
    if (!exec(query, QStringLiteral("reading the vehicle's release")))
        return std::nullopt;
    if (query.next())
        state.release = Release{query.value(0).toString(), query.value(1).toString(),
                                query.value(2).toString(), fromIso(query.value(3)),
                                QTime::fromString(query.value(4).toString(), Qt::ISODate)};

    query.prepare(QStringLiteral("SELECT %1 FROM impound_payments WHERE vehicle_id = ? "
                                 "ORDER BY id")
                      .arg(QLatin1String(kPaymentColumns)));
    query.addBindValue(vehicleId);
    if (!exec(query, QStringLiteral("reading the vehicle's payments")))
        return std::nullopt;
    while (query.next())
        state.payments.append(paymentAt(query, 0));

    query.prepare(QStringLiteral("SELECT step_name, done_on FROM lien_steps_done "
                                 "WHERE vehicle_id = ? ORDER BY id"));
    query.addBindValue(vehicleId);
    if (!exec(query, QStringLiteral("reading the vehicle's lien steps")))
        return std::nullopt;
    while (query.next())
        state.stepsDone.append({query.value(0).toString(), fromIso(query.value(1))});
    return state;
}

std::optional<QHash<qint64, QString>> ImpoundTables::statusWords()
{
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT vehicle_id, status FROM impound_status"))) {
        fail(query, QStringLiteral("reading the vehicles' status"));
        return std::nullopt;
    }
    QHash<qint64, QString> result;
    while (query.next())
        result.insert(query.value(0).toLongLong(), query.value(1).toString());
    return result;
}

std::optional<QHash<qint64, QList<QPair<QString, QDate>>>> ImpoundTables::stepsDone()
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

std::optional<QHash<qint64, QList<Payment>>> ImpoundTables::payments()
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

std::optional<bool> ImpoundTables::inUse()
{
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM impound_status")) || !query.next()) {
        fail(query, QStringLiteral("reading the vehicles' status"));
        return std::nullopt;
    }
    return query.value(0).toLongLong() > 0;
}

bool ImpoundTables::scanYard(
    const QList<qint64> *vehicleIds, const std::function<void(const YardVehicle &)> &vehicle,
    const std::function<void(qint64, const QString &, const QDate &)> &stepDone)
{
    // The candidates: every vehicle with a blank release date (from its own index) and every
    // vehicle whose status keeps it in the yard. Without ids, nothing of the rest of the yard
    // is read.
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
            if (!query.prepare(sql))
                return fail(query, doing);
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
    return run(vehicleSql, QStringLiteral("reading the vehicles in the yard"),
               [&](const QSqlQuery &q) {
                   vehicle(YardVehicle{q.value(0).toLongLong(), q.value(1).toString(),
                                       q.value(2).toString(), q.value(3).toString(),
                                       q.value(4).toString(), q.value(8).toString(),
                                       q.value(5).toString(), q.value(6).toString(),
                                       !q.value(7).isNull(), q.value(7).toString()});
               }) &&
           run(stepSql, QStringLiteral("reading the lien steps done"), [&](const QSqlQuery &q) {
               stepDone(q.value(0).toLongLong(), q.value(1).toString(), fromIso(q.value(2)));
           });
}

bool ImpoundTables::setStatus(qint64 vehicleId, const QString &statusWord)
{
    QSqlQuery remove(m_store.database());
    remove.prepare(QStringLiteral("DELETE FROM impound_status WHERE vehicle_id = ?"));
    remove.addBindValue(vehicleId);
    if (!exec(remove, QStringLiteral("changing the vehicle's status")))
        return false;
    QSqlQuery insert(m_store.database());
    insert.prepare(QStringLiteral("INSERT INTO impound_status (vehicle_id, status) VALUES (?, ?)"));
    insert.addBindValue(vehicleId);
    insert.addBindValue(statusWord);
    return exec(insert, QStringLiteral("changing the vehicle's status"));
}

bool ImpoundTables::addHold(qint64 vehicleId, const Hold &hold, const QDate &placedOn)
{
    QSqlQuery query(m_store.database());
    query.prepare(QStringLiteral("INSERT INTO impound_holds (vehicle_id, reason, agency, "
                                 "case_number, release_by, placed_on) VALUES (?, ?, ?, ?, ?, ?)"));
    query.addBindValue(vehicleId);
    query.addBindValue(notNull(hold.reason));
    query.addBindValue(notNull(hold.agency));
    query.addBindValue(notNull(hold.caseNumber));
    query.addBindValue(notNull(hold.releaseBy));
    query.addBindValue(isoDate(placedOn));
    return exec(query, QStringLiteral("placing a hold"));
}

bool ImpoundTables::clearHold(qint64 holdId, const QString &clearedBy, const QDate &clearedOn)
{
    QSqlQuery query(m_store.database());
    query.prepare(
        QStringLiteral("UPDATE impound_holds SET cleared_by = ?, cleared_on = ? WHERE id = ?"));
    query.addBindValue(notNull(clearedBy));
    query.addBindValue(isoDate(clearedOn));
    query.addBindValue(holdId);
    return exec(query, QStringLiteral("clearing a hold"));
}

bool ImpoundTables::addRelease(qint64 vehicleId, const Release &release)
{
    QSqlQuery query(m_store.database());
    query.prepare(QStringLiteral("INSERT INTO impound_releases (vehicle_id, released_to, "
                                 "id_type, id_number, released_on, released_at) "
                                 "VALUES (?, ?, ?, ?, ?, ?)"));
    query.addBindValue(vehicleId);
    query.addBindValue(notNull(release.releasedTo.trimmed()));
    query.addBindValue(notNull(release.idType.trimmed()));
    query.addBindValue(notNull(release.idNumber.trimmed()));
    query.addBindValue(isoDate(release.date));
    query.addBindValue(release.time.isValid() ? release.time.toString(QStringLiteral("HH:mm"))
                                              : QString(u""_qs));
    return exec(query, QStringLiteral("recording the release"));
}

bool ImpoundTables::setReleaseDate(qint64 vehicleId, const QString &dateText)
{
    QSqlQuery query(m_store.database());
    query.prepare(QStringLiteral("UPDATE wrecker SET towedrelease = ? WHERE id = ?"));
    query.addBindValue(dateText);
    query.addBindValue(vehicleId);
    return exec(query, QStringLiteral("writing the release date"));
}

bool ImpoundTables::addPayment(qint64 vehicleId, const Payment &payment)
{
    QSqlQuery insert(m_store.database());
    insert.prepare(QStringLiteral("INSERT INTO impound_payments (vehicle_id, amount_cents, "
                                  "method, reference, paid_on, paid_at, taken_by, refund_of) "
                                  "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    insert.addBindValue(vehicleId);
    insert.addBindValue(payment.cents);
    insert.addBindValue(notNull(payment.method.trimmed()));
    insert.addBindValue(notNull(payment.reference.trimmed()));
    insert.addBindValue(isoDate(payment.paidOn));
    insert.addBindValue(payment.paidAt.isValid()
                            ? payment.paidAt.toString(QStringLiteral("HH:mm:ss"))
                            : QString(u""_qs));
    insert.addBindValue(notNull(payment.takenBy.trimmed()));
    insert.addBindValue(payment.refundOf);
    return exec(insert, QStringLiteral("recording a payment"));
}

bool ImpoundTables::markStepDone(qint64 vehicleId, const QString &step, const QDate &day)
{
    QSqlQuery remove(m_store.database());
    remove.prepare(
        QStringLiteral("DELETE FROM lien_steps_done WHERE vehicle_id = ? AND step_name = ?"));
    remove.addBindValue(vehicleId);
    remove.addBindValue(notNull(step));
    QSqlQuery insert(m_store.database());
    insert.prepare(QStringLiteral(
        "INSERT INTO lien_steps_done (vehicle_id, step_name, done_on) VALUES (?, ?, ?)"));
    insert.addBindValue(vehicleId);
    insert.addBindValue(notNull(step));
    insert.addBindValue(isoDate(day));
    return exec(remove, QStringLiteral("marking a lien step done")) &&
           exec(insert, QStringLiteral("marking a lien step done"));
}

} // namespace tarnvale
