// The lien steps due, as the reminders list them (earliest first; on the same day in table
// order, then in schedule order): read once, then kept up to date from the store's changes by
// reading again only the vehicles a change names.
#pragma once

#include <QDate>
#include <QList>

#include <optional>

#include "LienSchedule.h"
#include "StoreChange.h"

namespace tarnvale {

class ImpoundStore;

class LienDueList
{
  public:
    explicit LienDueList(ImpoundStore &impound) : m_impound(impound) {}

    // Reads every step due by `today`; false when they cannot be read (the impound store's
    // lastError() says why), the list then empty.
    bool fill(const QList<LienStep> &schedule, const QDate &today);

    // What a change did to the list: the positions removed (each as it was when removed,
    // last first), then the positions inserted (each as it is when inserted, in order).
    // A change of schedule or of day, a reset, or a list never filled reads everything.
    struct Update
    {
        bool refilled = false;
        QList<int> removed;
        QList<int> inserted;
    };
    std::optional<Update> apply(const StoreChange &change, const QList<LienStep> &schedule,
                                const QDate &today);

    const QList<LienItem> &items() const { return m_items; }

  private:
    ImpoundStore &m_impound;
    QList<LienItem> m_items;
    QList<LienStep> m_schedule;
    QDate m_today;
    bool m_filled = false;
};

} // namespace tarnvale
