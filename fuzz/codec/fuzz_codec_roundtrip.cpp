// Any bytes encode to exactly the model's stream and decode back to themselves.
#include "HuffmanReference.h"
#include "clsHuffman.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> input(data, data + size);
    tarnvale::clsHuffman codec;
    std::vector<int> progress;
    codec.setProgressHandler([&](int p) { progress.push_back(p); });
    const std::vector<std::uint8_t> stream = codec.encode(input);
    const tarnvale::reference::Outcome model = tarnvale::reference::encode(input);
    if (stream != *model.bytes || progress != model.progress)
        std::abort();
    std::vector<std::uint8_t> buffer = stream;
    codec.DecodeByte(buffer, std::int64_t(buffer.size()));
    if (buffer != input)
        std::abort();
    return 0;
}
