#include "CodecFiles.h"

#include "LargeBuffer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

std::string folderOf(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

void writeFully(int fd, std::span<const std::uint8_t> bytes, const std::string &source,
                const std::string &path)
{
    const std::uint8_t *p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const std::size_t chunk = left < (std::size_t(1) << 30) ? left : (std::size_t(1) << 30);
        const ssize_t n = ::write(fd, p, chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw errorFromErrno(errno, source, path);
        }
        p += n;
        left -= std::size_t(n);
    }
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

std::int64_t sizeOf(const std::string &path, const std::string &source)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw errorFromErrno(errno, source, path);
    return std::int64_t(st.st_size);
}

std::vector<std::uint8_t> readAll(const std::string &path, const std::string &source,
                                  std::size_t reserveExtra)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throw errorFromErrno(errno, source, path);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw errorFromErrno(errno, source, path);
    if (S_ISDIR(st.st_mode))
        throw errorFromErrno(EISDIR, source, path);
    std::vector<std::uint8_t> bytes =
        makeLargeBuffer(std::size_t(st.st_size), std::size_t(st.st_size) + reserveExtra);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw errorFromErrno(errno, source, path);
        }
        if (n == 0) // the file shrank while being read
            break;
        done += std::size_t(n);
    }
    bytes.resize(done);
    return bytes;
}

void replaceWith(const std::string &destPath, std::span<const std::uint8_t> head,
                 std::span<const std::uint8_t> body, const std::string &source)
{
    const std::string folder = folderOf(destPath);
    std::string temp = destPath + ".tmpXXXXXX";
    Fd fd(::mkstemp(temp.data()));
    if (fd.get() < 0)
        throw errorFromErrno(errno, source, folder);
    try {
        // mkstemp creates the file for its owner only; give it the usual permissions.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd.get(), 0666 & ~mask);
        writeFully(fd.get(), head, source, destPath);
        writeFully(fd.get(), body, source, destPath);
        if (::fsync(fd.get()) != 0)
            throw errorFromErrno(errno, source, destPath);
        if (::close(fd.release()) != 0)
            throw errorFromErrno(errno, source, destPath);
        if (::rename(temp.c_str(), destPath.c_str()) != 0)
            throw errorFromErrno(errno, source, destPath);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    // Make the rename itself durable.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
}

} // namespace tarnvale::CodecFiles
