// Runs a piece of work in a forked child process: to crash it at a chosen point (the fault
// seam's killAt) without losing the test, or to run it as an unprivileged user. The child
// never returns into the test; the work answers its exit status (0 for success).
#pragma once

#include <functional>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnvale::test {

struct ChildEnd
{
    bool killed = false; // ended by SIGKILL
    int status = -1;     // the exit status otherwise
};

// The user "nobody": what a normal user gets, even when the tests run as root.
inline constexpr uid_t kUnprivileged = 65534;

// In a child process: become "nobody" when running as root; false if that failed.
inline bool becomeUnprivileged()
{
    return ::geteuid() != 0
        || (::setgroups(0, nullptr) == 0 && ::setgid(kUnprivileged) == 0 && ::setuid(kUnprivileged) == 0);
}

inline ChildEnd runInChild(const std::function<int()> &work, bool unprivileged = false)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (unprivileged && !becomeUnprivileged())
            ::_exit(125);
        ::_exit(work());
    }
    int raw = 0;
    if (pid < 0 || ::waitpid(pid, &raw, 0) != pid)
        return {};
    if (WIFSIGNALED(raw))
        return {WTERMSIG(raw) == SIGKILL, -1};
    return {false, WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
}

} // namespace tarnvale::test
