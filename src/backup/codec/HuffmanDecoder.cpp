#include "HuffmanDecoder.h"

#include "HuffmanShared.h"
#include "LargeBuffer.h"

#include <array>

namespace tarnvale::huffman {

namespace {

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
    // Whether the data ended with the last code: in its last byte, followed by 0 bits only.
    bool dataEndsWithLastCode() const;

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
    std::vector<std::int16_t> m_continue;    // per pattern without a whole code: the node reached
    std::vector<std::uint8_t> m_firstLength; // per pattern: the length of its first code, or 0

    std::size_t m_dataStart = 0;
    std::uint64_t m_nextPosition = 0; // next 1-based stream position whose end is reported
    std::uint64_t m_boundaryBits = 0; // the data bit offset at which that position ends
    std::uint8_t m_checksum = 0;
    std::uint64_t m_endBit = 0; // where decoding stopped in the data bits

    const std::uint8_t *m_data = nullptr;  // the data bits
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

bool StreamDecoder::dataEndsWithLastCode() const
{
    const std::size_t dataBytes = m_in.size() - std::min(m_in.size(), m_dataStart);
    if ((m_endBit + 7) / 8 != dataBytes)
        return false;
    return m_endBit % 8 == 0 || (m_in[m_in.size() - 1] >> (m_endBit % 8)) == 0;
}

std::vector<std::uint8_t> StreamDecoder::run(std::uint32_t expected)
{
    const std::int16_t entries = std::int16_t(byteAt(9) | (byteAt(10) << 8));
    if (entries <= 0)
        throw corrupt("no code table");
    // What an encoder writes: 2 to 256 values in ascending order, whose codes fill a whole
    // tree (every free place at depth d is taken by a code or split further).
    if (entries < 2 || entries > 256)
        throw corrupt("a code table of " + std::to_string(entries) + " values");
    std::array<int, 256> codeLength{};
    std::array<int, 256> perLength{};
    for (std::size_t i = 0; i < std::size_t(entries); ++i) {
        const std::uint8_t value = byteAt(kFixedHeader + 2 * i);
        const std::uint8_t bits = byteAt(kFixedHeader + 2 * i + 1);
        if (bits == 0)
            throw corrupt("a code of length 0");
        if (i > 0 && value <= byteAt(kFixedHeader + 2 * i - 2))
            throw corrupt("code table values out of order");
        codeLength[value] = bits;
        ++perLength[bits];
    }
    std::int64_t free = 1;
    int left = entries;
    for (int depth = 1; depth < 256 && left > 0; ++depth) {
        free = 2 * free - perLength[size_t(depth)];
        left -= perLength[size_t(depth)];
        if (free < 0 || free > left)
            throw corrupt("code lengths that do not make a code tree");
    }
    if (free != 0)
        throw corrupt("code lengths that do not make a code tree");
    const std::size_t tableStart = kFixedHeader + 2 * std::size_t(entries);
    std::size_t bit = tableStart * 8;
    for (int v = 0; v < 256; ++v) {
        if (codeLength[size_t(v)] > 0) {
            addCode(v, bit, codeLength[size_t(v)]);
            bit += std::size_t(codeLength[size_t(v)]);
        }
    }
    m_dataStart = (bit + 7) / 8;
    // With whole lengths, codes that are prefixes of others leave values inside the tree.
    for (int n = 0; n < m_used; ++n)
        if ((m_nodes[size_t(n)].value != -1) != (m_nodes[size_t(n)].zero == -1) ||
            (m_nodes[size_t(n)].zero == -1) != (m_nodes[size_t(n)].one == -1))
            throw corrupt("codes that do not make a code tree");
    buildLookup();
    return decodeData(expected);
}

// Goes on with a code longer than kLookupBits bits from the node its first kLookupBits bits
// reach; `word` holds the bits after those, as many as the caller could load (64 - 7 at
// least). False when the code leaves the tree or goes on beyond what `word` holds: the
// careful walk then takes it up.
bool StreamDecoder::longCode(std::uint64_t word, int node, unsigned &length,
                             std::uint8_t &value) const
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
[[gnu::always_inline]] inline bool StreamDecoder::step(Chain &c, std::uint8_t *&o,
                                                       std::uint64_t end) const
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

    m_endBit = pos;
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

std::vector<std::uint8_t> HuffmanDecoder::decode(std::span<const std::uint8_t> stream)
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
    const std::uint32_t expected = std::uint32_t(stream[5]) | std::uint32_t(stream[6]) << 8 |
                                   std::uint32_t(stream[7]) << 16 | std::uint32_t(stream[8]) << 24;
    // A claimed length of 0 leaves a bare header as it was; an encoder never writes one before
    // more bytes.
    if (expected == 0 && stream.size() <= kFixedHeader)
        return std::vector<std::uint8_t>(stream.begin(), stream.end()); // left as it was
    if (expected == 0)
        throw corrupt("a length of 0 before data");
    if (expected > std::uint32_t(clsHuffman::kMaxInputLength))
        throw corrupt("negative length");

    ProgressMeter &progress = m_progress;
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
                         "The data might be corrupted (the stream ended after " +
                             std::to_string(out.size()) + " of " + std::to_string(expected) +
                             " bytes)");
    if (!decoder.dataEndsWithLastCode())
        throw corrupt("the data does not end with its last code");
    progress.finish();
    return out;
}

} // namespace tarnvale::huffman
