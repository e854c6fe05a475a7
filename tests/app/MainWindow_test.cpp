#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>

#include "AppProgram.h"
#include "FaultSeam.h"
#include "clsHuffman.h"
#include "GroupDialog.h"
#include "TestFiles.h"

using namespace tarnvale;

namespace {

struct Program : test::AppProgram
{
    using AppProgram::AppProgram;
    GroupDialog *groupDialog() const { return window->findChild<GroupDialog *>("frmAddRemoveGroup"); }
    QString count() const { return label("Label10"); }
    QStringList groupNodes() const
    {
        QStringList names;
        const QModelIndex root = model()->rootIndex();
        for (int row = 0; row < model()->rowCount(root); ++row)
            names << model()->index(row, 0, root).data().toString();
        return names;
    }
};

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rightClickRules();
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void captionFromCompanyName_data();
    void captionFromCompanyName();
    void databaseFailureStillShowsTheWindows();
    void groupDialogFlow();
    void notesAreKept();
    void startUpClearsLeftoversAndRefusesBadSettings();
    void commandsOpenTheirWindows_data();
    void commandsOpenTheirWindows();
    void findInGroupPreselectsTheGroup();
    void printPreviewOfTheSelectedVehicle();
    void restoreReopensTheFileItReplaced();
    void exits_data();
    void exits();
};

void MainWindowTest::captionFromCompanyName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("named") << "Harbor Towing & Recovery";
    QTest::newRow("no value") << "";
}

void MainWindowTest::captionFromCompanyName()
{
    QFETCH(QString, name);
    Program p([&](const SettingsFile &s) { s.write("Company", "Name", name); });
    p.start();
    QCOMPARE(p.window->windowTitle(), name);
    QCOMPARE(p.browser()->windowTitle(), QString("Vehicle Viewer"));
}

void MainWindowTest::databaseFailureStillShowsTheWindows()
{
    Program p([](const SettingsFile &s) { s.write("Database", "Path", "/nonexistent/share/data.dll"); });
    p.start();
    QCOMPARE(p.dialogs.count(), 1);
    QCOMPARE(p.dialogs.last().title, QString("Database Error!"));
    QVERIFY(p.dialogs.last().text.startsWith("Error while initializing database: /nonexistent/share/data.dll\r\n\r\n"));
    QVERIFY(p.window->isVisible());
    QVERIFY(p.browser()->isVisible());
    QCOMPARE(p.window->windowTitle(), QString("Harbor Towing"));
    QVERIFY(!QFile::exists(p.context->folder.defaultDatabasePath()));
}

// The dialog's wiring; the messages and answers are the database routines' own tests.
void MainWindowTest::groupDialogFlow()
{
    Program p;
    p.start();
    p.window->command("mnuAddGroup")->trigger();
    QCOMPARE(p.groupDialog()->windowTitle(), QString("Add Group"));
    QVERIFY(!p.groupDialog()->button(5)->isVisible());
    auto *name = p.groupDialog()->findChild<QLineEdit *>("txtGroup");
    QTest::keyClicks(name, "Lot A");
    QTest::keyClick(name, Qt::Key_Return); // Enter adds, like the Add button
    QTRY_VERIFY(!p.groupDialog());         // closed and deleted
    // A second Lot A: the dialog stays open with the name selected.
    p.window->command("mnuAddGroup")->trigger();
    name = p.groupDialog()->findChild<QLineEdit *>("txtGroup");
    name->setText("Lot A");
    p.groupDialog()->buttonClick(3);
    QCOMPARE(p.dialogs.last().title + "|" + name->selectedText(), QString("Duplicate Group|Lot A"));
    p.groupDialog()->buttonClick(1); // Cancel
    QTRY_VERIFY(!p.groupDialog());

    QCOMPARE(p.context->database.AddGroup("Empty"), 1);
    for (int i = 0; i < 3; ++i)
        p.vehicle("Lot A");
    p.window->command("mnuRemGroup")->trigger();
    GroupDialog *dialog = p.groupDialog();
    QCOMPARE(dialog->windowTitle(), QString("Remove Group"));
    auto *list = dialog->findChild<QComboBox *>("lstGroups");
    QCOMPARE(list->currentText(), QString("Lot A"));
    // Yes removes the group and its three vehicles; the list is filled again.
    p.dialogs.queueAnswer(Answer::Yes);
    dialog->buttonClick(3);
    QCOMPARE(p.count(), QString("0"));
    QCOMPARE(list->count(), 1);
    QCOMPARE(p.groupNodes(), QStringList({"Empty"}));
    // With the list emptied, Remove does nothing and the dialog stays.
    dialog->buttonClick(3);
    const int shown = p.dialogs.count();
    dialog->buttonClick(3);
    QVERIFY(dialog->isVisible());
    QCOMPARE(p.dialogs.count(), shown);
    dialog->buttonClick(5);
    QTRY_VERIFY(!p.groupDialog());
}

void MainWindowTest::notesAreKept()
{
    Program p([](const SettingsFile &s) { s.write("Notes", "notes", "Call the county lot\r\nbefore 5"); });
    p.start();
    auto *notes = p.browser()->findChild<QPlainTextEdit *>("txtnotes");
    QCOMPARE(notes->toPlainText(), QString("Call the county lot\nbefore 5"));
    notes->setPlainText("Saved with the button\nsecond line");
    p.browser()->findChild<QPushButton *>("Command1")->click();
    QCOMPARE(p.context->settings.read("Notes", "notes"), QString("Saved with the button\nsecond line"));
    QCOMPARE(p.dialogs.count(), 0);

    // A failed write is told, not passed off as saved.
    notes->setPlainText("not saved");
    FaultSeam::failAt(2, ENOSPC);
    p.browser()->findChild<QPushButton *>("Command1")->click();
    FaultSeam::disarm();
    QCOMPARE(p.dialogs.count(), 1);
    QCOMPARE(p.dialogs.last().title, QString("Harbor Towing"));
    QVERIFY(QRegularExpression("^The notes could not be saved.\r\nCannot write .*\\(No space left on device\\)$")
                .match(p.dialogs.last().text).hasMatch());
    QCOMPARE(p.context->settings.read("Notes", "notes"), QString("Saved with the button\nsecond line"));
}

void MainWindowTest::startUpClearsLeftoversAndRefusesBadSettings()
{
    // A killed run left its temporaries; settings.ini is a FIFO that nothing writes to.
    Program p([](const SettingsFile &s) {
        QFile::remove(s.path());
        QCOMPARE(::mkfifo(QFile::encodeName(s.path()).constData(), 0644), 0);
    });
    const QStringList leftovers = {"settings.ini.tmp-Ab3dE9", "data.dll.snapshot-x1Y2z3",
                                   "data.dll.restore-Q9w8E7", "data.dll.restore-Q9w8E7.tmp-k2L3m4"};
    for (const QString &name : leftovers)
        test::writeFile(p.dir.file(name), "customer list");
    test::writeFile(p.dir.file("data.dll.snapshot-notes.txt"), "not ours: kept");
    p.start();

    for (const QString &name : leftovers)
        QVERIFY2(!QFile::exists(p.dir.file(name)), qPrintable(name));
    QVERIFY(QFile::exists(p.dir.file("data.dll.snapshot-notes.txt")));
    QCOMPARE(p.dialogs.count(), 1);
    QCOMPARE(p.dialogs.last().title, QString("Tarnvale"));
    QCOMPARE(p.dialogs.last().text, p.dir.settingsPath()
                                        + " is not a regular file.\r\nThe program starts with empty "
                                          "settings; no setting can be saved until the file is "
                                          "mended or removed.");
    QCOMPARE(p.window->windowTitle(), QString());
}

void MainWindowTest::commandsOpenTheirWindows_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("window");
    QTest::newRow("File > Reminders") << "mnuremind" << "frmReminders";
    QTest::newRow("File > About") << "mnuabout" << "frmabout";
    QTest::newRow("Config Settings") << "mnuconfigset" << "frmConfig";
    QTest::newRow("Tools > Tips") << "mnutips" << "frmTip";
    QTest::newRow("Groups > Add") << "mnuAddGroup" << "frmAddRemoveGroup";
    QTest::newRow("toolbar New > Vehicle") << "tbNewVehicle" << "frmAddEditContact";
    QTest::newRow("Tools > Backup") << "mnubackup" << "frmBackup";
    QTest::newRow("File > Find") << "mnuFind" << "frmFind";
    QTest::newRow("Report Help") << "mnureporthelp" << "frmreporthelp";
    QTest::newRow("Config Help") << "mnuconfighelp" << "frmconfighelp";
    QTest::newRow("Pricing Help") << "mnupricing" << "frmpricing";
}

void MainWindowTest::commandsOpenTheirWindows()
{
    QFETCH(QString, command);
    QFETCH(QString, window);
    Program p;
    test::writeFile(p.context->folder.tipsPath(), "Right-click a group to add a vehicle to it.\n");
    p.start();
    QAction *action = p.window->findChild<QAction *>(command);
    QVERIFY2(action, qPrintable(command));
    action->trigger();
    QVERIFY2(!Program::shown(window).isEmpty(), qPrintable(window));
    // Every window fits the available area of the screen.
    for (QWidget *shown : Program::shown(window)) {
        QCoreApplication::processEvents();
        const QRect available = shown->screen()->availableGeometry();
        QVERIFY2(available.contains(shown->frameGeometry()),
                 qPrintable(QStringLiteral("%1 %2x%3 on %4x%5").arg(window).arg(shown->width())
                                .arg(shown->height()).arg(available.width()).arg(available.height())));
    }
    // Asking again brings the same window forward rather than a second one.
    if (window == "frmReminders" || window == "frmConfig" || window == "frmTip" || window == "frmBackup"
        || window == "frmFind") {
        action->trigger();
        QCOMPARE(Program::shown(window).size(), 1);
    }
    // The platform's close key closes it.
    QWidget *opened = Program::shown(window).first();
    const QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    QVERIFY(!closeKeys.isEmpty());
    opened->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(opened));
    QTest::keySequence(opened, closeKeys.first());
    QTRY_VERIFY2(Program::shown(window).isEmpty(), qPrintable(window));
    QCOMPARE(p.dialogs.count(), 0);
}

void MainWindowTest::findInGroupPreselectsTheGroup()
{
    Program p;
    p.start();
    QCOMPARE(p.context->database.AddGroup("Lot A"), 1);
    QCOMPARE(p.context->database.AddGroup("Police Hold"), 1);
    p.press(p.model()->index(1, 0, p.model()->rootIndex()), Qt::RightButton);
    p.window->groupContextMenu()->hide();
    p.window->command("mnuFindMn")->trigger();
    QCOMPARE(Program::shown("frmFind").size(), 1);
    QCOMPARE(Program::shown("frmFind").first()->findChild<QComboBox *>("lstGroups")->currentText(), QString("Police Hold"));
}

void MainWindowTest::printPreviewOfTheSelectedVehicle()
{
    Program p;
    test::writeFile(p.dir.reportPath(), "{\\rtf1\\ansi Sheet for ::custname::\\par}");
    p.start();
    const qint64 id = p.vehicle("");
    p.browser()->RefContactList();
    p.browser()->showVehicle(id);
    p.window->command("mnupreview")->trigger();
    QCOMPARE(Program::shown("frmprint").size(), 1);
    // The report window fits the screen even though the sheet is taller than it.
    QWidget *report = Program::shown("frmprint").first();
    QVERIFY(report->screen()->availableGeometry().contains(report->frameGeometry()));
    QTRY_VERIFY(report->findChild<QWidget *>("dlgPreview") &&
                report->findChild<QWidget *>("dlgPreview")->isVisible());
    QCOMPARE(p.dialogs.count(), 0);
}

void MainWindowTest::restoreReopensTheFileItReplaced()
{
    Program p;
    p.start();
    QCOMPARE(p.context->database.AddGroup("Saved"), 1);
    const QString snapshot = p.dir.file("snapshot.db");
    const QString tow = p.dir.file("backup.tow");
    QVERIFY(p.context->store.backupTo(snapshot));
    clsHuffman().EncodeFile(snapshot.toStdString(), tow.toStdString());
    QCOMPARE(p.context->database.AddGroup("Later"), 1);
    // Configuration names another database meanwhile; it is for the next start.
    const QString other = p.dir.file("other.dll");
    {
        RecordStore elsewhere;
        QVERIFY(elsewhere.open(other, RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(elsewhere.addGroup("Elsewhere"));
    }
    p.context->settings.write("Database", "Path", other);

    p.window->command("mnubackup")->trigger();
    QCOMPARE(Program::shown("frmBackup").size(), 1);
    p.dialogs.queueFile(tow);
    p.dialogs.queueAnswer(Answer::Yes);
    QTest::mouseClick(Program::shown("frmBackup").first()->findChild<QPushButton *>("Command3"),
                      Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(p.dialogs.count(), 3, 30000);
    QVERIFY2(p.dialogs.last().text.startsWith("Your database has been restored."),
             qPrintable(p.dialogs.last().text));
    QCOMPARE(p.context->store.path(), p.context->folder.defaultDatabasePath());
    QCOMPARE(p.groupNodes(), QStringList{"Saved"});
}

void MainWindowTest::exits_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("close the window") << "close";
    QTest::newRow("File > Exit") << "mnuexit";
    QTest::newRow("top-level Exit") << "mnuexit1";
}

void MainWindowTest::exits()
{
    QFETCH(QString, how);
    Program p;
    p.start();
    p.browser()->findChild<QPlainTextEdit *>("txtnotes")->setPlainText("last words");
    if (how == "close")
        p.window->close();
    else
        p.window->command(how)->trigger();
    QVERIFY(!p.context->store.isOpen());
    QCOMPARE(p.context->settings.read("Notes", "notes"), QString("last words"));
}

void MainWindowTest::rightClickRules()
{
    Program p([](const SettingsFile &s) { s.write("Program", "Expanded", "Yes"); });
    p.start();
    QCOMPARE(p.context->database.AddGroup("Lot A"), 1);
    const qint64 id = p.vehicle("Lot A");
    p.vehicle("Lot A");
    p.browser()->RefContactList();
    QVERIFY(p.browser()->tree()->isExpanded(p.model()->index(0, 0, p.model()->rootIndex())));

    // After a right click: the menu shown (G group, V vehicle) and the selected node's tag.
    auto rightClick = [&](const QModelIndex &node) {
        p.press(node, Qt::RightButton);
        const QString seen = QString(p.window->groupContextMenu()->isVisible() ? "G" : "")
                             + (p.window->vehicleContextMenu()->isVisible() ? "V" : "") + " "
                             + p.browser()->SelNde().tag;
        p.window->groupContextMenu()->hide();
        p.window->vehicleContextMenu()->hide();
        return seen;
    };
    // Root and Other: no menu, nothing selected; Root afterwards keeps the selection.
    const QModelIndex root = p.model()->rootIndex();
    const QStringList seen{rightClick(root), rightClick(p.model()->otherIndex()),
                           rightClick(p.model()->index(0, 0, root)),
                           rightClick(p.model()->vehicleIndex(id)), rightClick(root)};
    const QString vehicle = "C|" + QString::number(id);
    QCOMPARE(seen, (QStringList{" ", " ", "G G|" + QString::number(p.context->store.groupIdByName("Lot A")),
                                "V " + vehicle, " " + vehicle}));

    // The group menu's Remove asks about the group's vehicles, then takes them all.
    p.press(p.model()->index(0, 0, p.model()->rootIndex()), Qt::RightButton);
    p.window->groupContextMenu()->hide();
    p.dialogs.queueAnswer(Answer::Yes);
    p.window->command("mnuRG")->trigger();
    QVERIFY(p.dialogs.last().text.startsWith("There are 2 vehicles(s) in this group"));
    QCOMPARE(p.groupNodes(), QStringList());
    QCOMPARE(p.count(), QString("0"));
}

QTEST_MAIN(MainWindowTest)
#include "MainWindow_test.moc"
