// Whole-file reading and crash-safe replacing for the codec's file operations.
#pragma once

#include "CodecError.h"
#include "HuffmanEncoder.h"
#include "SafeOutput.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tarnvale {
class Sha256;
}

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

// A regular file of known length, read in pieces of a few megabytes: an encoder passes over
// it twice without holding it. Throws a CodecError of the input side when it cannot be read,
// and when it is found to have changed since it was opened (its length or time of change
// differ, or it ends early).
class FileSource : public huffman::ByteSource
{
  public:
    ~FileSource() override;
    std::size_t size() const override { return m_size; }
    std::span<const std::uint8_t> piece(std::size_t begin, std::size_t count) override;
    // The pieces read from the start of the file on, in order, are added to `hash`.
    void hashInto(Sha256 *hash) { m_hash = hash; }
    void checkUnchanged() const;

  private:
    friend std::unique_ptr<FileSource> openSource(const std::string &, const std::string &);
    FileSource(int fd, const std::string &path, const std::string &source);
    [[noreturn]] void changed() const;

    int m_fd;
    std::string m_path, m_source;
    std::size_t m_size = 0;
    std::int64_t m_changedAt = 0;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_begin = 0, m_loaded = 0, m_hashed = 0;
    Sha256 *m_hash = nullptr;
};

// The file as a FileSource; nullptr for an input readAll() reads instead (a pipe or FIFO, or
// a file that reports no length, as those under /proc do). A folder, a device or a file too
// large is refused as readAll() refuses it.
std::unique_ptr<FileSource> openSource(const std::string &path, const std::string &source);

// A stream written through SafeOutput in pieces: the destination is replaced by commit() only,
// and left as it was on any failure (thrown as a CodecError of the output side) or when the
// sink goes without a commit.
class FileSink : public huffman::StreamSink
{
  public:
    FileSink(const std::string &destPath, const std::string &source, unsigned newFileMode);
    std::uint8_t *room(std::size_t count) override;
    void advance(std::size_t count) override { m_used += count; }
    void put(std::span<const std::uint8_t> bytes);
    void commit();

  private:
    void flush();
    [[noreturn]] void failed();

    SafeOutput m_out;
    std::string m_dest, m_source;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;
};

// The run-time error number and description for an errno value.
CodecError errorFromErrno(int err, const std::string &source, const std::string &path);

} // namespace tarnvale::CodecFiles
