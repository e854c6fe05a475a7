// The time from a save on one connection to the change announced by another connection on the
// same database, as the program watches, against the save followed at once by one look (the
// least any watching can take), on 100,000 records in 200 groups: on an SQLite file (looked at
// every 100 ms), and on PostgreSQL (told by the server's notification) when TARNVALE_BENCH_PG
// names a database there, empty or filled by an earlier run (it is kept between runs).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "RecordStore.h"
#include "ServerAddress.h"
#include "TowDataGenerator.h"
#include "YardMove.h"

using namespace tarnvale;

namespace {

constexpr int kRecords = 100000;
constexpr int kWatchMs = 100;

struct Workstations
{
    RecordStore office;
    RecordStore gate;
    qint64 id = 0;
    int saves = 0;

    bool open(const QString &path)
    {
        if (!office.open(path, RecordStore::OpenMode::ExistingOnly) ||
            !gate.open(path, RecordStore::OpenMode::ExistingOnly))
            return false;
        id = kRecords / 2;
        return office.towRecord(id).has_value();
    }
    bool save()
    {
        std::optional<TowRecord> record = office.towRecord(id);
        if (!record)
            return false;
        record->set(TowField::vehnotes, QStringLiteral("save %1").arg(++saves));
        return office.updateTowRecord(*record);
    }
};

// Save, then one look at once: the work of finding and announcing the change.
void saveAndLook(benchmark::State &state, Workstations &s)
{
    s.gate.setWatchInterval(0);
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        if (!s.save() || s.gate.checkOutsideChanges().changedRecords != QList<qint64>{s.id}) {
            state.SkipWithError("the change was not seen");
            return;
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
}

// Save, then wait for the watching connection's change signal.
void saveToSeen(benchmark::State &state, Workstations &s)
{
    s.gate.checkOutsideChanges();
    s.gate.setWatchInterval(kWatchMs);
    QEventLoop loop;
    bool seen = false;
    const auto connection =
        QObject::connect(&s.gate, &RecordStore::changed, [&](const StoreChange &c) {
            seen = c.changedRecords.contains(s.id);
            loop.quit();
        });
    for (auto _ : state) {
        // Saves fall anywhere within the watch's interval, as a user's do.
        QEventLoop pause;
        QTimer::singleShot(int(s.saves * 37 % kWatchMs), &pause, &QEventLoop::quit);
        pause.exec();
        QElapsedTimer timer;
        timer.start();
        seen = false;
        if (!s.save()) {
            state.SkipWithError("the save failed");
            break;
        }
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        if (!seen) {
            state.SkipWithError("the change was not seen within 5 s");
            break;
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    QObject::disconnect(connection);
    s.gate.setWatchInterval(0);
}

class Collector : public benchmark::ConsoleReporter
{
  public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration)
                ms[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
};

// The server's database named by TARNVALE_BENCH_PG, filled with kRecords records unless it
// holds them already; empty with the reason printed when there is none to use.
QString serverDatabase(const QTemporaryDir &dir)
{
    const QString uri = qEnvironmentVariable("TARNVALE_BENCH_PG");
    if (uri.isEmpty()) {
        std::printf("PostgreSQL case skipped: TARNVALE_BENCH_PG names no server database\n");
        return {};
    }
    const QString shown = RecordStore::shownPath(uri);
    qint64 count = -1;
    {
        RecordStore probe;
        if (probe.open(uri, RecordStore::OpenMode::ExistingOnly))
            count = probe.towRecordCount();
        else
            std::printf("PostgreSQL case skipped: %s: %s\n", qPrintable(shown),
                        qPrintable(probe.lastError().description));
    }
    if (count == kRecords)
        return uri;
    if (count != 0) {
        if (count > 0)
            std::printf("PostgreSQL case skipped: %s holds %lld records, not %d or none\n",
                        qPrintable(shown), count, kRecords);
        return {};
    }
    const QString file = dir.filePath(QStringLiteral("move.dll"));
    std::printf("moving %d records onto %s ...\n", kRecords, qPrintable(shown));
    std::fflush(stdout);
    if (!bench::TowDataGenerator::writeDatabase(file, kRecords, 200))
        return {};
    const YardMove::Result moved = YardMove::toServer(file, uri);
    if (!moved.moved) {
        std::printf("PostgreSQL case skipped: %s\n", qPrintable(moved.reason));
        return {};
    }
    return uri;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // A folder of its own: the file is changed by the run.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("refresh.dll"));
    std::printf("generating %d records in %s ...\n", kRecords, qPrintable(path));
    std::fflush(stdout);
    if (!bench::TowDataGenerator::writeDatabase(path, kRecords, 200))
        return 1;
    const std::vector<std::pair<std::string, QString>> engines{{"sqlite", path},
                                                               {"postgresql", serverDatabase(dir)}};
    std::map<std::string, Workstations> stations;
    for (const auto &[engine, database] : engines) {
        if (database.isEmpty())
            continue;
        Workstations &s = stations[engine];
        if (!s.open(database)) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(RecordStore::shownPath(database)));
            return 1;
        }
        benchmark::RegisterBenchmark(("save_and_look/" + engine).c_str(), saveAndLook, std::ref(s))
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        benchmark::RegisterBenchmark(("save_to_seen/" + engine).c_str(), saveToSeen, std::ref(s))
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(40);
    }
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\n");
    for (const auto &[engine, s] : stations) {
        const double seen = collector.ms["save_to_seen/" + engine];
        const double look = collector.ms["save_and_look/" + engine];
        std::printf("save to change seen on another connection, %s, %d records, %s: %.1f ms, "
                    "%.1fx save and one look (%.2f ms)\n",
                    engine.c_str(), kRecords,
                    engine == "sqlite" ? "watching every 100 ms" : "told by notification", seen,
                    look > 0 ? seen / look : 0.0, look);
    }
    return 0;
}
