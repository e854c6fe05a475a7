// bench_codec: our HE3 codec against zlib (Huffman only) and zstd level 1 on generated tow-record
// databases of 100,000 and 300,000 records, and the time and peak memory of a whole backup of
// such a database (snapshot and compression, as the backup window makes it) against a bare
// peer: the same snapshot through SQLite alone, then zlib Huffman-only streamed in 1 MiB pieces.
//   bench_codec --backup-only RECORDS   only the backup case, for one database size
//   bench_codec --server-backup RECORDS   a backup of a server's database (TARNVALE_BENCH_PG,
//     see BenchServer.h) against the backup of the same records in a file
//
// Every figure is printed with its ratios to the peers measured in the same run. Each timing
// is the best of several runs over data already in memory, in CPU time of the running thread
// (the machine is shared, so wall time mostly measures the neighbours). Every codec writes into
// a buffer allocated the same way (huge pages hinted, as our codec does), so that the figures
// compare the codecs and not the page faults of their output buffers.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <zlib.h>
#include <zstd.h>
#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "BenchServer.h"
#include "DatabaseSnapshot.h"
#include "YardMove.h"
#include "LargeBuffer.h"
#include "TowDataGenerator.h"
#include "clsHuffman.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using tarnvale::makeLargeBuffer;

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double bestSeconds(int runs, const std::function<void()> &work)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double start = cpuSeconds();
        work();
        best = std::min(best, cpuSeconds() - start);
    }
    return best;
}

Bytes readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    return Bytes(all.begin(), all.end());
}

Bytes zlibHuffmanOnly(const Bytes &in)
{
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY);
    Bytes out = makeLargeBuffer(deflateBound(&z, uLong(in.size())));
    z.next_in = const_cast<Bytef *>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

Bytes zlibInflate(const Bytes &in, std::size_t size)
{
    z_stream z{};
    inflateInit2(&z, 15);
    Bytes out = makeLargeBuffer(size);
    z.next_in = const_cast<Bytef *>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

Bytes zstdCompress(const Bytes &in)
{
    Bytes out = makeLargeBuffer(ZSTD_compressBound(in.size()));
    out.resize(ZSTD_compress(out.data(), out.size(), in.data(), in.size(), 1));
    return out;
}

Bytes zstdDecompress(const Bytes &in, std::size_t size)
{
    Bytes out = makeLargeBuffer(size);
    out.resize(ZSTD_decompress(out.data(), out.size(), in.data(), in.size()));
    return out;
}

double mbps(std::size_t bytes, double seconds)
{
    return double(bytes) / 1e6 / seconds;
}

// Peak resident memory (VmHWM) and current resident memory (VmRSS) in bytes.
std::pair<long, long> memoryOfThisProcess()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    long hwm = 0, rss = 0;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            hwm = std::stol(line.substr(6)) * 1024;
        if (line.rfind("VmRSS:", 0) == 0)
            rss = std::stol(line.substr(6)) * 1024;
    }
    return {hwm, rss};
}

double wallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The peer's compression: zlib Huffman-only over the file, 1 MiB in and out at a time.
bool zlibStream(const char *source, const char *dest)
{
    FILE *in = std::fopen(source, "rb");
    FILE *out = std::fopen(dest, "wb");
    if (!in || !out)
        return false;
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY);
    std::vector<unsigned char> inBuf(1 << 20), outBuf(1 << 20);
    int flush = Z_NO_FLUSH;
    do {
        z.avail_in = uInt(std::fread(inBuf.data(), 1, inBuf.size(), in));
        z.next_in = inBuf.data();
        flush = std::feof(in) ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.avail_out = uInt(outBuf.size());
            z.next_out = outBuf.data();
            deflate(&z, flush);
            std::fwrite(outBuf.data(), 1, outBuf.size() - z.avail_out, out);
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    std::fclose(in);
    return std::fclose(out) == 0;
}

// Child mode: back up one database the way the backup window does (snapshot, then the codec),
// or as the peer does, and print the memory and time figures.
int peakBackup(bool peer, const char *database, const char *dest)
{
    const long before = memoryOfThisProcess().second;
    const double wall = wallSeconds(), cpu = processCpuSeconds();
    const QString snapshot = QString::fromLocal8Bit(dest) + QStringLiteral(".snapshot");
    bool ok = false;
    if (peer) {
        sqlite3 *db = nullptr;
        ok = sqlite3_open_v2(database, &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
             sqlite3_exec(db, ("VACUUM INTO '" + snapshot.toStdString() + "'").c_str(), nullptr,
                          nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        ok = ok && zlibStream(snapshot.toLocal8Bit().constData(), dest);
    } else {
        ok = tarnvale::DatabaseSnapshot::take(QString::fromLocal8Bit(database), snapshot).isEmpty();
        if (ok)
            tarnvale::clsHuffman().EncodeFile(snapshot.toStdString(), dest);
    }
    QFile::remove(snapshot);
    const long peak = memoryOfThisProcess().first;
    std::printf("%ld %ld %f %f\n", before, peak, wallSeconds() - wall, processCpuSeconds() - cpu);
    return ok ? 0 : 1;
}

void measure(const QString &path, const char *label)
{
    const Bytes input = readFile(path);
    const std::size_t n = input.size();
    const int runs = 5;
    tarnvale::clsHuffman codec;

    Bytes ours, oursBack, zHuff, zBack, zs, zsBack;
    const double tEnc = bestSeconds(runs, [&] { ours = codec.encode(input); });
    const double tDec = bestSeconds(runs, [&] { oursBack = codec.decode(ours); });
    const double tZHuff = bestSeconds(runs, [&] { zHuff = zlibHuffmanOnly(input); });
    const double tZInf = bestSeconds(runs, [&] { zBack = zlibInflate(zHuff, n); });
    const double tZs = bestSeconds(runs, [&] { zs = zstdCompress(input); });
    const double tZsD = bestSeconds(runs, [&] { zsBack = zstdDecompress(zs, n); });
    benchmark::DoNotOptimize(oursBack.data());
    if (oursBack != input || zBack != input || zsBack != input) {
        std::printf("%s: a round trip FAILED\n", label);
        return;
    }

    const double mb = double(n) / 1e6;
    std::printf("%s (%.1f MB, %s)\n", label, mb, ours[2] == '3' ? "HE3" : "HE0");
    std::printf("  encode: %.0f MB/s (%.1f ms CPU), %.1fx zlib Huffman-only (%.0f MB/s), %.1fx zstd -1 "
                "(%.0f MB/s)\n",
                mbps(n, tEnc), tEnc * 1e3, tZHuff / tEnc, mbps(n, tZHuff), tZs / tEnc, mbps(n, tZs));
    std::printf("  decode: %.0f MB/s (%.1f ms CPU), %.1fx zlib inflate (%.0f MB/s), %.1fx zstd -1 "
                "decompress (%.0f MB/s)\n",
                mbps(n, tDec), tDec * 1e3, tZInf / tDec, mbps(n, tZInf), tZsD / tDec, mbps(n, tZsD));
    std::printf("  size: HE3 %.1f%% of input, %.2fx zlib Huffman-only (%.1f%%), %.2fx zstd -1 "
                "(%.1f%%)\n",
                100.0 * double(ours.size()) / double(n), double(ours.size()) / double(zHuff.size()),
                100.0 * double(zHuff.size()) / double(n), double(ours.size()) / double(zs.size()),
                100.0 * double(zs.size()) / double(n));
}

struct BackupRun
{
    long before = 0, peak = 0;
    double wall = 0, cpu = 0;
    qint64 output = 0;
};

std::optional<BackupRun> runBackupChild(const QString &exe, bool peer, const QString &path,
                                        const QString &dest)
{
    const std::string command = '"' + exe.toStdString() + "\" " +
                                (peer ? "--peer-backup" : "--peak-backup") + " \"" +
                                path.toStdString() + "\" \"" + dest.toStdString() + '"';
    FILE *pipe = ::popen(command.c_str(), "r");
    BackupRun run;
    const bool read = pipe && std::fscanf(pipe, "%ld %ld %lf %lf", &run.before, &run.peak,
                                          &run.wall, &run.cpu) == 4;
    if (pipe && ::pclose(pipe) != 0)
        return std::nullopt;
    if (!read)
        return std::nullopt;
    run.output = QFile(dest).size();
    QFile::remove(dest);
    return run;
}

void measurePeak(const QString &exe, const QString &path, const QString &dest, const char *label)
{
    const auto ours = runBackupChild(exe, false, path, dest);
    const auto peer = runBackupChild(exe, true, path, dest);
    if (!ours || !peer) {
        std::printf("%s: the backup could not be measured\n", label);
        return;
    }
    const double size = double(QFile(path).size());
    std::printf("  backup (snapshot + compression) of the %.1f MB file: %.2f s wall, %.2f s CPU, "
                "peak %.1f MB resident = %.2fx the file (%.2fx counting only what the backup "
                "added to the %.1f MB the process had before); output %.1f MB\n",
                size / 1e6, ours->wall, ours->cpu, double(ours->peak) / 1e6,
                double(ours->peak) / size, double(ours->peak - ours->before) / size,
                double(ours->before) / 1e6, double(ours->output) / 1e6);
    std::printf("  peer (bare VACUUM INTO + zlib Huffman-only in 1 MiB pieces): %.2f s wall, "
                "%.2f s CPU, peak %.1f MB = %.2fx the file; output %.1f MB. Ours: %.2fx its "
                "wall time, %.2fx its CPU time, %.2fx its peak memory\n",
                peer->wall, peer->cpu, double(peer->peak) / 1e6, double(peer->peak) / size,
                double(peer->output) / 1e6, ours->wall / peer->wall, ours->cpu / peer->cpu,
                double(ours->peak) / double(peer->peak));
}

// A server's backup (every table read in one transaction into a new file, then compressed)
// against a file's backup of the same records, in wall time: the server does part of the work.
int serverSnapshot(const QTemporaryDir &dir, int records)
{
    const QString path = dir.filePath(QStringLiteral("tow.db"));
    if (records <= 0 || !tarnvale::bench::TowDataGenerator::writeDatabase(path, records, 200))
        return 1;
    QString reason;
    const QString uri = tarnvale::bench::BenchServer::database(path, records, &reason);
    if (uri.isEmpty()) {
        std::printf("server backup skipped: %s\n", qPrintable(reason));
        return 0;
    }
    const QString copy = dir.filePath(QStringLiteral("copy.db")),
                  packed = dir.filePath(QStringLiteral("backup.tow"));
    double took[2][2] = {{1e9, 1e9}, {1e9, 1e9}}; // [file, server][snapshot, whole backup]
    qint64 sizes[2][2] = {};
    for (int run = 0; run < 3; ++run)
        for (int server = 0; server < 2; ++server) {
            const double start = wallSeconds();
            const bool taken = server ? tarnvale::YardMove::toFile(uri, copy).moved
                                      : tarnvale::DatabaseSnapshot::take(path, copy).isEmpty();
            if (!taken) {
                std::printf("a snapshot failed\n");
                return 1;
            }
            const double snapshot = wallSeconds();
            tarnvale::clsHuffman().EncodeFile(copy.toStdString(), packed.toStdString());
            took[server][0] = std::min(took[server][0], snapshot - start);
            took[server][1] = std::min(took[server][1], wallSeconds() - start);
            sizes[server][0] = QFile(copy).size();
            sizes[server][1] = QFile(packed).size();
            QFile::remove(copy);
            QFile::remove(packed);
        }
    std::printf("backup of %d records, best of 3, wall: server %.2f s (snapshot %.2f s, %.1f MB; "
                "backup %.1f MB), file %.2f s (snapshot %.2f s, %.1f MB; backup %.1f MB): "
                "%.2fx\n",
                records, took[1][1], took[1][0], double(sizes[1][0]) / 1e6,
                double(sizes[1][1]) / 1e6, took[0][1], took[0][0], double(sizes[0][0]) / 1e6,
                double(sizes[0][1]) / 1e6, took[1][1] / took[0][1]);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "--peak-backup") == 0)
        return peakBackup(false, argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "--peer-backup") == 0)
        return peakBackup(true, argv[2], argv[3]);

    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (argc == 3 && std::strcmp(argv[1], "--server-backup") == 0)
        return serverSnapshot(dir, std::atoi(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "--backup-only") == 0) {
        const int records = std::atoi(argv[2]);
        const QString path = dir.filePath(QStringLiteral("tow.db"));
        if (records <= 0 || !tarnvale::bench::TowDataGenerator::writeDatabase(path, records, 200))
            return 1;
        std::printf("tow database, %d records\n", records);
        measurePeak(QCoreApplication::applicationFilePath(), path,
                    dir.filePath(QStringLiteral("backup.tow")), "backup");
        return 0;
    }
    const struct
    {
        int records;
        const char *label;
    } sizes[] = {{100'000, "tow database, 100,000 records"}, {300'000, "tow database, 300,000 records"}};
    for (const auto &s : sizes) {
        const QString path = dir.filePath(QStringLiteral("tow-%1.db").arg(s.records));
        if (!tarnvale::bench::TowDataGenerator::writeDatabase(path, s.records, 200))
            return 1;
        measure(path, s.label);
        measurePeak(QCoreApplication::applicationFilePath(), path,
                    dir.filePath(QStringLiteral("backup.tow")), s.label);
        QFile::remove(path);
    }
    return 0;
}
