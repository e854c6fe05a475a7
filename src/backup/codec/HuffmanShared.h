// What the HE3 encoder, decoder and their facade share: the stream's constants, the
// little-endian loads and stores, the error of a broken stream, and the progress steps.
// Private to the codec.
#pragma once

#include "CodecError.h"
#include "clsHuffman.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace tarnvale::huffman {

inline constexpr std::uint8_t kHeaderStored[4] = {'H', 'E', '0', 0x0D};
inline constexpr std::uint8_t kHeaderCompressed[4] = {'H', 'E', '3', 0x0D};
inline constexpr std::size_t kFixedHeader = 11; // identification, checksum, length, N
inline constexpr int kTableSize = 512;          // code tree nodes, indices 0 to 511

inline constexpr const char *kSourceEncode = "clsHuffman.Encode()";
inline constexpr const char *kSourceDecode = "clsHuffman.Decode()";

inline CodecError corrupt(const std::string &what)
{
    return CodecError(kCodecErrorNumber, kSourceDecode, "The data is corrupt (" + what + ")");
}

inline std::uint64_t load64(const std::uint8_t *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

inline void store64(std::uint8_t *p, std::uint64_t v)
{
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

inline void put32(std::uint8_t *p, std::uint32_t v)
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

} // namespace tarnvale::huffman
