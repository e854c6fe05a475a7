#include "clsHuffman.h"

#include "CodecFiles.h"
#include "LargeBuffer.h"
#include "SafeOutput.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace tarnvale {

namespace {

constexpr std::uint8_t kHeaderStored[4] = {'H', 'E', '0', 0x0D};
constexpr std::uint8_t kHeaderCompressed[4] = {'H', 'E', '3', 0x0D};
constexpr std::size_t kFixedHeader = 11; // identification, checksum, length, N
constexpr int kTableSize = 512;          // code tree nodes, indices 0 to 511

const char *const kSourceEncode = "clsHuffman.Encode()";
const char *const kSourceDecode = "clsHuffman.Decode()";

CodecError corrupt(const std::string &what)
{
    return CodecError(kCodecErrorNumber, kSourceDecode, "The data is corrupt (" + what + ")");
}

std::uint64_t load64(const std::uint8_t *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

void store64(std::uint8_t *p, std::uint64_t v)
{
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

void put32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

// Percentages are rounded to the nearest integer, halves to even, and passed on only when
// the rounded value differs from the last one passed on.
class ProgressMeter
{
public:
    explicit ProgressMeter(const clsHuffman::ProgressHandler &handler) : m_handler(handler) {}

    void at(double percent)
    {
        double whole = std::floor(percent);
        const double fraction = percent - whole;
        if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
            whole += 1.0;
        raise(int(whole));
    }
    void finish()
    {
        if (m_last != 100)
            raise(100);
    }

private:
    void raise(int value)
    {
        if (value == m_last)
            return;
        m_last = value;
        if (m_handler)
            m_handler(value);
    }

    const clsHuffman::ProgressHandler &m_handler;
    int m_last = 0;
};

// Runs work(begin, end) over [0, length) so that report(i) is called right after byte i for
// every i that is a multiple of `every`.
template <class Work, class Report>
void inSteps(std::size_t length, std::size_t every, Work &&work, Report &&report)
{
    std::size_t pos = 0;
    std::size_t next = 0;
    while (pos < length) {
        const std::size_t end = std::min(next + 1, length);
        work(pos, end);
        pos = end;
        if (end - 1 == next) {
            report(next);
            next += every;
        }
    }
}

// The code of every byte value: its length in bits and its bits, bit k of the code (k = 0
// nearest the root) at bit k % 64 of word k / 64.
struct CodeBook
{
    std::array<std::uint8_t, 256> length{};
    std::array<std::array<std::uint64_t, 4>, 256> bits{};
    int distinct = 0;
    int longest = 0;
    std::uint64_t tableBits = 0; // L
    std::uint64_t dataBits = 0;  // D
};

struct EncoderNode
{
    std::int16_t parent = -1;
    std::int16_t one = -1;
    std::int16_t zero = -1;
    std::int16_t value = -1;
    std::int64_t weight = 0;
};

void assignCodes(const std::array<EncoderNode, kTableSize> &nodes, int node,
                 std::array<std::uint64_t, 4> &path, int depth, CodeBook &book)
{
    const EncoderNode &n = nodes[size_t(node)];
    if (n.value != -1) {
        book.length[size_t(n.value)] = std::uint8_t(depth);
        book.bits[size_t(n.value)] = path;
        return;
    }
    // An inner node always has both children; the depth of a tree of 256 leaves stays below 256.
    const std::uint64_t bit = std::uint64_t(1) << (depth % 64);
    path[size_t(depth / 64)] &= ~bit;
    assignCodes(nodes, n.zero, path, depth + 1, book);
    path[size_t(depth / 64)] |= bit;
    assignCodes(nodes, n.one, path, depth + 1, book);
    path[size_t(depth / 64)] &= ~bit;
}

CodeBook buildCodes(const std::array<std::int64_t, 256> &counts)
{
    std::array<EncoderNode, kTableSize> nodes{};
    int used = 0;
    for (int v = 0; v < 256; ++v) {
        if (counts[size_t(v)] > 0) {
            nodes[size_t(used)].weight = counts[size_t(v)];
            nodes[size_t(used)].value = std::int16_t(v);
            ++used;
        }
    }
    const int leaves = used;
    for (int step = 1; step < leaves; ++step) {
        int a = -1;
        int b = -1;
        std::int64_t wa = 0;
        std::int64_t wb = 0;
        for (int x = 0; x < used; ++x) {
            const EncoderNode &n = nodes[size_t(x)];
            if (n.parent != -1)
                continue;
            const std::int64_t w = n.weight;
            if (a < 0) {
                a = x;
                wa = w;
            } else if (b < 0) {
                b = x;
                wb = w;
            } else if (w < wa && w < wb) {
                if (wa >= wb) {
                    a = x;
                    wa = w;
                } else {
                    b = x;
                    wb = w;
                }
            } else if (w < wa) {
                a = x;
                wa = w;
            } else if (w < wb) {
                b = x;
                wb = w;
            }
        }
        EncoderNode &joined = nodes[size_t(used)];
        joined.weight = wa + wb;
        joined.zero = std::int16_t(a);
        joined.one = std::int16_t(b);
        nodes[size_t(a)].parent = std::int16_t(used);
        nodes[size_t(b)].parent = std::int16_t(used);
        ++used;
    }

    CodeBook book;
    book.distinct = leaves;
    if (leaves == 0)
        return book;
    std::array<std::uint64_t, 4> path{};
    assignCodes(nodes, used - 1, path, 0, book);
    for (int v = 0; v < 256; ++v) {
        const std::uint64_t len = book.length[size_t(v)];
        book.longest = std::max(book.longest, int(len));
        book.tableBits += len;
        book.dataBits += len * std::uint64_t(counts[size_t(v)]);
    }
    return book;
}

// Appends bits least significant first. The buffer must have 8 bytes of room past the last
// byte that will be written.
class BitWriter
{
public:
    explicit BitWriter(std::uint8_t *out) : m_out(out) {}

    // Up to 56 bits at a time while fewer than 8 are pending.
    void put(std::uint64_t bits, unsigned count)
    {
        m_acc |= bits << m_count;
        m_count += count;
    }
    void flush()
    {
        store64(m_out, m_acc);
        m_out += m_count >> 3;
        m_acc >>= (m_count & ~7u);
        m_count &= 7u;
    }
    // A code of any length, in pieces of 32 bits.
    void putLong(const std::array<std::uint64_t, 4> &bits, unsigned length)
    {
        for (unsigned k = 0; k < length; k += 32) {
            const unsigned piece = std::min(32u, length - k);
            std::uint64_t word = bits[k / 64] >> (k % 64);
            if (piece < 64)
                word &= (std::uint64_t(1) << piece) - 1;
            put(word, piece);
            flush();
        }
    }
    // Writes the partial last byte, filled up with 0 bits.
    std::uint8_t *finish()
    {
        flush();
        if (m_count > 0) {
            ++m_out;
            m_count = 0;
            m_acc = 0;
        }
        return m_out;
    }

private:
    std::uint8_t *m_out;
    std::uint64_t m_acc = 0;
    unsigned m_count = 0;
};

// Packs the codes of input[begin, end): `group` codes between two flushes, as many as fit in
// the 56 free bits of the accumulator for the longest code.
template <int Group>
void packGroup(BitWriter &w, const std::uint8_t *in, std::size_t begin, std::size_t end,
               const std::uint64_t *table)
{
    std::size_t i = begin;
    for (; i + Group <= end; i += Group) {
#pragma GCC unroll 4
        for (int k = 0; k < Group; ++k) {
            const std::uint64_t e = table[in[i + std::size_t(k)]];
            w.put(e & 0x00FFFFFFFFFFFFFFull, unsigned(e >> 56));
        }
        w.flush();
    }
    for (; i < end; ++i) {
        const std::uint64_t e = table[in[i]];
        w.put(e & 0x00FFFFFFFFFFFFFFull, unsigned(e >> 56));
        w.flush();
    }
}

std::vector<std::uint8_t> storedStream(std::span<const std::uint8_t> input)
{
    std::vector<std::uint8_t> out = makeLargeBuffer(input.size() + 4);
    std::memcpy(out.data(), kHeaderStored, 4);
    if (!input.empty())
        std::memcpy(out.data() + 4, input.data(), input.size());
    return out;
}

void checkEncodeLength(std::uint64_t length, const char *source)
{
    if (length > std::uint64_t(clsHuffman::kMaxInputLength))
        throw CodecError(kCodecErrorNumber, source,
                         "The data is too large to compress: " + std::to_string(length)
                             + " bytes, at most 2147483647 bytes fit in one stream");
}

// What the encoder decided: store the input, or write the compressed stream of these codes.
struct EncodePlan
{
    bool stored = true;
    CodeBook book;
    std::uint8_t checksum = 0; // taken while counting: one pass over the input, not two
};

EncodePlan planEncoding(std::span<const std::uint8_t> input, ProgressMeter &progress)
{
    EncodePlan plan;
    const std::size_t length = input.size();
    if (length == 0)
        return plan;
    // Four counters per value break the store-to-load chain of repeated bytes.
    std::array<std::array<std::uint32_t, 256>, 4> partial{};
    std::array<std::int64_t, 256> counts{};
    const std::uint8_t *in = input.data();
    const double total = double(length);
    std::uint64_t wide = 0;
    std::uint8_t checksum = 0;
    inSteps(
        length, 1000,
        [&](std::size_t begin, std::size_t end) {
            std::size_t i = begin;
            for (; i + 8 <= end; i += 8) {
                const std::uint64_t word = load64(in + i);
                wide ^= word;
                ++partial[0][word & 0xFF];
                ++partial[1][(word >> 8) & 0xFF];
                ++partial[2][(word >> 16) & 0xFF];
                ++partial[3][(word >> 24) & 0xFF];
                ++partial[0][(word >> 32) & 0xFF];
                ++partial[1][(word >> 40) & 0xFF];
                ++partial[2][(word >> 48) & 0xFF];
                ++partial[3][word >> 56];
            }
            for (; i < end; ++i) {
                checksum ^= in[i];
                ++partial[0][in[i]];
            }
        },
        [&](std::size_t i) { progress.at(double(i) / total * 7.0); });
    for (int v = 0; v < 256; ++v)
        counts[size_t(v)] = std::int64_t(partial[0][size_t(v)]) + partial[1][size_t(v)]
                            + partial[2][size_t(v)] + partial[3][size_t(v)];

    for (int k = 0; k < 8; ++k)
        checksum ^= std::uint8_t(wide >> (8 * k));
    plan.checksum = checksum;
    plan.book = buildCodes(counts);
    const std::uint64_t packed = (plan.book.dataBits + 7) / 8;
    plan.stored = packed > length || packed == 0;
    return plan;
}

std::vector<std::uint8_t> compressedStream(std::span<const std::uint8_t> input,
                                           const EncodePlan &plan, ProgressMeter &progress)
{
    const CodeBook &book = plan.book;
    const std::size_t length = input.size();
    const std::uint8_t *in = input.data();
    const double total = double(length);

    // The checksum phase: the checksum itself was taken while counting.
    inSteps(
        length, 10000, [](std::size_t, std::size_t) {},
        [&](std::size_t i) { progress.at(double(i) / total * 5.0 + 7.0); });
    const std::uint8_t checksum = plan.checksum;

    const std::size_t n = std::size_t(book.distinct);
    const std::size_t tableBytes = std::size_t((book.tableBits + 7) / 8);
    const std::size_t dataBytes = std::size_t((book.dataBits + 7) / 8);
    const std::size_t streamSize = kFixedHeader + 2 * n + tableBytes + dataBytes;
    std::vector<std::uint8_t> out = makeLargeBuffer(streamSize + 8);
    std::uint8_t *p = out.data();
    std::memcpy(p, kHeaderCompressed, 4);
    p[4] = checksum;
    put32(p + 5, std::uint32_t(length));
    p[9] = std::uint8_t(n);
    p[10] = std::uint8_t(n >> 8);
    p += kFixedHeader;
    for (int v = 0; v < 256; ++v) {
        if (book.length[size_t(v)] > 0) {
            *p++ = std::uint8_t(v);
            *p++ = book.length[size_t(v)];
        }
    }
    {
        BitWriter table(p);
        for (int v = 0; v < 256; ++v)
            if (book.length[size_t(v)] > 0)
                table.putLong(book.bits[size_t(v)], book.length[size_t(v)]);
        p = table.finish();
    }

    BitWriter data(p);
    const int longest = book.longest;
    std::array<std::uint64_t, 256> packed{};
    if (longest <= 56)
        for (int v = 0; v < 256; ++v)
            packed[size_t(v)] = book.bits[size_t(v)][0] | (std::uint64_t(book.length[size_t(v)]) << 56);
    inSteps(
        length, 10000,
        [&](std::size_t begin, std::size_t end) {
            if (longest <= 14)
                packGroup<4>(data, in, begin, end, packed.data());
            else if (longest <= 18)
                packGroup<3>(data, in, begin, end, packed.data());
            else if (longest <= 28)
                packGroup<2>(data, in, begin, end, packed.data());
            else if (longest <= 56)
                packGroup<1>(data, in, begin, end, packed.data());
            else
                for (std::size_t i = begin; i < end; ++i)
                    data.putLong(book.bits[in[i]], book.length[in[i]]);
        },
        [&](std::size_t i) { progress.at(double(i) / total * 88.0 + 5.0 + 7.0); });
    data.finish();
    out.resize(streamSize);
    progress.finish();
    return out;
}

// ---- decoding ----

struct DecoderNode
{
    std::int16_t one = -1;
    std::int16_t zero = -1;
    std::int16_t value = -1;
};

// Up to three whole codes found in the next kLookupBits bits from the root, packed in one
// 32-bit word: the bits they take in bits 0-5 (so that the word itself can be the shift count),
// the values in bits 6-29 (first code lowest), their number in bits 30-31. When the bits hold
// no whole code, the number and the bits taken are 0 and bits 6-29 hold the node reached after
// kLookupBits bits (a long code), or 0 when the bits leave the tree (a broken stream). 8192
// entries fill 32 KiB, a first-level cache.
using LookupEntry = std::uint32_t;
constexpr int kLookupBits = 13;
constexpr unsigned kLookupSymbols = 3;
constexpr LookupEntry kWholeCodes = LookupEntry(1) << 30; // entries from here hold whole codes
constexpr std::uint64_t kTwoChainBits = 4096; // stretches this long are decoded as two halves

// One chain of lookups through the data: the bits at `pos` and the 16 input bytes around them.
struct Chain
{
    std::uint64_t pos;
    std::uint64_t w0;
    std::uint64_t w1;
    std::uint64_t bits;
    unsigned offset;
};

constexpr std::uint64_t kLookupMask = (std::uint64_t(1) << kLookupBits) - 1;

// Reads the 16 bytes at c.pos; they must lie within the input.
[[gnu::always_inline]] inline void chainRead(Chain &c, const std::uint8_t *data)
{
    const std::uint8_t *window = data + (c.pos >> 3);
    c.w0 = load64(window);
    c.w1 = load64(window + 8);
    c.offset = unsigned(c.pos & 7);
}

[[gnu::always_inline]] inline void chainStart(Chain &c, const std::uint8_t *data, std::uint64_t pos)
{
    c.pos = pos;
    chainRead(c, data);
    c.bits = c.w0 >> c.offset;
}

// Whole codes from the lookup table, four lookups to a group (at most 52 bits), writing at
// most 12 values through 4-byte stores. The next group's bits come from the 16 bytes already
// read for this one (they reach 59 + 64 bits in), so that the caller can read the input for
// the group after off the chain of lookups. False when a lookup found no whole code: c.pos
// is then at that code.
[[gnu::always_inline]] inline bool chainGroup(Chain &c, const LookupEntry *lookup, std::uint8_t *&o)
{
    // The entries themselves are summed: the bits they take stay below 64 in all, so the low
    // six bits of the sum are those bits. The shift takes an entry as it is (the count is
    // taken modulo 64).
    std::uint32_t sum = 0;
    LookupEntry e = 0;
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        e = lookup[c.bits & kLookupMask];
        if (e < kWholeCodes)
            break;
        std::uint32_t symbols = e >> 6; // the values, and the number above them
        if constexpr (std::endian::native == std::endian::big)
            symbols = __builtin_bswap32(symbols);
        std::memcpy(o, &symbols, 4); // the first value at o[0]
        o += e >> 30;
        c.bits >>= (e & 63);
        sum += e;
    }
    const unsigned used = sum & 63;
    c.pos += used;
    if (e < kWholeCodes)
        return false;
    const unsigned next = c.offset + used; // at most 7 + 52
    c.bits = (c.w0 >> next) | ((c.w1 << 1) << (63 - next));
    return true;
}

class StreamDecoder
{
public:
    StreamDecoder(std::span<const std::uint8_t> stream, ProgressMeter &progress)
        : m_in(stream), m_progress(progress)
    {
    }

    // The output of a stream that claims `expected` bytes; fewer when the input ends first.
    std::vector<std::uint8_t> run(std::uint32_t expected);
    // The xor of every byte of that output, taken while it was written.
    std::uint8_t checksum() const { return m_checksum; }

private:
    std::uint8_t byteAt(std::size_t offset) const
    {
        if (offset >= m_in.size())
            throw corrupt("the stream ends too early");
        return m_in[offset];
    }
    void addCode(int value, std::size_t bitOffset, int length);
    void buildLookup();
    std::vector<std::uint8_t> decodeData(std::uint32_t expected);
    bool longCode(std::uint64_t word, int node, unsigned &length, std::uint8_t &value) const;
    bool step(Chain &c, std::uint8_t *&o, std::uint64_t end) const;
    std::uint64_t oneChain(std::uint64_t pos, std::uint64_t stop, std::uint8_t *&o,
                           const std::uint8_t *limit);
    std::uint64_t twoChains(std::uint64_t pos, std::uint64_t stop, std::uint8_t *&o,
                            const std::uint8_t *limit);
    void reachedBoundary();

    std::span<const std::uint8_t> m_in;
    ProgressMeter &m_progress;
    std::array<DecoderNode, kTableSize> m_nodes{};
    int m_used = 1;
    std::vector<LookupEntry> m_lookup;
    std::vector<std::int16_t> m_continue; // per pattern without a whole code: the node reached
    std::vector<std::uint8_t> m_firstLength; // per pattern: the length of its first code, or 0

    std::size_t m_dataStart = 0;
    std::uint64_t m_nextPosition = 0;  // next 1-based stream position whose end is reported
    std::uint64_t m_boundaryBits = 0;  // the data bit offset at which that position ends
    std::uint8_t m_checksum = 0;

    const std::uint8_t *m_data = nullptr; // the data bits
    std::vector<std::uint8_t> m_ahead;     // what the second chain decodes
    std::vector<std::uint32_t> m_aheadPos; // where each of its groups starts: bits past its start
    std::vector<std::uint32_t> m_aheadOut; // and how much it had written by then
};

void StreamDecoder::addCode(int value, std::size_t bitOffset, int length)
{
    int node = 0;
    for (int k = 0; k < length; ++k) {
        const std::size_t bit = bitOffset + std::size_t(k);
        const int one = (byteAt(bit / 8) >> (bit % 8)) & 1;
        DecoderNode &current = m_nodes[size_t(node)];
        std::int16_t &child = one ? current.one : current.zero;
        if (child == -1) {
            if (m_used >= kTableSize)
                throw corrupt("the code table needs more than 512 nodes");
            child = std::int16_t(m_used++);
        }
        node = child;
    }
    m_nodes[size_t(node)].value = std::int16_t(value);
}

void StreamDecoder::buildLookup()
{
    // First the one code at the start of every kLookupBits-bit pattern: a code of length d
    // with bits c fills every pattern whose low d bits are c. The walk stops at the first
    // node with a value, as decoding does; patterns that meet a missing child stay empty.
    constexpr std::uint32_t patterns = std::uint32_t(1) << kLookupBits;
    struct Single
    {
        std::uint8_t value = 0;
        std::uint8_t length = 0; // 0: no whole code within the pattern
    };
    std::vector<Single> single(patterns);
    m_continue.assign(patterns, -1);
    struct Step
    {
        int node;
        int depth;
        std::uint32_t bits;
    };
    std::vector<Step> stack;
    stack.push_back({0, 0, 0});
    while (!stack.empty()) {
        const Step step = stack.back();
        stack.pop_back();
        const DecoderNode &n = m_nodes[size_t(step.node)];
        if (step.depth > 0 && n.value != -1) {
            for (std::uint32_t high = 0; high < (patterns >> step.depth); ++high)
                single[step.bits | (high << step.depth)] = {std::uint8_t(n.value),
                                                            std::uint8_t(step.depth)};
            continue;
        }
        if (step.depth == kLookupBits) {
            m_continue[step.bits] = std::int16_t(step.node); // a long code goes on from here
            continue;
        }
        if (n.zero >= 0)
            stack.push_back({n.zero, step.depth + 1, step.bits});
        if (n.one >= 0)
            stack.push_back({n.one, step.depth + 1, step.bits | (std::uint32_t(1) << step.depth)});
    }
    m_firstLength.resize(patterns);
    for (std::uint32_t pattern = 0; pattern < patterns; ++pattern)
        m_firstLength[pattern] = single[pattern].length;
    // Then as many following codes as fit whole in the same bits.
    m_lookup.resize(patterns);
    for (std::uint32_t pattern = 0; pattern < patterns; ++pattern) {
        std::uint32_t symbols = 0;
        unsigned count = 0;
        unsigned used = 0;
        while (count < kLookupSymbols) {
            const Single &s = single[pattern >> used];
            if (s.length == 0 || used + s.length > unsigned(kLookupBits))
                break;
            symbols |= std::uint32_t(s.value) << (8 * count);
            ++count;
            used += s.length;
        }
        m_lookup[pattern] = count > 0 ? (used | symbols << 6 | count << 30)
                                      : std::uint32_t(std::max<int>(m_continue[pattern], 0)) << 6;
    }
}

void StreamDecoder::reachedBoundary()
{
    m_progress.at(double(m_nextPosition) / double(m_in.size()) * 89.0);
    m_nextPosition += 10000;
    m_boundaryBits = 8 * (m_nextPosition - m_dataStart);
}

std::vector<std::uint8_t> StreamDecoder::run(std::uint32_t expected)
{
    const std::int16_t entries = std::int16_t(byteAt(9) | (byteAt(10) << 8));
    if (entries <= 0)
        throw corrupt("no code table");

    std::array<int, 256> codeLength{};
    for (std::size_t i = 0; i < std::size_t(entries); ++i) {
        const std::uint8_t value = byteAt(kFixedHeader + 2 * i);
        const std::uint8_t bits = byteAt(kFixedHeader + 2 * i + 1);
        if (bits == 0)
            throw corrupt("a code of length 0");
        codeLength[value] = bits;
    }
    const std::size_t tableStart = kFixedHeader + 2 * std::size_t(entries);
    std::size_t bit = tableStart * 8;
    for (int v = 0; v < 256; ++v) {
        if (codeLength[size_t(v)] > 0) {
            addCode(v, bit, codeLength[size_t(v)]);
            bit += std::size_t(codeLength[size_t(v)]);
        }
    }
    m_dataStart = (bit + 7) / 8;
    buildLookup();
    return decodeData(expected);
}

// Goes on with a code longer than kLookupBits bits from the node its first kLookupBits bits
// reach; `word` holds the bits after those, as many as the caller could load (64 - 7 at
// least). False when the code leaves the tree or goes on beyond what `word` holds: the
// careful walk then takes it up.
bool StreamDecoder::longCode(std::uint64_t word, int node, unsigned &length, std::uint8_t &value) const
{
    for (unsigned taken = kLookupBits; taken < 64 - 7; ++taken) {
        const DecoderNode &n = m_nodes[size_t(node)];
        const int child = (word & 1) ? n.one : n.zero;
        if (child < 0)
            return false;
        node = child;
        word >>= 1;
        if (m_nodes[size_t(node)].value != -1) {
            value = std::uint8_t(m_nodes[size_t(node)].value);
            length = taken + 1;
            return true;
        }
    }
    return false;
}

// One group of whole codes, or one long code walked from fresh input bits (c.pos is then at
// most 39 bits past a point before `end`, so 8 bytes can be read). True when the chain can go
// on: c.pos is before `end` (at most 16 bytes before the end of the input) and the input for
// the next group has been read. False when c.pos reached `end`, or at the start of a code left
// to the careful walk: broken, or longer than the fresh bits reach.
[[gnu::always_inline]] inline bool StreamDecoder::step(Chain &c, std::uint8_t *&o, std::uint64_t end) const
{
    const LookupEntry *lookup = m_lookup.data();
    if (chainGroup(c, lookup, o)) {
        if (c.pos >= end)
            return false;
        chainRead(c, m_data);
        return true;
    }
    unsigned length = 0;
    std::uint8_t value = 0;
    const std::uint64_t word = load64(m_data + (c.pos >> 3)) >> (c.pos & 7);
    const LookupEntry e = lookup[word & kLookupMask];
    if ((e >> 6) == 0 || !longCode(word >> kLookupBits, int(e >> 6), length, value))
        return false;
    *o++ = value;
    c.pos += length;
    if (c.pos >= end)
        return false;
    chainStart(c, m_data, c.pos);
    return true;
}

// The fast path: whole codes while 16 output bytes remain and `pos` is before `stop`, which
// is at least 16 bytes before the end of the input. Returns where it stopped: a code
// boundary at most 52 bits past `stop`, or the start of a code left to the careful walk.
std::uint64_t StreamDecoder::oneChain(std::uint64_t pos, std::uint64_t stop, std::uint8_t *&o,
                                      const std::uint8_t *limit)
{
    Chain a;
    chainStart(a, m_data, pos);
    while (step(a, o, stop) && limit - o >= 16) {
    }
    return a.pos;
}

// The same over a long stretch, as two chains of lookups at once: the first from `pos`, the
// second from the middle of the stretch, a guess that need not be a code boundary, into a
// buffer of its own. Codes of this kind fall back into step after a few codes; once the first
// chain, gone on code by code past the middle, meets a group start of the second, the
// second's values from there on are the right ones and are taken over. When they do not
// meet soon, the first chain goes on alone from where it is.
std::uint64_t StreamDecoder::twoChains(std::uint64_t pos, std::uint64_t stop, std::uint8_t *&o,
                                       const std::uint8_t *limit)
{
    constexpr std::size_t kAheadBytes = 65536;
    constexpr std::size_t kAheadGroups = 16384;
    if (m_ahead.empty()) {
        m_ahead.resize(kAheadBytes);
        m_aheadPos.resize(kAheadGroups);
        m_aheadOut.resize(kAheadGroups);
    }
    const std::uint8_t *data = m_data;
    const LookupEntry *lookup = m_lookup.data();
    const std::uint64_t mid = pos + (stop - pos) / 2;
    std::uint8_t *const ahead = m_ahead.data();
    const std::uint8_t *const aheadLimit = ahead + kAheadBytes - 16;
    std::uint8_t *ob = ahead;
    std::uint32_t *const groupPos = m_aheadPos.data();
    std::uint32_t *const groupOut = m_aheadOut.data();
    std::size_t groups = 0;

    Chain a;
    Chain b;
    chainStart(a, data, pos);
    chainStart(b, data, mid);
    bool second = true;
    for (;;) {
        if (second) {
            groupPos[groups] = std::uint32_t(b.pos - mid);
            groupOut[groups] = std::uint32_t(ob - ahead);
            ++groups;
            if (!step(b, ob, stop) || ob > aheadLimit || groups == kAheadGroups)
                second = false;
        }
        if (!step(a, o, mid))
            break;
        if (limit - o < 16)
            return a.pos;
    }
    if (a.pos < mid || limit - o < 16)
        return a.pos;

    // Code by code until the first chain reaches a group start of the second.
    std::size_t j = 0;
    for (int codes = 0; codes < 64; ++codes) {
        while (j < groups && mid + groupPos[j] < a.pos)
            ++j;
        if (j == groups)
            return a.pos;
        if (mid + groupPos[j] == a.pos) {
            const std::size_t n = std::size_t(ob - ahead) - groupOut[j];
            if (std::size_t(limit - o) < n + 16)
                return a.pos;
            std::memcpy(o, ahead + groupOut[j], n);
            o += n;
            return b.pos;
        }
        if (a.pos >= stop || limit - o < 16)
            return a.pos;
        const std::uint64_t word = load64(data + (a.pos >> 3)) >> (a.pos & 7);
        const std::uint64_t pattern = word & kLookupMask;
        const LookupEntry e = lookup[pattern];
        if (e >= kWholeCodes) {
            *o++ = std::uint8_t(e >> 6);
            a.pos += m_firstLength[pattern];
            continue;
        }
        unsigned length = 0;
        std::uint8_t value = 0;
        if ((e >> 6) == 0 || !longCode(word >> kLookupBits, int(e >> 6), length, value))
            return a.pos;
        *o++ = value;
        a.pos += length;
    }
    return a.pos;
}

std::vector<std::uint8_t> StreamDecoder::decodeData(std::uint32_t expected)
{
    const std::uint8_t *data = m_in.data() + m_dataStart;
    const std::size_t dataBytes = m_in.size() > m_dataStart ? m_in.size() - m_dataStart : 0;
    const std::uint64_t dataBits = std::uint64_t(dataBytes) * 8;

    // Every code is at least one bit, so the input bounds the output: a short stream that
    // claims a huge length costs no memory.
    const std::size_t room = std::size_t(std::min<std::uint64_t>(expected, dataBits));
    std::vector<std::uint8_t> out = makeLargeBuffer(room + 8);
    std::uint8_t *o = out.data();
    std::uint8_t *const start = o;
    std::uint8_t *const limit = o + room;

    // The checksum is taken a few thousand bytes behind the writing, while those bytes are
    // still in the cache: eight at a time, the last few at the end.
    const std::uint8_t *checked = start;
    std::uint64_t wide = 0;
    auto takeChecksum = [&](const std::uint8_t *upTo) {
        for (; upTo - checked >= 8; checked += 8)
            wide ^= load64(checked);
    };

    // Progress is reported after each input byte whose 1-based stream position is a
    // multiple of 10000, unless decoding has already stopped.
    m_nextPosition = ((m_dataStart + 1 + 9999) / 10000) * 10000;
    m_boundaryBits = 8 * (m_nextPosition - m_dataStart);

    std::uint64_t pos = 0;
    const std::uint64_t fastEnd = dataBytes >= 16 ? (dataBytes - 16) * 8 : 0;
    m_data = data;
    constexpr std::uint64_t mask = kLookupMask;

    while (std::uint64_t(o - start) < expected) {
        while (pos >= m_boundaryBits)
            reachedBoundary();
        // The fast path never writes the last output byte, so it never ends the decoding, and
        // a progress point it passes is reported right after it.
        const std::uint64_t stop = std::min(m_boundaryBits, fastEnd);
        if (limit - o >= 16 && pos < stop && stop - pos >= kTwoChainBits)
            pos = twoChains(pos, stop, o, limit);
        if (limit - o >= 16 && pos < stop)
            pos = oneChain(pos, stop, o, limit);
        if (o - checked >= 4096)
            takeChecksum(o);
        if (std::uint64_t(o - start) >= expected)
            break;
        if (pos >= m_boundaryBits)
            continue;

        // One code bit by bit, with every bound checked. A long code skips the first
        // kLookupBits bits when they are whole input bits before the next progress point.
        int node = 0;
        if (pos < fastEnd && pos + kLookupBits < m_boundaryBits) {
            const std::uint64_t pattern = (load64(data + (pos >> 3)) >> (pos & 7)) & mask;
            if (m_continue[pattern] >= 0) {
                node = m_continue[pattern];
                pos += kLookupBits;
            }
        }
        bool ended = false;
        for (;;) {
            if (pos >= dataBits) {
                ended = true;
                break;
            }
            const int one = (data[pos >> 3] >> (pos & 7)) & 1;
            ++pos;
            const DecoderNode &n = m_nodes[size_t(node)];
            const int child = one ? n.one : n.zero;
            if (child < 0)
                throw corrupt("a code that is not in the code table");
            node = child;
            const int value = m_nodes[size_t(node)].value;
            if (value != -1) {
                *o++ = std::uint8_t(value);
                break;
            }
            if (pos == m_boundaryBits)
                reachedBoundary();
        }
        if (ended)
            break;
    }
    // The last lookup may have gone past whole bytes before the final code ended.
    while (m_boundaryBits < pos && std::uint64_t(o - start) == expected)
        reachedBoundary();

    takeChecksum(o);
    std::uint8_t checksum = 0;
    for (; checked < o; ++checked)
        checksum ^= *checked;
    for (int k = 0; k < 8; ++k)
        checksum ^= std::uint8_t(wide >> (8 * k));
    m_checksum = checksum;
    out.resize(std::size_t(o - start));
    return out;
}

} // namespace

std::vector<std::uint8_t> clsHuffman::encode(std::span<const std::uint8_t> input)
{
    checkEncodeLength(input.size(), kSourceEncode);
    ProgressMeter progress(m_progress);
    const EncodePlan plan = planEncoding(input, progress);
    if (plan.stored)
        return storedStream(input);
    return compressedStream(input, plan, progress);
}

std::vector<std::uint8_t> clsHuffman::decode(std::span<const std::uint8_t> stream)
{
    if (stream.size() >= 4 && stream[0] == 'H' && stream[1] == 'E' && stream[3] == 0x0D) {
        if (stream[2] == '0')
            return std::vector<std::uint8_t>(stream.begin() + 4, stream.end());
        if (stream[2] != '3')
            throw CodecError(kCodecErrorNumber, "HuffmanDecode()",
                             "The data either was not compressed with HE3 or is corrupt "
                             "(identification string not found)");
    }
    if (stream.size() < kFixedHeader - 2)
        throw corrupt("the stream ends too early");
    const std::uint32_t expected = std::uint32_t(stream[5]) | std::uint32_t(stream[6]) << 8
                                   | std::uint32_t(stream[7]) << 16 | std::uint32_t(stream[8]) << 24;
    if (expected == 0)
        return std::vector<std::uint8_t>(stream.begin(), stream.end()); // left as it was
    if (expected > std::uint32_t(kMaxInputLength))
        throw corrupt("negative length");

    ProgressMeter progress(m_progress);
    StreamDecoder decoder(stream, progress);
    std::vector<std::uint8_t> out = decoder.run(expected);

    // The checksum phase reports after every 10000th byte; the checksum itself was taken
    // while decoding.
    const double total = double(expected);
    for (std::size_t i = 0; i < out.size(); i += 10000)
        progress.at(double(i) / total * 11.0 + 89.0);
    const std::uint8_t checksum = decoder.checksum();
    if (checksum != stream[4])
        throw CodecError(kCodecErrorNumber, kSourceDecode,
                         "The data might be corrupted (checksum did not match expected value)");
    if (out.size() != expected)
        throw CodecError(kCodecErrorNumber, kSourceDecode,
                         "The data might be corrupted (the stream ended after "
                             + std::to_string(out.size()) + " of " + std::to_string(expected)
                             + " bytes)");
    progress.finish();
    return out;
}

void clsHuffman::EncodeByte(std::vector<std::uint8_t> &byteArray, std::int64_t byteLen)
{
    if (byteLen > kMaxInputLength)
        checkEncodeLength(std::uint64_t(byteLen), "clsHuffman.EncodeByte()");
    if (byteLen < 0 || std::uint64_t(byteLen) > byteArray.size())
        throw CodecError(kCodecErrorNumber, "clsHuffman.EncodeByte()",
                         "ByteLen is outside the buffer");
    std::vector<std::uint8_t> stream =
        encode(std::span<const std::uint8_t>(byteArray.data(), std::size_t(byteLen)));
    byteArray.swap(stream);
}

void clsHuffman::DecodeByte(std::vector<std::uint8_t> &byteArray, std::int64_t byteLen)
{
    if (byteLen < 0 || std::uint64_t(byteLen) > byteArray.size())
        throw CodecError(kCodecErrorNumber, "clsHuffman.DecodeByte()",
                         "ByteLen is outside the buffer");
    std::vector<std::uint8_t> out =
        decode(std::span<const std::uint8_t>(byteArray.data(), std::size_t(byteLen)));
    byteArray.swap(out);
}

std::string clsHuffman::EncodeString(const std::string &text)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(text.data());
    const std::vector<std::uint8_t> out = encode(std::span<const std::uint8_t>(bytes, text.size()));
    return std::string(out.begin(), out.end());
}

std::string clsHuffman::DecodeString(const std::string &text)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(text.data());
    const std::vector<std::uint8_t> out = decode(std::span<const std::uint8_t>(bytes, text.size()));
    return std::string(out.begin(), out.end());
}

void clsHuffman::EncodeFile(const std::string &sourceFile, const std::string &destFile)
{
    const std::string source = "clsHuffman.EncodeFile()";
    if (!CodecFiles::isPresent(sourceFile))
        throw CodecError(kCodecErrorNumber, source, "Source file does not exist",
                         CodecError::Side::Input);
    // Refuses an input longer than a stream can describe before reading more of it.
    const std::vector<std::uint8_t> input = CodecFiles::readAll(sourceFile, source);
    // The stream holds the same data: it is not made more readable than its source.
    const unsigned mode = m_outputMode ? m_outputMode : SafeOutput::modeNoLooserThan(sourceFile);

    ProgressMeter progress(m_progress);
    const EncodePlan plan = planEncoding(input, progress);
    if (plan.stored) {
        // The stored form is the header and the input itself: no second copy in memory.
        CodecFiles::replaceWith(destFile, kHeaderStored, input, source, mode);
        return;
    }
    const std::vector<std::uint8_t> stream = compressedStream(input, plan, progress);
    CodecFiles::replaceWith(destFile, {}, stream, source, mode);
}

void clsHuffman::DecodeFile(const std::string &sourceFile, const std::string &destFile)
{
    const std::string source = "clsHuffman.DecodeFile()";
    if (!CodecFiles::isPresent(sourceFile))
        throw CodecError(kCodecErrorNumber, source, "Source file does not exist",
                         CodecError::Side::Input);
    const std::vector<std::uint8_t> stream = CodecFiles::readAll(sourceFile, source);
    const std::vector<std::uint8_t> out = decode(stream);
    CodecFiles::replaceWith(destFile, {}, out, source,
                            m_outputMode ? m_outputMode : SafeOutput::modeNoLooserThan(sourceFile));
}

} // namespace tarnvale
