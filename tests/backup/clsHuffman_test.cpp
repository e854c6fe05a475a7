#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include <sys/mman.h>
#include <unistd.h>

#include "TestFiles.h"
#include "clsHuffman.h"

using namespace tarnvale;
using Bytes = std::vector<std::uint8_t>;

Q_DECLARE_METATYPE(Bytes)

namespace {

Bytes fromText(const char *text)
{
    return Bytes(text, text + std::strlen(text));
}

Bytes fromHex(const QString &hex)
{
    const QByteArray raw = QByteArray::fromHex(hex.toLatin1());
    return Bytes(raw.begin(), raw.end());
}

QString toHex(const Bytes &bytes)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()))
            .toHex(' '));
}

// The kind of failure, named as the model names it.
QString kindOf(const CodecError &error)
{
    const std::string &d = error.description();
    if (d.find("identification") != std::string::npos)
        return QStringLiteral("identification");
    if (d.find("checksum") != std::string::npos)
        return QStringLiteral("checksum");
    if (d.find("ended after") != std::string::npos)
        return QStringLiteral("truncated");
    if (d.find("corrupt (") != std::string::npos)
        return QStringLiteral("corrupt");
    return QString::fromStdString(d);
}

struct Run
{
    std::optional<Bytes> bytes;
    QString error;
    std::vector<int> progress;
};

Run decodeWith(const Bytes &stream)
{
    Run run;
    clsHuffman codec;
    codec.setProgressHandler([&](int p) { run.progress.push_back(p); });
    try {
        run.bytes = codec.decode(stream);
    } catch (const CodecError &e) {
        run.error = kindOf(e);
    }
    return run;
}

Bytes encodeWith(const Bytes &input, std::vector<int> *progress = nullptr)
{
    clsHuffman codec;
    if (progress)
        codec.setProgressHandler([progress](int p) { progress->push_back(p); });
    return codec.encode(input);
}

enum class Skew { Uniform, Text, Geometric, TwoValues, OneRare, Fibonacci };

Bytes makeInput(std::size_t size, Skew skew, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out(size);
    switch (skew) {
    case Skew::Uniform:
        for (auto &b : out)
            b = std::uint8_t(rng());
        break;
    case Skew::Text: {
        const char *words[] = {"Tow ", "Ford ", "Main St ", "12.50 ", "\r\n", "IMPOUND ", "a", "e"};
        std::size_t i = 0;
        while (i < size) {
            const char *w = words[rng() % 8];
            for (; *w && i < size; ++w)
                out[i++] = std::uint8_t(*w);
        }
        break;
    }
    case Skew::Geometric: {
        std::geometric_distribution<int> g(0.3);
        for (auto &b : out)
            b = std::uint8_t(std::min(g(rng), 255));
        break;
    }
    case Skew::TwoValues:
        for (auto &b : out)
            b = (rng() % 5 == 0) ? 0xFF : 0x00;
        break;
    case Skew::OneRare:
        std::fill(out.begin(), out.end(), std::uint8_t('x'));
        if (size > 1)
            out[rng() % size] = 'y';
        break;
    case Skew::Fibonacci: {
        // Counts 1, 1, 2, 3, 5, ... over as many values as fit: the deepest possible tree.
        std::vector<std::uint64_t> fib = {1, 1};
        while (true) {
            const std::uint64_t sum = std::accumulate(fib.begin(), fib.end(), std::uint64_t(0));
            if (sum + fib[fib.size() - 1] + fib[fib.size() - 2] > size || fib.size() == 255)
                break;
            fib.push_back(fib[fib.size() - 1] + fib[fib.size() - 2]);
        }
        std::size_t i = 0;
        for (std::size_t v = 0; v < fib.size(); ++v)
            for (std::uint64_t k = 0; k < fib[v] && i < size; ++k)
                out[i++] = std::uint8_t(v);
        for (; i < size; ++i)
            out[i] = std::uint8_t(fib.size() - 1);
        std::shuffle(out.begin(), out.end(), rng);
        break;
    }
    }
    return out;
}

// Packs bit strings ("0110...") least significant bit first.
void appendBits(Bytes &out, const std::vector<std::string> &codes)
{
    int pos = 0;
    std::uint8_t current = 0;
    for (const std::string &code : codes)
        for (char c : code) {
            if (c == '1')
                current |= std::uint8_t(1 << pos);
            if (++pos == 8) {
                out.push_back(current);
                current = 0;
                pos = 0;
            }
        }
    if (pos > 0)
        out.push_back(current);
}

// A hand-made HE3 stream: header, the given entries (value, code) in order, then the data.
Bytes handMade(std::uint8_t checksum, std::int32_t length,
               const std::vector<std::pair<int, std::string>> &entries,
               const std::vector<std::string> &data)
{
    Bytes out = {'H', 'E', '3', 0x0D, checksum};
    for (int k = 0; k < 4; ++k)
        out.push_back(std::uint8_t(std::uint32_t(length) >> (8 * k)));
    out.push_back(std::uint8_t(entries.size()));
    out.push_back(std::uint8_t(entries.size() >> 8));
    std::vector<std::string> codes;
    for (const auto &[value, code] : entries) {
        out.push_back(std::uint8_t(value));
        out.push_back(std::uint8_t(code.size()));
        codes.push_back(code);
    }
    appendBits(out, codes);
    appendBits(out, data);
    return out;
}

// A copy of the bytes that ends right where an unreadable page begins: reading one byte past
// the end faults, in a plain build too.
class GuardedCopy
{
  public:
    explicit GuardedCopy(const Bytes &bytes)
    {
        const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
        const std::size_t pages = (bytes.size() + page - 1) / page + 1;
        m_size = pages * page;
        void *base =
            ::mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) {
            m_size = 0;
            return;
        }
        m_base = static_cast<std::uint8_t *>(base);
        std::uint8_t *guard = m_base + m_size - page;
        ::mprotect(guard, page, PROT_NONE);
        m_data = guard - bytes.size();
        std::copy(bytes.begin(), bytes.end(), m_data);
        m_length = bytes.size();
    }
    ~GuardedCopy()
    {
        if (m_base)
            ::munmap(m_base, m_size);
    }
    GuardedCopy(const GuardedCopy &) = delete;
    GuardedCopy &operator=(const GuardedCopy &) = delete;

    bool valid() const { return m_base != nullptr; }
    std::span<const std::uint8_t> span() const { return {m_data, m_length}; }

  private:
    std::uint8_t *m_base = nullptr;
    std::uint8_t *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_length = 0;
};

// A short fingerprint of the stream and of the progress raised while writing and reading it.
QString fingerprint(const Bytes &stream, const std::vector<int> &encoded,
                    const std::vector<int> &decoded)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(
        QByteArrayView(reinterpret_cast<const char *>(stream.data()), qsizetype(stream.size())));
    for (const auto *list : {&encoded, &decoded})
        for (int p : *list)
            hash.addData(QByteArray::number(p) + ',');
    return QString::fromLatin1(hash.result().toHex().left(16));
}

} // namespace

class clsHuffmanTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void workedExamples_data();
    void workedExamples();
    void everyValueOnce();
    void knownStreams_data();
    void knownStreams();
    void handMadeCodesUpTo255Bits();
    void malformedStreams_data();
    void malformedStreams();
    void neverReadsPastTheStream_data();
    void neverReadsPastTheStream();
    void equalLengthCodes_data();
    void equalLengthCodes();
    void progressRoundsHalfToEven();
    void storedAndEmptyStreams();
    void bufferOperations();
    void tooLargeInputIsRefused();
    void fileOperations();
};

void clsHuffmanTest::workedExamples_data()
{
    QTest::addColumn<Bytes>("input");
    QTest::addColumn<QString>("stream");
    QTest::newRow("empty") << Bytes{} << QStringLiteral("48 45 30 0d");
    QTest::newRow("ab") << fromText("ab")
                        << QStringLiteral("48 45 33 0d 03 02 00 00 00 02 00 61 01 62 01 02 02");
    // Equal weights: a and b are paired first, c gets 0, a gets 1 0, b gets 1 1.
    QTest::newRow("abc") << fromText("abc")
                         << QStringLiteral(
                                "48 45 33 0d 60 03 00 00 00 03 00 61 02 62 02 63 01 0d 0d");
    const Bytes thousandA(1000, 'a');
    QTest::newRow("1000 a") << thousandA
                            << toHex(fromText("HE0\r")) + QLatin1Char(' ') + toHex(thousandA);
    // Weights 3, 1, 1: c replaces the heavier a, so c (zero) and b (one) are paired first;
    // a gets 0, b 1 1, c 1 0.
    QTest::newRow("aaabc") << fromText("aaabc")
                           << QStringLiteral(
                                  "48 45 33 0d 60 05 00 00 00 03 00 61 01 62 02 63 02 0e 38");
}

void clsHuffmanTest::workedExamples()
{
    QFETCH(Bytes, input);
    QFETCH(QString, stream);
    const Bytes encoded = encodeWith(input);
    QCOMPARE(toHex(encoded), stream);
    const Run back = decodeWith(encoded);
    QVERIFY2(back.bytes.has_value(), qPrintable(back.error));
    QCOMPARE(*back.bytes, input);
}

void clsHuffmanTest::everyValueOnce()
{
    Bytes input(256);
    std::iota(input.begin(), input.end(), 0);
    std::shuffle(input.begin(), input.end(), std::mt19937(7));
    const Bytes stream = encodeWith(input);
    QCOMPARE(stream.size(), std::size_t(1035)); // 11 + 512 + 256 + 256
    QCOMPARE(int(stream[9] | stream[10] << 8), 256);
    for (int v = 0; v < 256; ++v) {
        QCOMPARE(int(stream[11 + 2 * size_t(v)]), v);
        QCOMPARE(int(stream[12 + 2 * size_t(v)]), 8);
    }
    QCOMPARE(*decodeWith(stream).bytes, input);
}

void clsHuffmanTest::knownStreams_data()
{
    QTest::addColumn<Bytes>("input");
    QTest::addColumn<int>("longestCode");
    QTest::addColumn<QString>("fingerprint");
    // Fingerprints of the streams and progress of the plain bit-at-a-time model of the format
    // (fuzz/codec/HuffmanReference.h), which the fuzzers compare with the codec on any input.
    QTest::newRow("uniform 1") << makeInput(1, Skew::Uniform, 1) << 0 << "bac604fb6ed7910f";
    QTest::newRow("text 9") << makeInput(9, Skew::Text, 2) << 0 << "c26fecd0a0f754f8";
    QTest::newRow("two values 64") << makeInput(64, Skew::TwoValues, 3) << 0 << "be95d92765b8dce2";
    QTest::newRow("one rare 1001") << makeInput(1001, Skew::OneRare, 4) << 0 << "9e519143e4eebabe";
    QTest::newRow("geometric 9999")
        << makeInput(9999, Skew::Geometric, 5) << 0 << "db0d67223a6a7e3a";
    QTest::newRow("text 10001") << makeInput(10001, Skew::Text, 6) << 0 << "974cf0ca32897ab0";
    QTest::newRow("uniform 65537") << makeInput(65537, Skew::Uniform, 7) << 0 << "6590cb6a8b62005b";
    QTest::newRow("fibonacci 250000")
        << makeInput(250000, Skew::Fibonacci, 8) << 0 << "dc3aa04e8cb44207";
    // 32 values with Fibonacci counts (5.7 million bytes): codes of up to 31 bits.
    QTest::newRow("fibonacci 5702886")
        << makeInput(5702886, Skew::Fibonacci, 99) << 31 << QStringLiteral("dd0bedd2b33a7360");
}

// The stream is the format's byte for byte, the progress values are the ones the format's
// counting gives, and the input comes back.
void clsHuffmanTest::knownStreams()
{
    QFETCH(Bytes, input);
    QFETCH(int, longestCode);
    QFETCH(QString, fingerprint);
    std::vector<int> progress;
    const Bytes stream = encodeWith(input, &progress);
    const Run back = decodeWith(stream);
    QVERIFY2(back.bytes.has_value(), qPrintable(back.error));
    QVERIFY(*back.bytes == input);
    QCOMPARE(::fingerprint(stream, progress, back.progress), fingerprint);
    if (longestCode > 0) {
        int longest = 0;
        for (int i = 0; i < (stream[9] | stream[10] << 8); ++i)
            longest = std::max(longest, int(stream[12 + 2 * size_t(i)]));
        QCOMPARE(longest, longestCode);
    }
}

void clsHuffmanTest::handMadeCodesUpTo255Bits()
{
    // A chain: value v has v ones and a zero (v + 1 bits), value 255 has 255 ones. 511 nodes.
    std::vector<std::pair<int, std::string>> entries;
    for (int v = 0; v < 255; ++v)
        entries.emplace_back(v, std::string(size_t(v), '1') + "0");
    entries.emplace_back(255, std::string(255, '1'));
    Bytes expected;
    std::vector<std::string> data;
    std::mt19937 rng(3);
    std::uint8_t checksum = 0;
    for (int i = 0; i < 3000; ++i) {
        const int v = (i < 256) ? 255 - i : int(rng() % 256);
        expected.push_back(std::uint8_t(v));
        checksum ^= std::uint8_t(v);
        data.push_back(entries[size_t(v)].second);
    }
    const Bytes stream = handMade(checksum, std::int32_t(expected.size()), entries, data);
    const Run run = decodeWith(stream);
    QVERIFY2(run.bytes.has_value(), qPrintable(run.error));
    QVERIFY(*run.bytes == expected);
    QCOMPARE(run.progress, (std::vector<int>{17, 33, 50, 67, 84, 89, 100}));

    // 255 zeros, 255 ones, then a branch off the zeros' path: more than 512 nodes.
    const Bytes tooBig = handMade(
        0, 1,
        {{0, std::string(255, '0')}, {1, std::string(255, '1')}, {2, "0" + std::string(254, '1')}},
        {"0"});
    QCOMPARE(decodeWith(tooBig).error, QStringLiteral("corrupt"));
}

void clsHuffmanTest::malformedStreams_data()
{
    QTest::addColumn<Bytes>("stream");
    QTest::addColumn<QString>("error");
    const QString corrupt = QStringLiteral("corrupt");

    Bytes id5 = fromText("HE5\r");
    id5.insert(id5.end(), 20, 0x11);
    QTest::newRow("HE5 identification") << id5 << QStringLiteral("identification");
    Bytes badChecksum = encodeWith(makeInput(50000, Skew::Text, 5));
    badChecksum[4] ^= 0x40;
    QTest::newRow("checksum changed") << badChecksum << QStringLiteral("checksum");
    QTest::newRow("code length 0")
        << fromHex(QStringLiteral("48 45 33 0d 03 02 00 00 00 02 00 61 01 62 00 02 02")) << corrupt;
    QTest::newRow("header cut") << fromHex(QStringLiteral("48 45 33 0d 03 02 00")) << corrupt;
    QTest::newRow("entries cut") << fromHex(
                                        QStringLiteral("48 45 33 0d 03 02 00 00 00 02 00 61 01"))
                                 << corrupt;
    QTest::newRow("code table cut")
        << fromHex(QStringLiteral("48 45 33 0d 03 02 00 00 00 02 00 61 05 62 05")) << corrupt;
    QTest::newRow("negative N") << fromHex(QStringLiteral(
                                       "48 45 33 0d 03 02 00 00 00 fe ff 61 01 62 01 02 02"))
                                << corrupt;
    QTest::newRow("negative length")
        << fromHex(QStringLiteral("48 45 33 0d 03 02 00 00 80 02 00 61 01 62 01 02 02")) << corrupt;
    // Only "a" has a code (0): a 1 bit leads nowhere.
    QTest::newRow("code not in tree") << handMade('a', 2, {{'a', "0"}}, {"0", "1"}) << corrupt;
    // "abc" claiming 7 bytes: the padding decodes as c, c, c and the input ends after 6 bytes.
    QTest::newRow("ends early, checksum differs")
        << fromHex(QStringLiteral("48 45 33 0d 60 07 00 00 00 03 00 61 02 62 02 63 01 0d 0d"))
        << QStringLiteral("checksum");
    // The same with a checksum that fits the 6 bytes: still refused, never padded with zeros.
    QTest::newRow("ends early, checksum fits")
        << fromHex(QStringLiteral("48 45 33 0d 03 07 00 00 00 03 00 61 02 62 02 63 01 0d 0d"))
        << QStringLiteral("truncated");
    QTest::newRow("empty input") << Bytes{} << corrupt;
}

void clsHuffmanTest::malformedStreams()
{
    QFETCH(Bytes, stream);
    QFETCH(QString, error);
    std::vector<std::uint8_t> buffer = stream;
    clsHuffman codec;
    try {
        codec.DecodeByte(buffer, std::int64_t(buffer.size()));
        QFAIL("decoding succeeded");
    } catch (const CodecError &e) {
        QCOMPARE(e.number(), kCodecErrorNumber);
        QCOMPARE(QString::fromStdString(e.source()), error == QLatin1String("identification")
                                                         ? QStringLiteral("HuffmanDecode()")
                                                         : QStringLiteral("clsHuffman.Decode()"));
        QCOMPARE(kindOf(e), error);
        if (error == QLatin1String("identification"))
            QCOMPARE(e.description(), std::string("The data either was not compressed with HE3 or "
                                                  "is corrupt (identification string not found)"));
        if (error == QLatin1String("checksum"))
            QCOMPARE(
                e.description(),
                std::string("The data might be corrupted (checksum did not match expected value)"));
    }
    QVERIFY(buffer == stream); // the caller's buffer keeps the stream
}

void clsHuffmanTest::neverReadsPastTheStream_data()
{
    QTest::addColumn<Bytes>("input");
    QTest::addColumn<int>("claimedExtra"); // added to the length the stream claims
    QTest::addColumn<int>("cut");          // bytes cut off the end of the stream
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("progress"); // fingerprint of the progress raised
    QTest::newRow("short codes")
        << makeInput(50000, Skew::TwoValues, 5) << 0 << 0 << "" << "374b0aafeac7c062";
    QTest::newRow("short codes, longer claim")
        << makeInput(50000, Skew::TwoValues, 6) << 1000 << 0 << "truncated" << "e9d94097825f20d9";
    QTest::newRow("text, longer claim")
        << makeInput(40000, Skew::Text, 7) << 5000 << 0 << "checksum" << "489f85dabcf65d71";
    QTest::newRow("text, cut")
        << makeInput(40000, Skew::Text, 8) << 0 << 3 << "checksum" << "a6d8a42cf97aad3c";
    QTest::newRow("long codes, longer claim")
        << makeInput(200000, Skew::Fibonacci, 9) << 700 << 0 << "checksum" << "c3fc7a046823df80";
    QTest::newRow("long codes, cut")
        << makeInput(200000, Skew::Fibonacci, 10) << 0 << 17 << "checksum" << "fc72894528397772";
    QTest::newRow("geometric") << makeInput(30000, Skew::Geometric, 11) << 0 << 0 << QString()
                               << QStringLiteral("4f4d13213e657d32");
}

// The fast paths read ahead in whole words; near the end of the input they must stop short
// of it (the page after it is unreadable), whatever length the stream claims.
void clsHuffmanTest::neverReadsPastTheStream()
{
    QFETCH(Bytes, input);
    QFETCH(int, claimedExtra);
    QFETCH(int, cut);
    QFETCH(QString, error);
    QFETCH(QString, progress);
    Bytes stream = encodeWith(input);
    QCOMPARE(stream[2], std::uint8_t('3'));
    const std::uint32_t claimed = std::uint32_t(input.size()) + std::uint32_t(claimedExtra);
    for (int k = 0; k < 4; ++k)
        stream[5 + size_t(k)] = std::uint8_t(claimed >> (8 * k));
    stream.resize(stream.size() - size_t(cut));

    const GuardedCopy guarded(stream);
    QVERIFY(guarded.valid());
    Run run;
    clsHuffman codec;
    codec.setProgressHandler([&](int p) { run.progress.push_back(p); });
    try {
        run.bytes = codec.decode(guarded.span());
    } catch (const CodecError &e) {
        run.error = kindOf(e);
    }
    QCOMPARE(run.error, error);
    QCOMPARE(fingerprint({}, {}, run.progress), progress);
    QCOMPARE(run.bytes.has_value(), error.isEmpty());
    if (run.bytes)
        QVERIFY(*run.bytes == input);
}

void clsHuffmanTest::equalLengthCodes_data()
{
    QTest::addColumn<int>("bits");               // every code has this length
    QTest::addColumn<int>("values");             // values 0 to values - 1 have a code
    QTest::addColumn<int>("count");              // bytes of output
    QTest::addColumn<int>("used");               // the data uses values 0 to used - 1
    QTest::addColumn<QString>("progress");       // fingerprint of the progress decoding it
    QTest::addColumn<QString>("brokenProgress"); // the same with a code not in the table
    QTest::newRow("7 bits, full tree") << 7 << 128 << 60000 << 128 << "ccd32bff7088bdf6" << "";
    QTest::newRow("8 bits, full tree") << 8 << 256 << 60000 << 256 << "fe73fbde25e53f44" << "";
    QTest::newRow("5 bits, full tree") << 5 << 32 << 90000 << 32 << "65f7fdfdd3d6df45" << "";
    QTest::newRow("7 bits, tree with gaps")
        << 7 << 100 << 60000 << 100 << "fc5dd63eac74f257" << "817d812b7e23a6f2";
    QTest::newRow("9 bits, few used")
        << 9 << 300 << 40000 << 3 << "721319f2e03483f7" << "c585cc66249ab22a";
    QTest::newRow("14 bits, long codes")
        << 14 << 64 << 30000 << 64 << QStringLiteral("a30a5f73a577b6db")
        << QStringLiteral("817d812b7e23a6f2");
}

// Codes of one length never fall back into step when read from a point inside a code, and
// a tree with gaps has bit patterns that are not codes: a decoder that guesses where codes
// start must notice both and still give the values, errors and progress of the format.
void clsHuffmanTest::equalLengthCodes()
{
    QFETCH(int, bits);
    QFETCH(int, values);
    QFETCH(int, count);
    QFETCH(int, used);
    QFETCH(QString, progress);
    QFETCH(QString, brokenProgress);
    values = std::min(values, 256);
    std::vector<std::pair<int, std::string>> entries;
    for (int v = 0; v < values; ++v) {
        std::string code;
        for (int k = bits - 1; k >= 0; --k)
            code.push_back(((v >> k) & 1) ? '1' : '0');
        entries.emplace_back(v, code);
    }
    std::mt19937 rng(std::uint32_t(bits * 1000 + values));
    Bytes expected;
    std::vector<std::string> data;
    std::uint8_t checksum = 0;
    for (int i = 0; i < count; ++i) {
        const int v = int(rng() % std::uint32_t(std::min(used, values)));
        expected.push_back(std::uint8_t(v));
        checksum ^= std::uint8_t(v);
        data.push_back(entries[size_t(v)].second);
    }
    const Bytes stream = handMade(checksum, count, entries, data);
    const Run run = decodeWith(stream);
    QVERIFY2(run.bytes.has_value(), qPrintable(run.error));
    QVERIFY(*run.bytes == expected);
    QCOMPARE(fingerprint({}, {}, run.progress), progress);

    // A code that is not in the table near the end: corrupt, after the same progress.
    if (values < (1 << bits)) {
        data[size_t(count) - 20] = std::string(size_t(bits), '1');
        const Run bad = decodeWith(handMade(checksum, count, entries, data));
        QCOMPARE(bad.error, QStringLiteral("corrupt"));
        QCOMPARE(fingerprint({}, {}, bad.progress), brokenProgress);
    }
}

void clsHuffmanTest::progressRoundsHalfToEven()
{
    // 14000 bytes: counting gives 0.5, 1, 1.5, 2, 2.5, ... which round to 0, 1, 2, 2, 2, ...
    const Bytes input = makeInput(14000, Skew::Text, 8);
    std::vector<int> progress;
    const Bytes stream = encodeWith(input, &progress);
    QCOMPARE(stream[2], std::uint8_t('3'));
    QCOMPARE(progress, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 11, 12, 75, 100}));

    // Decoding: after stream byte 10000 (when the stream is that long) 10000 / size x 89,
    // then 89 and 10000 / 14000 x 11 + 89 while verifying, then 100.
    const Run back = decodeWith(stream);
    QVERIFY(back.bytes == input);
    std::vector<int> expected;
    if (stream.size() >= 10000)
        expected.push_back(int(std::nearbyint(10000.0 / double(stream.size()) * 89)));
    expected.insert(expected.end(), {89, 97, 100});
    QCOMPARE(back.progress, expected);
}
void clsHuffmanTest::storedAndEmptyStreams()
{
    std::vector<int> progress;
    clsHuffman codec;
    codec.setProgressHandler([&](int p) { progress.push_back(p); });
    QVERIFY(codec.decode(fromText("HE0\rtow truck")) == fromText("tow truck"));
    QVERIFY(codec.decode(fromText("HE0\r")).empty());
    QVERIFY(progress.empty()); // decoding a stored stream raises nothing
    QVERIFY(codec.encode({}) == fromText("HE0\r"));
    QVERIFY(progress.empty()); // nor does encoding empty input
    // One repeated value is stored after counting: no checksum, packing or final event.
    QVERIFY(codec.encode(Bytes(5000, 'q')) == [] {
        Bytes b = fromText("HE0\r");
        b.insert(b.end(), 5000, 'q');
        return b;
    }());
    QCOMPARE(progress, (std::vector<int>{1, 3, 4, 6}));
    progress.clear();

    // A stream whose bytes 0, 1 and 3 are not H, E, CR is read as HE3 without a test.
    Bytes unmarked = encodeWith(fromText("ab"));
    unmarked[0] = 'X';
    unmarked[3] = 'Y';
    QVERIFY(*decodeWith(unmarked).bytes == fromText("ab"));
    // A claimed length of 0 leaves the buffer as it was.
    const Bytes zeroLength = fromHex(QStringLiteral("48 45 33 0d 00 00 00 00 00 99 99"));
    QVERIFY(*decodeWith(zeroLength).bytes == zeroLength);
}

void clsHuffmanTest::bufferOperations()
{
    clsHuffman codec;
    // Only the first ByteLen bytes count; the buffer becomes the stream, sized exactly.
    Bytes buffer = fromText("abXYZ");
    codec.EncodeByte(buffer, 2);
    QCOMPARE(toHex(buffer), QStringLiteral("48 45 33 0d 03 02 00 00 00 02 00 61 01 62 01 02 02"));
    buffer.push_back(0xEE); // trailing bytes beyond ByteLen are ignored
    codec.DecodeByte(buffer, std::int64_t(buffer.size()) - 1);
    QVERIFY(buffer == fromText("ab"));

    Bytes outside = fromText("abc");
    QVERIFY_THROWS_EXCEPTION(CodecError, codec.EncodeByte(outside, 4));
    QVERIFY_THROWS_EXCEPTION(CodecError, codec.DecodeByte(outside, -1));
    QVERIFY(outside == fromText("abc"));

    std::string text("Tow\0yard \xff\x80 records, records, records", 34);
    const std::string packed = codec.EncodeString(text);
    QCOMPARE(packed.substr(0, 4), std::string("HE3\r"));
    QCOMPARE(codec.DecodeString(packed), text);
}

void clsHuffmanTest::tooLargeInputIsRefused()
{
    clsHuffman codec;
    const std::uint8_t tiny[16] = {};
    // The length is checked before a single byte is read.
    const std::span<const std::uint8_t> huge(tiny, std::size_t(clsHuffman::kMaxInputLength) + 1);
    try {
        codec.encode(huge);
        QFAIL("a 2 GiB input was accepted");
    } catch (const CodecError &e) {
        QCOMPARE(e.number(), kCodecErrorNumber);
        QVERIFY(e.description().find("too large") != std::string::npos);
    }
    Bytes buffer = fromText("abc");
    QVERIFY_THROWS_EXCEPTION(CodecError, codec.EncodeByte(buffer, clsHuffman::kMaxInputLength + 1));
    QVERIFY(buffer == fromText("abc"));

    // A sparse file of 2 GiB costs no disk; it is refused before it is read.
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.db"));
    QFile file(big);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(clsHuffman::kMaxInputLength + 1));
    file.close();
    const QString dest = dir.filePath(QStringLiteral("backup.tow"));
    try {
        codec.EncodeFile(big.toStdString(), dest.toStdString());
        QFAIL("a 2 GiB file was accepted");
    } catch (const CodecError &e) {
        QCOMPARE(QString::fromStdString(e.source()), QStringLiteral("clsHuffman.EncodeFile()"));
        QVERIFY(e.description().find("too large") != std::string::npos);
    }
    QVERIFY(!QFile::exists(dest));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

void clsHuffmanTest::fileOperations()
{
    QTemporaryDir dir;
    const std::string source = dir.filePath(QStringLiteral("data.dll")).toStdString();
    const std::string packed = dir.filePath(QStringLiteral("backup.tow")).toStdString();
    const std::string restored = dir.filePath(QStringLiteral("restored.dll")).toStdString();
    clsHuffman codec;

    // Whole round trips and a corrupt stream through the files: the pack tool's test.
    try {
        codec.EncodeFile(source, packed);
        QFAIL("a missing source was accepted");
    } catch (const CodecError &e) {
        QCOMPARE(e.number(), kCodecErrorNumber);
        QCOMPARE(e.source(), std::string("clsHuffman.EncodeFile()"));
        QCOMPARE(e.description(), std::string("Source file does not exist"));
    }
    QVERIFY(!QFile::exists(QString::fromStdString(packed)));
    try {
        codec.DecodeFile(packed, restored);
        QFAIL("a missing source was accepted");
    } catch (const CodecError &e) {
        QCOMPARE(e.source(), std::string("clsHuffman.DecodeFile()"));
        QCOMPARE(e.description(), std::string("Source file does not exist"));
    }

    // A destination in a folder that does not exist: path not found, nothing written.
    test::writeFile(QString::fromStdString(source), "abcabc");
    try {
        codec.EncodeFile(source, dir.filePath(QStringLiteral("gone/backup.tow")).toStdString());
        QFAIL("wrote into a missing folder");
    } catch (const CodecError &e) {
        QCOMPARE(e.number(), kErrPathNotFound);
    }
}

QTEST_GUILESS_MAIN(clsHuffmanTest)
#include "clsHuffman_test.moc"
