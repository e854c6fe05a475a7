// A value kept for each vehicle of a report, found by the vehicle's number.
#pragma once

#include <QHash>

#include <optional>
#include <vector>

namespace tarnvale {

// The vehicles numbered from `first` to `last` (a yard's numbers, one after another) are kept
// in an array by number: a hash of a hundred thousand vehicles cost a report a cache miss a row.
// Any other vehicle (one added since the numbers were read), or every vehicle when the numbers
// lie too far apart for an array, is kept in a hash. A vehicle never given a value has `none`.
template <typename T>
class ByVehicleNumber
{
  public:
    ByVehicleNumber(qint64 first, qint64 last, T none) : m_first(first), m_none(none)
    {
        if (last >= first && quint64(last) - quint64(first) < kMostInArray)
            m_array.assign(size_t(quint64(last) - quint64(first) + 1), none);
    }
    // The value of `vehicle`, to change; `none` until changed.
    T &operator[](qint64 vehicle)
    {
        if (const auto at = arrayIndex(vehicle))
            return m_array[*at];
        auto other = m_others.find(vehicle);
        if (other == m_others.end())
            other = m_others.insert(vehicle, m_none);
        return other.value();
    }
    T of(qint64 vehicle) const
    {
        const auto at = arrayIndex(vehicle);
        return at ? m_array[*at] : m_others.value(vehicle, m_none);
    }
    // Where the array keeps `vehicle`; nullopt when the hash does.
    std::optional<size_t> arrayIndex(qint64 vehicle) const
    {
        // Past the array's end for a number below `first` too (the difference wraps around).
        const size_t at = size_t(quint64(vehicle) - quint64(m_first));
        return at < m_array.size() ? std::optional(at) : std::nullopt;
    }
    T &atIndex(size_t at) { return m_array[at]; }
    size_t arraySize() const { return m_array.size(); }

  private:
    static constexpr quint64 kMostInArray = quint64(1) << 22;

    qint64 m_first;
    T m_none;
    std::vector<T> m_array;
    QHash<qint64, T> m_others;
};

} // namespace tarnvale
