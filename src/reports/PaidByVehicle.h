// What each vehicle has paid, summed from its payments, for a report that reads vehicle
// after vehicle.
#pragma once

#include <QHash>

#include <algorithm>
#include <utility>
#include <vector>

namespace tarnvale {

// What each vehicle has paid, in cents, kept in the order of the vehicles' ids. A file gives
// the yard's vehicles in that order, so each is looked for from where the last one was found:
// a million payments in a hash cost the report a cache miss a vehicle. A server may give them
// in any order: after many steps back, a hash answers instead.
class PaidByVehicle
{
  public:
    void add(qint64 vehicle, qint64 cents) { m_sums.emplace_back(vehicle, cents); }
    // Sorts by vehicle and adds up each vehicle's payments.
    void finish()
    {
        const auto byVehicle = [](const Sum &a, const Sum &b) { return a.first < b.first; };
        if (!std::is_sorted(m_sums.begin(), m_sums.end(), byVehicle))
            std::sort(m_sums.begin(), m_sums.end(), byVehicle);
        size_t kept = 0;
        for (size_t i = 0; i < m_sums.size(); ++i) {
            if (kept > 0 && m_sums[kept - 1].first == m_sums[i].first)
                m_sums[kept - 1].second += m_sums[i].second;
            else
                m_sums[kept++] = m_sums[i];
        }
        m_sums.resize(kept);
    }
    qint64 of(qint64 vehicle)
    {
        if (m_stepsBack > kStepsBackForAHash)
            return m_hashed.value(vehicle);
        const auto begin = m_sums.begin();
        auto from = begin + qsizetype(m_at);
        if (from == begin || std::prev(from)->first < vehicle) {
            // Further on: a few steps, doubling, then a search among the last of them.
            size_t step = 1;
            auto to = from;
            while (to != m_sums.end() && to->first < vehicle) {
                from = to;
                to = size_t(m_sums.end() - to) > step ? to + qsizetype(step) : m_sums.end();
                step *= 2;
            }
            from = std::lower_bound(from, to, vehicle, byVehicleId);
        } else {
            from = std::lower_bound(begin, from, vehicle, byVehicleId);
            if (++m_stepsBack > kStepsBackForAHash) {
                m_hashed.reserve(qsizetype(m_sums.size()));
                for (const auto &[id, cents] : m_sums)
                    m_hashed.insert(id, cents);
            }
        }
        m_at = size_t(from - begin);
        return from != m_sums.end() && from->first == vehicle ? from->second : 0;
    }

  private:
    using Sum = std::pair<qint64, qint64>;
    static bool byVehicleId(const Sum &a, qint64 vehicle) { return a.first < vehicle; }
    static constexpr int kStepsBackForAHash = 1000;

    std::vector<Sum> m_sums;
    size_t m_at = 0;
    int m_stepsBack = 0;
    QHash<qint64, qint64> m_hashed;
};

} // namespace tarnvale
