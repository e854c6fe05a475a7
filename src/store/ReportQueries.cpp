#include "ReportQueries.h"

#include "PgReader.h"
#include "RecordStore.h"
#include "SchemaCheck.h"
#include "SqliteReader.h"

namespace tarnvale {

namespace {

QByteArray isoBytes(const QDate &day)
{
    return day.toString(Qt::ISODate).toUtf8();
}

} // namespace

template <typename OnRow>
bool ReportQueries::read(const QByteArray &sql, const QList<QByteArray> &binds,
                         const std::atomic<bool> *cancel, const QString &doing, OnRow &&onRow)
{
    m_error = {};
    if (!m_store.isOpen()) {
        m_error = DbError{DbError::kNotOpen, QStringLiteral("The database is not open."), doing};
        return false;
    }
    const QSqlDatabase db = m_store.database();
    const auto visitRows = [&](auto &reader) {
        auto step = reader.step();
        for (; step == decltype(step)::Row; step = reader.step())
            onRow(reader);
        return step != decltype(step)::Failed;
    };
    SqliteReader file(db);
    if (file.isOpen()) {
        file.stopWhen(cancel);
        bool prepared = file.prepare(sql);
        for (int i = 0; prepared && i < binds.size(); ++i)
            prepared = file.bindText(i + 1, QString::fromUtf8(binds.at(i)));
        if (prepared && visitRows(file))
            return true;
        m_error = DbError{file.errorCode(), file.errorText(), doing};
        return false;
    }
    PgReader server(db);
    if (server.isOpen()) {
        if (server.exec(sql, binds, cancel) && visitRows(server))
            return true;
        m_error = server.error();
        m_error.doing = doing;
        return false;
    }
    m_error = DbError{1, QStringLiteral("This database engine cannot give the report's rows."),
                      doing};
    return false;
}

bool ReportQueries::scan(const QByteArray &sql, int columns, const QList<QByteArray> &binds,
                         const std::function<void(const ReportRow &)> &visit,
                         const std::atomic<bool> *cancel, const QString &doing)
{
    ReportRow row;
    return read(sql, binds, cancel, doing, [&](auto &reader) {
        for (int c = 0; c < columns; ++c)
            row.cells[c] = reader.text(c);
        visit(row);
    });
}

bool ReportQueries::yardVehicles(const std::function<void(const ReportRow &)> &visit,
                                 const std::atomic<bool> *cancel, bool priced)
{
    return yardRows(true, std::nullopt, priced, visit, cancel) &&
           yardVehiclesReleaseTyped(visit, cancel);
}

std::optional<ReportQueries::IdRange> ReportQueries::vehicleIds()
{
    std::optional<IdRange> ids;
    // Apart: both in one aggregate make SQLite read the whole table for them.
    const bool read = scan("SELECT (SELECT min(id) FROM wrecker), (SELECT max(id) FROM wrecker)",
                           2, {},
                           [&](const ReportRow &row) {
                               ids = row.isNull(0) ? IdRange{}
                                                   : IdRange{row.integer(0), row.integer(1)};
                           },
                           nullptr, QStringLiteral("reading the vehicles' numbers"));
    return read ? ids : std::nullopt;
}

bool ReportQueries::yardVehiclesReleaseBlank(const IdRange &ids,
                                             const std::function<void(const ReportRow &)> &visit,
                                             const std::atomic<bool> *cancel, bool priced)
{
    return yardRows(true, ids, priced, visit, cancel);
}

bool ReportQueries::yardVehiclesReleaseTyped(const std::function<void(const ReportRow &)> &visit,
                                             const std::atomic<bool> *cancel)
{
    return yardRows(false, std::nullopt, true, visit, cancel);
}

std::optional<QByteArray> ReportQueries::yardRowsSql(bool releaseBlank,
                                                    const std::optional<IdRange> &among,
                                                    bool priced, const std::atomic<bool> *cancel)
{
    const auto within = [&](const char *id) {
        return among ? QStringLiteral(" AND %1 BETWEEN %2 AND %3")
                           .arg(QLatin1String(id))
                           .arg(among->first)
                           .arg(among->last)
                     : QString();
    };
    // The vehicles with a blank release date come from their own index, with their kept status
    // and, for those on hold, the agency of the standing hold: looked for only on a vehicle
    // kept as on hold, a few in a run, each one step of the holds' index (a reading of a run's
    // holds apart cost the server twice that). The vehicles whose kept status keeps them in
    // the yard whatever their release date says are few.
    const QString blank = m_store.dialect().schemaStatement(SchemaCheck::blankRelease());
    const QString columns =
        QStringLiteral("w.groupname, w.toweddate, w.towedfee, w.id, s.status, CASE WHEN "
                       "s.status = 'hold' THEN (SELECT min(h.agency) FROM impound_holds h WHERE "
                       "h.vehicle_id = s.vehicle_id AND h.cleared_by = '' AND h.cleared_on = "
                       "'') END AS agency");
    const QString pricedColumns = QStringLiteral(", w.Hookup, w.towedrelease");
    if (releaseBlank)
        // The statuses' range named too: the server then merges the two in id order rather
        // than looking each vehicle's status up (two thirds of the time).
        return QStringLiteral("SELECT %1 FROM wrecker w LEFT JOIN impound_status s ON "
                              "s.vehicle_id = w.id%2 WHERE %3%4")
            .arg(columns + (priced ? pricedColumns : QString()), within("s.vehicle_id"), blank,
                 within("w.id"))
            .toUtf8();
    // A release date typed on a vehicle still kept in the yard is the day its sheet counts
    // to: those few always come with it. Every status but the three that take a vehicle out
    // of the yard, written as the ranges between them, which the status index serves (a NOT
    // IN read every status). SQLite is told to look for a blank release date in its index of
    // them rather than in each vehicle's row (a third of the time), when the file has that
    // index (one of an older schema opened only to read has not); the server's planner finds
    // its own way.
    bool indexed = false;
    if (!m_store.dialect().isServer() &&
        !scan("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND "
              "name = 'wrecker_unreleased'",
              1, {}, [&](const ReportRow &row) { indexed = row.integer(0) > 0; }, cancel,
              QStringLiteral("reading the vehicles in the yard")))
        return std::nullopt;
    const QString releaseTyped =
        indexed ? QStringLiteral("NOT EXISTS (SELECT 1 FROM wrecker b INDEXED BY "
                                 "wrecker_unreleased WHERE b.id = s.vehicle_id AND %1)")
                      .arg(blank)
                : QStringLiteral("NOT (%1)").arg(blank);
    return QStringLiteral("SELECT %1 FROM impound_status s JOIN wrecker w "
                          "ON w.id = s.vehicle_id WHERE (s.status < 'disposed' OR "
                          "(s.status > 'disposed' AND s.status < 'released') OR "
                          "(s.status > 'released' AND s.status < 'sold') OR "
                          "s.status > 'sold') AND %2")
        .arg(columns + pricedColumns, releaseTyped)
        .toUtf8();
}

bool ReportQueries::yardRows(bool releaseBlank, const std::optional<IdRange> &among,
                             bool priced, const std::function<void(const ReportRow &)> &visit,
                             const std::atomic<bool> *cancel)
{
    const std::optional<QByteArray> sql = yardRowsSql(releaseBlank, among, priced, cancel);
    if (!sql)
        return false;
    ReportRow out;
    const QByteArray one("1"), zero("0");
    return scan(*sql, priced || !releaseBlank ? 8 : 6, {},
                [&](const ReportRow &row) {
                    for (int c = 0; c < 3; ++c)
                        out.cells[c] = row.cells[c];
                    out.cells[3] = row.cells[4];
                    out.cells[4] = releaseBlank ? one : zero;
                    out.cells[5] = row.cells[5];
                    out.cells[6] = row.cells[3];
                    out.cells[7] = row.cells[6];
                    out.cells[8] = row.cells[7];
                    visit(out);
                },
                cancel, QStringLiteral("reading the vehicles in the yard"));
}

std::optional<qint64> ReportQueries::bareYardRowsAggregate(const std::optional<IdRange> &run)
{
    // The report's own statement, counted and its columns' largest taken in SQL.
    const std::optional<QByteArray> sql = yardRowsSql(run.has_value(), run, false, nullptr);
    std::optional<qint64> count;
    if (sql)
        scan("SELECT count(*), max(groupname), max(toweddate), max(towedfee), max(id), "
             "max(status), max(agency) FROM (" + *sql + ") AS r",
             1, {}, [&](const ReportRow &row) { count = row.integer(0); }, nullptr,
             QStringLiteral("counting the vehicles in the yard"));
    return count;
}

QString ReportQueries::readingCopySource() const
{
    const QSqlDatabase db = m_store.database();
    const QString name = db.databaseName();
    if (!m_store.isOpen() || name.isEmpty() || name == QLatin1String(":memory:") ||
        name.startsWith(QLatin1String("file:")))
        return {};
    return db.connectionName();
}

bool ReportQueries::payments(const std::function<void(qint64, qint64)> &visit,
                             const std::atomic<bool> *cancel)
{
    // In table order: a plain scan of the table is many times faster than its grouping. Read
    // as numbers, not as texts to be read back.
    return read("SELECT vehicle_id, amount_cents FROM impound_payments", {}, cancel,
                QStringLiteral("reading the payments"),
                [&](auto &reader) { visit(reader.integer(0), reader.integer(1)); });
}

bool ReportQueries::paymentsByDay(const QDate &from, const QDate &to,
                                  const std::function<void(const ReportRow &)> &visit,
                                  const std::atomic<bool> *cancel)
{
    const QByteArray sql =
        "SELECT paid_on, method, CASE WHEN amount_cents < 0 THEN 1 ELSE 0 END, "
        "sum(amount_cents), count(*) FROM impound_payments WHERE paid_on BETWEEN ? AND ? "
        "GROUP BY paid_on, method, CASE WHEN amount_cents < 0 THEN 1 ELSE 0 END "
        "ORDER BY 1, 2, 3";
    return scan(sql, 5, {isoBytes(from), isoBytes(to)}, visit, cancel,
                QStringLiteral("reading the payments"));
}

bool ReportQueries::departures(const QDate &from, const QDate &to,
                               const std::function<void(const ReportRow &)> &visit,
                               const std::atomic<bool> *cancel, bool priced)
{
    // The clerk: who took the vehicle's first payment.
    const QByteArray vehicle =
        "w.groupname, w.vehyear, w.vehmake, w.vehmodel, w.vehcolor, w.vehtag, %1, "
        "(SELECT p.taken_by FROM impound_payments p WHERE p.vehicle_id = w.id "
        "AND p.amount_cents > 0 ORDER BY p.id LIMIT 1)" +
        QByteArray(priced ? ", w.Hookup" : "");
    const QByteArray sql =
        "SELECT w.id, s.status, w.toweddate, w.towedrelease, w.towedfee, r.released_on, "
        "r.released_to, " + QByteArray(vehicle).replace("%1", "r.id_type, r.id_number") +
        " FROM impound_releases r JOIN wrecker w ON w.id = r.vehicle_id "
        "LEFT JOIN impound_status s ON s.vehicle_id = w.id WHERE r.released_on BETWEEN ? AND ? "
        "UNION ALL SELECT w.id, s.status, w.toweddate, w.towedrelease, w.towedfee, NULL, NULL, " +
        QByteArray(vehicle).replace("%1", "NULL, NULL") +
        " FROM impound_status s JOIN wrecker w ON w.id = s.vehicle_id "
        "WHERE s.status = 'sold' ORDER BY 1";
    return scan(sql, priced ? 17 : 16, {isoBytes(from), isoBytes(to)}, visit, cancel,
                QStringLiteral("reading the vehicles released and sold"));
}

std::optional<bool> ReportQueries::pricingInUse()
{
    std::optional<bool> inUse;
    const bool read = scan("SELECT CASE WHEN EXISTS (SELECT 1 FROM pricing_plans) OR EXISTS "
                           "(SELECT 1 FROM release_bills) THEN 1 ELSE 0 END",
                           1, {}, [&](const ReportRow &row) { inUse = row.integer(0) != 0; },
                           nullptr, QStringLiteral("reading whether the yard keeps pricing plans"));
    return read ? inUse : std::nullopt;
}

bool ReportQueries::towAndReleaseDates(const std::function<void(const ReportRow &)> &visit,
                                       const std::atomic<bool> *cancel,
                                       const std::optional<IdRange> &among)
{
    const QByteArray within = among ? QStringLiteral(" WHERE id BETWEEN %1 AND %2")
                                          .arg(among->first)
                                          .arg(among->last)
                                          .toUtf8()
                                    : QByteArray();
    return scan("SELECT toweddate, towedrelease FROM wrecker" + within, 2, {}, visit, cancel,
                QStringLiteral("reading the tow and release dates"));
}

bool ReportQueries::stepsDone(const std::function<void(const ReportRow &)> &visit,
                              const std::atomic<bool> *cancel)
{
    return scan("SELECT vehicle_id, step_name, done_on FROM lien_steps_done", 3, {}, visit, cancel,
                QStringLiteral("reading the lien steps done"));
}

bool ReportQueries::vehicles(const QList<qint64> &ids,
                             const std::function<void(const ReportRow &)> &visit)
{
    // A few hundred ids a statement.
    constexpr qsizetype kChunk = 500;
    for (qsizetype first = 0; first < ids.size(); first += kChunk) {
        const QList<qint64> chunk = ids.mid(first, kChunk);
        QList<QByteArray> binds;
        for (qint64 id : chunk)
            binds << QByteArray::number(id);
        QByteArray marks = "?";
        marks.append(QByteArray(", ?").repeated(chunk.size() - 1));
        if (!scan("SELECT id, vehyear, vehmake, vehmodel, vehcolor, vehtag FROM wrecker WHERE id "
                  "IN (" + marks + ")",
                  6, binds, visit, nullptr, QStringLiteral("reading the vehicles")))
            return false;
    }
    return true;
}

std::optional<qint64> ReportQueries::bareYardAggregate()
{
    const QString blank = m_store.dialect().schemaStatement(SchemaCheck::blankRelease());
    std::optional<qint64> result;
    const bool read = scan(QStringLiteral("SELECT count(*), max(groupname), max(toweddate), "
                                          "max(towedfee) FROM wrecker WHERE %1")
                               .arg(blank)
                               .toUtf8(),
                           4, {}, [&](const ReportRow &row) {
                               result = row.integer(0);
                           },
                           nullptr, QStringLiteral("counting the vehicles in the yard"));
    return read ? result : std::nullopt;
}

} // namespace tarnvale

namespace tarnvale {

std::optional<qint64> ReportQueries::bareDatesAggregate()
{
    std::optional<qint64> result;
    const bool read =
        scan("SELECT count(*), max(toweddate), max(towedrelease) FROM wrecker", 3, {},
             [&](const ReportRow &row) { result = row.integer(0); }, nullptr,
             QStringLiteral("counting the vehicles"));
    return read ? result : std::nullopt;
}

} // namespace tarnvale
