// The to-do list kept in table reminders, in table order (ascending id).
//
// A list entry is tied to its row only by its text: operations find the first row, in table
// order, whose item equals the text exactly (case mattering). A failing operation leaves the
// engine's number and description in lastError().
#pragma once

#include "ReminderItem.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

#include "DbError.h"

class QSqlQuery;

namespace tarnvale {

class RecordStore;

class ReminderList
{
public:
    explicit ReminderList(RecordStore &store);

    std::optional<QList<ReminderItem>> items();
    std::optional<qint64> count();

    enum class AddResult { Added, Refused, Failed };
    // Appends an item not yet done, entered today. An empty item or due text adds nothing
    // (Refused). The due text is stored exactly as typed.
    AddResult add(const QString &item, const QString &dateFor,
                  const QDate &today = QDate::currentDate());

    // The id of the first row whose item equals the text; -1 when no row has it.
    std::optional<qint64> firstIdByText(const QString &text);
    // A missing id changes nothing and is not an error.
    bool setDone(qint64 id, bool done);
    bool remove(qint64 id);

    const DbError &lastError() const { return m_error; }

private:
    bool fail(const QSqlQuery &query);

    RecordStore &m_store;
    DbError m_error;
};

} // namespace tarnvale
