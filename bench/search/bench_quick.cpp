// bench_quick [RECORDS...]: the main window's quick search (QuickSearch::find) on generated
// tow records (100,000 and 1,000,000 unless told), for a plate typed without its dash, a phone
// typed as digits, part of a name, a common make and a text no record holds, against its peer
// measured in the same run on the same file: the bare FTS5 query for the same index query through
// SQLite's C API, newest first, its first 50 records joined and every column read.
// The databases are bench_search's (bench/search-data/ beside the executable), written there
// once by whichever runs first; a file whose search index has an earlier layout has it made
// again when opened, which the opening time shows.
// With TARNVALE_BENCH_PG set, the same searches on a server database holding the same records,
// against the file's figure; the first opening there makes the server's trigram indexes.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "BenchServer.h"
#include "QuickSearch.h"
#include "RecordStore.h"
#include "SqliteHandle.h"
#include "TowDataGenerator.h"

using namespace tarnvale;

namespace {

using Clock = std::chrono::steady_clock;

double medianMs(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The peer: the index's own answer with its rows, nothing decided.
qint64 bareFts(sqlite3 *db, const QByteArray &match)
{
    static const char sql[] =
        "SELECT wrecker.* FROM wrecker_fts JOIN wrecker ON wrecker.id = wrecker_fts.rowid "
        "WHERE wrecker_fts MATCH ? ORDER BY wrecker_fts.rowid DESC LIMIT 50";
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        return -1;
    sqlite3_bind_text(statement, 1, match.constData(), int(match.size()), SQLITE_TRANSIENT);
    qint64 rows = 0, bytes = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        ++rows;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            sqlite3_column_text(statement, c);
            bytes += sqlite3_column_bytes(statement, c);
        }
    }
    sqlite3_finalize(statement);
    return bytes >= 0 ? rows : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes << 100000 << 1000000;
    const QString folder =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("search-data"));
    QDir().mkpath(folder);
    for (const int records : sizes) {
        const QString path = QDir(folder).filePath(QStringLiteral("tow-%1.db").arg(records));
        if (!QFileInfo::exists(path)) {
            std::fprintf(stderr, "writing %d records to %s ...\n", records, qPrintable(path));
            if (!bench::TowDataGenerator::writeDatabase(path, records, 200))
                return 1;
        }
        RecordStore store;
        const auto opening = Clock::now();
        if (!store.open(path, RecordStore::OpenMode::ExistingOnly))
            return 1;
        std::printf("opened %d records in %.0f ms\n", records,
                    std::chrono::duration<double, std::milli>(Clock::now() - opening).count());
        sqlite3 *handle = SqliteHandle::of(store.database());
        // Texts from records of the file: a plate without its dash, a phone as digits.
        const TowRecord a = *store.towRecord(records / 2), b = *store.towRecord(records / 3);
        const QStringList texts = {
            QString(a.value(TowField::vehtag)).remove(u'-'),
            QString(b.value(TowField::custphone)).remove(QRegularExpression(QStringLiteral("\\D"))),
            QStringLiteral("Ramir"), QStringLiteral("Ford"), QStringLiteral("Zastava")};
        QList<double> fileMs;
        for (const QString &text : texts) {
            const QByteArray match = QuickSearch::indexQuery(text).toUtf8();
            std::vector<double> mine, peer;
            qsizetype found = 0;
            qint64 peerRows = 0;
            for (int round = 0; round < 31; ++round) { // interleaved, the first a warm-up
                auto start = Clock::now();
                found = QuickSearch::find(store, text).value_or(QList<QuickResult>{}).size();
                const double ms =
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                start = Clock::now();
                peerRows = bareFts(handle, match);
                const double peerMs =
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                if (round > 0)
                    mine.push_back(ms), peer.push_back(peerMs);
            }
            std::printf("quick search \"%s\", %d records: %.2f ms, %.2fx bare FTS5 query with its "
                        "rows (%.2f ms) [%lld found, peer %lld rows]\n",
                        qPrintable(text), records, medianMs(mine), medianMs(mine) / medianMs(peer),
                        medianMs(peer), static_cast<long long>(found),
                        static_cast<long long>(peerRows));
            fileMs << medianMs(mine);
        }
        QString reason;
        const QString uri = bench::BenchServer::database(path, records, &reason);
        if (uri.isEmpty()) {
            std::printf("(no server figures: %s)\n", qPrintable(reason));
            continue;
        }
        RecordStore server;
        const auto serverOpening = Clock::now();
        if (!server.open(uri, RecordStore::OpenMode::ExistingOnly))
            return 1;
        std::printf("opened %d records on the server in %.0f ms\n", records,
                    std::chrono::duration<double, std::milli>(Clock::now() - serverOpening).count());
        for (int t = 0; t < texts.size(); ++t) {
            std::vector<double> mine;
            qsizetype found = 0;
            for (int round = 0; round < 6; ++round) { // the first a warm-up
                const auto start = Clock::now();
                found = QuickSearch::find(server, texts[t]).value_or(QList<QuickResult>{}).size();
                if (round > 0)
                    mine.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            }
            std::printf("quick search on the server \"%s\", %d records: %.2f ms, %.2fx the "
                        "file's (%.2f ms) [%lld found]\n",
                        qPrintable(texts[t]), records, medianMs(mine), medianMs(mine) / fileMs[t],
                        fileMs[t], static_cast<long long>(found));
        }
    }
    return 0;
}
