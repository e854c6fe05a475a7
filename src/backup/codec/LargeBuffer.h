// Byte buffers of many megabytes. On Linux the memory is marked for huge pages before it is
// first touched: a fresh 100 MB buffer then costs some fifty page faults instead of 25,000,
// which otherwise take as long as compressing the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "FaultSeam.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tarnvale {

// A buffer of `size` zero bytes with room for `capacity` (at least `size`).
inline std::vector<std::uint8_t> makeLargeBuffer(std::size_t size, std::size_t capacity = 0)
{
    if (FaultSeam::check(FileStep::Allocate) != 0)
        throw std::bad_alloc();
    std::vector<std::uint8_t> buffer;
    buffer.reserve(capacity > size ? capacity : size);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::size_t kWorthIt = std::size_t(4) << 20;
    if (buffer.capacity() >= kWorthIt) {
        constexpr std::uintptr_t page = 4096;
        const auto begin = (reinterpret_cast<std::uintptr_t>(buffer.data()) + page - 1) & ~(page - 1);
        const auto end = (reinterpret_cast<std::uintptr_t>(buffer.data()) + buffer.capacity()) & ~(page - 1);
        if (end > begin)
            ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE); // a hint only
    }
#endif
    buffer.resize(size);
    return buffer;
}

} // namespace tarnvale
