// SHA-256 (FIPS 180-4) of a byte sequence: the check a backup file carries over its content.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tarnvale {

std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes);

// The same over bytes given in pieces.
class Sha256
{
  public:
    Sha256();
    void add(std::span<const std::uint8_t> bytes);
    // The digest of every byte added so far.
    std::array<std::uint8_t, 32> digest() const;

  private:
    std::uint32_t m_state[8];
    std::uint8_t m_block[64] = {};
    std::size_t m_pending = 0;
    std::uint64_t m_length = 0;
};

} // namespace tarnvale
