// Replaces one file so that a failure or a crash at any point leaves either the old file or
// the new one, whole, and never a file of a different kind or with looser permissions.
//
// The destination must be absent or a regular file the caller may write. A symbolic link is
// followed to the file it names (one that names nothing is refused, and so is one another user
// made in a sticky folder all may write, unless that user owns the folder); a read-only file,
// a device, a FIFO or a folder is refused before anything is written. The new content goes to
// a private (0600) temporary file beside the destination, "<name>.tmp-XXXXXX", locked while
// it is open. commit() flushes it to the disk, gives it the permissions (and, for root, the
// owner) of the file it replaces, or `newFileMode` less the umask for a new file, renames it
// into place and flushes the folder, so that the rename itself survives a power cut.
// The temporary file is removed on every way out; one left behind by a process that was
// killed is removed by the next SafeOutput for the same destination, or by removeLeftovers().
//
// Plain C++ (no Qt): the codec and the command-line tool use it too.
#pragma once

#include <cstddef>
#include <string>

namespace tarnvale {

class SafeOutput
{
public:
    explicit SafeOutput(std::string path, unsigned newFileMode = 0666);
    ~SafeOutput(); // cancels unless committed
    SafeOutput(const SafeOutput &) = delete;
    SafeOutput &operator=(const SafeOutput &) = delete;

    // Checks the destination and creates the temporary file.
    bool open();
    bool write(const void *data, std::size_t size);
    // Flushes, renames into place and flushes the folder. After a failure the destination
    // is as it was, except when only the folder flush failed (then the new file is in place).
    bool commit();
    void cancel();

    // The errno of the first failure (0 when none) and a sentence naming the file.
    int error() const { return m_error; }
    const std::string &errorText() const { return m_errorText; }
    // The file that is replaced: the destination, or the file its symbolic link names.
    const std::string &target() const { return m_target; }

    // The new file mode for a copy of `sourcePath` that must not be more readable than it;
    // the copy's owner may write it (as `mode` allows) even when the source is read-only.
    static unsigned modeNoLooserThan(const std::string &sourcePath, unsigned mode = 0666);

    // A private (0600), locked temporary file "<path>.<tag>-XXXXXX" beside `path`; its
    // descriptor (the lock is held until it is closed), or -1 with errno set.
    static int createTemporary(const std::string &path, const std::string &tag, std::string &name);
    // Removes the "<path>.<tag>-XXXXXX" files (and their own "...tmp-XXXXXX" temporaries) of
    // this user that no process holds locked any more (left by a crash); the number removed.
    static int removeLeftovers(const std::string &path, const std::string &tag = "tmp");
    // rename() followed by a flush of the destination's folder; 0 or the errno of the failure.
    // `renamed` (when given) tells whether the rename itself was made.
    static int renameDurably(const std::string &from, const std::string &to,
                             bool *renamed = nullptr);
    static std::string folderOf(const std::string &path);

private:
    bool fail(int err, const std::string &text);

    std::string m_path;
    std::string m_target;
    std::string m_temp;
    unsigned m_newFileMode;
    int m_fd = -1;
    bool m_exists = false;
    unsigned m_mode = 0;
    unsigned m_uid = 0;
    unsigned m_gid = 0;
    int m_error = 0;
    std::string m_errorText;
};

} // namespace tarnvale
