// The time from a save on one connection to the change announced by another connection on the
// same SQLite file, as the program watches (every 100 ms), against the save followed at once
// by one look (the least any watching can take), on 100,000 records in 200 groups.
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
#include "TowDataGenerator.h"

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

Workstations *g_stations = nullptr;

// Save, then one look at once: the work of finding and announcing the change.
void saveAndLook(benchmark::State &state)
{
    Workstations &s = *g_stations;
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
void saveToSeen(benchmark::State &state)
{
    Workstations &s = *g_stations;
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
    Workstations stations;
    if (!stations.open(path)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    g_stations = &stations;

    Collector collector;
    benchmark::RegisterBenchmark("save_and_look", saveAndLook)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
    benchmark::RegisterBenchmark("save_to_seen", saveToSeen)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(40);
    benchmark::RunSpecifiedBenchmarks(&collector);

    const double seen = collector.ms["save_to_seen"];
    const double look = collector.ms["save_and_look"];
    std::printf("\nsave to change seen on another connection, %d records, watching every %d ms: "
                "%.1f ms, %.1fx save and one look (%.2f ms)\n",
                kRecords, kWatchMs, seen, look > 0 ? seen / look : 0.0, look);
    return 0;
}
