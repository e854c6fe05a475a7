// The group tree at 100,000 and 1,000,000 tow records in 200 groups: the full rebuild (store scan
// plus tree model) against a bare SQLite scan of the same columns; the save of one vehicle until
// the tree shows it (the tree brought in step by the store's change) against that full rebuild;
// peak memory; and the time from start to a shown main window.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>
#include <map>
#include <string>

#include "AppContext.h"
#include "GroupTreeModel.h"
#include "MainWindow.h"
#include "QtDialogs.h"
#include "RecordStore.h"
#include "StoreChange.h"
#include "TowDataGenerator.h"

using namespace tarnvale;

namespace {

QString dataPath(int records)
{
    const QString dir =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tree-data"));
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(QStringLiteral("tow-%1.dll").arg(records));
    if (!QFile::exists(path)) {
        std::printf("generating %d records in %s ...\n", records, qPrintable(path));
        std::fflush(stdout);
        if (!bench::TowDataGenerator::writeDatabase(path, records, 200))
            std::exit(1);
    }
    return path;
}

// The peer: every column the tree reads, straight from the SQLite C interface.
void bareScan(benchmark::State &state, const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (auto _ : state) {
        size_t bytes = 0;
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT GROUPID, groupname FROM groups ORDER BY GROUPID", -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            bytes += size_t(sqlite3_column_int64(stmt, 0)) + size_t(sqlite3_column_bytes(stmt, 1));
        sqlite3_finalize(stmt);
        sqlite3_prepare_v2(db, "SELECT id, groupname, vehyear, vehmake, vehmodel, vehcolor FROM wrecker ORDER BY id",
                           -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            bytes += size_t(sqlite3_column_int64(stmt, 0));
            for (int c = 1; c < 6; ++c) {
                const unsigned char *text = sqlite3_column_text(stmt, c);
                bytes += size_t(sqlite3_column_bytes(stmt, c)) + (text ? text[0] : 0);
            }
        }
        sqlite3_finalize(stmt);
        sqlite3_prepare_v2(db, "SELECT count(*) FROM wrecker", -1, &stmt, nullptr);
        sqlite3_step(stmt);
        bytes += size_t(sqlite3_column_int64(stmt, 0));
        sqlite3_finalize(stmt);
        benchmark::DoNotOptimize(bytes);
    }
    sqlite3_close(db);
}

void treeRebuild(benchmark::State &state, const QString &path)
{
    RecordStore store;
    if (!store.open(path, RecordStore::OpenMode::ExistingOnly)) {
        state.SkipWithError("cannot open the database");
        return;
    }
    GroupTreeModel model;
    for (auto _ : state) {
        const DbError error = model.rebuild(store, true);
        benchmark::DoNotOptimize(model.recordCount());
        if (error.isError())
            state.SkipWithError(qPrintable(error.description));
    }
}

// One vehicle saved with another make (or moved to another group), until its node shows the
// new label: the store's change applied to a tree read as the window reads it (its group
// expanded).
void saveOne(benchmark::State &state, const QString &path, bool moveGroup)
{
    RecordStore store;
    if (!store.open(path, RecordStore::OpenMode::ExistingOnly)) {
        state.SkipWithError("cannot open the database");
        return;
    }
    GroupTreeModel model;
    model.rebuild(store, true, GroupTreeModel::Loading::Lazy);
    QObject::connect(&store, &RecordStore::changed, &model,
                     [&model](const StoreChange &change) { model.apply(change); });
    const qint64 id = store.towRecordCount() / 2;
    auto record = store.towRecord(id);
    if (!record || !model.vehicleIndex(id).isValid()) {
        state.SkipWithError("no vehicle in the middle of the table");
        return;
    }
    const QString make = record->value(TowField::vehmake);
    const QString group = record->value(TowField::groupname);
    const auto groups = store.groups();
    const QString otherGroup = groups->at(groups->size() / 2).name;
    for (const QModelIndex &parent :
         {model.groupIndex(groups->at(groups->size() / 2).id), model.vehicleIndex(id).parent()})
        model.fetchMore(parent);
    // Two makes of their own, so that every save changes the label whatever the record held.
    const QString makes[] = {QStringLiteral("Zastava"), QStringLiteral("Lada")};
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        record->set(TowField::vehmake, makes[flip]);
        if (moveGroup)
            record->set(TowField::groupname, flip ? otherGroup : group);
        if (!store.updateTowRecord(*record)) {
            state.SkipWithError("the save failed");
            break;
        }
        ++record->version; // the store keeps a version of each record; the next save names it
        const QString shown = model.vehicleIndex(id).data().toString();
        if (!shown.contains(makes[flip].toUpper()))
            state.SkipWithError("the tree does not show the saved vehicle");
    }
    record->set(TowField::vehmake, make);
    record->set(TowField::groupname, group);
    store.updateTowRecord(*record);
}

// The same save without a tree: what the database itself costs.
void saveBare(benchmark::State &state, const QString &path)
{
    RecordStore store;
    store.open(path, RecordStore::OpenMode::ExistingOnly);
    const qint64 id = store.towRecordCount() / 2;
    auto record = store.towRecord(id);
    const QString make = record->value(TowField::vehmake);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        record->set(TowField::vehmake, flip ? QStringLiteral("Zastava") : make);
        if (!store.updateTowRecord(*record)) {
            state.SkipWithError("the save failed");
            break;
        }
        ++record->version; // the store keeps a version of each record; the next save names it
    }
    record->set(TowField::vehmake, make);
    store.updateTowRecord(*record);
}

// Keeps the mean real time of every run by name.
class Collector : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration)
                ms[run.run_name.function_name] = run.GetAdjustedRealTime(); // every run is in ms
    }
};

// User and system CPU time of the process so far, in ms: on a busy machine the part of the
// real time this program itself spent.
double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

long peakKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    const int sizes[] = {100000, 1000000};
    std::map<int, QString> paths;
    for (int size : sizes)
        paths[size] = dataPath(size);

    // Peak memory with the 1,000,000-record tree built (measured first, in a fresh process).
    {
        RecordStore store;
        store.open(paths[1000000], RecordStore::OpenMode::ExistingOnly);
        GroupTreeModel model;
        const long before = peakKb();
        model.rebuild(store, true);
        std::printf("peak memory with the 1000000-record tree: %.0f MB (process), %.0f MB before the build\n",
                    peakKb() / 1024.0, before / 1024.0);
    }

    Collector collector;
    for (int size : sizes) {
        const std::string n = std::to_string(size);
        benchmark::RegisterBenchmark(("bare_scan/" + n).c_str(), bareScan, paths[size])
            ->Unit(benchmark::kMillisecond)->MinTime(size > 100000 ? 3.0 : 1.0);
        benchmark::RegisterBenchmark(("tree_rebuild/" + n).c_str(), treeRebuild, paths[size])
            ->Unit(benchmark::kMillisecond)->MinTime(size > 100000 ? 3.0 : 1.0);
        benchmark::RegisterBenchmark(("save_bare/" + n).c_str(), saveBare, paths[size])
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        benchmark::RegisterBenchmark(("save_shown/" + n).c_str(), saveOne, paths[size], false)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        benchmark::RegisterBenchmark(("save_moved_shown/" + n).c_str(), saveOne, paths[size], true)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
    }
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\n");
    for (int size : sizes) {
        const std::string n = std::to_string(size);
        const double tree = collector.ms["tree_rebuild/" + n];
        const double bare = collector.ms["bare_scan/" + n];
        std::printf("tree rebuild %d records: %.0f ms, %.2fx bare SQLite scan (%.0f ms)\n", size, tree,
                    bare > 0 ? tree / bare : 0.0, bare);
        const double saved = collector.ms["save_bare/" + n];
        for (const char *kind : {"save_shown/", "save_moved_shown/"}) {
            const double shown = collector.ms[kind + n];
            std::printf("%s %d records: %.2f ms until the tree shows it, %.4fx the full rebuild "
                        "(%.0f ms); the save alone %.2f ms\n",
                        kind[5] == 'm' ? "save moving a vehicle to another group,"
                                       : "save of one vehicle,",
                        size, shown, tree > 0 ? shown / tree : 0.0, tree, saved);
        }
    }

    // Start-up: main window built, database opened, tree built and shown, the window's events
    // done; against the full rebuild of the same tree measured above.
    for (int size : sizes) {
        for (const char *expanded : {"No", "Yes"}) {
            const QString folder = QDir(QCoreApplication::applicationDirPath())
                                       .filePath(QStringLiteral("tree-data/program"));
            QDir().mkpath(folder);
            const QString ini = QDir(folder).filePath("settings.ini");
            QFile::remove(ini);
            IniFile::write(ini, "Database", "Path", paths[size]);
            IniFile::write(ini, "Program", "Expanded", expanded);
            QtDialogs dialogs;
            QElapsedTimer timer;
            const double cpuBefore = cpuMs();
            timer.start();
            AppContext context(folder, dialogs);
            MainWindow window(context);
            window.load();
            window.show();
            QApplication::processEvents();
            const qint64 ms = timer.elapsed();
            const double cpu = cpuMs() - cpuBefore;
            const double tree = collector.ms["tree_rebuild/" + std::to_string(size)];
            std::printf("start-up to a shown main window, %d records, Expanded=%s: %lld ms "
                        "(CPU %.0f ms), %.2fx the full rebuild (%.0f ms); peak memory %.0f MB\n",
                        size, expanded, ms, cpu, tree > 0 ? ms / tree : 0.0, tree,
                        peakKb() / 1024.0);
        }
    }
    return 0;
}
