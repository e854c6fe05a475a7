#include "CodecFiles.h"

#include "FaultSeam.h"
#include "LargeBuffer.h"
#include "SafeOutput.h"

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

std::vector<std::uint8_t> readAll(const std::string &path, const std::string &source,
                                  std::size_t reserveExtra, int idleTimeoutMs)
{
    // Without O_NONBLOCK, opening a FIFO that nobody writes to would wait for ever.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        throw inputError(errno, source, path);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw inputError(errno, source, path);
    if (S_ISDIR(st.st_mode))
        throw inputError(EISDIR, source, path);
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        throw CodecError(kErrDeviceIo, source, path + " is a device, not a file",
                         CodecError::Side::Input);
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
