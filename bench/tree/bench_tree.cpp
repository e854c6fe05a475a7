// The group tree at 100,000 and 1,000,000 tow records in 200 groups: the full rebuild (store scan
// plus tree model) against a bare SQLite scan of the same columns; the save of one vehicle until
// the tree shows it (the tree brought in step by the store's change) against that full rebuild;
// peak memory; and the time from start to a shown main window.
//
// On a PostgreSQL server too, when TARNVALE_BENCH_PG names one (see BenchServer.h): the same
// rebuild on the server's copy of the records against a bare libpq scan of the same columns,
// both in the same run.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTreeView>

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>
#include <map>
#include <unordered_map>
#include <vector>
#include <string>

#include "AppContext.h"
#include "BenchServer.h"
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
        sqlite3_prepare_v2(db, "SELECT GROUPID, groupname FROM groups ORDER BY GROUPID", -1, &stmt,
                           nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            bytes += size_t(sqlite3_column_int64(stmt, 0)) + size_t(sqlite3_column_bytes(stmt, 1));
        sqlite3_finalize(stmt);
        sqlite3_prepare_v2(
            db,
            "SELECT id, groupname, vehyear, vehmake, vehmodel, vehcolor FROM wrecker ORDER BY id",
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

// The same three statements on the server through libpq, every value read.
void bareServerScan(benchmark::State &state, const QString &uri)
{
    pg_conn *conn = bench::BenchServer::connect(uri);
    if (!conn) {
        state.SkipWithError("cannot connect");
        return;
    }
    for (auto _ : state) {
        qint64 bytes = bench::BenchServer::bareScan(
            conn, "SELECT GROUPID, groupname FROM groups ORDER BY GROUPID");
        bytes += bench::BenchServer::bareScan(
            conn,
            "SELECT id, groupname, vehyear, vehmake, vehmodel, vehcolor FROM wrecker ORDER BY id");
        bytes += bench::BenchServer::bareScan(conn, "SELECT count(*) FROM wrecker");
        benchmark::DoNotOptimize(bytes);
    }
    bench::BenchServer::disconnect(conn);
}

// The tree's columns read as Qt SQL's portable path reads them (forward-only QSqlQuery, each
// value made UTF-8 again), on the program's own server connection: what the tree paid on a
// server before it read through libpq.
void qtServerScan(benchmark::State &state, const QString &uri)
{
    RecordStore store;
    if (!store.open(uri, RecordStore::OpenMode::ExistingOnly)) {
        state.SkipWithError("cannot open the database");
        return;
    }
    for (auto _ : state) {
        QSqlQuery query(store.database());
        query.setForwardOnly(true);
        query.exec("SELECT id, groupname, vehyear, vehmake, vehmodel, vehcolor FROM wrecker "
                   "ORDER BY id");
        qint64 bytes = 0;
        while (query.next()) {
            bytes += query.value(0).toLongLong();
            for (int c = 1; c < 6; ++c)
                bytes += query.value(c).toString().toUtf8().size();
        }
        benchmark::DoNotOptimize(bytes);
    }
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
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

long peakKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}


// The peer of start-up with every group open: a tree view shown over the simplest two-level
// model, filled from a bare SQLite scan of the same columns (the group's name, the vehicle's id
// and its label of year, make, model and colour), every group expanded.
class BareTreeModel : public QAbstractItemModel
{
  public:
    struct Vehicle
    {
        qint64 id;
        QString label;
    };
    struct Group
    {
        QString name;
        std::vector<Vehicle> vehicles;
    };
    std::vector<Group> groups;

    QModelIndex index(int row, int column, const QModelIndex &parent) const override
    {
        if (!parent.isValid())
            return createIndex(row, column, quintptr(0));
        return createIndex(row, column, quintptr(parent.row() + 1));
    }
    QModelIndex parent(const QModelIndex &child) const override
    {
        return child.internalId() == 0 ? QModelIndex()
                                       : createIndex(int(child.internalId() - 1), 0, quintptr(0));
    }
    int rowCount(const QModelIndex &parent) const override
    {
        if (!parent.isValid())
            return int(groups.size());
        return parent.internalId() == 0 ? int(groups[size_t(parent.row())].vehicles.size()) : 0;
    }
    int columnCount(const QModelIndex &) const override { return 1; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        if (index.internalId() == 0)
            return groups[size_t(index.row())].name;
        return groups[index.internalId() - 1].vehicles[size_t(index.row())].label;
    }
};

// Start to a shown window with every group open, as the peer does it; wall and CPU ms.
std::pair<qint64, double> bareWindowStartup(const QString &path)
{
    QElapsedTimer timer;
    const double cpuBefore = cpuMs();
    timer.start();
    BareTreeModel model;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    std::unordered_map<std::string, size_t> byName;
    sqlite3_prepare_v2(db, "SELECT groupname FROM groups ORDER BY GROUPID", -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const char *name = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
        byName.emplace(name ? name : "", model.groups.size());
        model.groups.push_back({QString::fromUtf8(name), {}});
    }
    sqlite3_finalize(stmt);
    model.groups.push_back({QStringLiteral("Other"), {}});
    sqlite3_prepare_v2(
        db, "SELECT id, groupname, vehyear, vehmake, vehmodel, vehcolor FROM wrecker ORDER BY id",
        -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const char *group = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 1));
        const auto found = byName.find(group ? group : "");
        QString label;
        for (int c = 2; c < 6; ++c) {
            if (c > 2)
                label += QLatin1Char(' ');
            label += QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)));
        }
        model.groups[found == byName.end() ? model.groups.size() - 1 : found->second]
            .vehicles.push_back({sqlite3_column_int64(stmt, 0), label.toUpper()});
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&model);
    // Group by group, as expandAll() would also store every vehicle as expanded.
    for (int row = 0; row < model.rowCount({}); ++row)
        view.expand(model.index(row, 0, {}));
    view.resize(1100, 750);
    view.show();
    QApplication::processEvents();
    return {timer.elapsed(), cpuMs() - cpuBefore};
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // --server-only: the server's cases alone, without the file's, its start-up and its memory.
    std::vector<char *> args;
    bool serverOnly = false;
    static char serverFilter[] = "--benchmark_filter=^pg_";
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "--server-only")
            serverOnly = true;
        else
            args.push_back(argv[i]);
    }
    if (serverOnly)
        args.push_back(serverFilter);
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());

    const int sizes[] = {100000, 1000000};
    std::map<int, QString> paths;
    std::map<int, QString> servers;
    for (int size : sizes) {
        paths[size] = dataPath(size);
        QString reason;
        servers[size] = bench::BenchServer::database(paths[size], size, &reason);
        if (servers[size].isEmpty())
            std::printf("server cases of %d records skipped: %s\n", size, qPrintable(reason));
    }

    // Peak memory with the 1,000,000-record tree built (measured first, in a fresh process).
    const QString measured = serverOnly ? servers[1000000] : paths[1000000];
    if (!measured.isEmpty()) {
        RecordStore store;
        store.open(measured, RecordStore::OpenMode::ExistingOnly);
        GroupTreeModel model;
        const long before = peakKb();
        model.rebuild(store, true);
        std::printf("peak memory with the 1000000-record tree%s: %.0f MB (process), %.0f MB before "
                    "the build\n",
                    serverOnly ? " on the server" : "", peakKb() / 1024.0, before / 1024.0);
    }

    Collector collector;
    for (int size : sizes) {
        const std::string n = std::to_string(size);
        if (!servers[size].isEmpty()) {
            benchmark::RegisterBenchmark(("pg_bare_scan/" + n).c_str(), bareServerScan,
                                         servers[size])
                ->Unit(benchmark::kMillisecond)
                ->MinTime(size > 100000 ? 3.0 : 1.0);
            if (size == 100000)
                benchmark::RegisterBenchmark(("pg_qsqlquery_scan/" + n).c_str(), qtServerScan,
                                             servers[size])
                    ->Unit(benchmark::kMillisecond)
                    ->MinTime(1.0);
            benchmark::RegisterBenchmark(("pg_tree_rebuild/" + n).c_str(), treeRebuild,
                                         servers[size])
                ->Unit(benchmark::kMillisecond)
                ->MinTime(size > 100000 ? 3.0 : 1.0);
        }
        benchmark::RegisterBenchmark(("bare_scan/" + n).c_str(), bareScan, paths[size])
            ->Unit(benchmark::kMillisecond)
            ->MinTime(size > 100000 ? 3.0 : 1.0);
        benchmark::RegisterBenchmark(("tree_rebuild/" + n).c_str(), treeRebuild, paths[size])
            ->Unit(benchmark::kMillisecond)
            ->MinTime(size > 100000 ? 3.0 : 1.0);
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
        if (tree > 0)
            std::printf("tree rebuild %d records: %.0f ms, %.2fx bare SQLite scan (%.0f ms)\n",
                        size, tree, bare > 0 ? tree / bare : 0.0, bare);
        const double serverTree = collector.ms["pg_tree_rebuild/" + n];
        const double serverBare = collector.ms["pg_bare_scan/" + n];
        if (serverTree > 0 && serverBare > 0)
            std::printf("tree rebuild %d records on the server: %.0f ms, %.2fx bare libpq scan "
                        "(%.0f ms)\n",
                        size, serverTree, serverTree / serverBare, serverBare);
        if (const double qt = collector.ms["pg_qsqlquery_scan/" + n]; qt > 0 && serverBare > 0)
            std::printf("the tree's columns read through a forward-only QSqlQuery on the server, "
                        "%d records: %.0f ms, %.2fx bare libpq scan\n",
                        size, qt, qt / serverBare);
        const double saved = collector.ms["save_bare/" + n];
        if (serverOnly)
            continue;
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
    for (int size :
         serverOnly ? std::vector<int>() : std::vector<int>(std::begin(sizes), std::end(sizes))) {
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
            if (expanded == std::string("Yes") && !qEnvironmentVariableIsSet("TARNVALE_BENCH_NO_PEER")) {
                const auto [peerMs, peerCpu] = bareWindowStartup(paths[size]);
                std::printf("  peer, a tree view over the simplest model filled from a bare "
                            "scan, every group open: %lld ms (CPU %.0f ms); ours %.2fx wall, "
                            "%.2fx CPU\n",
                            peerMs, peerCpu, peerMs > 0 ? double(ms) / double(peerMs) : 0.0,
                            peerCpu > 0 ? cpu / peerCpu : 0.0);
            }
        }
    }
    return 0;
}
