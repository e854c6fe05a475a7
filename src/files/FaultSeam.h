// A test seam in front of every step that writes files: creating a temporary file, writing,
// flushing to the disk, renaming into place, and allocating a large buffer. Disarmed, each
// step only counts itself. A test arms it to make the n-th step from now fail with an error
// number, or to end the whole process there with SIGKILL (a crash at that point).
#pragma once

namespace tarnvale {

enum class FileStep { Create, Write, Sync, Rename, Allocate };

class FaultSeam
{
public:
    // The n-th step from now (1 = the next one) fails with `error` (an errno value).
    static void failAt(int n, int error);
    // The n-th step from now kills the process before it is made.
    static void killAt(int n);
    // No step fails; counting starts again from 0.
    static void disarm();
    // Steps asked since the last arming or disarming.
    static int steps();

    // Asked before each step: 0 to go on, or the error number the step must fail with.
    static int check(FileStep step);
};

} // namespace tarnvale
