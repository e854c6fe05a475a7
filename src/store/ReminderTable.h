// The statements of table reminders (the to-do list), in table order (ascending id). Rows are
// named by their id: two items with the same text are two rows. A failing call leaves the
// engine's number and description in lastError().
#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "DbError.h"
#include "ReminderItem.h"

class QSqlQuery;

namespace tarnvale {

class RecordStore;

class ReminderTable
{
  public:
    explicit ReminderTable(RecordStore &store);

    std::optional<QList<ReminderItem>> items();
    std::optional<qint64> count();
    // Appends an item not yet done; the texts are stored as given.
    bool add(const QString &item, const QString &dateFor, const QString &enteredOn);
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
