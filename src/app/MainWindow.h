// frmMain: the program's frame with its menus, the two context menus and the toolbar; the
// record browser is its central area. Closing it ends the program.
#pragma once

#include <QKeySequence>
#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QMenu;
class QToolBar;
class QToolButton;

namespace tarnvale {

struct AppContext;
class ContactsWindow;
class PrintCommand;
class QuickSearchBox;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(AppContext &context, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Start-up: opens the database (a failure is reported and start-up goes on), sets the
    // caption from Company/Name and loads the record browser.
    void load();

    ContactsWindow *browser() const { return m_browser; }
    // A command by its control name ("mnuFind", "mnuACITG", ...).
    QAction *command(const QString &controlName) const;
    QMenu *groupContextMenu() const { return m_groupMenu; }
    QMenu *vehicleContextMenu() const { return m_vehicleMenu; }
    QToolBar *toolbar() const { return m_toolbar; }
    QToolButton *newButton() const { return m_newButton; }
    QuickSearchBox *quickSearch() const { return m_quickSearch; }

    // Sets the caption from Company/Name.
    void updateCaption();
    // The database chosen with Open Database or Open Recent, once the window has let go of
    // its own; empty otherwise. The program then starts the main window again on it.
    QString chosenDatabase() const { return m_chosenDatabase; }

public Q_SLOTS:
    void openAddGroup();
    void openRemoveGroup();
    void removeSelectedGroup();
    void openEditorForAdd(const QString &groupName = {});
    void openEditorForEdit();
    void removeSelectedVehicle();
    // Hold and Release for the selected vehicle.
    void openImpound();
    void openReports();
    void openFind(const QString &groupName = {});
    void openExport();
    void moveToServer();
    // Connects to the server again after the connection was lost; nothing is re-run.
    void reconnect();
    void printCommand();
    // The charge sheet as it will print, with zoom and page setup, before printing.
    void printPreviewCommand();
    // Selects a vehicle found by the search in the tree and shows its sheet.
    bool showFoundVehicle(qint64 recordId);
    void openBackup();
    void openReminders();
    void openTips();
    void openConfig();
    void openAbout();
    void openReportHelp();
    void openConfigHelp();
    void openPricingHelp();
    void exitFromFileMenu();
    void exitAtOnce();
    // File > Open Database... and Open Recent: closes every other window (asking where
    // something was typed), lets go of the database and ends the event loop for main() to
    // open the window again on the chosen one.
    void chooseDatabase();
    void openDatabase(const QString &path);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QAction *addCommand(QMenu *menu, const char *controlName, const QString &caption);
    void setShortcut(const char *controlName, QKeySequence::StandardKey key);
    void buildMenus();
    void buildToolbar();
    void shutDown();
    void fillRecentMenu();
    // Closes every other window; false when one refused (its unsaved typing kept).
    bool closeOtherWindows();

    AppContext &m_context;
    ContactsWindow *m_browser = nullptr;
    QMenu *m_groupMenu = nullptr;
    QMenu *m_vehicleMenu = nullptr;
    QToolBar *m_toolbar = nullptr;
    QToolButton *m_newButton = nullptr;
    QuickSearchBox *m_quickSearch = nullptr;
    QMenu *m_recentMenu = nullptr;
    QString m_chosenDatabase;
    bool m_shutDown = false;
    QPointer<QWidget> m_reminders;
    QPointer<QWidget> m_config;
    QPointer<QWidget> m_tips;
    QPointer<QWidget> m_backup;
    QPointer<QWidget> m_find;
    std::unique_ptr<PrintCommand> m_print;
};

} // namespace tarnvale
