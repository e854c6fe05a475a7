// Any bytes given to the decoder: no read outside the input or the code tree, no endless loop,
// and the same result, error and progress as the plain bit-at-a-time model.
#include "HuffmanReference.h"
#include "clsHuffman.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> stream(data, data + size);
    tarnvale::clsHuffman codec;
    std::vector<int> progress;
    codec.setProgressHandler([&](int p) { progress.push_back(p); });
    std::optional<std::vector<std::uint8_t>> out;
    std::string error;
    try {
        out = codec.decode(stream);
    } catch (const tarnvale::CodecError &e) {
        const std::string &d = e.description();
        error = d.find("identification") != std::string::npos ? "identification"
                : d.find("checksum") != std::string::npos     ? "checksum"
                : d.find("ended after") != std::string::npos  ? "truncated"
                                                              : "corrupt";
    }
    const tarnvale::reference::Outcome model = tarnvale::reference::decode(stream);
    if (out != model.bytes || error != model.error || progress != model.progress)
        std::abort();
    return 0;
}
