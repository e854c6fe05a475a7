// The group tree's full rebuild (store scan plus tree model) against a bare SQLite scan of the
// same columns, at 100,000 and 1,000,000 tow records in 200 groups; peak memory; and the time
// from start to a shown main window on the 100,000-record database.
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
#include "TowDataGenerator.h"

using namespace tarnvale;

namespace {

QString dataPath(int records)
{
    const QString dir = QDir::temp().filePath(QStringLiteral("tarnvale-bench"));
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
    }
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\n");
    for (int size : sizes) {
        const std::string n = std::to_string(size);
        const double tree = collector.ms["tree_rebuild/" + n];
        const double bare = collector.ms["bare_scan/" + n];
        std::printf("tree rebuild %d records: %.0f ms, %.2fx bare SQLite scan (%.0f ms)\n", size, tree,
                    bare > 0 ? tree / bare : 0.0, bare);
    }

    // Start-up on 100,000 records: main window built, database opened, tree built and shown.
    {
        const QString folder = QDir::temp().filePath(QStringLiteral("tarnvale-bench/program"));
        QDir().mkpath(folder);
        QFile::remove(QDir(folder).filePath("settings.ini"));
        IniFile::write(QDir(folder).filePath("settings.ini"), "Database", "Path", paths[100000]);
        IniFile::write(QDir(folder).filePath("settings.ini"), "Program", "Expanded", "Yes");
        QtDialogs dialogs;
        QElapsedTimer timer;
        timer.start();
        AppContext context(folder, dialogs);
        MainWindow window(context);
        window.load();
        window.show();
        QApplication::processEvents();
        std::printf("start-up to a shown main window, 100000 records, groups expanded: %lld ms\n",
                    timer.elapsed());
    }
    return 0;
}
