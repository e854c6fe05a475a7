// The CSV export of 100,000 tow records (every stored field plus the charge figures, quoted,
// written through a temporary file) against two peers in the same run: a bare SQLite scan of
// the same rows written with fprintf and no quoting at all, and a fair one, a C loop that writes
// the same columns as the export does: every cell quoted by RFC 4180 with the formula guard,
// the days in storage from the two dates, the storage charge, tax and grand total in cents, and
// the status and balance cells.
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
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

// Appends one cell as the export's writer does: a formula-like text gets an apostrophe, a cell
// holding a comma, quote, CR or LF is quoted with its quotes doubled.
void putCell(std::string &out, const char *text, bool first = false)
{
    if (!first)
        out += ',';
    if (!text)
        return;
    const bool formula = (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@' ||
                          text[0] == '\t' || text[0] == '\r') &&
                         !(text[0] == '-' && text[1] >= '0' && text[1] <= '9');
    bool quote = false;
    for (const char *c = text; *c && !quote; ++c)
        quote = *c == ',' || *c == '"' || *c == '\r' || *c == '\n';
    if (quote)
        out += '"';
    if (formula)
        out += '\'';
    for (const char *c = text; *c; ++c) {
        if (*c == '"')
            out += '"';
        out += *c;
    }
    if (quote)
        out += '"';
}

// Days since 1 March of year 0 for m/d/yyyy; -1 when the text is no date.
long long dayNumber(const char *text)
{
    int m = 0, d = 0, y = 0;
    if (!text || std::sscanf(text, "%d/%d/%d", &m, &d, &y) != 3 || m < 1 || m > 12 || d < 1)
        return -1;
    y -= m <= 2;
    const long long era = y / 400, yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
}

void putCents(std::string &out, long long cents)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s%lld.%02lld", cents < 0 ? "-" : "",
                  (cents < 0 ? -cents : cents) / 100, (cents < 0 ? -cents : cents) % 100);
    putCell(out, buffer);
}

// The fair peer: the export's columns and rules, written in plain C over the SQLite interface.
void fairScan(benchmark::State &state, const QString &path)
{
    QByteArray sql = "SELECT id";
    for (int i = 0; i < kTowFieldCount; ++i)
        sql += ", " + TowRecord::fieldName(TowField(i)).toLatin1();
    sql += " FROM wrecker ORDER BY id";
    const int towed = int(TowField::toweddate) + 1, released = int(TowField::towedrelease) + 1;
    const int fee = int(TowField::towedfee) + 1;
    const QByteArray out = QFile::encodeName(benchFile(QStringLiteral("fair.csv")));
    const long long today = dayNumber("12/6/2026"), rate = 1250, taxPerMille = 70;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::string row;
    for (auto _ : state) {
        FILE *file = std::fopen(out.constData(), "w");
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            row.clear();
            putCell(row, reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)), true);
            for (int c = 1; c <= kTowFieldCount; ++c)
                putCell(row, reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)));
            const auto text = [stmt](int c) {
                return reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
            };
            const long long from = dayNumber(text(towed));
            const char *releasedText = text(released);
            const bool out = releasedText && *releasedText;
            const long long to = out ? dayNumber(releasedText) : today;
            const long long days = from < 0 || to < from ? 0 : to - from;
            const long long storage = days * rate;
            const long long feeCents = std::llround(std::atof(text(fee) ? text(fee) : "0") * 100);
            const long long tax = (feeCents + storage) * taxPerMille / 1000;
            putCell(row, std::to_string(days).c_str());
            putCents(row, storage);
            putCents(row, tax);
            putCents(row, feeCents + storage + tax);
            putCell(row, "");
            putCell(row, out ? "Released" : "In storage");
            putCents(row, out ? 0 : feeCents + storage + tax);
            putCell(row, "");
            row += "\r\n";
            std::fwrite(row.data(), 1, row.size(), file);
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
    benchmark::RegisterBenchmark("fair_c_export", fairScan, path)
        ->Unit(benchmark::kMillisecond)->MinTime(2.0);
    benchmark::RegisterBenchmark("csv_export", csvExport, path)
        ->Unit(benchmark::kMillisecond)->MinTime(2.0);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    const double ours = collector.ms["csv_export"];
    const double bare = collector.ms["bare_scan_fprintf"];
    const double fair = collector.ms["fair_c_export"];
    std::printf("\nCSV export %d records: %.0f ms, %.2fx bare SQLite scan written with fprintf (%.0f ms), "
                "%.2fx a C loop writing the same columns with quoting and figures (%.0f ms)\n",
                kRecords, ours, bare > 0 ? ours / bare : 0.0, bare, fair > 0 ? ours / fair : 0.0, fair);
    return 0;
}
