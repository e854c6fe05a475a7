// bench_codec: our HE3 codec against zlib (Huffman only) and zstd level 1 on generated tow-record
// databases of about 34 MB and 100 MB, and the peak memory of backing up such a file.
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

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

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

// Child mode: back up one file the way the backup dialog does and print the memory figures.
int peakBackup(const char *source, const char *dest)
{
    const long before = memoryOfThisProcess().second;
    tarnvale::clsHuffman codec;
    codec.EncodeFile(source, dest);
    const long peak = memoryOfThisProcess().first;
    std::printf("%ld %ld\n", before, peak);
    return 0;
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

void measurePeak(const QString &exe, const QString &path, const QString &dest, const char *label)
{
    const std::string command = '"' + exe.toStdString() + "\" --peak-backup \""
                                + path.toStdString() + "\" \"" + dest.toStdString() + '"';
    FILE *pipe = ::popen(command.c_str(), "r");
    long before = 0, peak = 0;
    if (!pipe || std::fscanf(pipe, "%ld %ld", &before, &peak) != 2) {
        std::printf("%s: peak memory could not be measured\n", label);
        if (pipe)
            ::pclose(pipe);
        return;
    }
    ::pclose(pipe);
    const double size = double(QFile(path).size());
    std::printf("  backup peak memory: %.1f MB resident, %.2fx the file (%.1f MB); %.2fx counting "
                "only what the backup added to the %.1f MB the process had before\n",
                double(peak) / 1e6, double(peak) / size, size / 1e6, double(peak - before) / size,
                double(before) / 1e6);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "--peak-backup") == 0)
        return peakBackup(argv[2], argv[3]);

    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
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
