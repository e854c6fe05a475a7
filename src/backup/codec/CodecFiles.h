// Whole-file reading and crash-safe replacing for the codec's file operations.
#pragma once

#include "CodecError.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarnvale::CodecFiles {

// True when the file's length can be read (a file of length 0 counts as present).
bool isPresent(const std::string &path);

// The file's size in bytes; throws CodecError (source given) when it cannot be read.
std::int64_t sizeOf(const std::string &path, const std::string &source);

// Reads the whole file. `reserveExtra` bytes of spare capacity are reserved so that a caller
// can grow the buffer a little without a second copy.
std::vector<std::uint8_t> readAll(const std::string &path, const std::string &source,
                                  std::size_t reserveExtra = 0);

// Writes `head` then `body` to a temporary file in the destination's folder, flushes it to
// the disk and renames it over the destination. On any failure the temporary file is
// removed, the destination is left as it was, and CodecError is thrown.
void replaceWith(const std::string &destPath, std::span<const std::uint8_t> head,
                 std::span<const std::uint8_t> body, const std::string &source);

// The run-time error number and description for an errno value.
CodecError errorFromErrno(int err, const std::string &source, const std::string &path);

} // namespace tarnvale::CodecFiles
