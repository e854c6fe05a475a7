// A deliberately plain, bit-at-a-time model of the HE3 encoder and decoder, used as an oracle
// for the optimised codec: same streams, same results, same errors, same progress values.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnvale::reference {

using Bytes = std::vector<std::uint8_t>;

struct Outcome
{
    std::optional<Bytes> bytes; // nullopt: failed
    std::string error;          // "identification", "checksum", "corrupt", "truncated"
    std::vector<int> progress;
};

inline int roundHalfEven(double x)
{
    double whole = std::floor(x);
    const double fraction = x - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    return int(whole);
}

struct Meter
{
    std::vector<int> *events;
    int last = 0;
    void at(double percent)
    {
        const int v = roundHalfEven(percent);
        if (v != last) {
            last = v;
            events->push_back(v);
        }
    }
    void finish()
    {
        if (last != 100) {
            last = 100;
            events->push_back(100);
        }
    }
};

struct Node
{
    int parent = -1, one = -1, zero = -1, value = -1;
    std::int64_t weight = 0;
};

inline void walk(const std::vector<Node> &nodes, int node, std::vector<int> &path,
                 std::array<std::vector<int>, 256> &codes)
{
    if (nodes[size_t(node)].value != -1) {
        codes[size_t(nodes[size_t(node)].value)] = path;
        return;
    }
    path.push_back(0);
    walk(nodes, nodes[size_t(node)].zero, path, codes);
    path.back() = 1;
    walk(nodes, nodes[size_t(node)].one, path, codes);
    path.pop_back();
}

inline Outcome encode(const Bytes &in)
{
    Outcome result;
    result.bytes = Bytes{};
    Bytes &out = *result.bytes;
    Meter meter{&result.progress};
    const std::size_t len = in.size();
    if (len == 0) {
        out = {'H', 'E', '0', 0x0D};
        return result;
    }
    std::array<std::int64_t, 256> counts{};
    for (std::size_t i = 0; i < len; ++i) {
        ++counts[in[i]];
        if (i % 1000 == 0)
            meter.at(double(i) / double(len) * 7);
    }
    std::vector<Node> nodes;
    for (int v = 0; v < 256; ++v)
        if (counts[size_t(v)] > 0) {
            Node n;
            n.weight = counts[size_t(v)];
            n.value = v;
            nodes.push_back(n);
        }
    const int leaves = int(nodes.size());
    for (int step = 1; step < leaves; ++step) {
        int a = -1, b = -1;
        for (int x = 0; x < int(nodes.size()); ++x) {
            if (nodes[size_t(x)].parent != -1)
                continue;
            const std::int64_t w = nodes[size_t(x)].weight;
            if (a < 0)
                a = x;
            else if (b < 0)
                b = x;
            else {
                const std::int64_t wa = nodes[size_t(a)].weight, wb = nodes[size_t(b)].weight;
                if (w < wa && w < wb)
                    (wa >= wb ? a : b) = x;
                else if (w < wa)
                    a = x;
                else if (w < wb)
                    b = x;
            }
        }
        Node joined;
        joined.weight = nodes[size_t(a)].weight + nodes[size_t(b)].weight;
        joined.zero = a;
        joined.one = b;
        nodes[size_t(a)].parent = nodes[size_t(b)].parent = int(nodes.size());
        nodes.push_back(joined);
    }
    std::array<std::vector<int>, 256> codes;
    std::vector<int> path;
    walk(nodes, int(nodes.size()) - 1, path, codes);
    std::uint64_t d = 0;
    for (int v = 0; v < 256; ++v)
        d += codes[size_t(v)].size() * std::uint64_t(counts[size_t(v)]);
    const std::uint64_t p = d % 8 == 0 ? d / 8 : d / 8 + 1;
    if (p > len || p == 0) {
        out = {'H', 'E', '0', 0x0D};
        out.insert(out.end(), in.begin(), in.end());
        return result;
    }
    std::uint8_t checksum = 0;
    for (std::size_t i = 0; i < len; ++i) {
        checksum ^= in[i];
        if (i % 10000 == 0)
            meter.at(double(i) / double(len) * 5 + 7);
    }
    out = {'H', 'E', '3', 0x0D, checksum};
    for (int k = 0; k < 4; ++k)
        out.push_back(std::uint8_t(std::uint32_t(len) >> (8 * k)));
    out.push_back(std::uint8_t(leaves));
    out.push_back(std::uint8_t(leaves >> 8));
    for (int v = 0; v < 256; ++v)
        if (!codes[size_t(v)].empty()) {
            out.push_back(std::uint8_t(v));
            out.push_back(std::uint8_t(codes[size_t(v)].size()));
        }
    int bitPos = 0;
    std::uint8_t current = 0;
    auto putBit = [&](int bit) {
        if (bit)
            current |= std::uint8_t(1 << bitPos);
        if (++bitPos == 8) {
            out.push_back(current);
            current = 0;
            bitPos = 0;
        }
    };
    auto flush = [&] {
        if (bitPos > 0) {
            out.push_back(current);
            current = 0;
            bitPos = 0;
        }
    };
    for (int v = 0; v < 256; ++v)
        for (int bit : codes[size_t(v)])
            putBit(bit);
    flush();
    for (std::size_t i = 0; i < len; ++i) {
        for (int bit : codes[in[i]])
            putBit(bit);
        if (i % 10000 == 0)
            meter.at(double(i) / double(len) * 88 + 5 + 7);
    }
    flush();
    meter.finish();
    return result;
}

inline Outcome decode(const Bytes &in)
{
    Outcome result;
    Meter meter{&result.progress};
    const std::size_t len = in.size();
    auto fail = [&](const char *why) {
        result.bytes.reset();
        result.error = why;
        return result;
    };
    if (len >= 4 && in[0] == 'H' && in[1] == 'E' && in[3] == 0x0D) {
        if (in[2] == '0') {
            result.bytes = Bytes(in.begin() + 4, in.end());
            return result;
        }
        if (in[2] != '3')
            return fail("identification");
    }
    if (len < 9)
        return fail("corrupt");
    const std::uint8_t checksum = in[4];
    const std::int32_t n = std::int32_t(std::uint32_t(in[5]) | std::uint32_t(in[6]) << 8
                                        | std::uint32_t(in[7]) << 16 | std::uint32_t(in[8]) << 24);
    // A length of 0 leaves a bare header as it was; no encoder writes one before more bytes.
    if (n == 0 && len <= 11) {
        result.bytes = in;
        return result;
    }
    if (n <= 0 || len < 11)
        return fail("corrupt");
    // The code table an encoder writes: 2 to 256 values in ascending order, whose code lengths
    // fill a whole tree.
    const int entries = std::int16_t(in[9] | in[10] << 8);
    if (entries < 2 || entries > 256)
        return fail("corrupt");
    std::array<int, 256> lengths{};
    for (int i = 0; i < entries; ++i) {
        const std::size_t at = 11 + 2 * std::size_t(i);
        if (at + 1 >= len)
            return fail("corrupt");
        if (in[at + 1] == 0 || (i > 0 && in[at] <= in[at - 2]))
            return fail("corrupt");
        lengths[in[at]] = in[at + 1];
    }
    // What the codes take of the tree, 2^-length each, must be all of it: the sum, in binary
    // digits of 2^-256, is exactly 2^256.
    std::array<int, 270> room{};
    for (int v = 0; v < 256; ++v)
        if (lengths[size_t(v)] > 0) {
            std::size_t digit = 256 - std::size_t(lengths[size_t(v)]);
            for (; room[digit] == 1; ++digit)
                room[digit] = 0;
            room[digit] = 1;
        }
    for (std::size_t digit = 0; digit < room.size(); ++digit)
        if (room[digit] != (digit == 256 ? 1 : 0))
            return fail("corrupt");
    std::vector<std::array<int, 3>> tree(1, {-1, -1, -1}); // one, zero, value
    std::size_t bit = (11 + 2 * std::size_t(entries)) * 8;
    for (int v = 0; v < 256; ++v) {
        int node = 0;
        for (int k = 0; k < lengths[size_t(v)]; ++k, ++bit) {
            if (bit / 8 >= len)
                return fail("corrupt");
            const int b = (in[bit / 8] >> (bit % 8)) & 1;
            int child = tree[size_t(node)][b ? 0 : 1];
            if (child == -1) {
                if (tree.size() >= 512)
                    return fail("corrupt");
                child = int(tree.size());
                tree[size_t(node)][b ? 0 : 1] = child;
                tree.push_back({-1, -1, -1});
            }
            node = child;
        }
        if (lengths[size_t(v)] > 0)
            tree[size_t(node)][2] = v;
    }
    // Every node a value without branches, or two branches without a value.
    for (const auto &[one, zero, value] : tree)
        if ((value != -1) != (zero == -1) || (zero == -1) != (one == -1))
            return fail("corrupt");
    const std::size_t dataStart = (bit + 7) / 8;
    std::size_t endBit = 0; // where the last value's code ended, in bits after dataStart
    Bytes out;
    int node = 0;
    bool done = false;
    for (std::size_t at = dataStart; at < len && !done; ++at) {
        for (int k = 0; k < 8; ++k) {
            const int b = (in[at] >> k) & 1;
            const int child = tree[size_t(node)][b ? 0 : 1];
            if (child < 0)
                return fail("corrupt");
            node = child;
            if (tree[size_t(node)][2] != -1) {
                out.push_back(std::uint8_t(tree[size_t(node)][2]));
                node = 0;
                if (out.size() == std::size_t(n)) {
                    endBit = (at - dataStart) * 8 + std::size_t(k) + 1;
                    done = true;
                    break;
                }
            }
        }
        if (!done && (at + 1) % 10000 == 0)
            meter.at(double(at + 1) / double(len) * 89);
    }
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        x ^= out[i];
        if (i % 10000 == 0)
            meter.at(double(i) / double(n) * 11 + 89);
    }
    if (x != checksum)
        return fail("checksum");
    if (out.size() != std::size_t(n))
        return fail("truncated");
    // The data ends in the byte of the last code, and the bits after it are 0.
    if ((endBit + 7) / 8 != len - dataStart || (endBit % 8 && in[len - 1] >> (endBit % 8)))
        return fail("corrupt");
    meter.finish();
    result.bytes = out;
    return result;
}

} // namespace tarnvale::reference
