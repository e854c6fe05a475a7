// Whole flows of a tow record through the main window, the browser and the tow record form.
// The figures and the form's own rules are the logic's and the form's tests; here, that
// each command reaches them and each view follows the store.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include "AppProgram.h"
#include "FindWindow.h"
#include "FormText.h"
#include "ReportWindow.h"
#include "TowRecordForm.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

// Storage at $10 a day, 8% tax and a light hookup of $45; started at once.
struct Program : test::AppProgram
{
    Program()
        : AppProgram([](const SettingsFile &s) {
              s.write("Fee", "Storage Fee", "10");
              s.write("Tow Fee", "Taxrate", ".08");
              s.write("Tow Fee", "Light", "45.00");
          })
    {
        // The charge sheet is printed from the template the program ships.
        QDir(dir.path()).mkpath(QStringLiteral("Reports"));
        QFile::copy(QStringLiteral(TARNVALE_RESOURCES_DIR "/Reports/report.rtf"), dir.reportPath());
        start();
    }

    // Print, and the text of the charge sheet it shows; the report window is closed again.
    QString printedSheet()
    {
        window->command("mnuprint")->trigger();
        auto *report = qobject_cast<ReportWindow *>(shown("frmprint").value(0));
        const QString text = report ? report->report().document().toPlainText() : "<no report>";
        if (report)
            report->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return text;
    }

    static TowRecordForm *form()
    {
        return qobject_cast<TowRecordForm *>(shown("frmAddEditContact").value(0));
    }

    // Opens the form with the command as the modal window, types "name=value;..." (an empty
    // value for a list box picks its first entry, "name==x" checks that the box reads x) and
    // applies; true when every check held and the form closed without asking anything.
    bool formApply(QAction *open, const QString &typed)
    {
        open->trigger();
        QPointer<TowRecordForm> opened = form();
        if (!opened || QApplication::activeModalWidget() != opened)
            return false;
        for (const QString &item : typed.split(u';')) {
            const QString name = item.section(u'=', 0, 0);
            const QString value = item.section(u'=', 1);
            auto *box = opened->findChild<QComboBox *>(name);
            if (value.startsWith('=') && text(opened, name) != value.mid(1))
                return false;
            if (box && value.isEmpty()) {
                box->setCurrentIndex(0);
                Q_EMIT box->activated(0);
            } else if (!value.startsWith('=')) {
                setText(opened, name, value);
            }
        }
        opened->toolbarClick(3);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return !opened && !QApplication::activeModalWidget();
    }

    // Closes the one form open in edit mode and names the record it showed.
    QString closeFormOf()
    {
        TowRecordForm *opened = form();
        const QString id = opened && opened->EDT() ? opened->EDTID() : "<no form>";
        if (opened)
            opened->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return id;
    }

    void click(const QModelIndex &index, Qt::MouseButton button)
    {
        browser()->nodeClick(index, button);
        window->groupContextMenu()->close();
        window->vehicleContextMenu()->close();
    }
};

} // namespace

class VehicleFlowTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void addSeeEditStepRemove()
    {
        Program p;
        QVERIFY(p.context->database.AddGroup("Police") == 1);
        const qint64 groupId = p.context->store.groupIdByName("Police");
        auto group = [&] { return p.model()->groupIndex(groupId); };

        // Right-click the group, "&Add vehicle to this group...": a modal form in that group.
        p.click(group(), Qt::RightButton);
        QCOMPARE(p.browser()->SelNde().tag, "G|" + QString::number(groupId));
        QVERIFY(
            p.formApply(p.window->command("mnuACITG"),
                        "lstGroups==Police;tFields_0=John Smith;tFields_6=1999;tFields_7=Ford;"
                        "tFields_8=Taurus;tFields_10=red;tFields_16=3/1/2026;tFields_17=3/4/2026;"
                        "cmbhookup=;Text8=55;Text13=20.50"));
        const qint64 id = p.context->store.towRecords()->first().id;
        QCOMPARE(p.model()->vehicleIndex(id).parent(), group());
        QCOMPARE(p.model()->vehicleIndex(id).data().toString(), QString("1999 FORD TAURUS RED"));
        QCOMPARE(p.label("Label10"), QString("1"));

        // A group click lists it; a vehicle click fills the sheet, the summary and the print.
        p.click(group(), Qt::LeftButton);
        QCOMPARE(p.sheetRow(0), (QStringList{"JOHN SMITH", "1999", "FORD", "TAURUS", "RED",
                                             "3/1/2026", "", "3", "$162.54"}));
        p.click(p.model()->vehicleIndex(id), Qt::LeftButton);
        QCOMPARE((QStringList{p.sheetValue("Hookup:"), p.label("Label3"), p.label("Label5"),
                              p.label("Label7"), p.label("Label1")}),
                 (QStringList{"45.00", "3", "$10.00", "120.50", "$162.54"}));
        const QString sheet = p.printedSheet();
        QVERIFY2(sheet.contains("JOHN SMITH") && sheet.contains("$162.54"), qPrintable(sheet));

        // A second vehicle through toolbar New, without a group, lands under Other.
        QVERIFY(p.formApply(p.window->toolbarButton(1),
                            "lstGroups==Police;lstGroups=<None>;tFields_6=2005"));
        QCOMPARE(p.model()->vehicleIndex(p.context->store.towRecords()->last().id).parent(),
                 p.model()->otherIndex());

        // Edit the first from the vehicle menu and apply.
        p.click(p.model()->vehicleIndex(id), Qt::RightButton);
        QVERIFY(p.formApply(p.window->command("mnuETC"),
                            "tFields_0==John Smith;tFields_8=Sable;tFields_17=3/6/2026"));
        QCOMPARE(p.model()->vehicleIndex(id).data().toString(), QString("1999 FORD SABLE RED"));
        p.click(p.model()->vehicleIndex(id), Qt::LeftButton);
        QCOMPARE(p.label("Label3"), QString("5"));

        // Remove the first from the vehicle menu.
        p.click(p.model()->vehicleIndex(id), Qt::RightButton);
        p.dialogs.queueAnswer(Answer::Yes);
        p.window->command("mnusRC")->trigger();
        QVERIFY(!p.model()->vehicleIndex(id).isValid());
        QVERIFY(!p.context->store.towRecord(id));
        QCOMPARE(p.label("Label10"), QString("1"));
        QCOMPARE(p.dialogs.count(), 1);

        // The vehicle shown is read again after a change and forgotten once removed.
        const qint64 other = p.context->store.towRecords()->first().id;
        p.click(p.model()->vehicleIndex(other), Qt::LeftButton);
        TowRecord changed = *p.context->store.towRecord(other);
        changed.set(TowField::towedfee, "250.00");
        QVERIFY(p.context->store.updateTowRecord(changed));
        QCOMPARE(p.label("Label7"), QString("250.00"));
        QCOMPARE(p.browser()->tree()->currentIndex(), p.model()->vehicleIndex(other));
        QVERIFY(p.context->store.removeTowRecord(other));
        QVERIFY(!p.browser()->SelNde().isSet());
        QCOMPARE(p.label("Label7"), QString());
        QVERIFY(!p.browser()->printSnapshot().hasRecord);
    }

    // The tree keeps what was opened, closed and selected when a change rebuilds it; the keys
    // move through it and act on a vehicle; the list sorts by its columns; a search result
    // opens its vehicle.
    void treeKeysListAndFoundVehicles()
    {
        Program p;
        for (const char *name : {"Lot A", "Lot B"})
            QVERIFY(p.context->database.AddGroup(name) == 1);
        auto add = [&](const QString &group, const QString &name, const QString &released) {
            TowRecord r = vehicleRecord(group);
            r.set(TowField::custname, name);
            r.set(TowField::vehtag, name.toUpper() + "-1");
            r.set(TowField::towedfee, "100.00");
            r.set(TowField::toweddate, "3/1/2026");
            r.set(TowField::towedrelease, released);
            return *p.context->store.addTowRecord(r);
        };
        const qint64 a = add("Lot A", "Ann", "3/2/2026");
        const qint64 b = add("Lot B", "Bob", "3/11/2026");
        const qint64 c = add("Lot B", "Carl", "3/10/2026");
        QTreeView *tree = p.browser()->tree();
        auto lot = [&](const char *name) {
            return p.model()->groupIndex(p.context->store.groupIdByName(name));
        };

        // Lot B opened and Other closed by hand, Bob selected; changes keep all of it and
        // show what was saved.
        tree->expand(lot("Lot B"));
        tree->collapse(p.model()->otherIndex());
        p.press(p.model()->vehicleIndex(b), Qt::LeftButton);
        TowRecord bob = *p.context->store.towRecord(b);
        bob.set(TowField::custname, "Bobby");
        QVERIFY(p.context->store.updateTowRecord(bob));
        QVERIFY(p.context->database.AddGroup("Lot C") == 1);
        QCOMPARE((QList<bool>{tree->isExpanded(lot("Lot B")), tree->isExpanded(lot("Lot A")),
                              tree->isExpanded(p.model()->otherIndex())}),
                 (QList<bool>{true, false, false}));
        QCOMPARE(tree->currentIndex(), p.model()->vehicleIndex(b));
        QCOMPARE(p.sheetValue("Name:"), QString("BOBBY"));

        // Down shows the next vehicle; Enter opens it in the form; Delete asks, then removes;
        // the context-menu key pops up the node's menu.
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(p.browser()->SelNde().id() + p.sheetValue("Name:"), QString::number(c) + "CARL");
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(p.closeFormOf(), QString::number(c));
        p.dialogs.queueAnswer(Answer::Yes);
        QTest::keyClick(tree, Qt::Key_Delete);
        QVERIFY(p.dialogs.last().text.startsWith("Are you sure you want to remove this Vehicle?"));
        QVERIFY(!p.context->store.towRecord(c));
        QVERIFY(p.browser()->showVehicle(b));
        QTest::keyClick(tree, Qt::Key_Menu);
        QVERIFY(p.window->vehicleContextMenu()->isVisible());
        p.window->vehicleContextMenu()->close();

        // The group's list; the header sorts days as numbers (10 after 2).
        add("Lot B", "Dee", "3/3/2026");
        p.click(lot("Lot B"), Qt::LeftButton);
        QCOMPARE(p.sheetRow(0).mid(6), (QStringList{"BOB-1", "10", "$216.00"}));
        QHeaderView *header = p.browser()->list()->horizontalHeader();
        const QPoint days(header->sectionViewportPosition(7) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, days);
        QCOMPARE(p.sheetRow(0).at(0) + "," + p.sheetRow(1).at(0), QString("DEE,BOBBY"));

        // Enter on a search result selects its vehicle and shows its sheet, the result's
        // second command opens it in the form.
        p.window->command("mnuFind")->trigger();
        auto *find = qobject_cast<FindWindow *>(Program::shown("frmFind").value(0));
        QVERIFY(find);
        QSignalSpy done(find, &FindWindow::searchFinished);
        auto openResult = [&](const QString &plate) {
            QTRY_VERIFY(!find->isSearching()); // a change reruns the shown search first
            QVERIFY(find->Search("<All>", "Plate", plate, false, false));
            QVERIFY(done.wait(10000));
            QTest::keyClick(find->findChild<QTreeView *>("lstResults"), Qt::Key_Return);
        };
        openResult("ann-");
        QCOMPARE(tree->currentIndex(), p.model()->vehicleIndex(a));
        QVERIFY(tree->isExpanded(lot("Lot A")));
        QCOMPARE(p.sheetValue("Name:"), QString("ANN"));
        find->findChild<QAction *>("mnuEditResult")->trigger();
        QCOMPARE(p.closeFormOf(), QString::number(a));

        // A vehicle whose group is gone has no node: the user is told so.
        add("Gone", "Eve", "");
        const int shownBefore = p.dialogs.count();
        openResult("eve-1");
        QCOMPARE(p.dialogs.count(), shownBefore + 1);
        QCOMPARE(p.dialogs.last().text,
                 QString("This vehicle is not in the tree: its group no longer exists."));
        QCOMPARE(tree->currentIndex(), p.model()->vehicleIndex(a));
    }
};

QTEST_MAIN(VehicleFlowTest)
#include "VehicleFlow_test.moc"
