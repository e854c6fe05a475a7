// bench_search: a search over every field ("<All>") of 100,000 and 1,000,000 generated tow
// records in 200 groups, in each match mode, against a bare scan of the same columns: through
// the search index (the default) and by the scan alone; for a common word, a rarer one, a zip
// code, a word beyond ASCII and a two-letter one. Searches the index answers are also put beside
// the bare index query with its rows (the index joined to the table, every column read). Then
// the index's cost: the file's size, with and without the index (both copies VACUUMed, made
// afresh), and the time of one save. --records N: only the database of N records.
// Each search gives the found records' ids, as the Find window's does (the window reads the
// texts of the rows it shows); the two-letter search is also timed with every found row's
// texts read too.
//
// Peers, measured in the same run on the same connection:
//  - native: RecordSearch on the program's connection, read through SQLite's own API, against
//    a bare sqlite3 C API scan (prepare, step, sqlite3_column_text/bytes of every column);
//  - portable (100,000 only): RecordSearch's QSqlQuery reader against a bare QSqlQuery
//    forward-only scan reading every column.
// The databases are written once into bench/search-data/ beside the executable and reused.
//
// On a PostgreSQL server too, when TARNVALE_BENCH_PG names one (see BenchServer.h): RecordSearch
// on the server's copy of the records, each match mode, against a bare libpq scan (PQexec,
// every value read) of the statement the search runs; --server-only runs these alone.
//
// --keys: a plate, a VIN and a phone searched in their own field, through the index and by
// the scan alone; on the server, through its key index against a bare libpq scan.
//
// The first rows: how long the Find window waits, at 100,000 records, from the start of a
// search in its runner (its own connection opened and checked, on its thread) until the first
// rows reach the window's thread and the texts of a screenful of them are read, for a common
// word, rarer ones and a two-letter text (a scan);
// against the bare query that answers the first matching row on a connection opened for it
// (sqlite3_open_v2, prepare, one step, close): a median of 15 each. --first-rows runs these
// alone (--first-rows 1000000: at 1,000,000 records).
//
// With --instructions [RECORDS], each native peer runs once on the database of that many
// records (default 100,000) between callgrind client requests instead: run it under
//   valgrind --tool=callgrind --callgrind-out-file=cg.%p bench_search --instructions 100000
// and each dump's "totals:" line is the instruction count of one peer (bench/search/
// count_instructions.sh does this and prints the ratios). Outside valgrind it only times.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchServer.h"
#include "RecordSearch.h"
#include "RecordStore.h"
#include "SchemaCheck.h"
#include "SearchRunner.h"
#include "TowDataGenerator.h"

using namespace tarnvale;

namespace {

const QString kFindText = QStringLiteral("Ford");
constexpr int kGroups = 200;

struct Fixture
{
    int records = 0;
    std::unique_ptr<RecordStore> store;
    sqlite3 *handle = nullptr;
    std::unique_ptr<RecordStore> server; // the same records on the server, when there is one
    pg_conn *peer = nullptr;
};

std::vector<std::unique_ptr<Fixture>> g_fixtures;
std::map<std::string, double> g_medianMs;    // real time
std::map<std::string, double> g_medianCpuMs; // CPU time of the scanning thread
std::map<std::string, double> g_bestMs;      // fastest repetition, real time
std::map<std::string, qint64> g_found;

// A rare word, a zip code, a word beyond ASCII (any case) and a two-letter one; the last two
// were scans before, the index cannot answer the two-letter one.
const QStringList kOtherTexts = {QStringLiteral("Ramirez"), QStringLiteral("45501"),
                                 QString::fromUtf16(u"M\u00FCller"), QStringLiteral("rd")};

FindRequest requestFor(int mode, const QString &text = kFindText)
{
    return FindRequest{QStringLiteral("<All>"), QStringLiteral("<All>"), text, mode >= 2,
                       mode % 2 == 1};
}

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

bool prepareFixture(Fixture &fixture, const QString &folder)
{
    const QString path = QDir(folder).filePath(QStringLiteral("tow-%1.db").arg(fixture.records));
    fixture.store = std::make_unique<RecordStore>();
    if (QFileInfo::exists(path) && fixture.store->open(path, RecordStore::OpenMode::ExistingOnly) &&
        fixture.store->towRecordCount() == fixture.records) {
        fixture.handle = handleOf(fixture.store->database());
        return fixture.handle != nullptr;
    }
    fixture.store->close();
    std::fprintf(stderr, "writing %d records to %s ...\n", fixture.records, qPrintable(path));
    if (!bench::TowDataGenerator::writeDatabase(path, fixture.records, kGroups))
        return false;
    if (!fixture.store->open(path, RecordStore::OpenMode::ExistingOnly))
        return false;
    fixture.handle = handleOf(fixture.store->database());
    return fixture.handle != nullptr;
}

// Steps through every row and touches every column, as a scan that does nothing else.
qint64 bareNativeScan(sqlite3 *db, const QByteArray &sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK)
        return -1;
    const int columns = sqlite3_column_count(statement);
    qint64 bytes = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            const unsigned char *text = sqlite3_column_text(statement, c);
            benchmark::DoNotOptimize(text);
            bytes += sqlite3_column_bytes(statement, c);
        }
    }
    sqlite3_finalize(statement);
    return bytes;
}

// The bare index query with its rows: the records the index names for the text (any case) in
// the ten fields, joined to the table in table order, every column of the search read.
qint64 bareIndexQuery(sqlite3 *db, const QString &text)
{
    const QByteArray sql =
        "SELECT wrecker.id, wrecker.custname, wrecker.vehyear, wrecker.vehmake, wrecker.vehmodel, "
        "wrecker.vehstyle, wrecker.vehvin, wrecker.groupname, wrecker.custaddress, "
        "wrecker.custcity, wrecker.custstate, wrecker.custzip, wrecker.vehcolor FROM wrecker_fts "
        "JOIN wrecker ON wrecker.id = wrecker_fts.rowid WHERE wrecker_fts MATCH ? ORDER BY "
        "wrecker_fts.rowid";
    const QByteArray match = ("{custname custaddress custcity custstate custzip vehcolor vehyear "
                              "vehmake vehmodel vehstyle} : \"" + text.toLower() + "\"")
                                 .toUtf8();
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK)
        return -1;
    sqlite3_bind_text(statement, 1, match.constData(), int(match.size()), SQLITE_TRANSIENT);
    const int columns = sqlite3_column_count(statement);
    qint64 rows = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        ++rows;
        for (int c = 0; c < columns; ++c)
            benchmark::DoNotOptimize(sqlite3_column_text(statement, c));
    }
    sqlite3_finalize(statement);
    return rows;
}

qint64 bareQtScan(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        return -1;
    const int columns = 13;
    qint64 chars = 0;
    while (query.next()) {
        for (int c = 0; c < columns; ++c)
            chars += query.value(c).toString().size();
    }
    return chars;
}

// The server's copy of the fixture's records, and a libpq connection of the peer's own.
void prepareServer(Fixture &fixture)
{
    QString reason;
    const QString uri =
        bench::BenchServer::database(fixture.store->path(), fixture.records, &reason);
    auto server = std::make_unique<RecordStore>();
    if (uri.isEmpty() || !server->open(uri, RecordStore::OpenMode::ExistingOnly)) {
        std::printf("server cases of %d records skipped: %s\n", fixture.records,
                    qPrintable(uri.isEmpty() ? reason : server->lastError().description));
        return;
    }
    fixture.peer = bench::BenchServer::connect(uri);
    if (fixture.peer)
        fixture.server = std::move(server);
}

qint64 serverSearch(const Fixture &fixture, int mode, RecordSearch::Reader reader,
                    const QString &text = kFindText)
{
    qint64 found = 0;
    DbError error;
    RecordSearch::Options options;
    options.reader = reader;
    const auto outcome = RecordSearch::run(
        fixture.server->database(), requestFor(mode, text),
        [&found](QList<FindResult> &&rows) {
            found += rows.size();
            benchmark::DoNotOptimize(rows.constData());
        },
        &error, options);
    return outcome == RecordSearch::Outcome::Done ? found : -1;
}

qint64 search(const Fixture &fixture, int mode, RecordSearch::Reader reader, bool useIndex = true,
              const QString &text = kFindText, bool idsOnly = true)
{
    qint64 found = 0;
    DbError error;
    RecordSearch::Options options;
    options.reader = reader;
    options.useIndex = useIndex;
    options.idsOnly = idsOnly; // as the Find window searches: it reads the texts it shows
    const auto outcome = RecordSearch::run(
        fixture.store->database(), requestFor(mode, text),
        [&found](QList<FindResult> &&rows) {
            found += rows.size();
            benchmark::DoNotOptimize(rows.constData());
        },
        &error, options);
    return outcome == RecordSearch::Outcome::Done ? found : -1;
}

std::string nativeBareName(int records)
{
    return "bare_sqlite3_scan/" + std::to_string(records);
}
std::string textsSearchName(int records, const QString &text)
{
    return "search_scan_texts/" + std::to_string(records) + "/" + text.toStdString();
}
std::string nativeSearchName(int records, int mode)
{
    return "search_native/" + std::to_string(records) + "/mode" + std::to_string(mode);
}
std::string scanSearchName(int records, int mode, const QString &text = kFindText)
{
    return "search_scan/" + std::to_string(records) + "/mode" + std::to_string(mode) + "/" +
           text.toStdString();
}
std::string indexSearchName(int records, const QString &text)
{
    return "search_native/" + std::to_string(records) + "/mode0/" + text.toStdString();
}
std::string bareIndexName(int records, const QString &text)
{
    return "bare_index_query/" + std::to_string(records) + "/" + text.toStdString();
}
std::string serverBareName(int records)
{
    return "pg_bare_scan/" + std::to_string(records);
}
std::string serverSearchName(int records, int mode, bool generic = false)
{
    return (generic ? "pg_search_qsqlquery/" : "pg_search/") + std::to_string(records) + "/mode" +
           std::to_string(mode);
}
std::string qtBareName(int records)
{
    return "bare_qsqlquery_scan/" + std::to_string(records);
}
std::string qtSearchName(int records, int mode)
{
    return "search_qsqlquery/" + std::to_string(records) + "/mode" + std::to_string(mode);
}

double best(const std::vector<double> &values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// Shows Google Benchmark's own table and keeps the median of every benchmark.
class MedianReporter : public benchmark::ConsoleReporter
{
  public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                g_medianMs[run.run_name.function_name] = run.GetAdjustedRealTime();
                g_medianCpuMs[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "best")
                g_bestMs[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }
};

void printLine(const std::string &what, const std::string &name, const std::string &peerName,
               const char *peer)
{
    const auto mine = g_medianMs.find(name);
    const auto theirs = g_medianMs.find(peerName);
    if (mine == g_medianMs.end() || theirs == g_medianMs.end())
        return;
    const double cpu = g_medianCpuMs[name], peerCpu = g_medianCpuMs[peerName];
    const double fast = g_bestMs[name], peerFast = g_bestMs[peerName];
    std::printf("%s: %.1f ms, %.2fx %s (%.1f ms); best %.2fx (%.1f/%.1f ms); "
                "CPU time %.2fx (%.1f/%.1f ms) [%lld found]\n",
                what.c_str(), mine->second, mine->second / theirs->second, peer, theirs->second,
                fast / peerFast, fast, peerFast, cpu / peerCpu, cpu, peerCpu,
                static_cast<long long>(g_found[name]));
}

// A copy of the file without the search index, VACUUMed: what the file would weigh without it.
// Made afresh each run (a copy kept from an earlier run may hold an index of another layout),
// from the file with what its WAL holds; -1 when the index could not be taken out of it whole.
qint64 sizeWithoutIndex(const QString &path)
{
    const QString copy =
        QString(path).replace(QStringLiteral(".db"), QStringLiteral("-noindex.db"));
    QFile::remove(copy);
    sqlite3 *db = nullptr;
    bool ok = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
              SQLITE_OK;
    const QByteArray into = "VACUUM INTO '" + copy.toUtf8().replace("'", "''") + "'";
    ok = ok && sqlite3_exec(db, into.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    db = nullptr;
    ok = ok && sqlite3_open(copy.toUtf8().constData(), &db) == SQLITE_OK &&
         sqlite3_exec(db,
                      "DROP TRIGGER wrecker_fts_insert; DROP TRIGGER wrecker_fts_delete; "
                      "DROP TRIGGER wrecker_fts_update; DROP TABLE wrecker_fts; VACUUM",
                      nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt *left = nullptr;
    ok = ok &&
         sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master WHERE name LIKE 'wrecker_fts%'",
                            -1, &left, nullptr) == SQLITE_OK &&
         sqlite3_step(left) == SQLITE_ROW && sqlite3_column_int(left, 0) == 0;
    if (!ok)
        std::fprintf(stderr, "the copy without the index could not be made: %s\n",
                     db ? sqlite3_errmsg(db) : "cannot open");
    sqlite3_finalize(left);
    sqlite3_close(db);
    const qint64 size = ok ? QFileInfo(copy).size() : -1;
    QFile::remove(copy);
    return size;
}

// The file's own size, with what its WAL holds, VACUUMed as the copy without the index is.
qint64 sizeWithIndex(const QString &path)
{
    const QString copy = QString(path).replace(QStringLiteral(".db"), QStringLiteral("-copy.db"));
    QFile::remove(copy);
    sqlite3 *db = nullptr;
    const QByteArray into = "VACUUM INTO '" + copy.toUtf8().replace("'", "''") + "'";
    const bool ok = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY,
                                    nullptr) == SQLITE_OK &&
                    sqlite3_exec(db, into.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    const qint64 size = ok ? QFileInfo(copy).size() : -1;
    QFile::remove(copy);
    return size;
}

// One record saved with another make, back and forth. Without the index: the triggers that keep
// it in step are dropped for the run and made again after it, when the record holds again the
// values the index has for it.
void saveOne(benchmark::State &state, const QString &path, bool indexed)
{
    RecordStore store;
    if (!store.open(path, RecordStore::OpenMode::ExistingOnly)) {
        state.SkipWithError("cannot open");
        return;
    }
    QStringList triggers;
    for (const QString &sql : SchemaCheck::searchIndexStatements())
        if (sql.startsWith(QLatin1String("CREATE TRIGGER")))
            triggers << sql;
    auto execAll = [&store](const QStringList &statements) {
        for (const QString &sql : statements)
            QSqlQuery(store.database()).exec(sql);
    };
    if (!indexed)
        execAll({QStringLiteral("DROP TRIGGER wrecker_fts_insert"),
                 QStringLiteral("DROP TRIGGER wrecker_fts_delete"),
                 QStringLiteral("DROP TRIGGER wrecker_fts_update")});
    auto record = store.towRecord(store.towRecordCount() / 2);
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
    if (!indexed)
        execAll(triggers);
}

// From the start of a search in the window's runner until its first rows are handed on; the
// search is cancelled then. -1 when no row came.
double firstRowsMs(RecordStore &store, const FindRequest &request)
{
    SearchRunner runner(store);
    QEventLoop loop;
    QElapsedTimer clock;
    double ms = -1;
    QObject::connect(&runner, &SearchRunner::rowsFound, &loop, [&](const QList<FindResult> &rows) {
        // The rows come as ids; the window reads the texts of the first screenful.
        QList<qint64> ids;
        for (const FindResult &row : rows.first(qMin<qsizetype>(rows.size(), 64)))
            ids << row.id;
        benchmark::DoNotOptimize(RecordSearch::textsOf(store, ids));
        ms = double(clock.nsecsElapsed()) / 1e6;
        runner.cancel();
    });
    QObject::connect(&runner, &SearchRunner::finished, &loop, &QEventLoop::quit);
    clock.start();
    runner.start(request);
    loop.exec();
    return ms;
}

// The bare query for the first row holding the text (any case) in one of the ten fields.
double bareFirstRowMs(const QString &path, const QString &text)
{
    QStringList tests;
    for (const char *column : {"custname", "custaddress", "custcity", "custstate", "custzip",
                               "vehcolor", "vehyear", "vehmake", "vehmodel", "vehstyle"})
        tests << QStringLiteral("%1 LIKE '%%2%'").arg(QLatin1String(column), text);
    const QByteArray sql = QStringLiteral("SELECT id, custname, vehyear, vehmake, vehmodel, "
                                          "vehstyle, vehvin, groupname FROM wrecker WHERE ")
                               .append(tests.join(QLatin1String(" OR ")))
                               .append(QLatin1String(" ORDER BY id LIMIT 1"))
                               .toUtf8();
    QElapsedTimer clock;
    clock.start();
    sqlite3 *db = nullptr;
    sqlite3_stmt *statement = nullptr;
    double ms = -1;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK &&
        sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        benchmark::DoNotOptimize(sqlite3_column_text(statement, 1));
        ms = double(clock.nsecsElapsed()) / 1e6;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return ms;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

void printFirstRows(Fixture &fixture)
{
    std::printf("\nFirst rows in the Find window, %d records, median of 15 (the bare query "
                "answering the first matching row as peer):\n",
                fixture.records);
    for (const QString &text :
         {kFindText, kOtherTexts.at(0), kOtherTexts.at(1), QStringLiteral("rd")}) {
        std::vector<double> mine, peer;
        for (int i = 0; i < 15; ++i) {
            mine.push_back(firstRowsMs(*fixture.store, requestFor(0, text)));
            peer.push_back(bareFirstRowMs(fixture.store->path(), text));
        }
        const double m = median(mine), p = median(peer);
        std::printf("first rows for \"%s\": %.2f ms, %.2fx bare query (%.2f ms); "
                    "slowest %.2f ms\n",
                    qPrintable(text), m, m / p, p, *std::max_element(mine.begin(), mine.end()));
    }
}

} // namespace

// A plate, a VIN and a phone of a record in the middle of the file, found in
// their own field through the index's key column and by the scan alone: medians of 5.
void printKeySearches(const Fixture &fixture)
{
    const std::optional<TowRecord> record = fixture.store->towRecord(fixture.records / 2);
    if (!record)
        return;
    const QList<std::pair<QString, QString>> searches = {
        {QStringLiteral("Vehicle Tag"), record->value(TowField::vehtag)},
        {QStringLiteral("Vehicle Vin"), record->value(TowField::vehvin).right(8)},
        {QStringLiteral("Phone"), record->value(TowField::custphone).right(8)}};
    // The median of five runs, in ms, and the rows found.
    const auto timed = [](const std::function<qint64()> &work, qint64 &found) {
        QList<double> times;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer clock;
            clock.start();
            found = work();
            times << double(clock.nsecsElapsed()) / 1e6;
        }
        std::sort(times.begin(), times.end());
        return times.at(2);
    };
    for (const auto &[key, text] : searches) {
        const FindRequest request{QStringLiteral("<All>"), key, text, false, false};
        const auto searchOn = [&request](RecordStore &store, bool useIndex) {
            return [&store, &request, useIndex] {
                RecordSearch::Options options;
                options.useIndex = useIndex;
                qint64 rows = 0;
                DbError error;
                const auto outcome = RecordSearch::run(
                    store.database(), request,
                    [&rows](QList<FindResult> &&batch) { rows += batch.size(); }, &error, options);
                return outcome == RecordSearch::Outcome::Done ? rows : -1;
            };
        };
        qint64 found[2] = {};
        const double index = timed(searchOn(*fixture.store, true), found[0]);
        const double scan = timed(searchOn(*fixture.store, false), found[1]);
        std::printf("%d records, %s \"%s\": index %.1f ms (%lld found), scan %.1f ms (%lld "
                    "found), %.1fx faster\n",
                    fixture.records, qPrintable(key), qPrintable(text), index,
                    static_cast<long long>(found[0]), scan, static_cast<long long>(found[1]),
                    scan / index);
        if (!fixture.server)
            continue;
        // On the server: through its key index, against a bare libpq scan of the statement the
        // search ran before there was one (every selected row over the connection).
        const QByteArray sql = RecordSearch::statement(request).toUtf8();
        qint64 bareRows = 0;
        const double server = timed(searchOn(*fixture.server, true), found[0]);
        const double bare = timed(
            [&] { return bench::BenchServer::bareScan(fixture.peer, sql.constData()); }, bareRows);
        std::printf("%d records on the server, %s \"%s\": key index %.1f ms (%lld found), bare "
                    "libpq scan of every row %.1f ms, %.1fx faster\n",
                    fixture.records, qPrintable(key), qPrintable(text), server,
                    static_cast<long long>(found[0]), bare, bare / server);
    }
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString folder =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("search-data"));
    QDir().mkpath(folder);
    const qsizetype firstRowsAt = app.arguments().indexOf(QStringLiteral("--first-rows"));
    const bool firstRowsOnly = firstRowsAt > 0;
    const int firstRowsOf =
        app.arguments().value(firstRowsAt + 1, QStringLiteral("100000")).toInt();
    const qsizetype recordsAt = app.arguments().indexOf(QStringLiteral("--records"));
    const int onlyRecords =
        recordsAt > 0 ? app.arguments().value(recordsAt + 1).toInt() : 0;
    for (int records : {100000, 1000000}) {
        if ((firstRowsOnly && records != firstRowsOf) || (onlyRecords && records != onlyRecords))
            continue;
        auto fixture = std::make_unique<Fixture>();
        fixture->records = records;
        if (!prepareFixture(*fixture, folder)) {
            std::fprintf(stderr, "cannot prepare the %d-record database\n", records);
            return 1;
        }
        if (!firstRowsOnly)
            prepareServer(*fixture);
        g_fixtures.push_back(std::move(fixture));
    }
    if (firstRowsOnly) {
        if (g_fixtures.empty())
            return 2;
        printFirstRows(*g_fixtures.front());
        g_fixtures.clear();
        return 0;
    }

    const QStringList arguments = app.arguments();
    if (arguments.contains(QStringLiteral("--keys"))) {
        for (const auto &fixture : g_fixtures)
            printKeySearches(*fixture);
        g_fixtures.clear();
        return 0;
    }
    const bool serverOnly = arguments.contains(QStringLiteral("--server-only"));
    const qsizetype countAt = arguments.indexOf(QStringLiteral("--instructions"));
    if (countAt > 0) {
        const int records = arguments.value(countAt + 1, QStringLiteral("100000")).toInt();
        const auto chosen =
            std::find_if(g_fixtures.begin(), g_fixtures.end(),
                         [records](const auto &f) { return f->records == records; });
        if (chosen == g_fixtures.end())
            return 2;
        const Fixture &fixture = **chosen;
        const QByteArray sql = RecordSearch::statement(requestFor(0)).toUtf8();
        bareNativeScan(fixture.handle, sql); // warm the page cache
        CALLGRIND_ZERO_STATS;
        const qint64 bytes = bareNativeScan(fixture.handle, sql);
        CALLGRIND_DUMP_STATS_AT("bare_sqlite3_scan");
        std::printf("bare scan: %lld bytes\n", static_cast<long long>(bytes));
        for (int mode = 0; mode < 4; ++mode) {
            CALLGRIND_ZERO_STATS;
            const qint64 found = search(fixture, mode, RecordSearch::Reader::Native);
            CALLGRIND_DUMP_STATS_AT(("search_mode" + std::to_string(mode)).c_str());
            std::printf("search mode %d: %lld found\n", mode, static_cast<long long>(found));
        }
        g_fixtures.clear();
        return 0;
    }

    for (const auto &owned : g_fixtures) {
        const Fixture *fixture = owned.get();
        const int n = fixture->records;
        const QByteArray sql = RecordSearch::statement(requestFor(0)).toUtf8();
        if (fixture->server) {
            benchmark::RegisterBenchmark(
                serverBareName(n).c_str(),
                [fixture, sql](benchmark::State &state) {
                    for (auto _ : state)
                        benchmark::DoNotOptimize(
                            bench::BenchServer::bareScan(fixture->peer, sql.constData()));
                })
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("best", best)
                ->UseRealTime();
            for (const QString &text : kOtherTexts) {
                const std::string name = "pg_search/" + std::to_string(n) + "/mode0/" +
                                         text.toStdString();
                benchmark::RegisterBenchmark(
                    name.c_str(),
                    [fixture, name, text](benchmark::State &state) {
                        for (auto _ : state)
                            g_found[name] =
                                serverSearch(*fixture, 0, RecordSearch::Reader::Native, text);
                    })
                    ->Unit(benchmark::kMillisecond)
                    ->ComputeStatistics("best", best)
                    ->UseRealTime();
            }
            // The portable QSqlQuery reader as well, at the smaller size: the server path's
            // figure before it read through libpq.
            for (const bool generic : {false, true}) {
                for (int mode = 0; mode < 4 && (!generic || n == 100000); ++mode) {
                    const std::string name = serverSearchName(n, mode, generic);
                    const auto reader =
                        generic ? RecordSearch::Reader::Generic : RecordSearch::Reader::Native;
                    benchmark::RegisterBenchmark(
                        name.c_str(),
                        [fixture, mode, name, reader](benchmark::State &state) {
                            for (auto _ : state)
                                g_found[name] = serverSearch(*fixture, mode, reader);
                        })
                        ->Unit(benchmark::kMillisecond)
                        ->ComputeStatistics("best", best)
                        ->UseRealTime();
                }
            }
        }
        benchmark::RegisterBenchmark(nativeBareName(n).c_str(),
                                     [fixture, sql](benchmark::State &state) {
                                         for (auto _ : state)
                                             benchmark::DoNotOptimize(
                                                 bareNativeScan(fixture->handle, sql));
                                     })
            ->Unit(benchmark::kMillisecond)
            ->ComputeStatistics("best", best)
            ->UseRealTime();
        for (int mode = 0; mode < 4; ++mode) {
            const std::string name = nativeSearchName(n, mode);
            benchmark::RegisterBenchmark(name.c_str(),
                                         [fixture, mode, name](benchmark::State &state) {
                                             for (auto _ : state)
                                                 g_found[name] = search(
                                                     *fixture, mode, RecordSearch::Reader::Native);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("best", best)
                ->UseRealTime();
        }
        for (int mode = 0; mode < 4; ++mode) {
            const std::string name = scanSearchName(n, mode);
            benchmark::RegisterBenchmark(
                name.c_str(),
                [fixture, mode, name](benchmark::State &state) {
                    for (auto _ : state)
                        g_found[name] = search(*fixture, mode, RecordSearch::Reader::Native, false);
                })
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("best", best)
                ->UseRealTime();
        }
        for (const QString &text : QStringList{kFindText} + kOtherTexts) {
            const std::string name = bareIndexName(n, text);
            benchmark::RegisterBenchmark(name.c_str(),
                                         [fixture, text, name](benchmark::State &state) {
                                             for (auto _ : state)
                                                 g_found[name] =
                                                     bareIndexQuery(fixture->handle, text);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("best", best)
                ->UseRealTime();
        }
        for (const QString &text : kOtherTexts) {
            for (const bool indexed : {true, false}) {
                const std::string name =
                    indexed ? indexSearchName(n, text) : scanSearchName(n, 0, text);
                benchmark::RegisterBenchmark(
                    name.c_str(),
                    [fixture, indexed, text, name](benchmark::State &state) {
                        for (auto _ : state)
                            g_found[name] =
                                search(*fixture, 0, RecordSearch::Reader::Native, indexed, text);
                    })
                    ->Unit(benchmark::kMillisecond)
                    ->ComputeStatistics("best", best)
                    ->UseRealTime();
            }
            if (text.size() >= 3)
                continue;
            // The same scan with every found row's texts read too (RecordSearch::find's way).
            const std::string name = textsSearchName(n, text);
            benchmark::RegisterBenchmark(name.c_str(),
                                         [fixture, text, name](benchmark::State &state) {
                                             for (auto _ : state)
                                                 g_found[name] =
                                                     search(*fixture, 0, RecordSearch::Reader::Native,
                                                            false, text, false);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("best", best)
                ->UseRealTime();
        }
        const QString path = fixture->store->path();
        for (const bool indexed : {true, false}) {
            const std::string name =
                (indexed ? "save_indexed/" : "save_unindexed/") + std::to_string(n);
            benchmark::RegisterBenchmark(name.c_str(), saveOne, path, indexed)
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("best", best)
                ->UseRealTime();
        }
        if (n > 100000)
            continue;
        const QString qtSql = QString::fromUtf8(sql);
        benchmark::RegisterBenchmark(qtBareName(n).c_str(),
                                     [fixture, qtSql](benchmark::State &state) {
                                         for (auto _ : state)
                                             benchmark::DoNotOptimize(
                                                 bareQtScan(fixture->store->database(), qtSql));
                                     })
            ->Unit(benchmark::kMillisecond)
            ->ComputeStatistics("best", best)
            ->UseRealTime();
        for (int mode = 0; mode < 4; ++mode) {
            const std::string name = qtSearchName(n, mode);
            benchmark::RegisterBenchmark(name.c_str(),
                                         [fixture, mode, name](benchmark::State &state) {
                                             for (auto _ : state)
                                                 g_found[name] = search(
                                                     *fixture, mode, RecordSearch::Reader::Generic);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->ComputeStatistics("best", best)
                ->UseRealTime();
        }
    }

    // Repetitions in random order, so that the peers share the machine's ups and downs.
    std::vector<std::string> args{
        argv[0], "--benchmark_repetitions=7", "--benchmark_enable_random_interleaving=true",
        "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.3"};
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--records")
            ++i;
        else if (std::string(argv[i]) != "--server-only")
            args.emplace_back(argv[i]);
    if (serverOnly)
        args.emplace_back("--benchmark_filter=^pg_");
    std::vector<char *> cargs;
    for (std::string &arg : args)
        cargs.push_back(arg.data());
    int count = int(cargs.size());
    benchmark::Initialize(&count, cargs.data());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf(
        "\nSearch over every field (<All>) for \"%s\" (through the search index unless said), "
        "median real time of 7 repetitions\n(best: "
        "fastest repetition of each; CPU time: median, of the scanning thread):\n",
        qPrintable(kFindText));
    for (const auto &owned : g_fixtures) {
        const int n = owned->records;
        for (int mode = 0; mode < 4; ++mode) {
            printLine("search mode " + std::to_string(mode) + ", " + std::to_string(n) + " records",
                      nativeSearchName(n, mode), nativeBareName(n),
                      "bare SQLite scan (sqlite3 C API)");
            printLine("search mode " + std::to_string(mode) + ", " + std::to_string(n) + " records",
                      nativeSearchName(n, mode), bareIndexName(n, kFindText),
                      "bare index query with its rows");
        }
    }
    for (const auto &owned : g_fixtures) {
        const int n = owned->records;
        for (int mode = 0; mode < 4; ++mode)
            printLine("search on the server, mode " + std::to_string(mode) + ", " +
                          std::to_string(n) + " records",
                      serverSearchName(n, mode), serverBareName(n), "bare libpq scan (PQexec)");
        for (const QString &text : kOtherTexts)
            printLine("search on the server for \"" + text.toStdString() + "\", mode 0, " +
                          std::to_string(n) + " records",
                      "pg_search/" + std::to_string(n) + "/mode0/" + text.toStdString(),
                      serverBareName(n), "bare libpq scan (PQexec)");
        for (int mode = 0; mode < 4; ++mode)
            printLine("search on the server through QSqlQuery, mode " + std::to_string(mode) +
                          ", " + std::to_string(n) + " records",
                      serverSearchName(n, mode, true), serverBareName(n),
                      "bare libpq scan (PQexec)");
    }
    for (const auto &owned : g_fixtures) {
        const int n = owned->records;
        if (serverOnly)
            continue;
        for (int mode = 0; mode < 4; ++mode)
            printLine("search without the index, mode " + std::to_string(mode) + ", " +
                          std::to_string(n) + " records",
                      scanSearchName(n, mode), nativeBareName(n),
                      "bare SQLite scan (sqlite3 C API)");
        for (const QString &text : kOtherTexts) {
            printLine("search for \"" + text.toStdString() + "\", mode 0, " + std::to_string(n) +
                          " records",
                      indexSearchName(n, text), nativeBareName(n),
                      "bare SQLite scan (sqlite3 C API)");
            if (text.size() >= 3)
                printLine("search for \"" + text.toStdString() + "\", mode 0, " +
                              std::to_string(n) + " records",
                          indexSearchName(n, text), bareIndexName(n, text),
                          "bare index query with its rows");
            printLine("search for \"" + text.toStdString() + "\" without the index, mode 0, " +
                          std::to_string(n) + " records",
                      scanSearchName(n, 0, text), nativeBareName(n),
                      "bare SQLite scan (sqlite3 C API)");
            if (text.size() < 3)
                printLine("search for \"" + text.toStdString() +
                              "\" without the index, every found row's texts read too, mode 0, " +
                              std::to_string(n) + " records",
                          textsSearchName(n, text), nativeBareName(n),
                          "bare SQLite scan (sqlite3 C API)");
        }
        const QString path = owned->store->path();
        const qint64 with = sizeWithIndex(path), without = sizeWithoutIndex(path);
        std::printf("index cost, %d records: file %.1f MB with the index, %.1f MB without "
                    "(%.2fx)\n",
                    n, with / 1048576.0, without / 1048576.0, double(with) / double(without));
        printLine("save of one record with the index, " + std::to_string(n) + " records",
                  "save_indexed/" + std::to_string(n), "save_unindexed/" + std::to_string(n),
                  "the same save without the index");
    }
    for (const auto &owned : g_fixtures) {
        const int n = owned->records;
        for (int mode = 0; mode < 4; ++mode)
            printLine("QSqlQuery reader, mode " + std::to_string(mode) + ", " + std::to_string(n) +
                          " records",
                      qtSearchName(n, mode), qtBareName(n), "bare QSqlQuery forward-only scan");
    }
    if (!serverOnly)
        printFirstRows(*g_fixtures.front());
    for (const auto &owned : g_fixtures)
        bench::BenchServer::disconnect(owned->peer);
    g_fixtures.clear();
    return 0;
}
