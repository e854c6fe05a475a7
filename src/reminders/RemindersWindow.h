// The to-do list window: add an item with a due date, tick it off, delete it.
#pragma once

#include <QMainWindow>

#include "ReminderList.h"
#include "ReminderTicks.h"

class QListWidget;
class QListWidgetItem;
class QStatusBar;
class QToolBar;

namespace tarnvale {

class Dialogs;
class RecordStore;

class RemindersWindow : public QMainWindow
{
    Q_OBJECT

public:
    // A modeless window that deletes itself when closed.
    RemindersWindow(RecordStore &store, Dialogs &dialogs, QWidget *parent = nullptr);

    // Asks for the item and its due date and appends it (the toolbar button).
    void AddReminder();
    // The entry at list position `item` was ticked / unticked; it acts on that entry's row.
    void CheckItem(int item);
    void UnCheckItem(int item);
    // Rebuilds the list from the table.
    void FillReminderList();

    // True once the list is filled; check-box changes are acted on only then.
    bool listReady() const { return m_listReady; }

private:
    // What an entry shows: the item and, after it, its due date.
    static QString entryText(const ReminderItem &row);
    void onItemChanged(QListWidgetItem *entry);
    void reportError();
    void showTickOutcome(ReminderTicks::Outcome outcome);

    ReminderList m_reminders;
    ReminderTicks m_ticks;
    Dialogs &m_dialogs;
    QToolBar *m_toolbar = nullptr;
    QListWidget *m_list = nullptr;
    QStatusBar *m_status = nullptr;
    bool m_listReady = false;
};

} // namespace tarnvale
