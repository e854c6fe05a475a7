// The lien steps due in a yard that keeps its released vehicles: 100,000 records (or the number
// given with --records=N), one in a hundred still in the yard. Opening the list (every step due)
// against a bare SQLite query of the same vehicles and steps, and against the rules applied to
// every record (as the list was once filled); a save of one vehicle until the list shows it,
// against the save alone. Wall and CPU time side by side.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>
#include <map>
#include <string>

#include "DateText.h"
#include "ImpoundRules.h"
#include "ImpoundStore.h"
#include "LienDueList.h"
#include "RecordStore.h"
#include "SchemaCheck.h"
#include "TowDataGenerator.h"

using namespace tarnvale;

namespace {

const QList<LienStep> kSchedule{{"First notice", 10}, {"Second notice", 30}};
const QDate kToday(2026, 12, 1);

QString dataPath(int records)
{
    const QString dir =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("reminders-data"));
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(QStringLiteral("yard-%1.dll").arg(records));
    if (QFile::exists(path))
        return path;
    std::printf("generating %d records in %s ...\n", records, qPrintable(path));
    std::fflush(stdout);
    if (!bench::TowDataGenerator::writeDatabase(path, records, 200))
        std::exit(1);
    // Released, all but one in a hundred.
    RecordStore store;
    QSqlQuery query(store.open(path, RecordStore::OpenMode::ExistingOnly) ? store.database()
                                                                           : QSqlDatabase());
    if (!query.exec(QStringLiteral("UPDATE wrecker SET towedrelease = toweddate WHERE id % 100 "
                                   "<> 0 AND towedrelease = ''")) ||
        !query.exec(QStringLiteral("UPDATE wrecker SET towedrelease = '' WHERE id % 100 = 0")) ||
        !query.exec(QStringLiteral("INSERT INTO lien_steps_done (vehicle_id, step_name, done_on) "
                                   "SELECT id, 'First notice', '2026-01-01' FROM wrecker "
                                   "WHERE id % 300 = 0"))) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(path));
        std::exit(1);
    }
    return path;
}

long peakKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The peer: the same vehicles and steps, through the same index, straight from SQLite.
void bareQuery(benchmark::State &state, const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const QByteArray blank = SchemaCheck::blankRelease().toUtf8();
    const QByteArray statements[] = {
        "SELECT w.id, w.vehyear, w.vehmake, w.vehmodel, w.vehcolor, w.toweddate, w.towedrelease, "
        "s.status FROM wrecker w LEFT JOIN impound_status s ON s.vehicle_id = w.id WHERE " + blank,
        "SELECT vehicle_id, step_name, done_on FROM lien_steps_done WHERE vehicle_id IN (SELECT "
        "id FROM wrecker WHERE " + blank + ")"};
    for (auto _ : state) {
        size_t bytes = 0;
        for (const QByteArray &sql : statements) {
            sqlite3_stmt *stmt = nullptr;
            sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
            while (sqlite3_step(stmt) == SQLITE_ROW)
                for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                    bytes += size_t(sqlite3_column_bytes(stmt, c));
            sqlite3_finalize(stmt);
        }
        benchmark::DoNotOptimize(bytes);
    }
    sqlite3_close(db);
}

void openList(benchmark::State &state, RecordStore &store)
{
    ImpoundStore impound(store);
    for (auto _ : state) {
        LienDueList list(impound);
        if (!list.fill(kSchedule, kToday) || list.items().isEmpty())
            state.SkipWithError("no steps read");
        benchmark::DoNotOptimize(list.items().size());
    }
}

// Every record, its status and steps read and decided here: how the list was filled before.
void everyRecord(benchmark::State &state, RecordStore &store)
{
    ImpoundStore impound(store);
    for (auto _ : state) {
        const auto records = store.towRecords();
        const auto statuses = impound.storedStatuses();
        const auto done = impound.stepsDone();
        qsizetype due = 0;
        for (const TowRecord &r : *records) {
            const VehicleStatus status = ImpoundRules::statusOf(
                statuses->contains(r.id), statuses->value(r.id), r.value(TowField::towedrelease));
            const auto towed = DateText::read(r.value(TowField::toweddate), QLocale(), kToday);
            if ((status == VehicleStatus::InStorage || status == VehicleStatus::OnHold) && towed)
                due += LienSchedule::dueBy(
                           LienSchedule::deadlines(kSchedule, *towed, done->value(r.id)), kToday)
                           .size();
        }
        benchmark::DoNotOptimize(due);
    }
}

// A save of a vehicle in the yard, with the open list brought up to date, or alone.
void saveOne(benchmark::State &state, RecordStore &store, bool withList)
{
    ImpoundStore impound(store);
    LienDueList list(impound);
    list.fill(kSchedule, kToday);
    const auto connection = QObject::connect(&store, &RecordStore::changed,
                                             [&](const StoreChange &change) {
                                                 if (withList)
                                                     list.apply(change, kSchedule, kToday);
                                             });
    int saves = 0;
    for (auto _ : state) {
        TowRecord record = *store.towRecord(100 * (1 + saves % 50));
        record.set(TowField::vehnotes, QStringLiteral("save %1").arg(++saves));
        if (!store.updateTowRecord(record))
            state.SkipWithError("the save failed");
    }
    QObject::disconnect(connection);
}

class Collector : public benchmark::ConsoleReporter
{
  public:
    std::map<std::string, std::pair<double, double>> ms; // wall, CPU
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration)
                ms[run.run_name.function_name] = {run.GetAdjustedRealTime(),
                                                  run.GetAdjustedCPUTime()};
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    int records = 100000;
    std::vector<char *> args;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]).rfind("--records=", 0) == 0)
            records = std::atoi(argv[i] + 10);
        else
            args.push_back(argv[i]);
    }
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    const QString path = dataPath(records);
    RecordStore store;
    if (!store.open(path, RecordStore::OpenMode::ExistingOnly))
        return 1;
    {
        ImpoundStore impound(store);
        LienDueList list(impound);
        const long before = peakKb();
        list.fill(kSchedule, kToday);
        std::printf("%d records, %lld in the yard: %lld steps due; peak memory %.1f MB after "
                    "the list, %.1f MB before\n",
                    records, store.towRecordCount() / 100, qlonglong(list.items().size()),
                    peakKb() / 1024.0, before / 1024.0);
    }
    benchmark::RegisterBenchmark("bare_query", bareQuery, path)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_list", openList, std::ref(store))
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("every_record", everyRecord, std::ref(store))
        ->Unit(benchmark::kMillisecond)
        ->Iterations(records > 100000 ? 1 : 3);
    benchmark::RegisterBenchmark("save_alone", saveOne, std::ref(store), false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("save_list", saveOne, std::ref(store), true)
        ->Unit(benchmark::kMillisecond);
    Collector c;
    benchmark::RunSpecifiedBenchmarks(&c);
    const auto line = [&](const char *what, const std::string &name, const std::string &peer,
                          const char *peerName) {
        const auto [wall, cpu] = c.ms[name];
        const auto [peerWall, peerCpu] = c.ms[peer];
        std::printf("%s, %d records: %.2f ms (CPU %.2f ms), %.2fx %s (%.2f ms, CPU %.2f ms)\n",
                    what, records, wall, cpu, peerWall > 0 ? wall / peerWall : 0.0, peerName,
                    peerWall, peerCpu);
    };
    std::printf("\n");
    line("lien steps due, list opened", "open_list", "bare_query", "bare SQLite query");
    line("lien steps due, every record decided (before)", "every_record", "open_list",
         "the list opened now");
    line("save of a vehicle in the yard with the list open", "save_list", "save_alone",
         "the save alone");
    return 0;
}
