// The views that follow the store, on 100,000 records in 20 groups (about 5,000 a group):
// a group's list shown by a click in the browser and painted (in table order, and sorted by
// name), against a bare SQLite fetch of the group's columns, and a save of another vehicle or
// of a listed one while the group is listed, against the save with nothing listed;
// an open search for "Ford" brought up to date after a save, against the save alone and the
// search run again (what the window did before). Wall and CPU time side by side.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <string>

#include "AppContext.h"
#include "ContactsWindow.h"
#include "RecordSheets.h"
#include "FindResultModel.h"
#include "GroupTreeModel.h"
#include "QtDialogs.h"
#include "RecordSearch.h"
#include "TowDataGenerator.h"

using namespace tarnvale;

namespace {

constexpr int kRecords = 100000;

QString dataPath()
{
    const QString dir =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("views-data"));
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(QStringLiteral("groups-%1.dll").arg(kRecords));
    if (!QFile::exists(path)) {
        std::printf("generating %d records in %s ...\n", kRecords, qPrintable(path));
        std::fflush(stdout);
        if (!bench::TowDataGenerator::writeDatabase(path, kRecords, 20))
            std::exit(1);
    }
    return path;
}

struct Browser
{
    QTemporaryDir dir;
    QtDialogs dialogs;
    AppContext context{dir.path(), dialogs};
    std::unique_ptr<ContactsWindow> window;
    QString group;
    QModelIndex groupNode;
    qint64 listed = 0;

    bool open(const QString &path)
    {
        context.settings.write(QStringLiteral("Fee"), QStringLiteral("Storage Fee"),
                               QStringLiteral("12.50"));
        context.settings.write(QStringLiteral("Tow Fee"), QStringLiteral("Taxrate"),
                               QStringLiteral(".07"));
        if (!context.store.open(path, RecordStore::OpenMode::ExistingOnly))
            return false;
        window = std::make_unique<ContactsWindow>(context.store, context.database,
                                                  context.settings, dialogs);
        window->load();
        // Shown, so that the rows in sight are read and painted as on a screen.
        window->resize(1024, 768);
        window->show();
        const GroupRecord first = context.store.groups()->first();
        group = first.name;
        listed = context.store.countVehiclesInGroup(group);
        groupNode = window->treeModel()->groupIndex(first.id);
        return groupNode.isValid();
    }
};

// The peer: the columns the list shows and figures from, for the group, straight from SQLite.
void bareFetch(benchmark::State &state, const QString &path, const QString &group)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const QByteArray name = group.toUtf8();
    for (auto _ : state) {
        size_t bytes = 0;
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT id, custname, vehyear, vehmake, vehmodel, vehcolor, toweddate, "
                           "vehtag, towedrelease, towedfee FROM wrecker WHERE groupname = ? "
                           "ORDER BY id",
                           -1, &stmt, nullptr);
        sqlite3_bind_text(stmt, 1, name.constData(), int(name.size()), SQLITE_STATIC);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            for (int c = 0; c < 10; ++c)
                bytes += size_t(sqlite3_column_bytes(stmt, c));
        sqlite3_finalize(stmt);
        benchmark::DoNotOptimize(bytes);
    }
    sqlite3_close(db);
}

// A click on the group, and the list painted with the rows in sight; sorted by the name
// column (every row's key read) or in table order.
void showGroup(benchmark::State &state, Browser &b, int sortColumn)
{
    QTableView *list = b.window->list();
    b.window->nodeClick(b.window->treeModel()->rootIndex(), Qt::LeftButton);
    b.window->nodeClick(b.groupNode, Qt::LeftButton);
    list->sortByColumn(sortColumn, Qt::AscendingOrder);
    for (auto _ : state) {
        b.window->nodeClick(b.groupNode, Qt::LeftButton);
        list->viewport()->repaint();
        if (list->model()->rowCount() != b.listed)
            state.SkipWithError("the list does not show the group");
    }
    list->sortByColumn(-1, Qt::AscendingOrder);
}

// The listing's logic with the settings read from the file for every value, as before.
void listingPerValue(benchmark::State &state, Browser &b)
{
    for (auto _ : state) {
        const auto records = b.context.store.towRecordsInGroup(b.group);
        benchmark::DoNotOptimize(
            RecordSheets::groupListing(*records, b.group, b.context.settings, QDate::currentDate())
                .rows.size());
    }
}

// A save of a vehicle in another group (its notes) or in the group listed (its name, shown in
// the list), with the group listed or with nothing listed; the list painted after each.
void saveOther(benchmark::State &state, Browser &b, bool listedGroup, bool inGroup)
{
    b.window->nodeClick(listedGroup ? b.groupNode : b.window->treeModel()->rootIndex(),
                        Qt::LeftButton);
    const QList<TowRecord> listed = *b.context.store.towRecordsInGroup(b.group);
    std::optional<TowRecord> record =
        b.context.store.towRecord(inGroup ? listed.at(listed.size() / 2).id : kRecords / 2);
    if (inGroup == (record->value(TowField::groupname) != b.group))
        state.SkipWithError("the vehicle is not where it should be");
    const TowField field = inGroup ? TowField::custname : TowField::vehnotes;
    int saves = 0;
    for (auto _ : state) {
        record->set(field, QStringLiteral("save %1").arg(++saves));
        if (!b.context.store.updateTowRecord(*record))
            state.SkipWithError("the save failed");
        ++record->version;
        b.window->list()->viewport()->repaint();
    }
}

// A save, then the open search for "Ford" brought up to date: by the record the change names
// (now), by the whole search again (before), or not at all (the save alone).
enum class FindFollow { None, ById, Rerun };
void saveWithFind(benchmark::State &state, Browser &b, FindFollow follow)
{
    RecordStore &store = b.context.store;
    const FindRequest ford{QStringLiteral("<All>"), QStringLiteral("<All>"), QStringLiteral("Ford"),
                           false, false};
    FindResultModel model;
    model.append(*RecordSearch::find(store, ford));
    const auto connection = QObject::connect(&store, &RecordStore::changed,
                                             [&](const StoreChange &change) {
        if (follow == FindFollow::ById)
            model.updateRecords(change.changedRecords,
                                *RecordSearch::findAmong(store, ford, change.changedRecords));
        else if (follow == FindFollow::Rerun)
            model.replace(*RecordSearch::find(store, ford));
    });
    std::optional<TowRecord> record = store.towRecord(kRecords / 3);
    int saves = 0;
    for (auto _ : state) {
        record->set(TowField::vehmake, ++saves % 2 ? QStringLiteral("Ford") : QStringLiteral("Kia"));
        if (!store.updateTowRecord(*record))
            state.SkipWithError("the save failed");
        ++record->version;
    }
    QObject::disconnect(connection);
    state.counters["rows"] = double(model.rowCount());
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
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    benchmark::Initialize(&argc, argv);
    const QString path = dataPath();
    Browser b;
    if (!b.open(path))
        return 1;
    benchmark::RegisterBenchmark("bare_group_fetch", bareFetch, path, b.group)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("group_shown", showGroup, std::ref(b), -1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("group_shown_sorted", showGroup, std::ref(b), 0)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("group_listing_per_value", listingPerValue, std::ref(b))
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("save_nothing_listed", saveOther, std::ref(b), false, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("save_group_listed", saveOther, std::ref(b), true, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("save_in_group_nothing_listed", saveOther, std::ref(b), false,
                                 true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("save_in_group_listed", saveOther, std::ref(b), true, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("save_alone", saveWithFind, std::ref(b), FindFollow::None)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("save_find_by_id", saveWithFind, std::ref(b), FindFollow::ById)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("save_find_rerun", saveWithFind, std::ref(b), FindFollow::Rerun)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    Collector c;
    benchmark::RunSpecifiedBenchmarks(&c);
    const auto line = [&](const std::string &what, const std::string &name,
                          const std::string &peer, const char *peerName) {
        const auto [wall, cpu] = c.ms[name];
        const auto [peerWall, peerCpu] = c.ms[peer];
        std::printf("%s: %.2f ms (CPU %.2f ms), %.2fx %s (%.2f ms, CPU %.2f ms)\n", what.c_str(),
                    wall, cpu, peerWall > 0 ? wall / peerWall : 0.0, peerName, peerWall, peerCpu);
    };
    std::printf("\n");
    const std::string rows = std::to_string(b.listed) + " vehicles of " + std::to_string(kRecords);
    line("group list shown, " + rows, "group_shown", "bare_group_fetch", "bare SQLite fetch");
    line("group list shown sorted by name, " + rows, "group_shown_sorted", "bare_group_fetch",
         "bare SQLite fetch");
    line("group listing with the settings read per value (before), " + rows,
         "group_listing_per_value", "group_shown", "the list shown now");
    line("save of another vehicle with the group listed, " + rows, "save_group_listed",
         "save_nothing_listed", "the save with nothing listed");
    line("save of a listed vehicle's name, its row updated, " + rows, "save_in_group_listed",
         "save_in_group_nothing_listed", "the save with nothing listed");
    line("save with a search for \"Ford\" open, " + std::to_string(kRecords) + " records",
         "save_find_by_id", "save_alone", "the save alone");
    line("the same with the search run again (before)", "save_find_rerun", "save_find_by_id",
         "now");
    return 0;
}
