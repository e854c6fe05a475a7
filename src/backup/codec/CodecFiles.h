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
// Why an input that is not present cannot be read: "Source file does not exist", or what the
// path names instead (a folder, a loop of symbolic links, a file the user may not see).
CodecError missingSource(const std::string &path, const std::string &source);

// The file's size in bytes; throws CodecError (source given) when it cannot be read.
std::int64_t sizeOf(const std::string &path, const std::string &source);

// The most bytes read from one input: what a stream's 32-bit signed length can describe.
inline constexpr std::uint64_t kMaxReadLength = 2147483647;
// How long a pipe or FIFO may stay silent before reading it is given up.
inline constexpr int kIdleTimeoutMs = 60000;

// Reads the whole input to its end: a regular file (also one under /proc that reports no
// length) or a pipe or FIFO. A device or a folder is refused, as is an input longer than
// kMaxReadLength; a pipe or FIFO that gives nothing for `idleTimeoutMs` (no writer) fails
// instead of waiting for ever. `reserveExtra` bytes of spare capacity are reserved so that
// a caller can grow the buffer a little without a second copy. Failures are CodecErrors of
// the input side.
std::vector<std::uint8_t> readAll(const std::string &path, const std::string &source,
                                  std::size_t reserveExtra = 0,
                                  int idleTimeoutMs = kIdleTimeoutMs);

// Replaces the destination through SafeOutput with `head`, `body` then `tail`: a regular file or
// nothing may be there, its permissions are kept (a new file gets `newFileMode` less the
// umask). On any failure the destination is left as it was and a CodecError of the output
// side is thrown.
void replaceWith(const std::string &destPath, std::span<const std::uint8_t> head,
                 std::span<const std::uint8_t> body, std::span<const std::uint8_t> tail,
                 const std::string &source, unsigned newFileMode = 0666);

// The run-time error number and description for an errno value.
CodecError errorFromErrno(int err, const std::string &source, const std::string &path);

} // namespace tarnvale::CodecFiles
