// The to-do list kept in table reminders, in table order (ascending id), and what an item
// must be to join it.
//
// Rows are named by their id: two items with the same text are two rows. A failing operation
// leaves the engine's number and description in lastError().
#pragma once

#include "ReminderItem.h"

#include <QDate>
#include <QList>
#include <QLocale>
#include <QString>

#include <optional>

#include "DbError.h"
#include "ReminderTable.h"

namespace tarnvale {

class RecordStore;

class ReminderList
{
public:
    explicit ReminderList(RecordStore &store);

    std::optional<QList<ReminderItem>> items();
    std::optional<qint64> count();

    enum class AddResult { Added, Refused, NotADate, Failed };
    // Appends an item not yet done, entered today. An empty item or due text adds nothing
    // (Refused), nor does a due text that is not a date in the locale (NotADate). The due
    // text is stored exactly as typed.
    AddResult add(const QString &item, const QString &dateFor,
                  const QDate &today = QDate::currentDate(), const QLocale &locale = QLocale());

    // A missing id changes nothing and is not an error.
    bool setDone(qint64 id, bool done);
    bool remove(qint64 id);

    const DbError &lastError() const { return m_error; }

private:
    // Takes the table's error; false, to answer the call that failed.
    bool tableFailed();

    ReminderTable m_table;
    DbError m_error;
};

} // namespace tarnvale
