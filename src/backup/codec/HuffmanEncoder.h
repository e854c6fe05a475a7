// The HE3 encoder: counts the input, builds its codes and decides between the stored and
// the compressed form, then writes the stream. Private to the codec; clsHuffman is its face.
//
// The input is read and the stream written in pieces, so that a file is encoded in two passes
// over it with memory for a few pieces only; bytes in memory are one piece.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tarnvale::huffman {

class ProgressMeter;

// The encoder's input.
class ByteSource
{
  public:
    virtual ~ByteSource() = default;
    virtual std::size_t size() const = 0;
    // The bytes from `begin` on: at least one, at most `count` (begin + count <= size()).
    virtual std::span<const std::uint8_t> piece(std::size_t begin, std::size_t count) = 0;
};

// Where the stream goes.
class StreamSink
{
  public:
    virtual ~StreamSink() = default;
    // Room for the next `count` bytes of the stream and 8 bytes more past them.
    virtual std::uint8_t *room(std::size_t count) = 0;
    // The first `count` bytes of the room last given are the stream's next bytes.
    virtual void advance(std::size_t count) = 0;
};

class MemorySource : public ByteSource
{
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::size_t size() const override { return m_bytes.size(); }
    std::span<const std::uint8_t> piece(std::size_t begin, std::size_t count) override
    {
        return m_bytes.subspan(begin, count);
    }

  private:
    std::span<const std::uint8_t> m_bytes;
};

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
    bool storesInput(ByteSource &input);
    // The compressed stream of the input storesInput() was given and said false for.
    std::vector<std::uint8_t> compressed(std::span<const std::uint8_t> input);
    // The same into a sink: streamSize() bytes.
    void compressed(ByteSource &input, StreamSink &out);
    std::size_t streamSize() const;

  private:
    struct Plan;
    ProgressMeter &m_progress;
    std::unique_ptr<Plan> m_plan;
};

} // namespace tarnvale::huffman
