// Ticking an entry of the to-do list off and back on: the row is marked done or not done,
// and a ticked item is offered for deletion ("Item Done" / "Delete From List?").
#pragma once

#include <QString>
#include <QtGlobal>

namespace tarnvale {

class Dialogs;
class ReminderList;

class ReminderTicks
{
  public:
    ReminderTicks(ReminderList &list, Dialogs &dialogs) : m_list(list), m_dialogs(dialogs) {}

    enum class Outcome {
        Kept,    // nothing to show anew: the entry stays as the user left it
        Changed, // the table changed: the list is to be filled again
        Failed,  // the list's lastError() says why; nothing more was done
    };
    // An empty table does nothing. `entryText` is the entry as shown, due date and all: it
    // tells apart two items that read the same. A row that is gone changes nothing.
    Outcome tick(qint64 id, const QString &entryText);
    Outcome untick(qint64 id);

  private:
    ReminderList &m_list;
    Dialogs &m_dialogs;
};

} // namespace tarnvale
