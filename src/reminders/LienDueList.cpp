#include "LienDueList.h"

#include <QSet>

#include <algorithm>

#include "ImpoundStore.h"

namespace tarnvale {

bool LienDueList::fill(const QList<LienStep> &schedule, const QDate &today)
{
    m_schedule = schedule;
    m_today = today;
    const auto items = m_impound.lienStepsDue(schedule, today);
    m_filled = items.has_value();
    m_items = items.value_or(QList<LienItem>());
    return m_filled;
}

std::optional<LienDueList::Update> LienDueList::apply(const StoreChange &change,
                                                      const QList<LienStep> &schedule,
                                                      const QDate &today)
{
    Update update;
    if (!m_filled || change.reset || schedule != m_schedule || today != m_today) {
        update.refilled = true;
        return fill(schedule, today) ? std::optional(update) : std::nullopt;
    }
    QList<qint64> ids = change.addedRecords + change.changedRecords + change.removedRecords;
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    const auto fresh = m_impound.lienStepsDue(schedule, today, ids);
    if (!fresh) {
        m_filled = false;
        m_items.clear();
        return std::nullopt;
    }
    QList<LienItem> kept;
    kept.reserve(m_items.size());
    for (qsizetype i = m_items.size() - 1; i >= 0; --i)
        if (std::binary_search(ids.begin(), ids.end(), m_items.at(i).vehicleId))
            update.removed.append(int(i));
    for (const LienItem &item : std::as_const(m_items))
        if (!std::binary_search(ids.begin(), ids.end(), item.vehicleId))
            kept.append(item);
    // Both lists are in list order, and no vehicle is in both: a merge keeps that order.
    m_items.clear();
    m_items.reserve(kept.size() + fresh->size());
    const auto before = [](const LienItem &a, const LienItem &b) {
        return std::pair(a.deadline.due, a.vehicleId) < std::pair(b.deadline.due, b.vehicleId);
    };
    auto k = kept.cbegin();
    for (const LienItem &item : *fresh) {
        for (; k != kept.cend() && !before(item, *k); ++k)
            m_items.append(*k);
        update.inserted.append(int(m_items.size()));
        m_items.append(item);
    }
    m_items.append(QList<LienItem>(k, kept.cend()));
    return update;
}

} // namespace tarnvale
