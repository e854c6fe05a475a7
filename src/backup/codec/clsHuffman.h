// Static Huffman compression of a byte sequence into a self-describing stream, and back.
//
// Two stream forms. Compressed ("HE3", 0x0D): checksum (xor of the input), length (32-bit
// signed), N, N entries (byte value, code length), the code table bits, the data bits; bits
// are packed least significant first, table and data as two separate runs. Stored ("HE0",
// 0x0D, then the input unchanged): for empty input, input of a single distinct byte value,
// and input whose packed data bits alone would not fit in fewer bytes than the input has.
//
// A file written by EncodeFile carries a check after the stream: the SHA-256 of the bytes it
// holds (32 bytes), their number (8 bytes, little-endian) and the mark "TVSHA256". Decoders
// that follow the stream's rules stop at the end of its data bits and never read it (after a
// stored stream, rare for a database, they take it for 48 more bytes). DecodeFile verifies the
// check of every file that ends with it and refuses one whose bytes differ.
//
// The codec keeps no state between calls. Every failure is thrown as a CodecError and leaves
// the caller's buffer or destination file as it was. The decoder never reads outside its input
// or its 512-node code tree and always ends, whatever the bytes it is given.
#pragma once

#include "CodecError.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tarnvale {

class clsHuffman
{
public:
    // Receives the rounded percentage each time it changes; runs on the caller's thread,
    // inside the codec's loops. Each call starts from 0 and ends with 100 (compressed form).
    using ProgressHandler = std::function<void(int procent)>;

    // The longest input the stream's 32-bit signed length can describe.
    static constexpr std::int64_t kMaxInputLength = 2147483647;

    void setProgressHandler(ProgressHandler handler) { m_progress = std::move(handler); }
    // The permissions of a new destination file; 0 (the default): those of the source file,
    // less the umask, at most 0666.
    void setOutputMode(unsigned mode) { m_outputMode = mode; }

    // Reads the whole source file, encodes it and replaces the destination file with the
    // stream (written to a temporary file beside it, then renamed into place). Nothing is
    // written when any step fails.
    void EncodeFile(const std::string &sourceFile, const std::string &destFile);
    // The same for bytes already in memory (a database snapshot); a new destination gets
    // `mode` less the umask.
    void encodeToFile(std::span<const std::uint8_t> input, const std::string &destFile,
                      unsigned mode);
    // The inverse of EncodeFile; the destination is written only after decoding succeeded.
    void DecodeFile(const std::string &sourceFile, const std::string &destFile);

    // The first byteLen bytes of the buffer are replaced by their stream, sized exactly.
    void EncodeByte(std::vector<std::uint8_t> &byteArray, std::int64_t byteLen);
    // The first byteLen bytes of the buffer (a stream) are replaced by the restored bytes.
    void DecodeByte(std::vector<std::uint8_t> &byteArray, std::int64_t byteLen);

    // The same over text, one byte per character.
    std::string EncodeString(const std::string &text);
    std::string DecodeString(const std::string &text);

    // The stream of the given bytes, and the bytes of a stream.
    std::vector<std::uint8_t> encode(std::span<const std::uint8_t> input);
    std::vector<std::uint8_t> decode(std::span<const std::uint8_t> stream);
    // The bytes of a file's content as DecodeFile reads them: a stream, its check verified
    // when it ends with one.
    std::vector<std::uint8_t> decodeFileBytes(std::span<const std::uint8_t> stream);

    // The check EncodeFile writes after the stream of `input`.
    static constexpr std::size_t kCheckSize = 48;
    static std::array<std::uint8_t, kCheckSize> checkOf(std::span<const std::uint8_t> input);

private:
    ProgressHandler m_progress;
    unsigned m_outputMode = 0;
};

} // namespace tarnvale
