#include "SafeOutput.h"

#include "FaultSeam.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnvale {

namespace {

std::string reason(int err)
{
    return std::strerror(err);
}

unsigned currentUmask()
{
    // Read without changing it: another thread may be creating files at this moment.
    if (std::FILE *status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return mask;
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

std::string baseName(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int syncFolder(const std::string &folder)
{
    if (const int err = FaultSeam::check(FileStep::Sync))
        return err;
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return errno;
    const int rc = ::fsync(dir);
    const int err = rc == 0 ? 0 : errno;
    ::close(dir);
    // Some file systems cannot flush a folder; the rename is then as durable as they make it.
    return err == EINVAL || err == EROFS ? 0 : err;
}

} // namespace

SafeOutput::SafeOutput(std::string path, unsigned newFileMode)
    : m_path(std::move(path)), m_target(m_path), m_newFileMode(newFileMode)
{
}

SafeOutput::~SafeOutput()
{
    cancel();
}

std::string SafeOutput::folderOf(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool SafeOutput::fail(int err, const std::string &text)
{
    if (m_error == 0) {
        m_error = err;
        m_errorText = text;
    }
    cancel();
    return false;
}

bool SafeOutput::open()
{
    struct stat st {};
    // Each link on the way is followed only as the kernel's protected links would: in a
    // shared folder (sticky and writable by all), only a link of this user or of the folder's
    // owner, so that another user cannot aim our output at one of our files.
    for (int links = 0; ::lstat(m_target.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++links) {
        struct stat folder {};
        const std::string linkFolder = folderOf(m_target);
        const int err = links == 40 ? ELOOP : ::stat(linkFolder.c_str(), &folder) != 0 ? errno : 0;
        if (err != 0)
            return fail(err, m_path + " is a symbolic link that cannot be followed (" + reason(err)
                                 + ")");
        if ((folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH)
            && st.st_uid != ::geteuid() && st.st_uid != folder.st_uid)
            return fail(EPERM, m_target + " is a symbolic link another user made in the shared "
                                          "folder " + linkFolder + "; it is not followed. "
                                          "Remove the link or write to another file.");
        char to[PATH_MAX];
        const ssize_t n = ::readlink(m_target.c_str(), to, sizeof to - 1);
        if (n < 0)
            return fail(errno, "Cannot read the symbolic link " + m_target + " (" + reason(errno)
                                   + ")");
        to[n] = '\0';
        m_target = to[0] == '/' ? std::string(to) : linkFolder + "/" + to;
    }
    if (m_target != m_path && ::lstat(m_target.c_str(), &st) != 0)
        return fail(errno, m_path + " is a symbolic link to a file that does not exist ("
                               + reason(errno) + ")");
    if (::stat(m_target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return fail(EINVAL, m_target + " is not a regular file; it is never replaced");
        // Root may write anywhere: a file nobody may write counts as read-only for it too.
        if ((st.st_mode & 0222) == 0 || ::access(m_target.c_str(), W_OK) != 0)
            return fail(EACCES, m_target + " is read-only");
        m_exists = true;
        m_mode = st.st_mode & 07777;
        m_uid = st.st_uid;
        m_gid = st.st_gid;
    } else if (errno != ENOENT) {
        return fail(errno, "Cannot examine " + m_target + " (" + reason(errno) + ")");
    }

    removeLeftovers(m_target);
    m_fd = createTemporary(m_target, "tmp", m_temp);
    if (m_fd < 0)
        return fail(errno, "Cannot create a file in " + folderOf(m_target) + " (" + reason(errno)
                               + ")");
    return true;
}

bool SafeOutput::write(const void *data, std::size_t size)
{
    if (m_fd < 0)
        return fail(EBADF, "Cannot write " + m_target + ": the file is not open");
    const auto *p = static_cast<const char *>(data);
    while (size > 0) {
        const std::size_t chunk = size < (std::size_t(1) << 30) ? size : (std::size_t(1) << 30);
        int err = FaultSeam::check(FileStep::Write);
        ssize_t n = -1;
        if (err == 0) {
            n = ::write(m_fd, p, chunk);
            err = n < 0 ? errno : 0;
        }
        if (err == EINTR)
            continue;
        if (err != 0)
            return fail(err, "Cannot write " + m_target + " (" + reason(err) + ")");
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

bool SafeOutput::commit()
{
    if (m_fd < 0)
        return fail(EBADF, "Cannot write " + m_target + ": the file is not open");
    if (m_exists) {
        if (::geteuid() == 0)
            (void)::fchown(m_fd, m_uid, m_gid);
        ::fchmod(m_fd, m_mode);
    } else {
        ::fchmod(m_fd, m_newFileMode & ~currentUmask() & 0777);
    }
    int err = FaultSeam::check(FileStep::Sync);
    if (err == 0 && ::fsync(m_fd) != 0)
        err = errno;
    if (err != 0)
        return fail(err, "Cannot write " + m_target + " to the disk (" + reason(err) + ")");
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail(errno, "Cannot write " + m_target + " (" + reason(errno) + ")");
    err = FaultSeam::check(FileStep::Rename);
    if (err == 0 && ::rename(m_temp.c_str(), m_target.c_str()) != 0)
        err = errno;
    if (err != 0)
        return fail(err, "Cannot put " + m_target + " in place (" + reason(err) + ")");
    m_temp.clear();
    err = syncFolder(folderOf(m_target));
    if (err != 0)
        return fail(err, m_target + " was written, but its folder could not be flushed to the "
                             "disk (" + reason(err) + ")");
    return true;
}

void SafeOutput::cancel()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

unsigned SafeOutput::modeNoLooserThan(const std::string &sourcePath, unsigned mode)
{
    struct stat st {};
    // Readable by no more users than the source, but writable by its owner even when the
    // source is not: a read-only copy would make the next backup over it fail.
    if (::stat(sourcePath.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return (mode & (st.st_mode & 0777)) | (mode & 0200);
    return mode;
}

int SafeOutput::createTemporary(const std::string &path, const std::string &tag,
                                std::string &name)
{
    if (const int err = FaultSeam::check(FileStep::Create)) {
        errno = err;
        return -1;
    }
    name = path + "." + tag + "-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC); // 0600
    if (fd < 0) {
        const int err = errno;
        name.clear();
        errno = err;
        return -1;
    }
    ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

int SafeOutput::removeLeftovers(const std::string &path, const std::string &tag)
{
    const std::string folder = folderOf(path);
    const std::string prefix = baseName(path) + "." + tag + "-";
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return 0;
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        // "<name>.<tag>-XXXXXX", or the temporary of a SafeOutput writing that file.
        const std::string name = entry->d_name;
        const bool own = name.size() == prefix.size() + 6
                         || (name.size() == prefix.size() + 17
                             && name.compare(prefix.size() + 6, 5, ".tmp-") == 0);
        if (!own || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string file = folder + "/" + name;
        const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        // Only this user's regular files that no living process holds locked.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(file.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

int SafeOutput::renameDurably(const std::string &from, const std::string &to, bool *renamed)
{
    if (renamed)
        *renamed = false;
    int err = FaultSeam::check(FileStep::Rename);
    if (err == 0 && ::rename(from.c_str(), to.c_str()) != 0)
        err = errno;
    if (err != 0)
        return err;
    if (renamed)
        *renamed = true;
    return syncFolder(folderOf(to));
}

} // namespace tarnvale
