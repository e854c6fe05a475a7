#include "FaultSeam.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace tarnvale {

namespace {

std::atomic<int> g_steps{0};
std::atomic<int> g_target{0}; // 0: disarmed
std::atomic<int> g_error{0};  // 0 with a target: kill

} // namespace

void FaultSeam::failAt(int n, int error)
{
    g_error = error;
    g_steps = 0;
    g_target = n;
}

void FaultSeam::killAt(int n)
{
    failAt(n, 0);
}

void FaultSeam::disarm()
{
    g_target = 0;
    g_steps = 0;
}

int FaultSeam::steps()
{
    return g_steps;
}

int FaultSeam::check(FileStep)
{
    const int step = ++g_steps;
    if (g_target == 0 || step != g_target)
        return 0;
    if (g_error == 0)
        ::kill(::getpid(), SIGKILL);
    return g_error;
}

} // namespace tarnvale
