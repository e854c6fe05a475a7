#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <numeric>
#include <random>

#include "TestFiles.h"
#include "Sha256.h"
#include "clsHuffman.h"

using namespace tarnvale;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes fromText(const char *text)
{
    return Bytes(text, text + std::strlen(text));
}

Bytes fromHex(const char *hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return Bytes(raw.begin(), raw.end());
}

QString toHex(const Bytes &bytes)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()))
            .toHex(' '));
}

// The kind of failure, when its number, source and description are the format's.
QString kindOf(const CodecError &e)
{
    const QString text = QString::fromStdString(e.source() + ": " + e.description());
    const std::pair<const char *, const char *> kinds[] = {
        {"identification", "HuffmanDecode(): The data either was not compressed with HE3 or is "
                           "corrupt (identification string not found)"},
        {"checksum", "clsHuffman.Decode(): The data might be corrupted (checksum did not match "
                     "expected value)"},
        {"truncated", "clsHuffman.Decode(): The data might be corrupted (the stream ended after "},
        {"corrupt", "clsHuffman.Decode(): The data is corrupt ("}};
    for (const auto &[kind, start] : kinds)
        if (e.number() == kCodecErrorNumber && text.startsWith(QLatin1String(start)))
            return QLatin1String(kind);
    return text;
}

struct Run
{
    std::optional<Bytes> bytes;
    QString error;
    QStringList progress; // the values raised
};

// Over-reads past the end of the stream are the codec fuzzers' (built with AddressSanitizer).
Run decodeRun(const Bytes &stream, bool file = false)
{
    Run run;
    clsHuffman codec;
    codec.setProgressHandler([&](int p) { run.progress << QString::number(p); });
    try {
        const std::span<const std::uint8_t> bytes(stream.data(), stream.size());
        run.bytes = file ? codec.decodeFileBytes(bytes) : codec.decode(bytes);
    } catch (const CodecError &e) {
        run.error = kindOf(e);
    }
    return run;
}

Bytes encodeWith(const Bytes &input, QStringList *progress = nullptr)
{
    clsHuffman codec;
    if (progress)
        codec.setProgressHandler([progress](int p) { *progress << QString::number(p); });
    return codec.encode(input);
}

enum class Skew { Text, TwoValues, Fibonacci, EveryValueOnce };

Bytes makeInput(std::size_t size, Skew skew, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out(size);
    switch (skew) {
    case Skew::Text: {
        const char *words[] = {"Tow ", "Ford ", "Main St ", "12.50 ", "\r\n", "IMPOUND ", "a", "e"};
        for (std::size_t i = 0; i < size;)
            for (const char *w = words[rng() % 8]; *w && i < size; ++w)
                out[i++] = std::uint8_t(*w);
        break;
    }
    case Skew::TwoValues:
        for (auto &b : out)
            b = (rng() % 5 == 0) ? 0xFF : 0x00;
        break;
    case Skew::Fibonacci: {
        // Counts 1, 1, 2, 3, 5, ... over as many values as fit: the deepest possible tree.
        std::vector<std::uint64_t> fib = {1, 1};
        while (fib.size() < 255) {
            const std::uint64_t next = fib[fib.size() - 1] + fib[fib.size() - 2];
            if (std::accumulate(fib.begin(), fib.end(), std::uint64_t(0)) + next > size)
                break;
            fib.push_back(next);
        }
        std::size_t i = 0;
        for (std::size_t v = 0; v < fib.size(); ++v)
            for (std::uint64_t k = 0; k < fib[v] && i < size; ++k)
                out[i++] = std::uint8_t(v);
        std::fill(out.begin() + std::ptrdiff_t(i), out.end(), std::uint8_t(fib.size() - 1));
        std::shuffle(out.begin(), out.end(), rng);
        break;
    }
    case Skew::EveryValueOnce:
        std::iota(out.begin(), out.end(), 0);
        std::shuffle(out.begin(), out.end(), rng);
        break;
    }
    return out;
}

// A hand-made HE3 stream: header, the entries (value, code as "0110...") in order, then the
// data codes; bits packed least significant first, table and data as two runs.
struct HandMade
{
    Bytes stream;
    Bytes expected;
};

HandMade handMade(const std::vector<std::pair<int, std::string>> &entries,
                  const std::vector<int> &values, std::int32_t length = -1)
{
    HandMade made;
    std::uint8_t checksum = 0;
    for (int v : values)
        checksum ^= made.expected.emplace_back(std::uint8_t(v));
    if (length < 0)
        length = std::int32_t(values.size());
    Bytes &out = made.stream;
    out = {'H', 'E', '3', 0x0D, checksum};
    for (int k = 0; k < 4; ++k)
        out.push_back(std::uint8_t(std::uint32_t(length) >> (8 * k)));
    out.push_back(std::uint8_t(entries.size()));
    out.push_back(std::uint8_t(entries.size() >> 8));
    for (const auto &[value, code] : entries)
        out.insert(out.end(), {std::uint8_t(value), std::uint8_t(code.size())});
    int pos = 0;
    auto pack = [&out, &pos](const std::string &code) {
        for (char c : code) {
            if (pos == 0)
                out.push_back(0);
            out.back() |= std::uint8_t(c == '1') << pos;
            pos = (pos + 1) % 8;
        }
    };
    for (const auto &entry : entries)
        pack(entry.second);
    pos = 0;             // the data starts on a byte of its own
    for (int v : values) // entry v holds value v; above 255: v / 256 ones, no entry's code
        pack(v > 255 ? std::string(size_t(v >> 8), '1') : entries[size_t(v)].second);
    return made;
}

// A short fingerprint of the stream and of the progress raised while writing and reading it.
QString fingerprint(const Bytes &stream, const QStringList &encoded, const QStringList &decoded)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(
        QByteArrayView(reinterpret_cast<const char *>(stream.data()), qsizetype(stream.size())));
    for (const auto *list : {&encoded, &decoded})
        for (const QString &p : *list)
            hash.addData(p.toLatin1() + ',');
    return QString::fromLatin1(hash.result().toHex().left(16));
}

} // namespace

class clsHuffmanTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void roundTrips_data();
    void roundTrips();
    void decoding_data();
    void decoding();
    void buffersStringsAndLimits();
    void checkedFiles();
    void fileFailures();
};

void clsHuffmanTest::roundTrips_data()
{
    QTest::addColumn<Bytes>("input");
    // The stream in hex, or a fingerprint of the stream and of the progress raised encoding
    // and decoding it, from the plain bit-at-a-time model of the format in the codec's fuzzers.
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << Bytes{} << "48 45 30 0d";
    QTest::newRow("ab") << fromText("ab") << "48 45 33 0d 03 02 00 00 00 02 00 61 01 62 01 02 02";
    // Equal weights: a and b are paired first, c gets 0, a gets 1 0, b gets 1 1.
    // clang-format off
    QTest::newRow("abc") << fromText("abc") << "48 45 33 0d 60 03 00 00 00 03 00 61 02 62 02 63 01 0d 0d";
    // Weights 3, 1, 1: c replaces the heavier a, so c (zero) and b (one) are paired first;
    // a gets 0, b 1 1, c 1 0.
    QTest::newRow("aaabc") << fromText("aaabc") << "48 45 33 0d 60 05 00 00 00 03 00 61 01 62 02 63 02 0e 38";
    // Packed bits would not be smaller: stored.
    const Bytes thousandA(1000, 'a');
    QTest::newRow("1000 a") << thousandA << "48 45 30 0d " + toHex(thousandA);
    // One repeated value is stored after counting: progress 1, 3, 4, 6, none decoding.
    QTest::newRow("5000 q") << Bytes(5000, 'q') << "487bc0bfa6ebac25";
    // 256 entries of 8 bits each: 1035 bytes.
    QTest::newRow("every value once") << makeInput(256, Skew::EveryValueOnce, 7) << "5ec3692682c72b0e";
    // Counting gives 0.5, 1, 1.5, 2, 2.5, ... rounded half to even: 1, 2, ... 7, 11, 12, 75, 100;
    // decoding 89, 97, 100.
    QTest::newRow("text 14000") << makeInput(14000, Skew::Text, 8) << "26765d9fb686d6a4";
    // Fibonacci counts over 18 and 26 values: codes of up to 17 and 25 bits.
    QTest::newRow("fibonacci 6764") << makeInput(6764, Skew::Fibonacci, 98) << "cbb35681c3fe2de1";
    QTest::newRow("fibonacci 317810") << makeInput(317810, Skew::Fibonacci, 97) << "2509b2d38f4ed175";
    // 32 values with Fibonacci counts (5.7 million bytes): codes of up to 31 bits.
    QTest::newRow("fibonacci 5702886") << makeInput(5702886, Skew::Fibonacci, 99) << "dd0bedd2b33a7360";
    // clang-format on
}

void clsHuffmanTest::roundTrips()
{
    QFETCH(Bytes, input);
    QFETCH(QString, expected);
    QStringList progress;
    const Bytes stream = encodeWith(input, &progress);
    const Run back = decodeRun(stream);
    QVERIFY2(back.bytes == input, qPrintable(back.error));
    QCOMPARE(expected.contains(u' ') ? toHex(stream) : fingerprint(stream, progress, back.progress),
             expected);
}

void clsHuffmanTest::decoding_data()
{
    QTest::addColumn<Bytes>("stream");
    QTest::addColumn<Bytes>("expected");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("progress"); // the values raised; null: not checked
    auto failing = [](const char *name, const Bytes &stream, const QString &error) {
        QTest::newRow(name) << stream << Bytes{} << error << QString();
    };
    Bytes id5 = fromText("HE5\r");
    id5.insert(id5.end(), 20, 0x11);
    failing("HE5 identification", id5, "identification");
    Bytes badChecksum = encodeWith(makeInput(50000, Skew::Text, 5));
    badChecksum[4] ^= 0x40;
    failing("checksum changed", badChecksum, "checksum");
    // clang-format off
    failing("code length 0", fromHex("48 45 33 0d 03 02 00 00 00 02 00 61 01 62 00 02 02"), "corrupt");
    failing("header cut", fromHex("48 45 33 0d 03 02 00"), "corrupt");
    failing("code table cut", fromHex("48 45 33 0d 03 02 00 00 00 02 00 61 05 62 05"), "corrupt");
    failing("negative N", fromHex("48 45 33 0d 03 02 00 00 00 fe ff 61 01 62 01 02 02"), "corrupt");
    // Only 0 has a code (0): a 1 bit leads nowhere.
    failing("code not in tree", handMade({{0, "0"}}, {0, 1 << 8}).stream, "corrupt");
    // "abc" claiming 7 bytes: the padding decodes as c, c, c and the input ends after 6 bytes.
    failing("ends early, checksum differs", fromHex("48 45 33 0d 60 07 00 00 00 03 00 61 02 62 02 63 01 0d 0d"), "checksum");
    // The same with a checksum that fits the 6 bytes: still refused, never padded with zeros.
    failing("ends early, checksum fits", fromHex("48 45 33 0d 03 07 00 00 00 03 00 61 02 62 02 63 01 0d 0d"), "truncated");
    failing("empty input", Bytes{}, "corrupt");
    // What cannot be an HE3 stream: codes that do not fill a tree, data not ending with its codes.
    failing("zip file", fromHex("50 4b 03 04 14 00 00 00 00 00 2a 61 86 59 00 00 00 00 0c 00 00 00 61 2e 74 78 74"), "corrupt");
    failing("length 0 before data", fromHex("48 45 33 0d 00 00 00 00 00 99 99 12"), "corrupt");
    failing("values out of order", fromHex("48 45 33 0d 03 02 00 00 00 02 00 62 01 61 01 02 02"), "corrupt");
    failing("one value", fromHex("48 45 33 0d 61 01 00 00 00 01 00 61 01 00 00"), "corrupt");
    failing("lengths leave a gap", fromHex("48 45 33 0d 03 02 00 00 00 02 00 61 01 62 02 02 02"), "corrupt");
    failing("same code twice", fromHex("48 45 33 0d 60 03 00 00 00 03 00 61 02 62 02 63 01 0c 0d"), "corrupt");
    failing("data goes on", fromHex("48 45 33 0d 03 02 00 00 00 02 00 61 01 62 01 02 02 00"), "corrupt");
    failing("padding bits set", fromHex("48 45 33 0d 03 02 00 00 00 02 00 61 01 62 01 02 06"), "corrupt");
    // clang-format on
    // 255 zeros, 255 ones, then a branch off the zeros' path: more than 512 nodes.
    const HandMade over512 = handMade(
        {{0, std::string(255, '0')}, {1, std::string(255, '1')}, {2, "0" + std::string(254, '1')}},
        {0});
    failing("tree over 512 nodes", over512.stream, "corrupt");

    auto good = [](const char *name, const Bytes &stream, const Bytes &expected,
                   const char *progress) {
        QTest::newRow(name) << stream << expected << QString() << QString::fromLatin1(progress);
    };
    good("stored", fromText("HE0\rtow truck"), fromText("tow truck"), "");
    good("stored, empty", fromText("HE0\r"), Bytes{}, "");
    // Bytes 0, 1 and 3 other than H, E, CR: read as HE3 without a test.
    good("unmarked", fromHex("58 45 33 59 03 02 00 00 00 02 00 61 01 62 01 02 02"), fromText("ab"),
         "89,100");
    // A claimed length of 0 leaves the buffer as it was.
    const Bytes zero = fromHex("48 45 33 0d 00 00 00 00 00 99 99");
    good("length 0", zero, zero, "");
    // A chain: value v has v ones and a zero, value 255 has 255 ones; 511 nodes.
    {
        std::vector<std::pair<int, std::string>> chain;
        for (int v = 0; v < 255; ++v)
            chain.emplace_back(v, std::string(size_t(v), '1') + "0");
        chain.emplace_back(255, std::string(255, '1'));
        std::vector<int> values;
        std::mt19937 rng(3);
        for (int i = 0; i < 3000; ++i)
            values.push_back(i < 256 ? 255 - i : int(rng() % 256));
        const HandMade made = handMade(chain, values);
        good("codes up to 255 bits", made.stream, made.expected, "17,33,50,67,84,89,100");
    }
    // The fast paths read ahead in whole words; near the end of the input they stop short of it.
    Bytes longer = encodeWith(makeInput(50000, Skew::TwoValues, 6));
    longer[5] = 0x38, longer[6] = 0xC7; // claims 51000 bytes, not 50000
    QTest::newRow("short codes, longer claim") << longer << Bytes{} << "truncated"
                                               << "89,91,93,95,98";
}

void clsHuffmanTest::decoding()
{
    QFETCH(Bytes, stream);
    QFETCH(Bytes, expected);
    QFETCH(QString, error);
    QFETCH(QString, progress);
    const Run run = decodeRun(stream);
    QCOMPARE(run.error, error);
    if (!progress.isNull())
        QCOMPARE(run.progress.join(u','), progress);
    if (error.isEmpty())
        QVERIFY(run.bytes == expected);
    else { // the caller's buffer keeps the stream
        Bytes buffer = stream;
        QVERIFY_THROWS_EXCEPTION(CodecError,
                                 clsHuffman().DecodeByte(buffer, std::int64_t(buffer.size())));
        QVERIFY(buffer == stream);
    }
}

void clsHuffmanTest::buffersStringsAndLimits()
{
    clsHuffman codec;
    // Only the first ByteLen bytes count; the buffer becomes the stream, sized exactly.
    Bytes buffer = fromText("abXYZ");
    codec.EncodeByte(buffer, 2);
    QCOMPARE(toHex(buffer), QStringLiteral("48 45 33 0d 03 02 00 00 00 02 00 61 01 62 01 02 02"));
    buffer.push_back(0xEE); // trailing bytes beyond ByteLen are ignored
    codec.DecodeByte(buffer, std::int64_t(buffer.size()) - 1);
    QVERIFY(buffer == fromText("ab"));

    // A length outside the buffer or beyond what the stream can describe leaves it as it was;
    // the length is checked before a single byte is read.
    Bytes outside = fromText("abc");
    QVERIFY_THROWS_EXCEPTION(CodecError, codec.EncodeByte(outside, 4));
    QVERIFY_THROWS_EXCEPTION(CodecError, codec.DecodeByte(outside, -1));
    QVERIFY_THROWS_EXCEPTION(CodecError,
                             codec.EncodeByte(outside, clsHuffman::kMaxInputLength + 1));
    QVERIFY(outside == fromText("abc"));
    // The whole buffer is a length within it; one byte more is not.
    Bytes whole = fromText("abc");
    codec.EncodeByte(whole, 3);
    const Bytes packedWhole = whole;
    QVERIFY_THROWS_EXCEPTION(CodecError, codec.DecodeByte(whole, std::int64_t(whole.size()) + 1));
    QVERIFY(whole == packedWhole);
    codec.DecodeByte(whole, std::int64_t(whole.size()));
    QVERIFY(whole == fromText("abc"));

    std::string text("Tow\0yard \xff\x80 records, records, records", 34);
    const std::string packed = codec.EncodeString(text);
    QVERIFY(packed.substr(0, 4) == std::string("HE3\r") && codec.DecodeString(packed) == text);
}

void clsHuffmanTest::checkedFiles()
{
    // The check's digest is SHA-256 itself, over every length around the block boundaries.
    const Bytes text = makeInput(200000, Skew::Text, 12);
    for (std::size_t n : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 200000}) {
        const QByteArray bytes(reinterpret_cast<const char *>(text.data()), qsizetype(n));
        const auto check = clsHuffman::checkOf(std::span(text.data(), n));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(check.data()), 32),
                 QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
    }
    // Given in pieces of every size, pieces that fill a block exactly among them.
    std::mt19937 pieces(5);
    for (int round = 0; round < 200; ++round) {
        const std::size_t n = round < 4 ? std::size_t(64 * (round + 1)) : pieces() % 700;
        Sha256 hash;
        for (std::size_t at = 0; at < n;) {
            const std::size_t take = std::min<std::size_t>(
                n - at, round % 2 ? (at == 0 ? 1 + pieces() % 63 : 64 - at % 64) : pieces() % 130);
            hash.add(std::span(text.data() + at, take));
            at += take;
        }
        const auto digest = hash.digest();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(digest.data()), 32),
                 QCryptographicHash::hash(QByteArray(reinterpret_cast<const char *>(text.data()), qsizetype(n)),
                                          QCryptographicHash::Sha256));
    }
    // A backup file with one byte changed decodes to the bytes saved or is refused, wherever
    // the byte is and in whichever form (compressed, or stored: "1000 a" and an empty file).
    QTemporaryDir dir;
    const std::string source = dir.filePath("data.dll").toStdString();
    const std::string packed = dir.filePath("backup.tow").toStdString();
    int accepted = 0, flips = 0;
    for (const Bytes &saved : {makeInput(60000, Skew::Text, 13), Bytes(1000, 'a'), Bytes{}}) {
        test::writeFile(QString::fromStdString(source), QByteArray(reinterpret_cast<const char *>(saved.data()), qsizetype(saved.size())));
        clsHuffman().EncodeFile(source, packed);
        const QByteArray file = test::readFile(QString::fromStdString(packed));
        const Bytes stream(file.begin(), file.end());
        std::mt19937 rng(21);
        for (std::size_t i = 0; i < 24 + 300; ++i, ++flips) {
            Bytes changed = stream;
            const std::size_t at = i < 24 ? i % 12 + (i < 12 ? 0 : stream.size() - 12)
                                          : rng() % stream.size();
            changed[at] ^= i == 2 ? '3' ^ '0' : std::uint8_t(1 + rng() % 255);
            const Run run = decodeRun(changed, true);
            QVERIFY2(!run.bytes || *run.bytes == saved, qPrintable(QString::number(at)));
            accepted += run.bytes.has_value();
        }
        QVERIFY(decodeRun(stream, true).bytes == saved);
    }
    qInfo("%d of %d single-byte changes refused", flips - accepted, flips);
}

void clsHuffmanTest::fileFailures()
{
    QTemporaryDir dir;
    const std::string source = dir.filePath("data.dll").toStdString();
    const std::string packed = dir.filePath("backup.tow").toStdString();
    clsHuffman codec;
    auto failure = [&](auto operation) {
        try {
            operation();
        } catch (const CodecError &e) {
            return QStringLiteral("%1 %2: %3")
                .arg(e.number())
                .arg(QString::fromStdString(e.source()), QString::fromStdString(e.description()));
        }
        return QStringLiteral("succeeded");
    };
    QCOMPARE(failure([&] { codec.DecodeFile(packed, source); }),
             QStringLiteral("%1 clsHuffman.DecodeFile(): Source file does not exist")
                 .arg(kCodecErrorNumber));
    // A destination in a folder that does not exist: path not found.
    test::writeFile(QString::fromStdString(source), "abcabc");
    QVERIFY(failure([&] {
                codec.EncodeFile(source, dir.filePath("gone/b.tow").toStdString());
            }).startsWith(QString::number(kErrPathNotFound) + u' '));

    // A sparse file of 2 GiB costs no disk; it is refused before it is read.
    QVERIFY(QFile::resize(QString::fromStdString(source), clsHuffman::kMaxInputLength + 1));
    const QString tooLarge = failure([&] { codec.EncodeFile(source, packed); });
    QVERIFY2(tooLarge.contains("clsHuffman.EncodeFile(): ") && tooLarge.contains("too large"),
             qPrintable(tooLarge));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"data.dll"});

    // A file is read in pieces of a few megabytes: its backup is the stream and check of its
    // bytes, compressed or stored; one that changes meanwhile is refused, nothing written.
    const auto asBytes = [](const Bytes &b) {
        return QByteArray(reinterpret_cast<const char *>(b.data()), qsizetype(b.size()));
    };
    for (const Bytes &input : {makeInput(9000000, Skew::Text, 7), Bytes(9000000, 'a')}) {
        test::writeFile(QString::fromStdString(source), asBytes(input));
        codec.EncodeFile(source, packed);
        Bytes expected = codec.encode(input);
        const auto check = clsHuffman::checkOf(input);
        expected.insert(expected.end(), check.begin(), check.end());
        QVERIFY(test::readFile(QString::fromStdString(packed)) == asBytes(expected));
    }
    // Grown, or one byte written over in place (the same size, a new time).
    for (const bool grown : {true, false}) {
        codec.setProgressHandler([&](int) {
            QFile file(QString::fromStdString(source));
            QVERIFY(grown ? file.resize(9000001) : file.open(QIODevice::ReadWrite) && file.write("X"));
        });
        QVERIFY(failure([&] {
                    codec.EncodeFile(source, dir.filePath("changed.tow").toStdString());
                }).endsWith("data.dll changed while it was being read: nothing was written"));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"backup.tow", "data.dll"}));
}

QTEST_GUILESS_MAIN(clsHuffmanTest)
#include "clsHuffman_test.moc"
