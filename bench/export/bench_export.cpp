// The CSV export of 100,000 tow records (every stored field plus the charge figures, quoted,
// written through a temporary file) against a bare SQLite scan of the same rows written with
// fprintf and no quoting at all.
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <string>

#include "IniFile.h"
#include "RecordExport.h"
#include "SettingsFile.h"
#include "TowDataGenerator.h"
#include "TowRecord.h"

using namespace tarnvale;

namespace {

constexpr int kRecords = 100000;

QString benchFile(const QString &name)
{
    const QString dir = QDir::temp().filePath(QStringLiteral("tarnvale-bench"));
    QDir().mkpath(dir);
    return QDir(dir).filePath(name);
}

QString dataPath()
{
    const QString path = benchFile(QStringLiteral("tow-%1.dll").arg(kRecords));
    if (!QFile::exists(path)) {
        std::printf("generating %d records in %s ...\n", kRecords, qPrintable(path));
        std::fflush(stdout);
        if (!bench::TowDataGenerator::writeDatabase(path, kRecords, 200))
            std::exit(1);
    }
    return path;
}

// The peer: the same columns in table order, straight from the SQLite C interface to fprintf.
void bareScan(benchmark::State &state, const QString &path)
{
    QByteArray sql = "SELECT id";
    for (int i = 0; i < kTowFieldCount; ++i)
        sql += ", " + TowRecord::fieldName(TowField(i)).toLatin1();
    sql += " FROM wrecker ORDER BY id";
    const QByteArray out = QFile::encodeName(benchFile(QStringLiteral("bare.csv")));
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (auto _ : state) {
        FILE *file = std::fopen(out.constData(), "w");
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::fprintf(file, "%lld", static_cast<long long>(sqlite3_column_int64(stmt, 0)));
            for (int c = 1; c <= kTowFieldCount; ++c) {
                const unsigned char *text = sqlite3_column_text(stmt, c);
                std::fprintf(file, ",%s", text ? reinterpret_cast<const char *>(text) : "");
            }
            std::fputs("\r\n", file);
        }
        sqlite3_finalize(stmt);
        std::fclose(file);
    }
    sqlite3_close(db);
}

void csvExport(benchmark::State &state, const QString &path)
{
    const QString settingsPath = benchFile(QStringLiteral("export-settings.ini"));
    QFile::remove(settingsPath);
    IniFile::write(settingsPath, QStringLiteral("Fee"), QStringLiteral("Storage Fee"), QStringLiteral("12.50"));
    IniFile::write(settingsPath, QStringLiteral("Tow Fee"), QStringLiteral("Taxrate"), QStringLiteral(".07"));
    const SettingsFile settings(settingsPath);
    RecordExport::Options options;
    options.today = QDate(2026, 12, 6);
    options.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    const QString out = benchFile(QStringLiteral("export.csv"));
    for (auto _ : state) {
        const RecordExport::Result result =
            RecordExport::write(path, ExportSelection::all(), settings, out, options);
        if (result.outcome != RecordExport::Outcome::Done || result.rows != kRecords)
            state.SkipWithError(qPrintable(result.error));
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const QString path = dataPath();
    benchmark::RegisterBenchmark("bare_scan_fprintf", bareScan, path)
        ->Unit(benchmark::kMillisecond)->MinTime(2.0);
    benchmark::RegisterBenchmark("csv_export", csvExport, path)
        ->Unit(benchmark::kMillisecond)->MinTime(2.0);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    const double ours = collector.ms["csv_export"];
    const double bare = collector.ms["bare_scan_fprintf"];
    std::printf("\nCSV export %d records: %.0f ms, %.2fx bare SQLite scan written with fprintf (%.0f ms)\n",
                kRecords, ours, bare > 0 ? ours / bare : 0.0, bare);
    return 0;
}
