#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QToolBar>

#include <cerrno>
#include <sys/stat.h>

#include "AppProgram.h"
#include "FaultSeam.h"
#include "FirstRunWindow.h"
#include "FormText.h"
#include "GroupDialog.h"
#include "RecentDatabases.h"
#include "TestFiles.h"
#include "VehicleListModel.h"
#include "clsHuffman.h"

using namespace tarnvale;

namespace {

struct Program : test::AppProgram
{
    using AppProgram::AppProgram;
    QStringList groupNodes() const
    {
        QStringList names;
        const QModelIndex root = model()->rootIndex();
        for (int row = 0; row < model()->rowCount(root); ++row)
            names << model()->index(row, 0, root).data().toString();
        return names;
    }
    QPlainTextEdit *notes() const { return browser()->findChild<QPlainTextEdit *>("txtnotes"); }
};

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // The configured database cannot be opened: its message, and the windows all the same, with
    // no empty database made in its place.
    void databaseFailureStillShowsTheWindows()
    {
        Program p([](const SettingsFile &s) {
            s.write("Database", "Path", "/nonexistent/share/data.dll");
        });
        p.start();
        QVERIFY(p.dialogs.count() == 1 && p.window->isVisible() && p.browser()->isVisible());
        QCOMPARE(p.window->windowTitle(), QString("Harbor Towing"));
        QVERIFY(!QFile::exists(p.context->folder.defaultDatabasePath()));
        // Not shown as an empty yard.
        QCOMPARE(p.label("Label10"), QString("none shown, no database is open"));
        QVERIFY(!p.browser()->findChild<QWidget *>("lstGroups")->isEnabled());
    }

    // A first start on an empty yard asks for the company and its fees, checked as Configuration
    // checks them; a yard with a name is not asked.
    void firstStartAsksForTheCompany()
    {
        Program p([](const SettingsFile &s) { s.write("Company", "Name", " "); });
        p.start();
        auto *welcome = qobject_cast<FirstRunWindow *>(Program::shown("frmFirstRun").value(0));
        QVERIFY(welcome);
        const QStringList keys = {"Company/Name", "Company/Address", "Company/City", "Company/State",
                                  "Company/Zip", "Fee/Storage Fee", "Tow Fee/Light",
                                  "Tow Fee/Medium", "Tow Fee/Heavy", "Tow Fee/Taxrate"};
        const QStringList typed = {"Ace Towing", "12 Dock St", "Erie", "PA", "16501", "35",
                                   "95.00", "abc", "250", "7%"};
        const QStringList boxes = {"Text1", "Text4", "Text5", "Text6", "Text7",
                                   "Text2", "Text8", "Text9", "Text10", "Text11"};
        for (int i = 0; i < keys.size(); ++i)
            test::setText(welcome, boxes[i], typed[i]);
        QVERIFY(!welcome->save() && welcome->focusWidget()->objectName() == "Text9");
        QTest::keyClicks(welcome->focusWidget(), "125"); // over the refused value
        QTest::keyClick(welcome->focusWidget(), Qt::Key_Escape); // asked; No keeps what was typed
        QVERIFY(welcome->isVisible() && p.dialogs.last().buttons == MessageButtons::YesNoDefaultNo);
        QVERIFY(welcome->save());
        QStringList stored;
        for (const QString &key : keys)
            stored << p.context->settings.read(key.section('/', 0, 0), key.section('/', 1));
        QCOMPARE(stored, QStringList(typed).replaceInStrings("abc", "125").replaceInStrings("7%", "0.07"));
        QVERIFY(p.window->windowTitle() == "Ace Towing" && Program::shown("frmFirstRun").isEmpty());
        Program named;
        named.start();
        QVERIFY(Program::shown("frmFirstRun").isEmpty());
    }

    // A tax rate of 100 % or more in settings.ini is added as it stands, and said at start.
    void startUpWarnsOfATaxRateOf725Percent()
    {
        Program p([](const SettingsFile &s) { s.write("Tow Fee", "Taxrate", "7.25"); });
        p.start();
        QCOMPARE(p.dialogs.count(), 1);
        QCOMPARE(p.dialogs.last().title + "|" + p.dialogs.last().text,
                 "Tarnvale|The tax rate 725 % in settings.ini is added as it stands: mend it in "
                 "Config Settings.\r\nEvery total gets this tax until then: type the rate in "
                 "\"Tax %:\" as a percentage, such as 8%.");
    }

    void startUpClearsLeftoversAndRefusesBadSettings()
    {
        // A killed run left its temporaries; settings.ini is a FIFO that nothing writes to.
        Program p([](const SettingsFile &s) {
            QFile::remove(s.path());
            QCOMPARE(::mkfifo(QFile::encodeName(s.path()).constData(), 0644), 0);
        });
        const QStringList leftovers = {"settings.ini.tmp-Ab3dE9", "data.dll.snapshot-x1Y2z3",
                                       "data.dll.snapshot-x1Y2z3-journal"};
        for (const QString &name : leftovers + QStringList{"data.dll.snapshot-notes.txt"})
            test::writeFile(p.dir.file(name), "customer list");
        p.start();
        for (const QString &name : leftovers)
            QVERIFY2(!QFile::exists(p.dir.file(name)), qPrintable(name));
        QVERIFY(QFile::exists(p.dir.file("data.dll.snapshot-notes.txt"))); // not ours: kept
        QCOMPARE(p.dialogs.count(), 1);
        QCOMPARE(
            p.dialogs.last().title + "|" + p.dialogs.last().text,
            "Tarnvale|" + p.dir.settingsPath() +
                " is not a regular file.\r\nThe program starts with empty settings; no setting "
                "can be saved until the file is mended or removed.");
        QCOMPARE(p.window->windowTitle(), QString());
    }

    void commandsOpenTheirWindows_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("single"); // asked again, the same window comes forward
        for (const char *row :
             {"mnuremind frmReminders 1", "mnuabout frmabout 0", "mnuconfigset frmConfig 1",
              "mnutips frmTip 1", "mnuAddGroup frmAddRemoveGroup 0", "mnubackup frmBackup 1",
              "tbNewVehicle frmAddEditContact 0", "mnuFind frmFind 1",
              "mnureporthelp frmreporthelp 0", "mnuconfighelp frmconfighelp 0",
              "mnupricing frmpricing 0"}) {
            const QStringList parts = QString(row).split(u' ');
            QTest::newRow(row) << parts[0] << parts[1] << (parts[2] == "1");
        }
    }

    // Each window opens centred on the main window at a size that shows its content whole
    // within the screen, comes back as it was left (kept on this workstation), is centred again
    // when that place is on no screen, and closes with the close key and with Escape.
    void commandsOpenTheirWindows()
    {
        QFETCH(QString, command);
        QFETCH(QString, window);
        QFETCH(bool, single);
        Program p;
        test::writeFile(p.context->folder.tipsPath(),
                        "Right-click a group to add a vehicle to it.\n");
        p.start();
        QAction *action = p.window->findChild<QAction *>(command);
        QVERIFY2(action, qPrintable(command));
        const QString key = "Windows/" + window + "/geometry";
        const QRect screen = p.window->screen()->availableGeometry();
        QRect kept;
        for (int round = 0; round < 3; ++round) {
            action->trigger();
            QCoreApplication::processEvents();
            QWidget *opened = Program::shown(window).value(0);
            QVERIFY2(opened && screen.contains(opened->frameGeometry()), qPrintable(window));
            const QRect at(opened->pos(), opened->size());
            if (round == 1)
                QCOMPARE(at, kept);
            else
                QVERIFY2(opened->frameGeometry().center() == p.window->frameGeometry().center()
                             && opened->size().expandedTo(opened->sizeHint().boundedTo(
                                    screen.size())) == opened->size(),
                         qPrintable(window));
            if (single && round == 0) {
                action->trigger();
                QCOMPARE(Program::shown(window).size(), 1);
            }
            opened->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(opened));
            const QKeySequence leave = round == 0 ? QKeySequence(QKeySequence::Close)
                                                  : QKeySequence(Qt::Key_Escape);
            QTest::keySequence(opened->focusWidget() ? opened->focusWidget() : opened, leave);
            QTRY_VERIFY2(Program::shown(window).isEmpty(), qPrintable(window));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(p.context->workstation.value(key).toRect(), at);
            // Then a place of the user's, then one on a screen no longer there.
            kept = round == 0 ? QRect(screen.topLeft() + QPoint(7, 9),
                                      at.size().boundedTo(screen.size() - QSize(7, 9)))
                              : QRect(QPoint(screen.right() + 400, 40), at.size());
            p.context->workstation.setValue(key, kept);
        }
        QCOMPARE(p.dialogs.count(), 0);
    }

    void escapeAsksWhereSomethingWasTyped_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("question");
        QTest::addColumn<Answer>("stay");
        QTest::addColumn<Answer>("leave");
        const QString ask = "Question Exclamation YesNoDefaultNo|%1|What you typed in this window "
                            "has not been saved.\r\n\r\nClose the window and discard it?";
        QTest::newRow("record form")
            << "tbNewVehicle" << "tFields_1"
            << "Question Exclamation YesNoCancel|Harbor Towing|The changes to this vehicle have "
               "not been saved.\r\n\r\nSave them now? No discards them, Cancel stays here."
            << Answer::Cancel << Answer::No;
        QTest::newRow("configuration") << "mnuconfigset" << "Text4" << ask.arg("Configuration")
                                       << Answer::No << Answer::Yes;
        QTest::newRow("group") << "mnuAddGroup" << "txtGroup" << ask.arg("Add Group")
                               << Answer::No << Answer::Yes;
        QTest::newRow("hold") << "mnuImpound" << "txtHoldAgency" << ask.arg("Hold and Release")
                              << Answer::No << Answer::Yes;
    }

    // Escape on a window with something typed asks first: one answer keeps the window and what
    // was typed, the other closes it.
    void escapeAsksWhereSomethingWasTyped()
    {
        QFETCH(QString, command);
        QFETCH(QString, box);
        Program p;
        p.start();
        QVERIFY(p.context->store.addGroup("Lot A"));
        const qint64 id = p.vehicle("Lot A");
        QTRY_VERIFY(p.browser()->showVehicle(id));
        p.window->findChild<QAction *>(command)->trigger();
        QLineEdit *typed = nullptr;
        for (QWidget *shown : QApplication::topLevelWidgets())
            if (shown->isVisible() && shown != p.window.get() && !typed)
                typed = shown->findChild<QLineEdit *>(box);
        QVERIFY2(typed, qPrintable(box));
        const QPointer<QWidget> window = typed->window();
        typed->setFocus();
        QTest::keyClicks(typed, "Erie PD");
        QFETCH(Answer, stay);
        QFETCH(Answer, leave);
        for (const Answer answer : {stay, leave}) {
            p.dialogs.queueAnswer(answer);
            QTest::keyClick(window ? typed : nullptr, Qt::Key_Escape);
            QCoreApplication::processEvents();
            QCOMPARE(window && window->isVisible() ? typed->text() : "closed",
                     answer == stay ? "Erie PD" : "closed");
        }
        QCOMPARE(p.dialogs.count(), 2);
        QTEST(p.dialogs.last().line(), "question");
    }

    // The list's headers, the sheet's labels and the record form's captions are never cut, at
    // the default font and at a quarter larger one.
    void captionsFitTheirColumns()
    {
        const QFont before = QApplication::font();
        for (const double scale : {1.0, 1.25}) {
            QFont larger = before;
            larger.setPointSizeF(before.pointSizeF() * scale);
            QApplication::setFont(larger);
            Program p;
            p.start();
            QVERIFY(p.context->store.addGroup("Lot A"));
            const qint64 id = p.vehicle("Lot A");
            QModelIndex vehicle;
            QTRY_VERIFY((vehicle = p.model()->vehicleIndex(id)).isValid());
            QTableView *list = p.browser()->list();
            const QAbstractItemView *view = list; // the table's own column hint
            const QHeaderView *header = list->horizontalHeader();
            QStringList cut;
            for (const QModelIndex &node : {vehicle.parent(), vehicle}) {
                p.press(node, Qt::LeftButton);
                for (int c = 0; c < list->model()->columnCount(); ++c)
                    if (list->columnWidth(c)
                        < std::max(header->sectionSizeHint(c), view->sizeHintForColumn(c)))
                        cut << list->model()->headerData(c, Qt::Horizontal).toString();
            }
            list->setColumnWidth(0, 345); // the user's own width stays while more rows are read
            Q_EMIT qobject_cast<VehicleListModel *>(list->model())->rowsRead();
            QCoreApplication::processEvents();
            QCOMPARE(list->columnWidth(0), 345);
            p.window->findChild<QAction *>("tbNewVehicle")->trigger();
            const QPointer<QWidget> form = Program::shown("frmAddEditContact").value(0);
            form->findChild<QPushButton *>("Command3")->click();
            QCoreApplication::processEvents();
            for (const QLabel *label : form->findChildren<QLabel *>())
                if (label->isVisible() && label->width() < label->minimumSizeHint().width())
                    cut << label->text();
            QApplication::setFont(before);
            QVERIFY2(cut.isEmpty(), qPrintable(QString::number(scale) + ": " + cut.join(", ")));
        }
    }

    // The group dialog's and the right-click menus' wiring; the messages and answers are the
    // database routines' own tests.
    void groupsThroughTheDialogAndTheMenus()
    {
        Program p([](const SettingsFile &s) { s.write("Program", "Expanded", "Yes"); });
        p.start();
        p.window->command("mnuAddGroup")->trigger();
        QPointer<GroupDialog> dialog = p.window->findChild<GroupDialog *>("frmAddRemoveGroup");
        // The toolbar's buttons shown, separators as "|".
        const auto buttons = [&] {
            QStringList shown;
            for (QAction *action : dialog->findChild<QToolBar *>("Toolbar1")->actions())
                if (action->isVisible())
                    shown << (action->isSeparator() ? "|" : action->text());
            return shown.join(' ');
        };
        QCOMPARE(dialog->windowTitle(), QString("Add Group"));
        QCOMPARE(buttons(), "Cancel | Add");
        auto *name = dialog->findChild<QLineEdit *>("txtGroup");
        QTest::keyClicks(name, "Lot A");
        QTest::keyClick(name, Qt::Key_Return); // Enter adds, like the Add button
        QTRY_VERIFY(!dialog);                  // closed and deleted

        for (const char *group : {"Police", "Empty"})
            QCOMPARE(p.context->database.AddGroup(group), 1);
        p.window->openRemoveGroup(); // a group to choose, no name to type
        dialog = p.window->findChild<GroupDialog *>("frmAddRemoveGroup");
        QVERIFY(dialog->windowTitle() == "Remove Group" &&
                !dialog->findChild<QWidget *>("Frame1")->isVisibleTo(dialog) &&
                dialog->findChild<QWidget *>("Frame2")->isVisibleTo(dialog));
        QCOMPARE(buttons(), "Cancel | Remove | Exit");
        delete dialog.data();
        const qint64 groupId = p.context->store.groupIdByName("Lot A");
        const qint64 id = p.vehicle("Lot A");
        p.vehicle("Lot A");
        p.vehicle("Police");
        QVERIFY(p.browser()->tree()->isExpanded(p.model()->groupIndex(groupId)));
        // After a right click: the menu shown (G group, V vehicle) and the selected node's tag.
        auto rightClick = [&](const QModelIndex &node) {
            p.press(node, Qt::RightButton);
            const QString seen = QString(p.window->groupContextMenu()->isVisible() ? "G" : "") +
                                 (p.window->vehicleContextMenu()->isVisible() ? "V" : "") + " " +
                                 p.browser()->selectedNode().tag;
            p.window->groupContextMenu()->hide();
            p.window->vehicleContextMenu()->hide();
            return seen;
        };
        // Root and Other: no menu, nothing selected; Root afterwards keeps the selection.
        const QModelIndex root = p.model()->rootIndex();
        const QString vehicle = "C|" + QString::number(id);
        const QStringList seen{rightClick(root), rightClick(p.model()->otherIndex()),
                               rightClick(p.model()->vehicleIndex(id)), rightClick(root),
                               rightClick(p.model()->groupIndex(groupId))};
        QCOMPARE(seen, (QStringList{" ", " ", "V " + vehicle, " " + vehicle,
                                    "G G|" + QString::number(groupId)}));
        p.window->command("mnuFindMn")->trigger(); // Ctrl+F again: the cursor in the text
        QWidget *find = Program::shown("frmFind").value(0);
        find->findChild<QComboBox *>("lstGroups")->setFocus();
        p.window->command("mnuFind")->trigger();
        QCOMPARE(find->findChild<QComboBox *>("lstGroups")->currentText(), "Lot A");
        QCOMPARE(find->focusWidget()->objectName(), "txtSearch");
        // The menu's Remove asks about the group's vehicles, then takes them all.
        p.dialogs.queueAnswer(Answer::Yes);
        p.window->command("mnuRG")->trigger();
        QVERIFY(p.dialogs.last().text.startsWith("There are 2 vehicles(s) in this group"));
        QCOMPARE(p.groupNodes(), (QStringList{"Police", "Empty"}));
        QCOMPARE(p.label("Label10"), QString("1"));
    }

    // Settings name another database meanwhile: that is for the next start; the restore reopens
    // the file it replaced and the tree shows what it holds.
    void restoreReopensTheFileItReplaced()
    {
        Program p;
        p.start();
        QCOMPARE(p.context->database.AddGroup("Saved"), 1);
        const QString snapshot = p.dir.file("snapshot.db"), tow = p.dir.file("backup.tow");
        QVERIFY(p.context->store.backupTo(snapshot));
        clsHuffman().EncodeFile(snapshot.toStdString(), tow.toStdString());
        QCOMPARE(p.context->database.AddGroup("Later"), 1);
        p.context->settings.write("Database", "Path", p.dir.file("other.dll"));

        p.window->command("mnubackup")->trigger();
        p.dialogs.queueFile(tow);
        p.dialogs.queueAnswer(Answer::Yes);
        QTest::mouseClick(
            Program::shown("frmBackup").value(0)->findChild<QPushButton *>("Command3"),
            Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(p.dialogs.count(), 3, 30000);
        QVERIFY2(p.dialogs.last().text.startsWith("Your database has been restored."),
                 qPrintable(p.dialogs.last().text));
        QCOMPARE(p.context->store.path(), p.context->folder.defaultDatabasePath());
        QCOMPARE(p.groupNodes(), QStringList{"Saved"});
    }

    // The notes button saves; a failed write is told, not passed off as saved.
    void notesAreKept()
    {
        Program p([](const SettingsFile &s) {
            s.write("Notes", "notes", "Call the county lot\r\nbefore 5");
        });
        p.start();
        QCOMPARE(p.notes()->toPlainText(), QString("Call the county lot\nbefore 5"));
        p.notes()->setPlainText("Saved with the button\nsecond line");
        p.browser()->findChild<QPushButton *>("Command1")->click();
        QCOMPARE(p.context->settings.read("Notes", "notes"),
                 QString("Saved with the button\nsecond line"));

        p.notes()->setPlainText("not saved");
        FaultSeam::failAt(2, ENOSPC);
        p.browser()->findChild<QPushButton *>("Command1")->click();
        FaultSeam::disarm();
        QVERIFY(p.dialogs.count() == 1 && p.dialogs.last().title == QString("Harbor Towing"));
        QVERIFY(
            p.dialogs.last().text.startsWith("The notes could not be saved.\r\nCannot write ") &&
            p.dialogs.last().text.endsWith("(No space left on device)"));
        QCOMPARE(p.context->settings.read("Notes", "notes"),
                 QString("Saved with the button\nsecond line"));
    }

    // Every way out (the opening of another database too) saves the notes and closes the
    // database; a record form with typing not saved asks first, and Cancel keeps all open.
    void exits()
    {
        for (const char *how : {"close", "mnuexit", "mnuexit1", "open"}) {
            Program p;
            p.start();
            const QString other = p.dir.file("other.dll");
            QFile(other).open(QIODevice::WriteOnly);
            p.notes()->setPlainText("last words");
            p.window->openEditorForAdd();
            const QPointer<QWidget> form = Program::shown("frmAddEditContact").value(0);
            QVERIFY2(form, how);
            QTest::keyClicks(form->findChild<QLineEdit *>("tFields_0"), "Erie PD");
            for (const Answer answer : {Answer::Cancel, Answer::No}) {
                p.dialogs.queueAnswer(answer);
                if (how == QLatin1String("close"))
                    p.window->close();
                else if (how == QLatin1String("open"))
                    p.window->openDatabase(other);
                else
                    p.window->command(how)->trigger();
                QCoreApplication::processEvents();
                const bool left = answer == Answer::No;
                // A closed form deletes itself.
                QVERIFY2(p.context->store.isOpen() != left && (form && form->isVisible()) != left,
                         how);
                QCOMPARE(p.window->chosenDatabase(), left && how == QLatin1String("open") ? other : "");
            }
            QCOMPARE(p.dialogs.count(), 2);
            QCOMPARE(p.context->settings.read("Notes", "notes"), QString("last words"));
        }
    }

    // File > Open Recent: this workstation's databases, newest first, eight at most, the one
    // in use ticked; a file gone is taken off with a notice; an address with a password is
    // never written to the workstation's file.
    void openRecentListsThisWorkstationsDatabases()
    {
        Program p;
        p.start();
        RecentDatabases recent(p.context->workstation);
        const QString current = p.context->database.databasePath();
        QCOMPARE(recent.paths(), QStringList{current});
        QStringList files;
        for (int i = 1; i <= 9; ++i) {
            files.prepend(p.dir.file(QStringLiteral("yard%1.dll").arg(i)));
            QFile(files.first()).open(QIODevice::WriteOnly);
            QVERIFY(recent.add(files.first()));
        }
        QVERIFY(recent.add(files.at(3)) && !recent.add("postgresql://clerk:s3cret@db/yard") &&
                recent.add("postgresql://clerk@db/yard"));
        QCOMPARE(recent.paths(), (QStringList{"postgresql://clerk@db/yard", files.at(3),
                                              files.at(0), files.at(1), files.at(2), files.at(4),
                                              files.at(5), files.at(6)}));
        QMenu *menu = p.window->findChild<QAction *>("mnuOpenRecent")->menu();
        QMetaObject::invokeMethod(menu, "aboutToShow");
        QStringList shown;
        for (QAction *entry : menu->actions())
            shown << entry->text() + (entry->isChecked() ? "*" : "");
        QCOMPARE(shown.mid(0, 3), (QStringList{"&1 postgresql://clerk@db/yard", "&2 " + files.at(3),
                                               "&3 " + files.at(0)}));
        QCOMPARE(shown.mid(8), (QStringList{"", "&Clear Menu"}));
        QVERIFY(QFile::remove(files.at(3)));
        menu->findChild<QAction *>("mnuRecent2")->trigger();
        QVERIFY(p.context->store.isOpen() && p.window->chosenDatabase().isEmpty());
        QCOMPARE(p.dialogs.last().text, "The database " + files.at(3) +
                                            " cannot be found. It is taken off the list of "
                                            "recent databases.");
        QVERIFY(!recent.paths().contains(files.at(3)));
        recent.add(current);
        QMetaObject::invokeMethod(menu, "aboutToShow");
        QVERIFY(menu->findChild<QAction *>("mnuRecent1")->isChecked());
        menu->findChild<QAction *>("mnuRecent1")->trigger(); // the one in use: nothing happens
        QVERIFY(p.context->store.isOpen() && p.window->chosenDatabase().isEmpty());
        menu->findChild<QAction *>("mnuClearRecent")->trigger();
        QVERIFY(recent.paths().isEmpty());
        // The window started again on a chosen database opens it, keeps it first on the list
        // and names it in the caption unless it is the one settings.ini names.
        for (const bool another : {false, true}) {
            Program again;
            QVERIFY(QFile::copy(current, again.dir.file("data.dll")));
            again.context->database.useDatabase(another ? current : again.dir.file("data.dll"));
            again.start();
            QVERIFY(again.context->store.isOpen());
            QCOMPARE(RecentDatabases(again.context->workstation).paths().value(0),
                     again.context->database.databasePath());
            QCOMPARE(again.window->windowTitle(),
                     another ? "Harbor Towing - " + current : "Harbor Towing");
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindow_test.moc"
