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
#include <QCommandLineParser>
#include <QCoreApplication>

#include "PackSnapshot.h"
#include "SafeOutput.h"
#include "clsHuffman.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>

#include "clsHuffman.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitOther = 1;   // not enough memory
constexpr int kExitUsage = 2;   // wrong command line
constexpr int kExitInput = 3;   // IN cannot be read, or is a device, a folder, too large
constexpr int kExitOutput = 4;  // OUT cannot be written, or may not be replaced
constexpr int kExitCorrupt = 5; // decode: IN is not a valid stream

constexpr char kUsage[] = "usage: tarnvale-pack encode IN OUT\n"
                         "       tarnvale-pack decode IN OUT\n"
                         "       tarnvale-pack backup DATABASE OUT\n";

int usage()
{
    std::fputs(kUsage, stderr);
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

// The snapshot goes to a private temporary file beside OUT, then is encoded from there a
// piece at a time: memory stays small whatever the database's size.
void backup(tarnvale::clsHuffman &codec, const std::string &database, const std::string &out)
{
    std::string snapshot;
    const int lock = tarnvale::SafeOutput::createTemporary(out, "snapshot", snapshot);
    if (lock < 0) {
        const int err = errno;
        throw tarnvale::CodecError(tarnvale::kErrDeviceIo, "tarnvale-pack backup",
                                   "no file for the snapshot can be made beside " + out + ": " +
                                       std::strerror(err),
                                   tarnvale::CodecError::Side::Output);
    }
    struct Cleanup
    {
        int lock;
        std::string path;
        ~Cleanup()
        {
            for (const char *suffix : {"", "-journal"})
                ::unlink((path + suffix).c_str());
            ::close(lock);
        }
    } cleanup{lock, snapshot};
    tarnvale::writeDatabaseSnapshot(database, snapshot);
    codec.setOutputMode(tarnvale::SafeOutput::modeNoLooserThan(database));
    codec.EncodeFile(snapshot, out);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TARNVALE_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Makes and restores Tarnvale's backup files."));
    const QCommandLineOption help = parser.addHelpOption(), version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("encode|decode|backup"),
                                 QStringLiteral("encode compresses IN into the backup stream OUT; "
                                                "decode checks the stream IN and restores its file "
                                                "into OUT; backup compresses a consistent snapshot "
                                                "of the database IN, also while it is in use."));
    parser.addPositionalArgument(QStringLiteral("IN"), QStringLiteral("The file to read."));
    parser.addPositionalArgument(QStringLiteral("OUT"),
                                 QStringLiteral("The file to write, replaced only after success."));
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "tarnvale-pack: %s\n", qPrintable(parser.errorText()));
        return usage();
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return kExitDone;
    }
    if (parser.isSet(version)) {
        std::puts("tarnvale-pack " TARNVALE_VERSION);
        return kExitDone;
    }
    // The file names as given, byte for byte: the only option left is the "--" that may end
    // the options.
    std::vector<const char *> args(argv + 1, argv + argc);
    for (auto it = args.begin(); it != args.end(); ++it)
        if (std::strcmp(*it, "--") == 0) {
            args.erase(it);
            break;
        }
    if (args.size() != 3)
        return usage();
    const std::string command = args[0];
    if (command != "encode" && command != "decode" && command != "backup")
        return usage();
    if (command == "encode" && tarnvale::hasUnwrittenLog(args[1])) {
        std::fprintf(stderr,
                     "tarnvale-pack: encode refused: %s-wal beside %s is not empty: the newest "
                     "saves may be in it and not in the file. Back up a database in use with "
                     "\"tarnvale-pack backup %s %s\".\n",
                     args[1], args[1], args[1], args[2]);
        return kExitInput;
    }
    tarnvale::clsHuffman codec;
    try {
        if (command == "encode")
            codec.EncodeFile(args[1], args[2]);
        else if (command == "backup")
            backup(codec, args[1], args[2]);
        else
            codec.DecodeFile(args[1], args[2]);
    } catch (const tarnvale::CodecError &error) {
        std::fprintf(stderr, "tarnvale-pack: %s failed: %s: %s (error %d in %s)\n",
                     command.c_str(), args[1], error.description().c_str(), int(error.number()),
                     error.source().c_str());
        return exitStatusOf(error.side());
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "tarnvale-pack: %s failed: %s: not enough memory\n", command.c_str(),
                     args[1]);
        return kExitOther;
    }
    return kExitDone;
}
