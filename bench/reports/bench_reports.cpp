// Every report over a yard of 100,000 records (or --records=N, or an existing file with
// --db=PATH, which is given holds, releases, payments and lien steps done on first use);
// --csv=FOLDER writes each report's CSV there, to compare two builds' figures. The
// lot report against a bare SQL aggregate over the same rows (the vehicles with a blank release
// date, their group names, tow dates and fees), the lot over time against one over every
// vehicle's tow and release dates. Wall and CPU time side by side, and the ratios: the lot and
// deadlines reports read the yard on as many readers as the machine has cores (at most four),
// so their CPU time is the sum over the readers. The lot and deadlines reports also against
// the bare aggregate of every row they read: their own statements over the yard's vehicles,
// with each one's kept status and hold agency, aggregated in SQL on one connection, plus the
// payments (lot) or the lien steps done (deadlines).
//
// On a PostgreSQL server too, when TARNVALE_BENCH_PG names one (see BenchServer.h): the same
// yard moved there (once, into a database of its own), every report and the bare aggregate, in
// wall time (the server does the work).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>


#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>

#include "BenchServer.h"
#include "DeadlinesReport.h"
#include "LienSchedule.h"
#include "LotHistoryReport.h"
#include "LotReport.h"
#include "MoneyReport.h"
#include "ReadingInParts.h"
#include "ReleasesReport.h"
#include "RecordStore.h"
#include "ReportQueries.h"
#include "SchemaCheck.h"
#include "SettingsFile.h"
#include "TowDataGenerator.h"

using namespace tarnvale;

namespace {

const QDate kToday(2026, 12, 1);

// Holds on one vehicle in ten of the yard, by five agencies; a payment on one in seven.
bool addImpoundRows(const QString &path)
{
    RecordStore store;
    if (!store.open(path, RecordStore::OpenMode::ExistingOnly))
        return false;
    QSqlQuery query(store.database());
    if (query.exec(QStringLiteral("SELECT count(*) FROM impound_releases")) && query.next() &&
        query.value(0).toLongLong() > 0)
        return true;
    const QString blank = SchemaCheck::blankRelease();
    // A release kept for every released vehicle on its release date (written M/d/yyyy), a
    // payment taken that day for three in five of them; lien steps done for one vehicle in the
    // yard in three.
    const QString rest = QStringLiteral("substr(w.towedrelease, instr(w.towedrelease, '/') + 1)");
    const QString day =
        QStringLiteral("printf('%s-%02d-%02d', substr(%1, instr(%1, '/') + 1), "
                       "substr(w.towedrelease, 1, instr(w.towedrelease, '/') - 1), "
                       "substr(%1, 1, instr(%1, '/') - 1))")
            .arg(rest);
    return query.exec(QStringLiteral("BEGIN")) &&
           query.exec(QStringLiteral("DELETE FROM impound_holds")) &&
           query.exec(QStringLiteral("DELETE FROM lien_steps_done")) &&
           query.exec(QStringLiteral("DELETE FROM impound_status")) &&
           query.exec(QStringLiteral("DELETE FROM impound_payments")) &&
           query.exec(QStringLiteral("INSERT INTO impound_releases (vehicle_id, released_to, "
                                     "released_on) SELECT w.id, 'Owner', %1 FROM wrecker w "
                                     "WHERE NOT (%2)")
                          .arg(day, blank)) &&
           query.exec(QStringLiteral("INSERT INTO impound_status (vehicle_id, status) SELECT "
                                     "vehicle_id, 'released' FROM impound_releases")) &&
           query.exec(QStringLiteral("INSERT INTO impound_payments (vehicle_id, amount_cents, "
                                     "method, paid_on) SELECT w.id, 20000 + w.id % 5000, "
                                     "CASE WHEN w.id % 3 = 0 THEN 'Cash' ELSE 'Card' END, %1 "
                                     "FROM wrecker w JOIN impound_releases r ON r.vehicle_id = w.id "
                                     "WHERE w.id % 5 < 3")
                          .arg(QStringLiteral("r.released_on"))) &&
           query.exec(QStringLiteral("INSERT INTO lien_steps_done (vehicle_id, step_name, done_on) "
                                     "SELECT id, 'First notice', '2026-01-01' FROM wrecker "
                                     "WHERE id % 3 = 0 AND ") + blank) &&
           query.exec(QStringLiteral("INSERT INTO impound_status (vehicle_id, status) SELECT id, "
                                     "'hold' FROM wrecker WHERE id % 10 = 0 AND ") + blank) &&
           query.exec(QStringLiteral(
               "INSERT INTO impound_holds (vehicle_id, reason, agency, placed_on) SELECT "
               "vehicle_id, 'Evidence', 'Agency ' || (vehicle_id % 5), '2026-01-01' FROM "
               "impound_status WHERE status = 'hold'")) &&
           query.exec(QStringLiteral("INSERT INTO impound_payments (vehicle_id, amount_cents, "
                                     "method, paid_on) SELECT id, 5000, 'Cash', '2026-02-01' "
                                     "FROM wrecker WHERE id % 7 = 0")) &&
           query.exec(QStringLiteral("COMMIT"));
}

struct Took
{
    double wall = 1e9;
    double cpu = 1e9;
};

double cpuNow()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The best of the runs, wall and CPU apart: on a shared machine the CPU time is the steadier.
void measure(Took &took, const std::function<void()> &work)
{
    const double cpu = cpuNow();
    const auto start = std::chrono::steady_clock::now();
    work();
    took.wall = std::min(
        took.wall,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * 1000);
    took.cpu = std::min(took.cpu, (cpuNow() - cpu) * 1000);
}

// The bare aggregates of the rows the money, releases and deadlines reports read, in SQL
// alone: the vehicles released in the range with what the releases report shows of them, the
// clerk who took each one's first payment among them (and every vehicle sold); the payments of
// the range; the lien steps done.
struct BareAggregates
{
    RecordStore &store;
    QDate first, last;

    void run(const QString &sql, bool dated) const
    {
        QSqlQuery query(store.database());
        query.setForwardOnly(true);
        if (!query.prepare(store.dialect().schemaStatement(sql)))
            std::exit(1);
        if (dated) {
            query.addBindValue(first.toString(Qt::ISODate));
            query.addBindValue(last.toString(Qt::ISODate));
        }
        if (!query.exec() || !query.next())
            std::exit(1);
    }
    void departures() const
    {
        const QString columns = QStringLiteral(
            "count(*), max(w.groupname), max(w.toweddate), max(w.towedrelease), "
            "max(w.towedfee), max(w.vehyear), max(w.vehmake), max(w.vehmodel), "
            "max(w.vehcolor), max(w.vehtag), max(s.status), max((SELECT p.taken_by FROM "
            "impound_payments p WHERE p.vehicle_id = w.id AND p.amount_cents > 0 ORDER BY p.id "
            "LIMIT 1))");
        run(QStringLiteral("SELECT %1, max(r.released_on), max(r.released_to), max(r.id_type), "
                           "max(r.id_number) FROM impound_releases r JOIN wrecker w ON w.id = "
                           "r.vehicle_id LEFT JOIN impound_status s ON s.vehicle_id = w.id "
                           "WHERE r.released_on BETWEEN ? AND ?")
                .arg(columns),
            true);
        run(QStringLiteral("SELECT %1 FROM impound_status s JOIN wrecker w ON w.id = "
                           "s.vehicle_id WHERE s.status = 'sold'")
                .arg(columns),
            false);
    }
    void payments() const
    {
        run(QStringLiteral("SELECT count(*), sum(amount_cents), max(method) FROM "
                           "impound_payments WHERE paid_on BETWEEN ? AND ?"),
            true);
    }
    void allPayments() const
    {
        run(QStringLiteral("SELECT count(*), sum(amount_cents), max(vehicle_id) FROM "
                           "impound_payments"),
            false);
    }
    void stepsDone() const
    {
        run(QStringLiteral("SELECT count(*), max(vehicle_id), max(step_name), max(done_on) FROM "
                           "lien_steps_done"),
            false);
    }
};

// Every statement of the lot and deadlines reports' yard, aggregated, one after another on one
// connection or spread over as many connections as the reports read on, as they are: the
// vehicles counted must be the yard's.
void bareRowsOf(ReportQueries &queries, const std::vector<ReportQueries::IdRange> &runs,
                bool spread, qint64 vehicles)
{
    std::atomic<qint64> counted{0};
    const bool read = ReadingInParts::read(
        queries, int(runs.size()) + 1, spread ? ReadingInParts::defaultReaders() : 1,
        [&](ReportQueries &through, int at, int) {
            const std::optional<qint64> n = through.bareYardRowsAggregate(
                at == 0 ? std::nullopt : std::optional(runs[size_t(at - 1)]));
            counted += n.value_or(0);
            return n.has_value();
        },
        nullptr);
    if (!read || counted != vehicles) {
        std::fprintf(stderr, "the bare aggregate of the yard's rows counted otherwise\n");
        std::exit(1);
    }
}

// The bare aggregates the reports are set against, on one engine, each the best of its runs.
struct BareTimes
{
    Took yard, departures, payments, steps, dates, rows, rowsSpread, allPayments;

    // One run of each; answers the vehicles with a blank release date.
    qint64 measureOnce(RecordStore &store, ReportQueries &queries, const QDate &first,
                       const QDate &last, const std::vector<ReportQueries::IdRange> &runs)
    {
        qint64 vehicles = -1;
        measure(yard, [&] { vehicles = queries.bareYardAggregate().value_or(-1); });
        const BareAggregates bares{store, first, last};
        measure(departures, [&] { bares.departures(); });
        measure(payments, [&] { bares.payments(); });
        measure(steps, [&] { bares.stepsDone(); });
        measure(dates, [&] { queries.bareDatesAggregate(); });
        measure(rows, [&] { bareRowsOf(queries, runs, false, vehicles); });
        measure(rowsSpread, [&] { bareRowsOf(queries, runs, true, vehicles); });
        measure(allPayments, [&] { bares.allPayments(); });
        return vehicles;
    }
    // The money report's: the departures and the payments; the deadlines report's: the yard
    // and the lien steps done.
    double money() const { return departures.wall + payments.wall; }
    double deadlines() const { return yard.wall + steps.wall; }
};

// The five reports on one engine, each the best of its runs; each report is handed to `built`
// with its name.
struct ReportTimes
{
    Took lot, history, money, releases, deadlines;
    using Built = std::function<void(const std::optional<Report> &, const QString &name)>;

    void measureOnce(ReportQueries &queries, const SettingsFile &settings, const QDate &first,
                     const QDate &last, const QString &prefix, const Built &built)
    {
        measure(lot, [&] { built(LotReport::build(queries, settings, kToday), prefix + "lot"); });
        measure(history, [&] {
            built(LotHistoryReport::build(queries, kToday.addYears(-1), kToday, kToday),
                  prefix + "history");
        });
        measure(money, [&] {
            built(MoneyReport::build(queries, settings, first, last, kToday), prefix + "money");
        });
        measure(releases, [&] {
            built(ReleasesReport::build(queries, settings, first, last, kToday),
                  prefix + "releases");
        });
        measure(deadlines, [&] {
            built(DeadlinesReport::build(queries, settings, kToday), prefix + "deadlines");
        });
    }
};

// The lot and deadlines reports against the bare aggregates of every row each reads: the
// vehicles on one connection and spread over as many as the reports read on, plus the payments
// (lot) or the lien steps done (deadlines).
void printSameRows(const char *where, const Took &lot, const Took &deadlines, const BareTimes &b)
{
    std::printf("%sagainst the bare aggregates of every row each reads (the vehicles %.0f ms on "
                "one connection, %.0f ms on %d; the payments %.0f ms): lot report %.2fx (%.2fx), "
                "lien deadlines %.2fx (%.2fx)\n",
                where, b.rows.wall, b.rowsSpread.wall, ReadingInParts::defaultReaders(),
                b.allPayments.wall, lot.wall / (b.rows.wall + b.allPayments.wall),
                lot.wall / (b.rowsSpread.wall + b.allPayments.wall),
                deadlines.wall / (b.rows.wall + b.steps.wall),
                deadlines.wall / (b.rowsSpread.wall + b.steps.wall));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The generated dates are written as a yard in the United States writes them.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    int records = 100000;
    QString path, csvFolder;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--records=", 10) == 0)
            records = std::atoi(argv[i] + 10);
        if (std::strncmp(argv[i], "--db=", 5) == 0)
            path = QString::fromUtf8(argv[i] + 5);
        if (std::strncmp(argv[i], "--csv=", 6) == 0)
            csvFolder = QString::fromUtf8(argv[i] + 6);
    }
    if (path.isEmpty()) {
        const QString dir =
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("reports-data"));
        QDir().mkpath(dir);
        path = QDir(dir).filePath(QStringLiteral("yard-%1.dll").arg(records));
        if (!QFile::exists(path) && !bench::TowDataGenerator::writeDatabase(path, records, 200))
            return 1;
    }
    if (!addImpoundRows(path)) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(path));
        return 1;
    }
    const QString settingsPath = QDir::temp().filePath(QStringLiteral("bench-reports.ini"));
    QFile ini(settingsPath);
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write("[Fee]\r\nStorage Fee=35\r\n[Tow Fee]\r\nTaxrate=.0725\r\n") < 0)
        return 1;
    ini.close();
    if (!LienSchedule::write(SettingsFile(settingsPath), {{"First notice", 10}, {"Second notice", 30}}))
        return 1;
    const SettingsFile settings(settingsPath);

    RecordStore store;
    if (!store.open(path, RecordStore::OpenMode::ExistingOnly))
        return 1;
    ReportQueries queries(store);
    const int runs = 3;
    Took rows;
    ReportTimes file;
    BareTimes bare;
    qint64 vehicles = 0;
    const auto runsOf = [](ReportQueries &q) {
        const std::optional<ReportQueries::IdRange> ids = q.vehicleIds();
        if (!ids)
            std::exit(1);
        return ReadingInParts::runsOf(*ids, {});
    };
    const std::vector<ReportQueries::IdRange> fileRuns = runsOf(queries);
    const QDate first(2026, 10, 1), last(2026, 10, 31);
    const auto built = [&](const std::optional<Report> &r, const QString &name) {
        if (!r)
            std::exit(1);
        if (csvFolder.isEmpty())
            return;
        QFile csv(QDir(csvFolder).filePath(name + QStringLiteral(".csv")));
        if (!csv.open(QIODevice::WriteOnly) ||
            csv.write(r->csv() + r->notes.join(u'\n').toUtf8()) < 0)
            std::exit(1);
    };
    for (int run = 0; run < runs; ++run) {
        vehicles = bare.measureOnce(store, queries, first, last, fileRuns);
        measure(rows, [&] { queries.yardVehicles([](const ReportRow &) {}); });
        file.measureOnce(queries, settings, first, last, QString(), built);
    }
    const Took &report = file.lot, &history = file.history, &money = file.money,
               &releases = file.releases, &deadlines = file.deadlines;
    std::printf("lot report %lld vehicles in the yard, read on %d readers at once: %.0f ms wall, "
                "%.0f ms CPU; %.2fx (wall) %.2fx (CPU) bare SQL aggregate (%.0f ms wall, %.0f ms "
                "CPU); its rows alone, read in one pass, %.0f ms wall, %.0f ms CPU\n",
                static_cast<long long>(vehicles), ReadingInParts::defaultReaders(), report.wall,
                report.cpu, report.wall / bare.yard.wall, report.cpu / bare.yard.cpu,
                bare.yard.wall, bare.yard.cpu, rows.wall, rows.cpu);
    printSameRows("", report, deadlines, bare);
    std::printf("lot over a year, every vehicle's dates: %.0f ms wall, %.0f ms CPU; %.2fx (wall) "
                "%.2fx (CPU) bare SQL aggregate of the same dates (%.0f ms wall, %.0f ms CPU)\n",
                history.wall, history.cpu, history.wall / bare.dates.wall,
                history.cpu / bare.dates.cpu, bare.dates.wall, bare.dates.cpu);
    const double bareMoney = bare.money(), bareDeadlines = bare.deadlines();
    std::printf("money of a month: %.0f ms wall, %.0f ms CPU, %.2fx (wall) its bare SQL "
                "aggregates (%.0f ms); releases and sales of a month: %.0f ms wall, %.0f ms CPU, "
                "%.2fx (wall) its bare SQL aggregate (%.0f ms); lien deadlines: %.0f ms wall, "
                "%.0f ms CPU, %.2fx (wall) its bare SQL aggregates (%.0f ms)\n",
                money.wall, money.cpu, money.wall / bareMoney, bareMoney, releases.wall,
                releases.cpu, releases.wall / bare.departures.wall, bare.departures.wall,
                deadlines.wall, deadlines.cpu, deadlines.wall / bareDeadlines, bareDeadlines);

    QString reason;
    const QString uri = bench::BenchServer::database(
        path, int(store.towRecordCount()), &reason, QStringLiteral("reports_"));
    RecordStore server;
    if (uri.isEmpty() || !server.open(uri, RecordStore::OpenMode::ExistingOnly)) {
        std::printf("server cases skipped: %s\n",
                    qPrintable(uri.isEmpty() ? reason : server.lastError().description));
        return 0;
    }
    ReportQueries onServer(server);
    ReportTimes onServerTimes;
    BareTimes sBare;
    const std::vector<ReportQueries::IdRange> serverRuns = runsOf(onServer);
    for (int run = 0; run < runs; ++run) {
        if (sBare.measureOnce(server, onServer, first, last, serverRuns) != vehicles)
            return 1;
        onServerTimes.measureOnce(onServer, settings, first, last, QStringLiteral("server-"),
                                  built);
    }
    const Took &sReport = onServerTimes.lot, &sHistory = onServerTimes.history,
               &sMoney = onServerTimes.money, &sReleases = onServerTimes.releases,
               &sDeadlines = onServerTimes.deadlines;
    const double sBareMoney = sBare.money(), sBareDeadlines = sBare.deadlines();
    std::printf("on the server, wall, and the ratio to each report's bare SQL aggregates: lot "
                "report %.0f ms (%.2fx, %.0f ms); lot over a year %.0f ms (%.2fx, %.0f ms); "
                "money of a month %.0f ms (%.2fx, %.0f ms); releases and sales of a month %.0f ms "
                "(%.2fx, %.0f ms); lien deadlines %.0f ms (%.2fx, %.0f ms)\n",
                sReport.wall, sReport.wall / sBare.yard.wall, sBare.yard.wall, sHistory.wall,
                sHistory.wall / sBare.dates.wall, sBare.dates.wall, sMoney.wall,
                sMoney.wall / sBareMoney, sBareMoney, sReleases.wall,
                sReleases.wall / sBare.departures.wall, sBare.departures.wall, sDeadlines.wall,
                sDeadlines.wall / sBareDeadlines, sBareDeadlines);
    printSameRows("on the server, ", sReport, sDeadlines, sBare);
    return 0;
}
