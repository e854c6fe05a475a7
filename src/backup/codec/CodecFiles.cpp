#include "CodecFiles.h"

#include "FaultSeam.h"
#include "LargeBuffer.h"
#include "SafeOutput.h"
#include "Sha256.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnvale::CodecFiles {

namespace {

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

CodecError inputError(int err, const std::string &source, const std::string &path)
{
    const CodecError e = errorFromErrno(err, source, path);
    return CodecError(e.number(), e.source(), e.description(), CodecError::Side::Input);
}

CodecError tooLarge(const std::string &source, const std::string &path)
{
    return CodecError(kCodecErrorNumber, source,
                      "The input is too large: " + path + " holds more than "
                          + std::to_string(kMaxReadLength) + " bytes",
                      CodecError::Side::Input);
}

// Grows the buffer for a read of unknown length, within kMaxReadLength (+1 to see the excess).
void makeRoom(std::vector<std::uint8_t> &bytes, std::size_t done)
{
    if (done < bytes.size())
        return;
    if (FaultSeam::check(FileStep::Allocate) != 0)
        throw std::bad_alloc();
    std::size_t grown = bytes.size() < 65536 ? 65536 : bytes.size() * 2;
    if (grown > std::size_t(kMaxReadLength) + 1)
        grown = std::size_t(kMaxReadLength) + 1;
    bytes.resize(grown);
}

} // namespace

CodecError errorFromErrno(int err, const std::string &source, const std::string &path)
{
    const std::string reason = std::strerror(err);
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return CodecError(kErrPathNotFound, source, "Path not found: " + path + " (" + reason + ")");
    case EROFS:
        return CodecError(kErrPathFileAccess, source,
                          "Path/File access error: " + path + " (" + reason + ")");
    case EACCES:
    case EPERM:
        return CodecError(kErrPermissionDenied, source,
                          "Permission denied: " + path + " (" + reason + ")");
    case ENOSPC:
    case EDQUOT:
        return CodecError(kErrDiskFull, source, "Disk full: " + path + " (" + reason + ")");
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM:
        return CodecError(kErrDiskNotReady, source, "Disk not ready: " + path + " (" + reason + ")");
    default:
        return CodecError(kErrDeviceIo, source, "Device I/O error: " + path + " (" + reason + ")");
    }
}

bool isPresent(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

CodecError missingSource(const std::string &path, const std::string &source)
{
    struct stat st {};
    const int err = ::stat(path.c_str(), &st) == 0 ? 0 : errno;
    std::string text = "Source file does not exist";
    if (err == 0 && S_ISDIR(st.st_mode))
        text = "Source file " + path + " is a folder, not a file: name a file in it";
    else if (err == ELOOP)
        text = "Source file " + path + " is a loop of symbolic links (" + std::strerror(err)
               + "): name the file itself";
    else if (err != 0 && err != ENOENT)
        text = "Source file " + path + " cannot be reached (" + std::strerror(err) + ")";
    return CodecError(kCodecErrorNumber, source, text, CodecError::Side::Input);
}

std::int64_t sizeOf(const std::string &path, const std::string &source)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw inputError(errno, source, path);
    return S_ISREG(st.st_mode) ? std::int64_t(st.st_size) : 0;
}

// What an opened input is; a folder or a device is refused.
struct stat inputStatus(int fd, const std::string &source, const std::string &path)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw inputError(errno, source, path);
    if (S_ISDIR(st.st_mode))
        throw inputError(EISDIR, source, path);
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        throw CodecError(kErrDeviceIo, source, path + " is a device, not a file",
                         CodecError::Side::Input);
    return st;
}

std::vector<std::uint8_t> readAll(const std::string &path, const std::string &source,
                                  std::size_t reserveExtra, int idleTimeoutMs)
{
    // Without O_NONBLOCK, opening a FIFO that nobody writes to would wait for ever.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        throw inputError(errno, source, path);
    const struct stat st = inputStatus(fd.get(), source, path);
    const bool stream = !S_ISREG(st.st_mode); // a pipe or a FIFO: no length known in advance
    if (!stream) {
        if (std::uint64_t(st.st_size) > kMaxReadLength)
            throw tooLarge(source, path);
        ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    }

    // A regular file is read to its end too: files under /proc report a length of 0.
    std::vector<std::uint8_t> bytes =
        makeLargeBuffer(std::size_t(st.st_size) + 1, std::size_t(st.st_size) + 1 + reserveExtra);
    std::size_t done = 0;
    for (;;) {
        makeRoom(bytes, done);
        if (stream) {
            pollfd waiting{fd.get(), POLLIN, 0};
            const int ready = ::poll(&waiting, 1, idleTimeoutMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0)
                throw inputError(errno, source, path);
            if (ready == 0)
                throw CodecError(kErrDeviceIo, source,
                                 "Nothing to read from " + path + " for "
                                     + (idleTimeoutMs % 1000 == 0
                                            ? std::to_string(idleTimeoutMs / 1000) + " seconds"
                                            : std::to_string(idleTimeoutMs) + " ms")
                                     + "; is anything writing to it?",
                                 CodecError::Side::Input);
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            throw inputError(errno, source, path);
        }
        if (n == 0)
            break;
        done += std::size_t(n);
        if (done > kMaxReadLength)
            throw tooLarge(source, path);
    }
    bytes.resize(done);
    return bytes;
}

namespace {

constexpr std::size_t kPieceSize = std::size_t(4) << 20;

std::int64_t changeTime(const struct stat &st)
{
    return std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

std::unique_ptr<FileSource> openSource(const std::string &path, const std::string &source)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw inputError(errno, source, path);
    std::unique_ptr<FileSource> file(new FileSource(fd, path, source));
    const struct stat st = inputStatus(fd, source, path);
    if (!S_ISREG(st.st_mode) || st.st_size == 0)
        return nullptr;
    if (std::uint64_t(st.st_size) > kMaxReadLength)
        throw tooLarge(source, path);
    file->m_size = std::size_t(st.st_size);
    file->m_changedAt = changeTime(st);
    file->m_buffer = makeLargeBuffer(std::min(file->m_size, kPieceSize));
    return file;
}

FileSource::FileSource(int fd, const std::string &path, const std::string &source)
    : m_fd(fd), m_path(path), m_source(source)
{
}

FileSource::~FileSource()
{
    ::close(m_fd);
}

void FileSource::changed() const
{
    throw CodecError(kErrDeviceIo, m_source,
                     m_path + " changed while it was being read: nothing was written",
                     CodecError::Side::Input);
}

std::span<const std::uint8_t> FileSource::piece(std::size_t begin, std::size_t count)
{
    if (begin < m_begin || begin >= m_begin + m_loaded) {
        m_begin = begin;
        m_loaded = std::min(m_buffer.size(), m_size - begin);
        for (std::size_t done = 0; done < m_loaded;) {
            const ssize_t n =
                ::pread(m_fd, m_buffer.data() + done, m_loaded - done, off_t(begin + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw inputError(errno, m_source, m_path);
            if (n == 0)
                changed();
            done += std::size_t(n);
        }
        if (m_hash && begin == m_hashed) {
            m_hash->add(std::span<const std::uint8_t>(m_buffer.data(), m_loaded));
            m_hashed += m_loaded;
        }
    }
    const std::size_t offset = begin - m_begin;
    return std::span<const std::uint8_t>(m_buffer.data() + offset,
                                         std::min(count, m_loaded - offset));
}

void FileSource::checkUnchanged() const
{
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0)
        throw inputError(errno, m_source, m_path);
    if (std::uint64_t(st.st_size) != m_size || changeTime(st) != m_changedAt)
        changed();
}

FileSink::FileSink(const std::string &destPath, const std::string &source, unsigned newFileMode)
    : m_out(destPath, newFileMode), m_dest(destPath), m_source(source),
      m_buffer(makeLargeBuffer(kPieceSize))
{
    if (!m_out.open())
        failed();
}

void FileSink::failed()
{
    const CodecError e = errorFromErrno(m_out.error(), m_source, m_dest);
    throw CodecError(e.number(), m_source, m_out.errorText(), CodecError::Side::Output);
}

void FileSink::flush()
{
    if (m_used > 0 && !m_out.write(m_buffer.data(), m_used))
        failed();
    m_used = 0;
}

std::uint8_t *FileSink::room(std::size_t count)
{
    if (m_used + count + 8 > m_buffer.size()) {
        flush();
        if (count + 8 > m_buffer.size())
            m_buffer.resize(count + 8);
    }
    return m_buffer.data() + m_used;
}

void FileSink::put(std::span<const std::uint8_t> bytes)
{
    if (m_used + bytes.size() <= m_buffer.size()) {
        std::memcpy(m_buffer.data() + m_used, bytes.data(), bytes.size());
        m_used += bytes.size();
        return;
    }
    flush();
    if (!m_out.write(bytes.data(), bytes.size()))
        failed();
}

void FileSink::commit()
{
    flush();
    if (!m_out.commit())
        failed();
}

void replaceWith(const std::string &destPath, std::span<const std::uint8_t> head,
                 std::span<const std::uint8_t> body, std::span<const std::uint8_t> tail,
                 const std::string &source, unsigned newFileMode)
{
    SafeOutput out(destPath, newFileMode);
    const bool ok = out.open() && out.write(head.data(), head.size())
                    && out.write(body.data(), body.size()) && out.write(tail.data(), tail.size())
                    && out.commit();
    if (!ok) {
        const CodecError e = errorFromErrno(out.error(), source, destPath);
        throw CodecError(e.number(), source, out.errorText(), CodecError::Side::Output);
    }
}

} // namespace tarnvale::CodecFiles
