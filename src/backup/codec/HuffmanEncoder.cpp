#include "HuffmanEncoder.h"

#include "HuffmanShared.h"
#include "LargeBuffer.h"

#include <array>

namespace tarnvale::huffman {

namespace {

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
    // Where the byte of the pending bits goes (after a flush), and moving that place: the
    // pending bits are kept and stored again at the new place.
    std::uint8_t *position() const { return m_out; }
    void moveTo(std::uint8_t *out) { m_out = out; }
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

} // namespace

std::vector<std::uint8_t> HuffmanEncoder::stored(std::span<const std::uint8_t> input)
{
    std::vector<std::uint8_t> out = makeLargeBuffer(input.size() + 4);
    std::memcpy(out.data(), kHeaderStored, 4);
    if (!input.empty())
        std::memcpy(out.data() + 4, input.data(), input.size());
    return out;
}

void HuffmanEncoder::checkLength(std::uint64_t length, const char *source)
{
    if (length > std::uint64_t(clsHuffman::kMaxInputLength))
        throw CodecError(kCodecErrorNumber, source,
                         "The data is too large to compress: " + std::to_string(length) +
                             " bytes, at most 2147483647 bytes fit in one stream");
}

namespace {

// What the encoder decided: store the input, or write the compressed stream of these codes.
struct EncodePlan
{
    bool stored = true;
    CodeBook book;
    std::uint8_t checksum = 0; // taken while counting: one pass over the input, not two
};

EncodePlan planEncoding(ByteSource &input, ProgressMeter &progress)
{
    EncodePlan plan;
    const std::size_t length = input.size();
    if (length == 0)
        return plan;
    // Four counters per value break the store-to-load chain of repeated bytes.
    std::array<std::array<std::uint32_t, 256>, 4> partial{};
    std::array<std::int64_t, 256> counts{};
    const double total = double(length);
    std::uint64_t wide = 0;
    std::uint8_t checksum = 0;
    inSteps(
        length, 1000,
        [&](std::size_t begin, std::size_t end) {
            for (std::size_t at = begin; at < end;) {
                const std::span<const std::uint8_t> piece = input.piece(at, end - at);
                const std::uint8_t *in = piece.data();
                const std::size_t count = piece.size();
                at += count;
                std::size_t i = 0;
                for (; i + 8 <= count; i += 8) {
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
                for (; i < count; ++i) {
                    checksum ^= in[i];
                    ++partial[0][in[i]];
                }
            }
        },
        [&](std::size_t i) { progress.at(double(i) / total * 7.0); });
    for (int v = 0; v < 256; ++v)
        counts[size_t(v)] = std::int64_t(partial[0][size_t(v)]) + partial[1][size_t(v)] +
                            partial[2][size_t(v)] + partial[3][size_t(v)];

    for (int k = 0; k < 8; ++k)
        checksum ^= std::uint8_t(wide >> (8 * k));
    plan.checksum = checksum;
    plan.book = buildCodes(counts);
    const std::uint64_t packed = (plan.book.dataBits + 7) / 8;
    plan.stored = packed > length || packed == 0;
    return plan;
}

std::size_t streamSizeOf(const CodeBook &book)
{
    return kFixedHeader + 2 * std::size_t(book.distinct) + std::size_t((book.tableBits + 7) / 8) +
           std::size_t((book.dataBits + 7) / 8);
}

// The longest the packed codes of `count` bytes can be, with the pending bits before them.
std::size_t packedBound(std::size_t count, int longest)
{
    return (count * std::size_t(longest) + 7) / 8 + 1;
}

void compressedStream(ByteSource &input, StreamSink &sink, const EncodePlan &plan,
                      ProgressMeter &progress)
{
    const CodeBook &book = plan.book;
    const std::size_t length = input.size();
    const double total = double(length);

    // The checksum phase: the checksum itself was taken while counting.
    inSteps(
        length, 10000, [](std::size_t, std::size_t) {},
        [&](std::size_t i) { progress.at(double(i) / total * 5.0 + 7.0); });
    const std::uint8_t checksum = plan.checksum;

    const std::size_t n = std::size_t(book.distinct);
    const std::size_t headerBytes = kFixedHeader + 2 * n + std::size_t((book.tableBits + 7) / 8);
    std::uint8_t *const head = sink.room(headerBytes);
    std::uint8_t *p = head;
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
    sink.advance(std::size_t(p - head));

    constexpr std::size_t kStep = 10000;
    const int longest = book.longest;
    std::uint8_t *base = sink.room(packedBound(kStep, longest));
    BitWriter data(base);
    std::array<std::uint64_t, 256> packed{};
    if (longest <= 56)
        for (int v = 0; v < 256; ++v)
            packed[size_t(v)] =
                book.bits[size_t(v)][0] | (std::uint64_t(book.length[size_t(v)]) << 56);
    inSteps(
        length, kStep,
        [&](std::size_t begin, std::size_t end) {
            for (std::size_t at = begin; at < end;) {
                const std::span<const std::uint8_t> piece = input.piece(at, end - at);
                const std::uint8_t *in = piece.data();
                const std::size_t count = piece.size();
                at += count;
                if (longest <= 14)
                    packGroup<4>(data, in, 0, count, packed.data());
                else if (longest <= 18)
                    packGroup<3>(data, in, 0, count, packed.data());
                else if (longest <= 28)
                    packGroup<2>(data, in, 0, count, packed.data());
                else if (longest <= 56)
                    packGroup<1>(data, in, 0, count, packed.data());
                else
                    for (std::size_t i = 0; i < count; ++i)
                        data.putLong(book.bits[in[i]], book.length[in[i]]);
            }
            // The whole bytes go; the pending bits are stored again at the new place.
            sink.advance(std::size_t(data.position() - base));
            base = sink.room(packedBound(kStep, longest));
            data.moveTo(base);
        },
        [&](std::size_t i) { progress.at(double(i) / total * 88.0 + 5.0 + 7.0); });
    sink.advance(std::size_t(data.finish() - base));
    progress.finish();
}

// A buffer of exactly the stream's size.
class MemorySink : public StreamSink
{
  public:
    explicit MemorySink(std::size_t size) : m_bytes(makeLargeBuffer(size + 8)) {}
    std::uint8_t *room(std::size_t) override { return m_bytes.data() + m_used; }
    void advance(std::size_t count) override { m_used += count; }
    std::vector<std::uint8_t> take()
    {
        m_bytes.resize(m_used);
        return std::move(m_bytes);
    }

  private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_used = 0;
};

} // namespace

struct HuffmanEncoder::Plan : EncodePlan
{
};

HuffmanEncoder::HuffmanEncoder(ProgressMeter &progress) : m_progress(progress) {}

HuffmanEncoder::~HuffmanEncoder() = default;

bool HuffmanEncoder::storesInput(std::span<const std::uint8_t> input)
{
    MemorySource source(input);
    return storesInput(source);
}

bool HuffmanEncoder::storesInput(ByteSource &input)
{
    m_plan = std::make_unique<Plan>(Plan{planEncoding(input, m_progress)});
    return m_plan->stored;
}

std::vector<std::uint8_t> HuffmanEncoder::compressed(std::span<const std::uint8_t> input)
{
    MemorySource source(input);
    MemorySink sink(streamSize());
    compressed(source, sink);
    return sink.take();
}

void HuffmanEncoder::compressed(ByteSource &input, StreamSink &out)
{
    compressedStream(input, out, *m_plan, m_progress);
}

std::size_t HuffmanEncoder::streamSize() const
{
    return streamSizeOf(m_plan->book);
}

} // namespace tarnvale::huffman
