// What each vehicle has paid, summed from its payments, for a report that reads vehicle
// after vehicle.
#pragma once

#include "ByVehicleNumber.h"

#include <vector>

namespace tarnvale {

// What each vehicle has paid, in cents, kept by vehicle number (see ByVehicleNumber). Call
// finish() once every payment is added, before of().
class PaidByVehicle
{
  public:
    PaidByVehicle(qint64 first, qint64 last) : m_paid(first, last, 0) {}
    void add(qint64 vehicle, qint64 cents)
    {
        if (const auto at = m_paid.arrayIndex(vehicle))
            m_waiting.push_back({quint32(*at), cents});
        else
            m_paid[vehicle] += cents;
    }
    // Adds the payments waiting into the array a slice of it at a time. Payments come in the
    // order they were taken, their vehicles all over the array: added one by one, each was a
    // cache miss.
    void finish()
    {
        constexpr int kSliceBits = 14; // 16,384 vehicles, 128 KB of sums
        std::vector<quint32> starts((m_paid.arraySize() >> kSliceBits) + 2, 0);
        for (const Waiting &w : m_waiting)
            ++starts[(w.at >> kSliceBits) + 1];
        for (size_t i = 1; i < starts.size(); ++i)
            starts[i] += starts[i - 1];
        std::vector<Waiting> bySlice(m_waiting.size());
        for (const Waiting &w : m_waiting)
            bySlice[starts[w.at >> kSliceBits]++] = w;
        for (const Waiting &w : bySlice)
            m_paid.atIndex(w.at) += w.cents;
        m_waiting = {};
    }
    qint64 of(qint64 vehicle) const { return m_paid.of(vehicle); }

  private:
    struct Waiting
    {
        quint32 at;
        qint64 cents;
    };

    ByVehicleNumber<qint64> m_paid;
    std::vector<Waiting> m_waiting;
};

} // namespace tarnvale
