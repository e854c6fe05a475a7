// The HE3 decoder: reads the code table into a tree and a lookup table, then the data bits,
// two chains of lookups at a time over long stretches. It never reads outside its input or
// its 512-node tree and always ends. Private to the codec; clsHuffman is its face.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarnvale::huffman {

class ProgressMeter;

class HuffmanDecoder
{
  public:
    explicit HuffmanDecoder(ProgressMeter &progress) : m_progress(progress) {}

    // The bytes of a stream, stored or compressed; throws a CodecError when it is broken.
    std::vector<std::uint8_t> decode(std::span<const std::uint8_t> stream);

  private:
    ProgressMeter &m_progress;
};

} // namespace tarnvale::huffman
