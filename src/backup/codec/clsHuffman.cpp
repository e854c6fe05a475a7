#include "clsHuffman.h"

#include "CodecFiles.h"
#include "HuffmanDecoder.h"
#include "HuffmanEncoder.h"
#include "HuffmanShared.h"
#include "SafeOutput.h"
#include "Sha256.h"

#include <algorithm>
#include <functional>
#include <memory>

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

std::array<std::uint8_t, clsHuffman::kCheckSize>
checkFrom(const std::array<std::uint8_t, 32> &digest, std::uint64_t length)
{
    std::array<std::uint8_t, clsHuffman::kCheckSize> check{};
    std::copy(digest.begin(), digest.end(), check.begin());
    store64(check.data() + 32, length);
    std::copy(std::begin(kCheckMark), std::end(kCheckMark), check.begin() + 40);
    return check;
}

} // namespace

std::array<std::uint8_t, clsHuffman::kCheckSize>
clsHuffman::checkOf(std::span<const std::uint8_t> input)
{
    return checkFrom(sha256(input), input.size());
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

namespace {

constexpr const char *kSourceEncodeFile = "clsHuffman.EncodeFile()";

// Writes the stream of the input and then the check into the destination; `check` is asked
// after the input was counted.
void encodeInto(ByteSource &input, const std::string &destFile, unsigned mode,
                ProgressMeter &progress,
                const std::function<std::array<std::uint8_t, clsHuffman::kCheckSize>()> &check,
                const std::function<void()> &beforeCommit = {})
{
    HuffmanEncoder::checkLength(input.size(), kSourceEncode);
    HuffmanEncoder encoder(progress);
    const bool stored = encoder.storesInput(input);
    const std::array<std::uint8_t, clsHuffman::kCheckSize> tail = check();
    CodecFiles::FileSink out(destFile, kSourceEncodeFile, mode);
    if (stored) {
        out.put(kHeaderStored);
        for (std::size_t at = 0; at < input.size();) {
            const std::span<const std::uint8_t> piece = input.piece(at, input.size() - at);
            out.put(piece);
            at += piece.size();
        }
    } else {
        encoder.compressed(input, out);
    }
    out.put(tail);
    if (beforeCommit)
        beforeCommit();
    out.commit();
}

} // namespace

void clsHuffman::EncodeFile(const std::string &sourceFile, const std::string &destFile)
{
    const std::string source = kSourceEncodeFile;
    if (!CodecFiles::isPresent(sourceFile))
        throw CodecFiles::missingSource(sourceFile, source);
    // The stream holds the same data: it is not made more readable than its source.
    const unsigned mode = m_outputMode ? m_outputMode : SafeOutput::modeNoLooserThan(sourceFile);
    // A file is read twice, a piece at a time (counted and hashed, then encoded); a pipe is
    // read into memory. Refuses an input longer than a stream can describe before reading it.
    const std::unique_ptr<CodecFiles::FileSource> file = CodecFiles::openSource(sourceFile, source);
    if (!file) {
        const std::vector<std::uint8_t> input = CodecFiles::readAll(sourceFile, source);
        encodeToFile(input, destFile, mode);
        return;
    }
    Sha256 hash;
    file->hashInto(&hash);
    ProgressMeter progress(m_progress);
    // A file changed meanwhile would leave a stream of bytes the check does not describe.
    encodeInto(
        *file, destFile, mode, progress, [&] { return checkFrom(hash.digest(), file->size()); },
        [&] { file->checkUnchanged(); });
}

void clsHuffman::encodeToFile(std::span<const std::uint8_t> input, const std::string &destFile,
                              unsigned mode)
{
    HuffmanEncoder::checkLength(input.size(), kSourceEncode);
    const std::array<std::uint8_t, kCheckSize> check = checkOf(input);
    MemorySource source(input);
    ProgressMeter progress(m_progress);
    encodeInto(source, destFile, mode, progress, [&] { return check; });
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
