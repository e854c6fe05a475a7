// An error raised by the codec for its caller: a number, the raising procedure and a description.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tarnvale {

// The base of object-defined errors: every error of the codec's own carries this number.
inline constexpr std::int32_t kCodecErrorNumber = -2147221504;

// File-system failures carry the classic run-time numbers.
inline constexpr std::int32_t kErrFileNotFound = 53;
inline constexpr std::int32_t kErrDeviceIo = 57;
inline constexpr std::int32_t kErrDiskFull = 61;
inline constexpr std::int32_t kErrPermissionDenied = 70;
inline constexpr std::int32_t kErrDiskNotReady = 71;
inline constexpr std::int32_t kErrPathFileAccess = 75;
inline constexpr std::int32_t kErrPathNotFound = 76;

class CodecError : public std::runtime_error
{
public:
    // What failed: the bytes themselves (a corrupt stream, data too large), reading the input
    // file, or writing the output file.
    enum class Side { Data, Input, Output };

    CodecError(std::int32_t number, std::string source, std::string description,
               Side side = Side::Data);

    std::int32_t number() const noexcept { return m_number; }
    const std::string &source() const noexcept { return m_source; }
    const std::string &description() const noexcept { return m_description; }
    Side side() const noexcept { return m_side; }

private:
    std::int32_t m_number;
    std::string m_source;
    std::string m_description;
    Side m_side;
};

} // namespace tarnvale
