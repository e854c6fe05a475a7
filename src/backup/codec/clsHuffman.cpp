#include "clsHuffman.h"

#include "CodecFiles.h"
#include "HuffmanDecoder.h"
#include "HuffmanEncoder.h"
#include "HuffmanShared.h"
#include "SafeOutput.h"
#include "Sha256.h"

#include <algorithm>

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

namespace {

constexpr std::uint8_t kCheckMark[8] = {'T', 'V', 'S', 'H', 'A', '2', '5', '6'};

} // namespace

std::array<std::uint8_t, clsHuffman::kCheckSize>
clsHuffman::checkOf(std::span<const std::uint8_t> input)
{
    std::array<std::uint8_t, kCheckSize> check{};
    const std::array<std::uint8_t, 32> digest = sha256(input);
    std::copy(digest.begin(), digest.end(), check.begin());
    store64(check.data() + 32, input.size());
    std::copy(std::begin(kCheckMark), std::end(kCheckMark), check.begin() + 40);
    return check;
}

std::vector<std::uint8_t> clsHuffman::decode(std::span<const std::uint8_t> stream)
{
    ProgressMeter progress(m_progress);
    return HuffmanDecoder(progress).decode(stream);
}

std::vector<std::uint8_t> clsHuffman::decodeFileBytes(std::span<const std::uint8_t> stream)
{
    ProgressMeter progress(m_progress);
    const std::size_t size = stream.size();
    const bool marked = size >= kCheckSize &&
                        std::equal(std::begin(kCheckMark), std::end(kCheckMark), stream.end() - 8);
    // A stored stream would take a check with a damaged mark for its own bytes: its length
    // tells it apart.
    const bool stored = size >= 4 + kCheckSize && stream[0] == 'H' && stream[1] == 'E' &&
                        stream[2] == '0' && stream[3] == 0x0D &&
                        load64(stream.data() + size - 16) == size - 4 - kCheckSize;
    if (!marked && !stored)
        return HuffmanDecoder(progress).decode(stream);
    std::vector<std::uint8_t> out =
        HuffmanDecoder(progress).decode(stream.first(stream.size() - kCheckSize));
    if (!std::ranges::equal(checkOf(out), stream.last(kCheckSize)))
        throw CodecError(kCodecErrorNumber, kSourceDecode,
                         "The data is corrupted (it does not match the SHA-256 check it was "
                         "saved with)");
    return out;
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
    encodeToFile(input, destFile,
                 m_outputMode ? m_outputMode : SafeOutput::modeNoLooserThan(sourceFile));
}

void clsHuffman::encodeToFile(std::span<const std::uint8_t> input, const std::string &destFile,
                              unsigned mode)
{
    const std::string source = "clsHuffman.EncodeFile()";
    HuffmanEncoder::checkLength(input.size(), kSourceEncode);
    const std::array<std::uint8_t, kCheckSize> check = checkOf(input);
    ProgressMeter progress(m_progress);
    HuffmanEncoder encoder(progress);
    if (encoder.storesInput(input)) {
        // The stored form is the header and the input itself: no second copy in memory.
        CodecFiles::replaceWith(destFile, kHeaderStored, input, check, source, mode);
        return;
    }
    const std::vector<std::uint8_t> stream = encoder.compressed(input);
    CodecFiles::replaceWith(destFile, {}, stream, check, source, mode);
}

void clsHuffman::DecodeFile(const std::string &sourceFile, const std::string &destFile)
{
    const std::string source = "clsHuffman.DecodeFile()";
    if (!CodecFiles::isPresent(sourceFile))
        throw CodecFiles::missingSource(sourceFile, source);
    const std::vector<std::uint8_t> stream = CodecFiles::readAll(sourceFile, source);
    const std::vector<std::uint8_t> out = decodeFileBytes(stream);
    CodecFiles::replaceWith(destFile, {}, out, {}, source,
                            m_outputMode ? m_outputMode : SafeOutput::modeNoLooserThan(sourceFile));
}

} // namespace tarnvale
