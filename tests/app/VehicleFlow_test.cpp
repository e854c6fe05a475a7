// Whole flows of a tow record through the main window, the browser and the tow record form.
// The figures and the form's own rules are the logic's and the form's tests; here, that
// each command reaches them and each view follows the store.
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTableView>
#include <QTreeWidget>

#include "AppProgram.h"
#include "FindWindow.h"
#include "FormText.h"
#include "QuickSearchBox.h"
#include "TowRecordForm.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

struct Program : test::AppProgram
{
    using AppProgram::AppProgram;
    static TowRecordForm *form()
    {
        return qobject_cast<TowRecordForm *>(shown("frmAddEditContact").value(0));
    }

    // Opens the form with the command as the modal window, types "name=value;..." (an empty
    // value for a list box picks its first entry) and applies; true when the form closed
    // without asking anything.
    bool formApply(QAction *open, const QString &typed)
    {
        open->trigger();
        QPointer<TowRecordForm> opened = form();
        if (!opened || QApplication::activeModalWidget() != opened)
            return false;
        for (const QString &item : typed.split(u';')) {
            const QString name = item.section(u'=', 0, 0);
            auto *box = opened->findChild<QComboBox *>(name);
            if (box && item.endsWith(u'=')) {
                box->setCurrentIndex(0);
                Q_EMIT box->activated(0);
            } else {
                setText(opened, name, item.section(u'=', 1));
            }
        }
        opened->toolbarClick(3);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return !opened && !QApplication::activeModalWidget();
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

    // Add through the group's menu, see the sheet, edit, open and remove with the keys, find, and
    // remove from the menu; the tree keeps what was opened and selected across changes.
    void vehicleFlow()
    {
        // Storage at $10 a day, 8% tax and a light hookup of $45.
        Program p([](const SettingsFile &s) {
            s.write("Fee", "Storage Fee", "10");
            s.write("Tow Fee", "Taxrate", ".08");
            s.write("Tow Fee", "Light", "45.00");
        });
        p.start();
        for (const char *name : {"Lot B", "Police"}) // Lot B is the form's first choice
            QVERIFY(p.context->database.AddGroup(name) == 1);
        auto lot = [&](const char *name) {
            return p.model()->groupIndex(p.context->store.groupIdByName(name));
        };

        // Right-click the group, "&Add vehicle to this group...": a modal form in that group.
        p.click(lot("Police"), Qt::RightButton);
        QVERIFY(p.formApply(p.window->command("mnuACITG"),
                            "tFields_0=John Smith;tFields_6=1999;tFields_7=Ford;tFields_8=Taurus;"
                            "tFields_10=red;tFields_16=3/1/2026;tFields_17=3/4/2026;cmbhookup=;"
                            "Text8=55;Text13=20.50"));
        const qint64 id = p.context->store.towRecords()->first().id;
        QCOMPARE(p.model()->vehicleIndex(id).parent(), lot("Police"));
        QCOMPARE(p.model()->vehicleIndex(id).data().toString(), QString("1999 FORD TAURUS RED"));

        // A group click lists it; a vehicle click fills the sheet and the summary.
        p.click(lot("Police"), Qt::LeftButton);
        QCOMPARE(p.cell(0, 0) + " " + p.cell(0, 8), "JOHN SMITH $162.54");
        // A save reads only the rows it names, without a refill; the order chosen by a header
        // stays for the next listing, and table order comes back.
        RecordStore &store = p.context->store;
        QTableView *list = p.browser()->list();
        QSignalSpy refills(list->model(), &QAbstractItemModel::modelReset);
        TowRecord zed = vehicleRecord("Police", "2004", "Kia");
        zed.set(TowField::custname, "Zed");
        const qint64 zedId = *store.addTowRecord(zed);
        const auto names = [&] {
            return p.cell(0, 0) + "|" + p.cell(1, 0) + "|" + QString::number(refills.count());
        };
        QStringList seen{names()};
        list->setCurrentIndex(list->model()->index(1, 2)); // the selection stays with Zed
        list->sortByColumn(0, Qt::DescendingOrder);
        QCOMPARE(list->currentIndex(), list->model()->index(0, 2));
        p.click(p.model()->vehicleIndex(id), Qt::LeftButton);
        p.click(lot("Police"), Qt::LeftButton);
        seen << names();
        list->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        seen << names();
        QVERIFY(store.removeTowRecord(zedId));
        QCOMPARE(seen << names(), QStringList({"JOHN SMITH|ZED|0", "ZED|JOHN SMITH|2",
                                               "JOHN SMITH|ZED|2", "JOHN SMITH||2"}));
        p.click(p.model()->vehicleIndex(id), Qt::LeftButton);
        QCOMPARE(p.sheetValue("Hookup:") + "|" + p.label("Label1"), QString("45.00|$162.54"));

        const qint64 second = *p.context->store.addTowRecord(vehicleRecord("Lot B", "2011"));

        // Edit the first from the vehicle menu and apply; the tree keeps Lot B opened and Other
        // closed by hand, and the vehicle selected, and shows what was saved.
        QTreeView *tree = p.browser()->tree();
        tree->expand(lot("Lot B"));
        tree->collapse(p.model()->otherIndex());
        p.click(p.model()->vehicleIndex(id), Qt::RightButton);
        QVERIFY(p.formApply(p.window->command("mnuETC"), "tFields_8=Sable;tFields_17=3/6/2026"));
        QCOMPARE(p.model()->vehicleIndex(id).data().toString() + "|" + p.label("Label3"),
                 QString("1999 FORD SABLE RED|5"));
        QVERIFY(tree->isExpanded(lot("Lot B")) && !tree->isExpanded(p.model()->otherIndex()) &&
                tree->currentIndex() == p.model()->vehicleIndex(id));

        // A change made elsewhere is read again.
        TowRecord changed = *p.context->store.towRecord(id);
        changed.set(TowField::towedfee, "250.00");
        QVERIFY(p.context->store.updateTowRecord(changed));
        QCOMPARE(p.label("Label7"), QString("250.00"));

        // Enter opens the vehicle in the form; Delete asks, then removes.
        const qint64 dee = *p.context->store.addTowRecord(vehicleRecord("Police", "2001"));
        p.press(p.model()->vehicleIndex(dee), Qt::LeftButton);
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Return);
        TowRecordForm *opened = Program::form();
        QVERIFY(opened && opened->isEditing() && opened->recordId() == QString::number(dee));
        opened->close();
        p.dialogs.queueAnswer(Answer::Yes);
        QTest::keyClick(tree, Qt::Key_Delete);
        QVERIFY(p.dialogs.last().text.startsWith("Are you sure you want to remove this Vehicle?"));
        QVERIFY(!p.context->store.towRecord(dee));

        // Enter on a search result selects its vehicle, opening its group, and shows its sheet.
        p.window->command("mnuFind")->trigger();
        auto *find = qobject_cast<FindWindow *>(Program::shown("frmFind").value(0));
        QVERIFY(find);
        QSignalSpy done(find, &FindWindow::searchFinished);
        tree->collapse(lot("Lot B"));
        QTRY_VERIFY(!find->isSearching()); // a change reruns the shown search first
        find->Search("<All>", "Vehicle Year", "2011", false, false);
        QVERIFY(done.wait(10000));
        QTest::keyClick(find->findChild<QTreeView *>("lstResults"), Qt::Key_Return);
        QCOMPARE(tree->currentIndex(), p.model()->vehicleIndex(second));
        QVERIFY(tree->isExpanded(lot("Lot B")) && p.sheetValue("Vehicle Year:") == QString("2011"));

        // Remove the first from the vehicle menu: the sheet forgets it.
        p.click(p.model()->vehicleIndex(id), Qt::LeftButton);
        p.click(p.model()->vehicleIndex(id), Qt::RightButton);
        p.dialogs.queueAnswer(Answer::Yes);
        p.window->command("mnusRC")->trigger();
        QVERIFY(!p.model()->vehicleIndex(id).isValid() && !p.context->store.towRecord(id));
        QVERIFY(p.label("Label10") == QString("1") && !p.browser()->selectedNode().isSet());
        QVERIFY(p.label("Label7").isEmpty() && !p.browser()->printSnapshot().hasRecord);
    }

    // The quick search lists the vehicles of every group as the clerk types a plate without its
    // dash, a phone as digits or part of a name; Enter shows the vehicle in the tree and sheet.
    void quickSearch()
    {
        Program p;
        p.start();
        RecordStore &store = p.context->store;
        QVERIFY(store.addGroup("Lot A") && store.addGroup("Lot B"));
        auto add = [&](const QString &group, const QString &year, const QString &fields) {
            TowRecord r = vehicleRecord(group, year);
            const QStringList v = fields.split('|');
            for (int i = 0; i < v.size(); ++i)
                r.set(std::array{TowField::custname, TowField::vehtag, TowField::custphone}[i], v[i]);
            return *store.addTowRecord(r);
        };
        const qint64 ann = add("Lot A", "2004", "Ann Lee|ABC-123|(440) 555-0187");
        const qint64 jo = add("Lot B", "2011", "Joann Smith|XYZ 987|440.555.0100");
        QuickSearchBox *box = p.window->quickSearch();
        QCOMPARE(box->placeholderText(), QString("Plate, VIN, phone or name (Ctrl+K)"));
        p.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(p.window.get()));
        QTest::keyClick(p.browser()->tree(), Qt::Key_K, Qt::ControlModifier);
        QTRY_COMPARE(QApplication::focusWidget(), box);
        auto typed = [&](const QString &text) {
            box->selectAll();
            QTest::keyClicks(box, text);
            if (!QTest::qWaitFor([&] { return !box->isSearching(); }))
                return QString("still searching");
            QStringList rows;
            for (int r = 0; box->list()->isVisible() && r < box->list()->topLevelItemCount(); ++r)
                for (int c = 0; c < 5; ++c)
                    rows << box->list()->topLevelItem(r)->text(c);
            return rows.join('|');
        };
        const QString joann = "XYZ 987|Joann Smith|2011 Ford Taurus|Lot B|In storage";
        const QString annRow = "ABC-123|Ann Lee|2004 Ford Taurus|Lot A|In storage";
        QCOMPARE(typed("abc123"), annRow);
        QCOMPARE(typed("4405550"), joann + '|' + annRow);
        // Every row and column shown whole, the first row current.
        QTreeWidget *list = box->list();
        QVERIFY(list->header()->length() <= list->viewport()->width() &&
                list->visualItemRect(list->topLevelItem(1)).bottom() < list->viewport()->height());
        QCOMPARE(list->currentItem()->text(1), QString("Joann Smith"));
        QCOMPARE(typed("xyz987"), joann);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
        QVERIFY(!list->isVisible() && p.browser()->tree()->currentIndex() == p.model()->vehicleIndex(jo));
        QCOMPARE(typed("zq"), QString());
        QCOMPARE(typed("zqx"), QString("No vehicle found.||||"));
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(!box->list()->isVisible());
        QCOMPARE(typed("ann"), joann + '|' + annRow);
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(!box->list()->isVisible());
        QCOMPARE(p.browser()->tree()->currentIndex(), p.model()->vehicleIndex(ann));
        QVERIFY(p.browser()->tree()->isExpanded(p.model()->vehicleIndex(ann).parent()));
        QCOMPARE(p.sheetValue("Name:") + '|' + p.sheetValue("Vehicle Tag:"), QString("ANN LEE|ABC-123"));
    }
};

QTEST_MAIN(VehicleFlowTest)
#include "VehicleFlow_test.moc"
