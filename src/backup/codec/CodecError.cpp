#include "CodecError.h"

namespace tarnvale {

CodecError::CodecError(std::int32_t number, std::string source, std::string description,
                       Side side)
    : std::runtime_error(source + ": " + description), m_number(number),
      m_source(std::move(source)), m_description(std::move(description)), m_side(side)
{
}

} // namespace tarnvale
