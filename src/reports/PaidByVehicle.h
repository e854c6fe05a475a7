// What each vehicle has paid, summed from its payments, for a report that reads vehicle
// after vehicle.
#pragma once

#include <QHash>

#include <vector>

namespace tarnvale {

// What each vehicle has paid, in cents. The vehicles numbered from `first` to `last` (a yard's
// numbers, one after another) are kept in an array by number: a million payments in a hash cost
// a report a cache miss a vehicle, and a sort of them a tenth of its time. Any other vehicle
// (one added since the numbers were read), or every vehicle when the numbers lie too far apart
// for an array, is kept in a hash. Call finish() once every payment is added, before of().
class PaidByVehicle
{
  public:
    PaidByVehicle(qint64 first, qint64 last) : m_first(first)
    {
        if (last >= first && last - first < kMostInArray)
            m_byNumber.assign(size_t(last - first + 1), 0);
    }
    void add(qint64 vehicle, qint64 cents)
    {
        const size_t at = slot(vehicle);
        if (at < m_byNumber.size())
            m_waiting.push_back({quint32(at), cents});
        else
            m_others[vehicle] += cents;
    }
    // Adds the payments waiting into the array a slice of it at a time. Payments come in the
    // order they were taken, their vehicles all over the array: added one by one, each was a
    // cache miss.
    void finish()
    {
        constexpr int kSliceBits = 14; // 16,384 vehicles, 128 KB of sums
        std::vector<quint32> starts((m_byNumber.size() >> kSliceBits) + 2, 0);
        for (const Waiting &w : m_waiting)
            ++starts[(w.at >> kSliceBits) + 1];
        for (size_t i = 1; i < starts.size(); ++i)
            starts[i] += starts[i - 1];
        std::vector<Waiting> bySlice(m_waiting.size());
        for (const Waiting &w : m_waiting)
            bySlice[starts[w.at >> kSliceBits]++] = w;
        for (const Waiting &w : bySlice)
            m_byNumber[w.at] += w.cents;
        m_waiting = {};
    }
    qint64 of(qint64 vehicle) const
    {
        const size_t at = slot(vehicle);
        return at < m_byNumber.size() ? m_byNumber[at] : m_others.value(vehicle);
    }

  private:
    static constexpr qint64 kMostInArray = qint64(1) << 22; // 32 MB

    struct Waiting
    {
        quint32 at;
        qint64 cents;
    };

    // Past the array's end for a number below `first` too (the difference wraps around).
    size_t slot(qint64 vehicle) const { return size_t(quint64(vehicle) - quint64(m_first)); }

    qint64 m_first;
    std::vector<qint64> m_byNumber;
    std::vector<Waiting> m_waiting;
    QHash<qint64, qint64> m_others;
};

} // namespace tarnvale
