// The HE3 encoder: counts the input, builds its codes and decides between the stored and
// the compressed form, then writes the stream. Private to the codec; clsHuffman is its face.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tarnvale::huffman {

class ProgressMeter;

class HuffmanEncoder
{
  public:
    explicit HuffmanEncoder(ProgressMeter &progress);
    ~HuffmanEncoder();

    // Throws when the length does not fit in a stream; `source` names the routine asked.
    static void checkLength(std::uint64_t length, const char *source);
    // The stored form: "HE0", 0x0D, then the input.
    static std::vector<std::uint8_t> stored(std::span<const std::uint8_t> input);

    // Counts the input (progress 0 to 7 %) and builds its codes; true when the input is to
    // be stored as it is rather than compressed.
    bool storesInput(std::span<const std::uint8_t> input);
    // The compressed stream of the input storesInput() was given and said false for.
    std::vector<std::uint8_t> compressed(std::span<const std::uint8_t> input);

  private:
    struct Plan;
    ProgressMeter &m_progress;
    std::unique_ptr<Plan> m_plan;
};

} // namespace tarnvale::huffman
