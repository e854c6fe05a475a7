// Whole flows of a tow record through the main window, the browser and the tow record form.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
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
              s.write("Company", "Name", "Ace Towing");
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
        const QList<QWidget *> reports = shown("frmprint");
        if (reports.size() != 1)
            return QStringLiteral("<%1 report windows>").arg(reports.size());
        auto *report = qobject_cast<ReportWindow *>(reports.first());
        const QString text = report->report().document().toPlainText();
        report->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return text;
    }

    static QList<TowRecordForm *> openForms()
    {
        QList<TowRecordForm *> forms;
        for (QWidget *w : shown("frmAddEditContact"))
            if (auto *form = qobject_cast<TowRecordForm *>(w))
                forms << form;
        return forms;
    }

    void click(const QModelIndex &index, Qt::MouseButton button)
    {
        browser()->nodeClick(index, button);
        for (QMenu *menu : {window->groupContextMenu(), window->vehicleContextMenu()})
            menu->close();
    }

    QStringList sheetRow(int row) const
    {
        QTableWidget *list = browser()->list();
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c)
            cells << (list->item(row, c) ? list->item(row, c)->text() : QString());
        return cells;
    }

    QString sheetValue(const QString &field) const
    {
        QTableWidget *list = browser()->list();
        for (int r = 0; r < list->rowCount(); ++r)
            if (list->item(r, 0) && list->item(r, 0)->text() == field)
                return list->item(r, 1)->text();
        return QStringLiteral("<no row>");
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
        QVERIFY(p.context->store.isOpen());
        QVERIFY(p.context->database.AddGroup("Police") == 1);
        const qint64 groupId = p.context->store.groupIdByName("Police");
        const QModelIndex group = p.model()->groupIndex(groupId);
        QVERIFY(group.isValid());

        // Right-click the group, "&Add vehicle to this group...".
        p.click(group, Qt::RightButton);
        QCOMPARE(p.browser()->SelNde().tag, "G|" + QString::number(groupId));
        p.window->command("mnuACITG")->trigger();
        QCOMPARE(Program::openForms().size(), 1);
        QPointer<TowRecordForm> form = Program::openForms().first();
        QCOMPARE(QApplication::activeModalWidget(), form.data());
        QCOMPARE(text(form, "lstGroups"), QString("Police"));

        setText(form, "tFields_0", "John Smith");
        setText(form, "tFields_6", "1999");
        setText(form, "tFields_7", "Ford");
        setText(form, "tFields_8", "Taurus");
        setText(form, "tFields_10", "red");
        setText(form, "tFields_16", "3/1/2026");
        setText(form, "tFields_17", "3/4/2026");
        auto *hookup = form->findChild<QComboBox *>("cmbhookup");
        hookup->setCurrentIndex(0);
        Q_EMIT hookup->activated(0);
        setText(form, "Text8", "55");
        setText(form, "Text13", "20.50");
        form->toolbarClick(3);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(p.dialogs.count(), 0);

        // The new vehicle is in the tree under its group.
        const qint64 id = p.context->store.towRecords()->first().id;
        const QModelIndex vehicle = p.model()->vehicleIndex(id);
        QVERIFY(vehicle.isValid());
        QCOMPARE(vehicle.parent(), p.model()->groupIndex(groupId));
        QCOMPARE(vehicle.data().toString(), QString("1999 FORD TAURUS RED"));
        QCOMPARE(p.label("Label10"), QString("1"));

        // A group click lists it; a vehicle click fills the sheet and the summary.
        p.click(p.model()->groupIndex(groupId), Qt::LeftButton);
        QCOMPARE(p.browser()->list()->rowCount(), 1);
        QCOMPARE(p.sheetRow(0), (QStringList{"JOHN SMITH", "1999", "FORD", "TAURUS", "RED",
                                             "3/1/2026", "", "3", "$162.54"}));
        p.click(p.model()->vehicleIndex(id), Qt::LeftButton);
        QCOMPARE(p.sheetValue("Hookup:"), QString("45.00"));
        QCOMPARE(p.sheetValue("Tow Fee:"), QString("120.50"));
        QCOMPARE(p.label("Label3"), QString("3"));
        QCOMPARE(p.label("Label5"), QString("$10.00"));
        QCOMPARE(p.label("Label7"), QString("120.50"));
        QCOMPARE(p.label("Label1"), QString("$162.54"));
        QCOMPARE(p.browser()->printSnapshot().customerName, QString("John Smith"));
        // Print shows the sheet of the vehicle selected, with its figures.
        const QString sheet = p.printedSheet();
        QVERIFY2(sheet.contains("JOHN SMITH") && sheet.contains("$162.54"), qPrintable(sheet));

        // A second vehicle through toolbar New, without a group.
        p.window->toolbarButton(1)->trigger();
        form = Program::openForms().first();
        QCOMPARE(text(form, "lstGroups"), QString("Police"));
        setText(form, "lstGroups", "<None>");
        setText(form, "tFields_6", "2005");
        setText(form, "tFields_7", "Honda");
        form->toolbarClick(3);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form);
        const qint64 second = p.context->store.towRecords()->last().id;
        QCOMPARE(p.model()->vehicleIndex(second).parent(), p.model()->otherIndex());

        // Edit the first from the vehicle menu and apply.
        p.click(p.model()->vehicleIndex(id), Qt::RightButton);
        p.window->command("mnuETC")->trigger();
        form = Program::openForms().first();
        QCOMPARE(text(form, "tFields_0"), QString("John Smith"));
        setText(form, "tFields_8", "Sable");
        setText(form, "tFields_17", "3/6/2026");
        setText(form, "Text13", "30.25");
        form->toolbarClick(3);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form);
        QCOMPARE(p.dialogs.count(), 0);
        QCOMPARE(p.model()->vehicleIndex(id).data().toString(), QString("1999 FORD SABLE RED"));
        p.click(p.model()->vehicleIndex(id), Qt::LeftButton);
        QCOMPARE(p.label("Label3"), QString("5"));
        QCOMPARE(p.sheetValue("Vehicle Model:"), QString("SABLE"));
        QCOMPARE(p.sheetValue("Tow Fee:"), QString("130.25"));

        // Remove the first from the vehicle menu.
        p.click(p.model()->vehicleIndex(id), Qt::RightButton);
        p.dialogs.queueAnswer(Answer::Yes);
        p.window->command("mnusRC")->trigger();
        QVERIFY(!p.model()->vehicleIndex(id).isValid());
        QVERIFY(!p.context->store.towRecord(id));
        QCOMPARE(p.label("Label10"), QString("1"));
    }

    void selectionOwnsSheetSummaryAndPrint()
    {
        Program p;
        TowRecord r;
        r.set(TowField::vehyear, "1999");
        r.set(TowField::custname, "first");
        r.set(TowField::towedfee, "100.00");
        const qint64 a = *p.context->store.addTowRecord(r);
        r.set(TowField::custname, "second");
        r.set(TowField::towedfee, "7.00");
        const qint64 b = *p.context->store.addTowRecord(r);
        QVERIFY(p.context->database.AddGroup("Empty") == 1);
        p.click(p.model()->vehicleIndex(a), Qt::LeftButton);
        QCOMPARE(p.label("Label7"), QString("100.00"));

        // A right click selects the vehicle as a left click does, then offers its menu.
        p.click(p.model()->vehicleIndex(b), Qt::RightButton);
        QCOMPARE(p.browser()->SelNde().id(), QString::number(b));
        QCOMPARE(p.sheetValue("Name:"), QString("SECOND"));
        QCOMPARE(p.label("Label7"), QString("7.00"));
        QCOMPARE(p.browser()->printSnapshot().customerName, QString("second"));

        // A group: its vehicles, no figures of the last vehicle, and nothing to print.
        p.click(p.model()->groupIndex(p.context->store.groupIdByName("Empty")), Qt::LeftButton);
        QCOMPARE(p.browser()->list()->rowCount(), 0);
        QCOMPARE(p.browser()->list()->columnCount(), 9);
        QCOMPARE(p.label("Label7"), QString());
        QCOMPARE(p.label("Label1"), QString());
        p.window->command("mnuprint")->trigger();
        QCOMPARE(p.dialogs.last().text, QString("Please Select A Record To Print"));
        QVERIFY(Program::shown("frmprint").isEmpty());

        // The vehicle shown is read again after a change, and forgotten once removed.
        p.click(p.model()->vehicleIndex(a), Qt::LeftButton);
        TowRecord changed = *p.context->store.towRecord(a);
        changed.set(TowField::towedfee, "250.00");
        QVERIFY(p.context->store.updateTowRecord(changed));
        p.browser()->RefContactList();
        QCOMPARE(p.label("Label7"), QString("250.00"));
        QCOMPARE(p.browser()->printSnapshot().towFee, QString("250.00"));
        QCOMPARE(p.browser()->tree()->currentIndex(), p.model()->vehicleIndex(a));
        QVERIFY(p.context->store.removeTowRecord(a));
        p.browser()->RefContactList();
        QVERIFY(!p.browser()->SelNde().isSet());
        QCOMPARE(p.label("Label7"), QString());
        QCOMPARE(p.browser()->list()->rowCount(), 0);
        QVERIFY(!p.browser()->printSnapshot().hasRecord);
    }

    // The tree keeps what was opened, closed and selected when a save rebuilds it; the keys
    // move through it and act on a vehicle; the vehicle list sorts by its columns; a search
    // result opens its vehicle.
    void treeKeysListAndFoundVehicles()
    {
        Program p;
        QVERIFY(p.context->database.AddGroup("Lot A") == 1);
        QVERIFY(p.context->database.AddGroup("Lot B") == 1);
        auto add = [&](const QString &group, const QString &name, const QString &tag,
                       const QString &released) {
            TowRecord r = vehicleRecord(group);
            r.set(TowField::custname, name);
            r.set(TowField::vehtag, tag);
            r.set(TowField::towedfee, "100.00");
            r.set(TowField::toweddate, "3/1/2026");
            r.set(TowField::towedrelease, released);
            return *p.context->store.addTowRecord(r);
        };
        const qint64 a = add("Lot A", "Ann", "7XK-221", "3/2/2026");
        const qint64 b = add("Lot B", "Bob", "BOB-1", "3/11/2026");
        const qint64 c = add("Lot B", "Carl", "CARL-2", "3/10/2026");
        p.browser()->RefContactList();
        QTreeView *tree = p.browser()->tree();
        auto lotA = [&] { return p.model()->groupIndex(p.context->store.groupIdByName("Lot A")); };
        auto lotB = [&] { return p.model()->groupIndex(p.context->store.groupIdByName("Lot B")); };

        // Lot B opened and Other closed by hand, Bob selected; a save keeps all of it and
        // shows what was saved.
        tree->expand(lotB());
        tree->collapse(p.model()->otherIndex());
        p.press(p.model()->vehicleIndex(b), Qt::LeftButton);
        QCOMPARE(p.sheetValue("Name:"), QString("BOB"));
        TowRecord bob = *p.context->store.towRecord(b);
        bob.set(TowField::custname, "Bobby");
        QVERIFY(p.context->store.updateTowRecord(bob));
        QVERIFY(p.context->database.AddGroup("Lot C") == 1);
        QVERIFY(tree->isExpanded(lotB()));
        QVERIFY(!tree->isExpanded(lotA()));
        QVERIFY(!tree->isExpanded(p.model()->otherIndex()));
        QCOMPARE(tree->currentIndex(), p.model()->vehicleIndex(b));
        QCOMPARE(p.sheetValue("Name:"), QString("BOBBY"));

        // Down shows the next vehicle; Enter opens it in the form; Delete asks, then removes.
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(p.sheetValue("Name:"), QString("CARL"));
        QCOMPARE(p.browser()->SelNde().id(), QString::number(c));
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(Program::openForms().size(), 1);
        QVERIFY(Program::openForms().first()->EDT());
        QCOMPARE(Program::openForms().first()->EDTID(), QString::number(c));
        Program::openForms().first()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        p.dialogs.queueAnswer(Answer::Yes);
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(p.dialogs.count(), 1);
        QVERIFY(p.dialogs.last().text.startsWith("Are you sure you want to remove this Vehicle?"));
        QVERIFY(!p.context->store.towRecord(c));
        // The context-menu key pops up the node's menu.
        QVERIFY(p.browser()->showVehicle(b));
        QTest::keyClick(tree, Qt::Key_Menu);
        QVERIFY(p.window->vehicleContextMenu()->isVisible());
        p.window->vehicleContextMenu()->close();

        // The group's list: plate, days and amount due; the header sorts days as numbers.
        const qint64 d = add("Lot B", "Dee", "DEE-3", "3/3/2026");
        p.browser()->RefContactList();
        p.click(lotB(), Qt::LeftButton);
        QCOMPARE(p.sheetRow(0).mid(6), (QStringList{"BOB-1", "10", "$216.00"}));
        QHeaderView *header = p.browser()->list()->horizontalHeader();
        const QPoint days(header->sectionViewportPosition(7) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, days);
        QCOMPARE(p.sheetRow(0).at(0), QString("DEE"));
        QCOMPARE(p.sheetRow(1).at(0), QString("BOBBY"));
        Q_UNUSED(d);

        // A search by plate; Enter on the result selects the vehicle and shows its sheet,
        // the result's second command opens it in the form.
        p.window->command("mnuFind")->trigger();
        auto *find = qobject_cast<FindWindow *>(Program::shown("frmFind").value(0));
        QVERIFY(find);
        QSignalSpy done(find, &FindWindow::searchFinished);
        QVERIFY(find->Search("<All>", "Plate", "7xk", false, false));
        QVERIFY(done.wait(10000));
        QTest::keyClick(find->findChild<QTreeView *>("lstResults"), Qt::Key_Return);
        QCOMPARE(tree->currentIndex(), p.model()->vehicleIndex(a));
        QVERIFY(tree->isExpanded(lotA()));
        QCOMPARE(p.sheetValue("Name:"), QString("ANN"));
        QCOMPARE(p.browser()->SelNde().id(), QString::number(a));
        find->findChild<QAction *>("mnuEditResult")->trigger();
        QCOMPARE(Program::openForms().size(), 1);
        QCOMPARE(Program::openForms().first()->EDTID(), QString::number(a));
        Program::openForms().first()->close();

        // A vehicle whose group is gone has no node: the user is told so.
        add("Gone", "Eve", "EVE-4", "");
        QTRY_VERIFY(!find->isSearching()); // the change reruns the shown search first
        QVERIFY(find->Search("<All>", "Plate", "eve-4", false, false));
        QVERIFY(done.wait(10000));
        const int shownBefore = p.dialogs.count();
        QTest::keyClick(find->findChild<QTreeView *>("lstResults"), Qt::Key_Return);
        QCOMPARE(p.dialogs.count(), shownBefore + 1);
        QCOMPARE(p.dialogs.last().text,
                 QString("This vehicle is not in the tree: its group no longer exists."));
        QCOMPARE(tree->currentIndex(), p.model()->vehicleIndex(a));
    }
};

QTEST_MAIN(VehicleFlowTest)
#include "VehicleFlow_test.moc"
