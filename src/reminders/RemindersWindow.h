// The to-do list window: add an item with a due date, tick it off, delete it.
#pragma once

#include <QMainWindow>

#include "ImpoundStore.h"
#include "LienDueList.h"
#include "LienSchedule.h"
#include "ProgramFolder.h"
#include "ReminderList.h"
#include "SettingsFile.h"
#include "StoreChange.h"
#include "ReminderTicks.h"

#include <optional>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
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

    // Below the user's own items, the lien steps due for vehicles still in the yard, from
    // the settings' schedule (nothing is shown while the schedule is empty). Ticking a step
    // marks it done today; opening one asks for its vehicle; a notice letter prints for the
    // step selected. The list follows the store's changes.
    void showLienSteps(const SettingsFile &settings, const ProgramFolder &folder);
    void FillLienSteps();
    const QList<LienItem> &lienItems() const { return m_lienDue.items(); }
    // The notice letter of the lien step at that list position; nullptr when none is shown.
    QWidget *printNotice(int item);

Q_SIGNALS:
    // A lien step was opened: show its vehicle.
    void vehicleRequested(qint64 recordId);

private:
    // What an entry shows: the item and, after it, its due date.
    static QString entryText(const ReminderItem &row);
    void onItemChanged(QListWidgetItem *entry);
    void reportError();
    void showTickOutcome(ReminderTicks::Outcome outcome);

    void onLienItemChanged(QListWidgetItem *entry);
    void onStoreChanged(const StoreChange &change);
    // Shows the schedule's controls; false when there is nothing to read (no schedule).
    bool showSchedule(const QList<LienStep> &schedule);
    void showLienError();
    QListWidgetItem *lienEntry(const LienItem &item) const;

    ReminderList m_reminders;
    RecordStore &m_store;
    ImpoundStore m_impound;
    std::optional<SettingsFile> m_settings;
    std::optional<ProgramFolder> m_folder;
    LienDueList m_lienDue;
    QLabel *m_lienCaption = nullptr;
    QListWidget *m_lienList = nullptr;
    QPushButton *m_notice = nullptr;
    bool m_lienReady = false;
    ReminderTicks m_ticks;
    Dialogs &m_dialogs;
    QToolBar *m_toolbar = nullptr;
    QListWidget *m_list = nullptr;
    QStatusBar *m_status = nullptr;
    bool m_listReady = false;
};

} // namespace tarnvale
