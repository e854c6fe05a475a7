// What one change to the store touched: the tow records added, changed or removed (by id) and
// the groups added or removed (by name). A reset means anything may differ (another database
// was opened, or a change came from outside this program): views read everything again.
#pragma once

#include <QList>
#include <QMetaType>
#include <QStringList>

namespace tarnvale {

struct StoreChange
{
    QList<qint64> addedRecords;
    QList<qint64> changedRecords;
    QList<qint64> removedRecords;
    QStringList addedGroups;
    QStringList removedGroups;
    bool reset = false;

    static StoreChange everything()
    {
        StoreChange change;
        change.reset = true;
        return change;
    }
    bool isEmpty() const
    {
        return !reset && addedRecords.isEmpty() && changedRecords.isEmpty()
               && removedRecords.isEmpty() && addedGroups.isEmpty() && removedGroups.isEmpty();
    }
    bool operator==(const StoreChange &) const = default;
};

} // namespace tarnvale

Q_DECLARE_METATYPE(tarnvale::StoreChange)
