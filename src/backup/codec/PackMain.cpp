// tarnvale-pack: compresses a file into an HE3 stream or restores one, for scripted backups.
//
//   tarnvale-pack encode IN OUT
//   tarnvale-pack decode IN OUT
//
// OUT is replaced only after the whole operation succeeded. Exit status 0 on success, 1 when
// the operation failed, 2 for a wrong command line; every failure is explained on stderr.
#include "clsHuffman.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int usage()
{
    std::fputs("usage: tarnvale-pack encode IN OUT\n"
               "       tarnvale-pack decode IN OUT\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4)
        return usage();
    const std::string command = argv[1];
    if (command != "encode" && command != "decode")
        return usage();
    tarnvale::clsHuffman codec;
    try {
        if (command == "encode")
            codec.EncodeFile(argv[2], argv[3]);
        else
            codec.DecodeFile(argv[2], argv[3]);
    } catch (const tarnvale::CodecError &error) {
        std::fprintf(stderr, "tarnvale-pack: %s failed: %s: %s (error %d in %s)\n",
                     command.c_str(), argv[2], error.description().c_str(), int(error.number()),
                     error.source().c_str());
        return 1;
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "tarnvale-pack: %s failed: %s: not enough memory\n", command.c_str(),
                     argv[2]);
        return 1;
    }
    return 0;
}
