// tarnvale-pack: compresses a file into an HE3 stream or restores one, for scripted backups.
//
//   tarnvale-pack encode IN OUT
//   tarnvale-pack decode IN OUT
//   tarnvale-pack backup DATABASE OUT
//
// backup encodes a consistent snapshot of an SQLite database taken through SQLite, also while
// programs have it open; encode refuses a file with a non-empty "-wal" beside it, whose newest
// saves may be in that log only.
// IN is read to its end (a regular file, a pipe or a FIFO; a device or folder is refused).
// OUT is replaced only after the whole operation succeeded, through a private temporary file
// beside it; OUT must be absent or a regular file that may be written (a symbolic link is
// followed), keeps its permissions, and a new OUT is not more readable than IN.
// Every failure is explained on stderr; the exit status tells its kind (see kExit*).
#include "PackSnapshot.h"
#include "SafeOutput.h"
#include "clsHuffman.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr int kExitDone = 0;
constexpr int kExitOther = 1;   // not enough memory
constexpr int kExitUsage = 2;   // wrong command line
constexpr int kExitInput = 3;   // IN cannot be read, or is a device, a folder, too large
constexpr int kExitOutput = 4;  // OUT cannot be written, or may not be replaced
constexpr int kExitCorrupt = 5; // decode: IN is not a valid stream

int usage()
{
    std::fputs("usage: tarnvale-pack encode IN OUT\n"
               "       tarnvale-pack decode IN OUT\n"
               "       tarnvale-pack backup DATABASE OUT\n",
               stderr);
    return kExitUsage;
}

int exitStatusOf(tarnvale::CodecError::Side side)
{
    switch (side) {
    case tarnvale::CodecError::Side::Input:
        return kExitInput;
    case tarnvale::CodecError::Side::Output:
        return kExitOutput;
    case tarnvale::CodecError::Side::Data:
        break;
    }
    return kExitCorrupt;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4)
        return usage();
    const std::string command = argv[1];
    if (command != "encode" && command != "decode" && command != "backup")
        return usage();
    if (command == "encode" && tarnvale::hasUnwrittenLog(argv[2])) {
        std::fprintf(stderr,
                     "tarnvale-pack: encode refused: %s-wal beside %s is not empty: the newest "
                     "saves may be in it and not in the file. Back up a database in use with "
                     "\"tarnvale-pack backup %s %s\".\n",
                     argv[2], argv[2], argv[2], argv[3]);
        return kExitInput;
    }
    tarnvale::clsHuffman codec;
    try {
        if (command == "encode")
            codec.EncodeFile(argv[2], argv[3]);
        else if (command == "backup")
            codec.encodeToFile(tarnvale::databaseSnapshot(argv[2]), argv[3],
                               tarnvale::SafeOutput::modeNoLooserThan(argv[2]));
        else
            codec.DecodeFile(argv[2], argv[3]);
    } catch (const tarnvale::CodecError &error) {
        std::fprintf(stderr, "tarnvale-pack: %s failed: %s: %s (error %d in %s)\n",
                     command.c_str(), argv[2], error.description().c_str(), int(error.number()),
                     error.source().c_str());
        return exitStatusOf(error.side());
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "tarnvale-pack: %s failed: %s: not enough memory\n", command.c_str(),
                     argv[2]);
        return kExitOther;
    }
    return kExitDone;
}
