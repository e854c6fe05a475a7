// A table keyed by the short texts a report reads row after row (tow dates, fees, group
// names), looked up straight from the bytes of a row without a copy. Qt's seeded hash of a byte
// array cost a report at a million vehicles more than reading them; the standard library's hash
// of a text is a fraction of it.
#pragma once

#include <QByteArrayView>

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarnvale {

struct TextKeyHash
{
    using is_transparent = void;
    size_t operator()(std::string_view text) const noexcept
    {
        return std::hash<std::string_view>{}(text);
    }
};

inline std::string_view textKey(QByteArrayView bytes)
{
    return {bytes.data(), size_t(bytes.size())};
}

template <typename Value>
using TextKeyed = std::unordered_map<std::string, Value, TextKeyHash, std::equal_to<>>;

// The value kept for `bytes`, made by `make()` the first time they are met.
template <typename Value, typename Make>
Value &keptFor(TextKeyed<Value> &table, QByteArrayView bytes, Make &&make)
{
    const auto at = table.find(textKey(bytes));
    if (at != table.end())
        return at->second;
    return table.emplace(std::string(textKey(bytes)), make()).first->second;
}

} // namespace tarnvale
