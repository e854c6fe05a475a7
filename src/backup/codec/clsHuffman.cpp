#include "clsHuffman.h"

#include "CodecFiles.h"
#include "HuffmanDecoder.h"
#include "HuffmanEncoder.h"
#include "HuffmanShared.h"
#include "SafeOutput.h"

namespace tarnvale {

using namespace huffman;

std::vector<std::uint8_t> clsHuffman::encode(std::span<const std::uint8_t> input)
{
    HuffmanEncoder::checkLength(input.size(), kSourceEncode);
    ProgressMeter progress(m_progress);
    HuffmanEncoder encoder(progress);
    if (encoder.storesInput(input))
        return HuffmanEncoder::stored(input);
    return encoder.compressed(input);
}

std::vector<std::uint8_t> clsHuffman::decode(std::span<const std::uint8_t> stream)
{
    ProgressMeter progress(m_progress);
    return HuffmanDecoder(progress).decode(stream);
}

void clsHuffman::EncodeByte(std::vector<std::uint8_t> &byteArray, std::int64_t byteLen)
{
    if (byteLen > kMaxInputLength)
        HuffmanEncoder::checkLength(std::uint64_t(byteLen), "clsHuffman.EncodeByte()");
    if (byteLen < 0 || std::uint64_t(byteLen) > byteArray.size())
        throw CodecError(kCodecErrorNumber, "clsHuffman.EncodeByte()",
                         "ByteLen is outside the buffer");
    std::vector<std::uint8_t> stream =
        encode(std::span<const std::uint8_t>(byteArray.data(), std::size_t(byteLen)));
    byteArray.swap(stream);
}

void clsHuffman::DecodeByte(std::vector<std::uint8_t> &byteArray, std::int64_t byteLen)
{
    if (byteLen < 0 || std::uint64_t(byteLen) > byteArray.size())
        throw CodecError(kCodecErrorNumber, "clsHuffman.DecodeByte()",
                         "ByteLen is outside the buffer");
    std::vector<std::uint8_t> out =
        decode(std::span<const std::uint8_t>(byteArray.data(), std::size_t(byteLen)));
    byteArray.swap(out);
}

std::string clsHuffman::EncodeString(const std::string &text)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(text.data());
    const std::vector<std::uint8_t> out = encode(std::span<const std::uint8_t>(bytes, text.size()));
    return std::string(out.begin(), out.end());
}

std::string clsHuffman::DecodeString(const std::string &text)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(text.data());
    const std::vector<std::uint8_t> out = decode(std::span<const std::uint8_t>(bytes, text.size()));
    return std::string(out.begin(), out.end());
}

void clsHuffman::EncodeFile(const std::string &sourceFile, const std::string &destFile)
{
    const std::string source = "clsHuffman.EncodeFile()";
    if (!CodecFiles::isPresent(sourceFile))
        throw CodecFiles::missingSource(sourceFile, source);
    // Refuses an input longer than a stream can describe before reading more of it.
    const std::vector<std::uint8_t> input = CodecFiles::readAll(sourceFile, source);
    // The stream holds the same data: it is not made more readable than its source.
    const unsigned mode = m_outputMode ? m_outputMode : SafeOutput::modeNoLooserThan(sourceFile);

    ProgressMeter progress(m_progress);
    HuffmanEncoder encoder(progress);
    if (encoder.storesInput(input)) {
        // The stored form is the header and the input itself: no second copy in memory.
        CodecFiles::replaceWith(destFile, kHeaderStored, input, source, mode);
        return;
    }
    const std::vector<std::uint8_t> stream = encoder.compressed(input);
    CodecFiles::replaceWith(destFile, {}, stream, source, mode);
}

void clsHuffman::DecodeFile(const std::string &sourceFile, const std::string &destFile)
{
    const std::string source = "clsHuffman.DecodeFile()";
    if (!CodecFiles::isPresent(sourceFile))
        throw CodecFiles::missingSource(sourceFile, source);
    const std::vector<std::uint8_t> stream = CodecFiles::readAll(sourceFile, source);
    const std::vector<std::uint8_t> out = decode(stream);
    CodecFiles::replaceWith(destFile, {}, out, source,
                            m_outputMode ? m_outputMode : SafeOutput::modeNoLooserThan(sourceFile));
}

} // namespace tarnvale
