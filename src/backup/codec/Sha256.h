// SHA-256 (FIPS 180-4) of a byte sequence: the check a backup file carries over its content.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tarnvale {

std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes);

} // namespace tarnvale
