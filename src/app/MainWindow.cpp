#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "AboutBox.h"
#include "AppContext.h"
#include "ChargeFigures.h"
#include "BackupWindow.h"
#include "ConfigWindow.h"
#include "PricingPage.h"
#include "ContactsWindow.h"
#include "DatabaseBackup.h"
#include "FindWindow.h"
#include "Dialogs.h"
#include "ExportWindow.h"
#include "FindResultModel.h"
#include "GroupDialog.h"
#include "HelpDocumentWindow.h"
#include "ImpoundWindow.h"
#include "ReportsWindow.h"
#include "PrintCommand.h"
#include "QuickSearchBox.h"
#include "RecentDatabases.h"
#include "ReportWindow.h"
#include "SafeOutput.h"
#include "ServerAddress.h"
#include "RemindersWindow.h"
#include "ScreenFit.h"
#include "FirstRunWindow.h"
#include "TipWindow.h"
#include "TowRecordForm.h"
#include "YardMove.h"

namespace tarnvale {

namespace {

// Brings an already open window to the front; false when there is none.
bool raiseExisting(QWidget *window)
{
    if (!window)
        return false;
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}

} // namespace

MainWindow::MainWindow(AppContext &context, QWidget *parent)
    : QMainWindow(parent), m_context(context)
{
    setObjectName(QStringLiteral("frmMain"));
    // An ordinary window, never kept on top of others.
    setWindowFlag(Qt::WindowStaysOnTopHint, false);

    m_browser = new ContactsWindow(m_context.store, m_context.database, m_context.settings,
                                   m_context.dialogs, this);
    setCentralWidget(m_browser);

    m_print = std::make_unique<PrintCommand>(m_context.settings, m_context.folder,
                                             m_context.dialogs, this);
    buildMenus();
    buildToolbar();
    m_browser->setContextMenus(m_groupMenu, m_vehicleMenu);
    connect(m_browser, &ContactsWindow::startupTipsRequested, this, &MainWindow::openTips);
    connect(m_browser, &ContactsWindow::editRequested, this, &MainWindow::openEditorForEdit);
    connect(m_browser, &ContactsWindow::removeRequested, this, &MainWindow::removeSelectedVehicle);
    qApp->installEventFilter(new ScreenFit(this, &m_context.workstation, this));
    resize(1100, 750);
}

MainWindow::~MainWindow() = default;

QAction *MainWindow::addCommand(QMenu *menu, const char *controlName, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QLatin1String(controlName));
    return action;
}

void MainWindow::setShortcut(const char *controlName, QKeySequence::StandardKey key)
{
    QAction *action = command(QLatin1String(controlName));
    action->setShortcuts(key);
    action->setShortcutVisibleInContextMenu(true);
    addAction(action); // works while the main window is active, also from a context menu
}

QAction *MainWindow::command(const QString &controlName) const
{
    return findChild<QAction *>(controlName);
}

void MainWindow::buildMenus()
{
    QMenuBar *bar = menuBar();

    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    file->menuAction()->setObjectName(QStringLiteral("mnuFile"));
    connect(addCommand(file, "mnuremind", QStringLiteral("Reminders")), &QAction::triggered, this,
            &MainWindow::openReminders);
    connect(addCommand(file, "mnuabout", QStringLiteral("&About")), &QAction::triggered, this,
            &MainWindow::openAbout);
    connect(addCommand(file, "mnuFind", QStringLiteral("&Find...")), &QAction::triggered, this,
            [this] { openFind(); });
    connect(addCommand(file, "mnuExport", QStringLiteral("&Export to CSV...")),
            &QAction::triggered, this, &MainWindow::openExport);
    connect(addCommand(file, "mnuMoveToServer", QStringLiteral("&Move Records to Server...")),
            &QAction::triggered, this, &MainWindow::moveToServer);
    connect(addCommand(file, "mnuReconnect", QStringLiteral("&Reconnect")), &QAction::triggered,
            this, &MainWindow::reconnect);
    file->addSeparator();
    connect(addCommand(file, "mnuOpenDatabase", QStringLiteral("&Open Database...")),
            &QAction::triggered, this, &MainWindow::chooseDatabase);
    m_recentMenu = file->addMenu(QStringLiteral("Open &Recent"));
    m_recentMenu->menuAction()->setObjectName(QStringLiteral("mnuOpenRecent"));
    connect(m_recentMenu, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
    fillRecentMenu();
    file->addSeparator();
    connect(addCommand(file, "mnuexit", QStringLiteral("E&xit")), &QAction::triggered, this,
            &MainWindow::exitFromFileMenu);

    QMenu *groups = bar->addMenu(QStringLiteral("&Groups"));
    groups->menuAction()->setObjectName(QStringLiteral("mnuGroups"));
    connect(addCommand(groups, "mnuAddGroup", QStringLiteral("&Add...")), &QAction::triggered,
            this, &MainWindow::openAddGroup);
    connect(addCommand(groups, "mnuRemGroup", QStringLiteral("&Remove...")), &QAction::triggered,
            this, &MainWindow::openRemoveGroup);

    QMenu *view = bar->addMenu(QStringLiteral("&View"));
    view->menuAction()->setObjectName(QStringLiteral("mnuView"));
    QAction *grid = addCommand(view, "mnuVCLG", QStringLiteral("&Vehicle List Grid"));
    grid->setCheckable(true);
    grid->setChecked(true);
    connect(grid, &QAction::toggled, m_browser, &ContactsWindow::setGridVisible);

    QMenu *settings = bar->addMenu(QStringLiteral("&Settings"));
    settings->menuAction()->setObjectName(QStringLiteral("mb553"));
    QMenu *configuration = settings->addMenu(QStringLiteral("C&onfiguration"));
    configuration->menuAction()->setObjectName(QStringLiteral("mnuCFG"));
    connect(addCommand(configuration, "mnuconfigset", QStringLiteral("Config Settings")),
            &QAction::triggered, this, &MainWindow::openConfig);

    QMenu *tools = bar->addMenu(QStringLiteral("&Tools"));
    tools->menuAction()->setObjectName(QStringLiteral("mnutools"));
    connect(addCommand(tools, "mnureminders", QStringLiteral("Reminders")), &QAction::triggered,
            this, &MainWindow::openReminders);
    connect(addCommand(tools, "mnuprint", QStringLiteral("Print")), &QAction::triggered, this,
            &MainWindow::printCommand);
    connect(addCommand(tools, "mnupreview", QStringLiteral("Print Pre&view...")),
            &QAction::triggered, this, &MainWindow::printPreviewCommand);
    connect(addCommand(tools, "mnubackup", QStringLiteral("Backup")), &QAction::triggered, this,
            &MainWindow::openBackup);
    connect(addCommand(tools, "mnutips", QStringLiteral("Tips")), &QAction::triggered, this,
            &MainWindow::openTips);
    connect(addCommand(tools, "mnuImpound", QStringLiteral("&Hold / Release...")),
            &QAction::triggered, this, &MainWindow::openImpound);
    QAction *reports = addCommand(tools, "mnuReports", QStringLiteral("&Reports..."));
    reports->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    reports->setShortcutVisibleInContextMenu(true);
    addAction(reports);
    connect(reports, &QAction::triggered, this, &MainWindow::openReports);

    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    help->menuAction()->setObjectName(QStringLiteral("mnuhelpmenu"));
    connect(addCommand(help, "mnureporthelp", QStringLiteral("Report Help")), &QAction::triggered,
            this, &MainWindow::openReportHelp);
    connect(addCommand(help, "mnuconfighelp", QStringLiteral("Config Help")), &QAction::triggered,
            this, &MainWindow::openConfigHelp);
    connect(addCommand(help, "mnupricing", QStringLiteral("Pricing Help")), &QAction::triggered,
            this, &MainWindow::openPricingHelp);

    QAction *exit = bar->addAction(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("mnuexit1"));
    connect(exit, &QAction::triggered, this, &MainWindow::exitAtOnce);

    // The two context menus the browser pops up; never in the menu bar.
    m_groupMenu = new QMenu(this);
    m_groupMenu->setObjectName(QStringLiteral("mnuSMgroups"));
    QAction *title = addCommand(m_groupMenu, "mnuGM", QStringLiteral("Group Menu"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    m_groupMenu->addSeparator();
    connect(addCommand(m_groupMenu, "mnuAG", QStringLiteral("&Add Group...")), &QAction::triggered,
            this, &MainWindow::openAddGroup);
    connect(addCommand(m_groupMenu, "mnuRG", QStringLiteral("&Remove Group")), &QAction::triggered,
            this, &MainWindow::removeSelectedGroup);
    m_groupMenu->addSeparator();
    connect(addCommand(m_groupMenu, "mnuACITG", QStringLiteral("&Add vehicle to this group...")),
            &QAction::triggered, this, [this] { openEditorForAdd(m_browser->selectedNode().text); });
    m_groupMenu->addSeparator();
    connect(addCommand(m_groupMenu, "mnuFindMn", QStringLiteral("&Find in group...")),
            &QAction::triggered, this, [this] { openFind(m_browser->selectedNode().text); });

    m_vehicleMenu = new QMenu(this);
    m_vehicleMenu->setObjectName(QStringLiteral("mnuSmContacts"));
    connect(addCommand(m_vehicleMenu, "mnusmAC", QStringLiteral("&Add Vehicle...")),
            &QAction::triggered, this, [this] { openEditorForAdd(); });
    connect(addCommand(m_vehicleMenu, "mnuETC", QStringLiteral("&Edit this Vehicle...")),
            &QAction::triggered, this, &MainWindow::openEditorForEdit);
    m_vehicleMenu->addSeparator();
    connect(addCommand(m_vehicleMenu, "mnusRC", QStringLiteral("&Remove Vehicle")),
            &QAction::triggered, this, &MainWindow::removeSelectedVehicle);
    m_vehicleMenu->addSeparator();
    connect(addCommand(m_vehicleMenu, "mnuHR", QStringLiteral("&Hold / Release...")),
            &QAction::triggered, this, &MainWindow::openImpound);

    // The platform's usual keys for the everyday commands, shown beside them.
    setShortcut("mnusmAC", QKeySequence::New);
    setShortcut("mnuFind", QKeySequence::Find);
    setShortcut("mnuprint", QKeySequence::Print);
    setShortcut("mnureporthelp", QKeySequence::HelpContents);
    setShortcut("mnuexit", QKeySequence::Quit);
    setShortcut("mnuOpenDatabase", QKeySequence::Open);
}

void MainWindow::buildToolbar()
{
    m_toolbar = addToolBar(QStringLiteral("Toolbar"));
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setMovable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    QStyle *st = style();

    // Button 1: "New", a drop-down button; its menu holds Group, a separator and Vehicle.
    auto *newMenu = new QMenu(this);
    newMenu->setObjectName(QStringLiteral("mnuNewDropDown"));
    QAction *newGroup = newMenu->addAction(QStringLiteral("Group"));
    newGroup->setObjectName(QStringLiteral("tbNewGroup"));
    newMenu->addSeparator();
    QAction *newVehicle = newMenu->addAction(QStringLiteral("Vehicle"));
    newVehicle->setObjectName(QStringLiteral("tbNewVehicle"));
    connect(newGroup, &QAction::triggered, this, &MainWindow::openAddGroup);
    connect(newVehicle, &QAction::triggered, this, [this] { openEditorForAdd(); });

    auto *newAction = new QAction(st->standardIcon(QStyle::SP_FileDialogNewFolder),
                                  QStringLiteral("New"), this);
    newAction->setObjectName(QStringLiteral("tbNew"));
    newAction->setToolTip(QStringLiteral("New Contact"));
    newAction->setMenu(newMenu);
    connect(newAction, &QAction::triggered, this, [this] { openEditorForAdd(); });
    m_toolbar->addAction(newAction);
    m_newButton = qobject_cast<QToolButton *>(m_toolbar->widgetForAction(newAction));
    if (m_newButton)
        m_newButton->setPopupMode(QToolButton::MenuButtonPopup);

    auto addButton = [&](const char *name, QStyle::StandardPixmap icon, const QString &caption,
                         const QString &tip) {
        m_toolbar->addSeparator();
        QAction *action = m_toolbar->addAction(st->standardIcon(icon), caption);
        action->setObjectName(QLatin1String(name));
        action->setToolTip(tip.isEmpty() ? caption : tip);
        return action;
    };
    connect(addButton("tbFind", QStyle::SP_FileDialogContentsView, QStringLiteral("Find"),
                      QStringLiteral("Find Contacts")),
            &QAction::triggered, this, [this] { openFind(); });
    connect(addButton("tbBackup", QStyle::SP_DialogSaveButton, QStringLiteral("Backup"),
                      QStringLiteral("Backup Database")),
            &QAction::triggered, this, &MainWindow::openBackup);
    connect(addButton("tbPrint", QStyle::SP_FileDialogDetailedView, QStringLiteral("Print"), {}),
            &QAction::triggered, this, &MainWindow::printCommand);
    connect(addButton("tbReminders", QStyle::SP_FileDialogInfoView, QStringLiteral("Reminders"), {}),
            &QAction::triggered, this, &MainWindow::openReminders);

    // The quick search, with a key of its own: the platform's find key opens Find.
    m_toolbar->addSeparator();
    m_quickSearch = new QuickSearchBox(m_context.store, this, m_toolbar);
    const QKeySequence key(Qt::CTRL | Qt::Key_K);
    m_quickSearch->setPlaceholderText(QStringLiteral("Plate, VIN, phone or name (%1)")
                                          .arg(key.toString(QKeySequence::NativeText)));
    const int placeholderWidth =
        m_quickSearch->fontMetrics().horizontalAdvance(m_quickSearch->placeholderText()) + 40;
    m_quickSearch->setMinimumWidth(placeholderWidth);
    m_quickSearch->setMaximumWidth(placeholderWidth * 3 / 2);
    m_toolbar->addWidget(m_quickSearch);
    connect(m_quickSearch, &QuickSearchBox::vehicleChosen, this, &MainWindow::showFoundVehicle);
    auto *focusQuick = new QAction(this);
    focusQuick->setObjectName(QStringLiteral("actQuickSearch"));
    focusQuick->setShortcut(key);
    connect(focusQuick, &QAction::triggered, this, [this] {
        m_quickSearch->setFocus(Qt::ShortcutFocusReason);
        m_quickSearch->selectAll();
    });
    addAction(focusQuick);
}

void MainWindow::load()
{
    // Temporary files of a run that was killed: the settings writer's, a backup's snapshot
    // and a restore's unpacked database.
    SafeOutput::removeLeftovers(QFile::encodeName(m_context.settings.path()).toStdString());
    DatabaseBackup::removeLeftovers(m_context.database.databasePath());
    const QString settingsProblem = m_context.settings.problem();
    if (!settingsProblem.isEmpty())
        m_context.dialogs.notify(QStringLiteral("Tarnvale"),
                                 settingsProblem + QString::fromUtf16(kCrLf)
                                     + QStringLiteral("The program starts with empty settings; no "
                                                      "setting can be saved until the file is "
                                                      "mended or removed."),
                                 MessageIcon::Exclamation);
    const QString taxRate = ChargeFigures::taxRateWarning(m_context.settings);
    if (!taxRate.isEmpty())
        m_context.dialogs.notify(QStringLiteral("Tarnvale"),
                                 taxRate + QString::fromUtf16(kCrLf)
                                     + QStringLiteral("Every total gets this tax until then: type "
                                                      "the rate in \"Tax %:\" as a percentage, "
                                                      "such as 8%."),
                                 MessageIcon::Exclamation);
    // What other programs save shows here within about a second, through the store's change
    // signal like any change made here.
    m_context.store.setWatchInterval(100);
    if (m_context.database.OpenDatabaseFile())
        RecentDatabases(m_context.workstation).add(m_context.database.databasePath());
    fillRecentMenu();
    updateCaption();
    m_browser->load();
    if (FirstRunWindow::wanted(m_context.settings,
                               [this] { return m_context.store.towRecordCount(); })) {
        auto *welcome = new FirstRunWindow(m_context.settings, m_context.dialogs, this);
        connect(welcome, &FirstRunWindow::companyNameChanged, this, &QWidget::setWindowTitle);
        welcome->show();
    }
}

void MainWindow::updateCaption()
{
    // A database opened from File > Open Recent is named beside the company, so that nobody
    // takes it for the yard's own.
    const QString company = m_context.settings.companyName();
    setWindowTitle(m_context.database.onAnotherDatabase()
                       ? company + QStringLiteral(" - ") +
                             RecordStore::shownPath(m_context.database.databasePath())
                       : company);
}

void MainWindow::openAddGroup()
{
    auto *dialog =
        new GroupDialog(m_context.store, m_context.database, GroupDialog::Mode::Add, this);
    dialog->show();
}

void MainWindow::openRemoveGroup()
{
    auto *dialog =
        new GroupDialog(m_context.store, m_context.database, GroupDialog::Mode::Remove, this);
    dialog->show();
}

void MainWindow::removeSelectedGroup()
{
    const SelectedNode &node = m_browser->selectedNode();
    if (node.kind() == u"g")
        m_context.database.RemoveGroup(node.text);
}

void MainWindow::openEditorForAdd(const QString &groupName)
{
    auto *form = new TowRecordForm(m_context.store, m_context.database, m_context.settings,
                                   m_context.dialogs, this);
    form->setEditing(false);
    form->show();
    if (!groupName.isEmpty())
        form->setGroupText(groupName);
}

void MainWindow::openEditorForEdit()
{
    const SelectedNode &node = m_browser->selectedNode();
    if (node.kind() != u"c")
        return;
    auto *form = new TowRecordForm(m_context.store, m_context.database, m_context.settings,
                                   m_context.dialogs, this);
    form->setEditing(true);
    form->setRecordId(node.id());
    form->show();
}

void MainWindow::removeSelectedVehicle()
{
    const SelectedNode &node = m_browser->selectedNode();
    if (node.kind() == u"c")
        m_context.database.RemoveVehicle(node.id());
}

void MainWindow::openImpound()
{
    const SelectedNode &node = m_browser->selectedNode();
    const auto record =
        node.kind() == u"c" ? m_context.store.findVehicleById(node.id()) : std::nullopt;
    if (!record) {
        m_context.dialogs.notify(m_context.settings.companyName(),
                                 QStringLiteral("Please select a vehicle first."),
                                 MessageIcon::None);
        return;
    }
    for (auto *open : findChildren<ImpoundWindow *>())
        if (open->recordId() == record->id && raiseExisting(open))
            return;
    auto *window = new ImpoundWindow(m_context.store, record->id, m_context.settings,
                                     m_context.folder, m_context.dialogs, this);
    // Its papers open over it and close with it.
    connect(window, &ImpoundWindow::paperRequested, this,
            [this, window](const PrintSnapshot &snapshot, const ChargeSheet::Outcome &paper,
                           const QString &name) {
                auto *report = new ReportWindow(snapshot, m_context.settings, m_context.folder,
                                                m_context.dialogs, window);
                if (report->showDocument(paper, name))
                    report->show();
            });
    window->show();
}

void MainWindow::openReports()
{
    for (auto *open : findChildren<ReportsWindow *>())
        if (raiseExisting(open))
            return;
    auto *window = new ReportsWindow(m_context.store, m_context.settings, m_context.dialogs,
                                     QDate::currentDate(), this);
    window->show();
    window->refresh(0);
}

void MainWindow::openFind(const QString &groupName)
{
    auto *find = qobject_cast<FindWindow *>(m_find.data());
    if (!find) {
        find = new FindWindow(m_context.store, m_context.dialogs, this);
        find->setAttribute(Qt::WA_DeleteOnClose);
        connect(find, &FindWindow::showRequested, this, &MainWindow::showFoundVehicle);
        connect(find, &FindWindow::editRequested, this, [this](qint64 recordId) {
            if (showFoundVehicle(recordId))
                openEditorForEdit();
        });
        m_find = find;
    }
    raiseExisting(find);
    if (!groupName.isEmpty())
        find->preselectGroup(groupName);
    find->focusSearchText();
}

bool MainWindow::showFoundVehicle(qint64 recordId)
{
    if (!m_browser->showVehicle(recordId)) {
        m_context.dialogs.notify(m_context.settings.companyName(),
                                 QStringLiteral("This vehicle is not in the tree: its group "
                                                "no longer exists."),
                                 MessageIcon::Exclamation);
        return false;
    }
    activateWindow();
    m_browser->tree()->setFocus();
    return true;
}

void MainWindow::openExport()
{
    // The group of the selected node: the group itself, or the group of the selected vehicle.
    const SelectedNode &node = m_browser->selectedNode();
    QString group = node.kind() == u"g" ? node.text : QString();
    if (node.kind() == u"c")
        if (const auto record = m_context.store.findVehicleById(node.id()))
            group = record->value(TowField::groupname);
    // The search results, when the Find window is open and its search has ended.
    std::optional<QList<qint64>> results;
    if (auto *find = qobject_cast<FindWindow *>(m_find.data()); find && !find->isSearching()) {
        results.emplace();
        for (const FindResult &row : find->resultModel()->rows())
            results->append(row.id);
    }
    auto *window = new ExportWindow(m_context.database.databasePath(), m_context.settings,
                                    m_context.dialogs, group, results ? &*results : nullptr, this);
    window->show();
}

void MainWindow::moveToServer()
{
    const QString title = QStringLiteral("Move Records to Server");
    if (m_context.store.isServer()) {
        m_context.dialogs.notify(title, QStringLiteral("The records are already on a server."),
                                 MessageIcon::Information);
        return;
    }
    const std::optional<QString> uri = m_context.dialogs.inputText(
        title, QStringLiteral("The address of an empty PostgreSQL database, e.g. "
                              "postgresql://clerk@yard-server:5432/yard:"));
    if (!uri || uri->trimmed().isEmpty())
        return;
    const YardMove::Result result =
        YardMove::toServer(m_context.database.databasePath(), uri->trimmed());
    if (result.moved)
        m_context.dialogs.notify(title,
                                 result.summary() +
                                     QStringLiteral("\n\nTo work on the server, set Path in "
                                                    "section [Database] of settings.ini to its "
                                                    "address."),
                                 MessageIcon::Information);
    else
        m_context.dialogs.notify(title, result.reason, MessageIcon::Critical);
}

void MainWindow::reconnect()
{
    const QString title = QStringLiteral("Reconnect");
    RecordStore &store = m_context.store;
    if (!store.isServer() && !store.connectionLost()) {
        m_context.dialogs.notify(title,
                                 QStringLiteral("The records are in a file on this computer: "
                                                "there is no server to connect to."),
                                 MessageIcon::Information);
        return;
    }
    if (!store.reconnect()) {
        m_context.database.ReportUnknownError(store.lastError());
        return;
    }
    m_context.dialogs.notify(title,
                             QStringLiteral("The server ") + RecordStore::shownPath(store.path()) +
                                 QStringLiteral(" answers. Nothing was done again by itself: "
                                                "save again what was not saved."),
                             MessageIcon::Information);
}

void MainWindow::printCommand()
{
    m_print->run(m_browser->printSnapshot());
}

void MainWindow::printPreviewCommand()
{
    if (ReportWindow *report = m_print->run(m_browser->printSnapshot()))
        report->printPreview();
}

void MainWindow::openBackup()
{
    if (raiseExisting(m_backup))
        return;
    auto *backup = new BackupWindow(m_context.store, m_context.settings, m_context.dialogs, this);
    backup->setAttribute(Qt::WA_DeleteOnClose);
    m_backup = backup;
    backup->show();
}

void MainWindow::openReminders()
{
    if (raiseExisting(m_reminders))
        return;
    auto *reminders = new RemindersWindow(m_context.store, m_context.dialogs, this);
    reminders->showLienSteps(m_context.settings, m_context.folder);
    connect(reminders, &RemindersWindow::vehicleRequested, this, &MainWindow::showFoundVehicle);
    m_reminders = reminders;
    reminders->show();
}

void MainWindow::openTips()
{
    if (raiseExisting(m_tips))
        return;
    m_tips = TipWindow::open(m_context.settings, m_context.folder, m_context.dialogs, this);
}

void MainWindow::openConfig()
{
    if (raiseExisting(m_config))
        return;
    auto *config = new ConfigWindow(m_context.settings, m_context.dialogs, this);
    // The plans scroll: the window fits a small screen.
    auto *pricing = new QScrollArea;
    pricing->setWidgetResizable(true);
    pricing->setFrameShape(QFrame::NoFrame);
    auto *plans = new PricingPage(m_context.store, m_context.settings, m_context.dialogs);
    pricing->setWidget(plans);
    config->addPage(pricing, QStringLiteral("Pricing"), [plans] { return plans->hasUnsavedPlan(); });
    connect(config, &ConfigWindow::companyNameChanged, this, &QWidget::setWindowTitle);
    connect(config, &ConfigWindow::mainWindowRequested, this, [this] { raiseExisting(this); });
    m_config = config;
    config->show();
}

void MainWindow::openAbout()
{
    auto *about = new AboutBox(this);
    about->setWindowFlag(Qt::Window);
    about->show();
}

void MainWindow::openReportHelp()
{
    HelpDocumentWindow::open(HelpDocument::Report, m_context.folder, this);
}

void MainWindow::openConfigHelp()
{
    HelpDocumentWindow::open(HelpDocument::Config, m_context.folder, this);
}

void MainWindow::openPricingHelp()
{
    HelpDocumentWindow::open(HelpDocument::Pricing, m_context.folder, this);
}

void MainWindow::shutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_browser->saveNotes();
    m_context.database.CloseDatabaseFile();
}

void MainWindow::fillRecentMenu()
{
    m_recentMenu->clear();
    const QStringList paths = RecentDatabases(m_context.workstation).paths();
    const QString current = m_context.store.isOpen() ? m_context.database.databasePath() : QString();
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString path = paths.at(i);
        QString caption = RecordStore::shownPath(path);
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (i < 9)
            caption = QStringLiteral("&%1 %2").arg(i + 1).arg(caption);
        QAction *entry = m_recentMenu->addAction(caption);
        entry->setObjectName(QStringLiteral("mnuRecent%1").arg(i + 1));
        entry->setToolTip(RecordStore::shownPath(path));
        entry->setCheckable(true);
        entry->setChecked(!current.isEmpty() &&
                          QFileInfo(path).absoluteFilePath() == QFileInfo(current).absoluteFilePath());
        connect(entry, &QAction::triggered, this, [this, path] { openDatabase(path); });
    }
    m_recentMenu->addSeparator();
    QAction *clear = addCommand(m_recentMenu, "mnuClearRecent", QStringLiteral("&Clear Menu"));
    clear->setEnabled(!paths.isEmpty());
    connect(clear, &QAction::triggered, this,
            [this] { RecentDatabases(m_context.workstation).clear(); });
}

void MainWindow::chooseDatabase()
{
    const QString current = m_context.database.databasePath();
    const QString startDir = ServerAddress::isServerAddress(current)
                                 ? QString()
                                 : QFileInfo(current).absolutePath();
    const QString chosen = m_context.dialogs
                               .chooseOpenFile(QStringLiteral("Open Database"), startDir,
                                               QStringLiteral("Tow Databases (*.dll);;All Files (*)"))
                               .trimmed();
    if (!chosen.isEmpty())
        openDatabase(chosen);
}

void MainWindow::openDatabase(const QString &path)
{
    const bool server = ServerAddress::isServerAddress(path);
    if (m_context.store.isOpen() &&
        (server ? path == m_context.database.databasePath()
                : QFileInfo(path).absoluteFilePath() ==
                      QFileInfo(m_context.database.databasePath()).absoluteFilePath()))
        return; // already the one in use
    if (!server && !QFileInfo(path).isFile()) {
        RecentDatabases(m_context.workstation).remove(path);
        m_context.dialogs.notify(m_context.settings.companyName(),
                                 QStringLiteral("The database ") + path +
                                     QStringLiteral(" cannot be found. It is taken off the list "
                                                    "of recent databases."),
                                 MessageIcon::Exclamation);
        return;
    }
    // Every other window closes first; one with unsaved typing asks, and Cancel stays here.
    if (!closeOtherWindows())
        return;
    shutDown();
    m_chosenDatabase = path;
    QApplication::quit();
}

bool MainWindow::closeOtherWindows()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible())
            windows << window;
    for (const QPointer<QWidget> &window : windows)
        if (window && window->isVisible() && !window->close())
            return false;
    return true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A form with changes not saved asks first; Cancel keeps the program running.
    if (!closeOtherWindows()) {
        event->ignore();
        return;
    }
    shutDown();
    event->accept();
    QApplication::quit();
}

void MainWindow::exitFromFileMenu()
{
    close(); // the close releases the database and ends the program
}

void MainWindow::exitAtOnce()
{
    // Ends the program at once; the notes pane is still kept, and a window with unsaved
    // typing still asks first.
    if (!closeOtherWindows())
        return;
    shutDown();
    QApplication::quit();
}

} // namespace tarnvale
