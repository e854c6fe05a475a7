// One row of table reminders.
#pragma once

#include <QString>
#include <QtGlobal>

namespace tarnvale {

struct ReminderItem
{
    qint64 id = 0;
    QString item;    // the to-do text; a list entry finds its row by it
    QString dateFor; // the due date, as typed
    bool done = false;
    QString date; // the day the item was entered

    friend bool operator==(const ReminderItem &, const ReminderItem &) = default;
};

} // namespace tarnvale
