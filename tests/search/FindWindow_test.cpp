#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include "FindResultModel.h"
#include "FindRules.h"
#include "FindWindow.h"
#include "RecordSearch.h"
#include "ScriptedDialogs.h"
#include "SearchRunner.h"
#include "SearchTestData.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

QStringList items(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// A find window over the sample store, shown.
struct Find : SearchStore
{
    ScriptedDialogs dialogs;
    std::unique_ptr<FindWindow> window;

    Find()
    {
        if (!opened || !fillSampleStore(store))
            qFatal("no sample store");
        window = std::make_unique<FindWindow>(store, dialogs);
        window->show();
    }
    template <typename T> T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    QTreeView *results() const { return child<QTreeView>("lstResults"); }
    // The names in the results, after pressing "Search" (or Enter) with the text.
    QStringList search(const QString &text, bool byEnter = false)
    {
        child<QLineEdit>("txtSearch")->setText(text);
        QSignalSpy done(window.get(), &FindWindow::searchFinished);
        auto *toolbar = child<QToolBar>("Toolbar1");
        if (byEnter)
            QTest::keyClick(child<QLineEdit>("txtSearch"), Qt::Key_Return);
        else
            QTest::mouseClick(toolbar->widgetForAction(toolbar->actions().value(0)),
                              Qt::LeftButton);
        return done.wait(10000) ? names() : QStringList{"<no end>"};
    }
    QStringList names() const
    {
        QStringList out;
        for (int r = 0; r < results()->model()->rowCount(); ++r)
            out << results()->model()->index(r, 0).data().toString();
        return out;
    }
};

} // namespace

class FindWindowTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // The lists offer the groups in table order, then "<All>" and "<None>", and the keys the
    // rules know; the cursor starts in the search text, and Ctrl+F brings it back; the criteria
    // are read from the boxes; the tab stays, the line says the count; a row opens its
    // vehicle; open results follow the store; a typed group name stays as typed.
    void searchFlow()
    {
        Find f;
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        auto *tabs = f.child<QTabWidget>("tbSearch");
        auto *text = f.child<QLineEdit>("txtSearch");
        auto *outcome = f.child<QLabel>("lblOutcome");
        QCOMPARE(QApplication::focusWidget(), text);
        auto *groupBox = f.child<QComboBox>("lstGroups");
        QCOMPARE(items(groupBox),
                 (QStringList{"Lot 1", "Lot 2", "lot 1", "Police Hold", "<All>", "<None>"}));
        QCOMPARE(items(f.child<QComboBox>("lstFields")), FindRules::fieldKeys());
        auto *model = f.results()->model();
        groupBox->setCurrentText(QStringLiteral("<All>"));
        QCOMPARE(f.search("ann"),
                 (QStringList{"Ann Lee", "Joann Smith", "Anne Marie", "ANN BROWN"}));
        QCOMPARE(model->index(2, 1).data().toString() + "|" + model->index(3, 2).data().toString(),
                 "2015 VINANNE|lot 1");
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(outcome->text(), "4 vehicles found in all groups: see the Results tab.");
        tabs->setCurrentIndex(1);
        QTest::keyClick(f.results(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(tabs->currentIndex() == 0 && QApplication::focusWidget() == text &&
                text->selectedText() == "ann");

        // A double-click shows a row's vehicle.
        QSignalSpy shown(f.window.get(), &FindWindow::showRequested);
        const QRect second = f.results()->visualRect(model->index(1, 1));
        QTest::mouseClick(f.results()->viewport(), Qt::LeftButton, {}, second.center());
        QTest::mouseDClick(f.results()->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(shown.value(0), QVariantList{qint64(2)});

        // A removed record's row goes; the records a change names are compared with the search
        // at once (no search runs again), leaving the tab and the current row as they were;
        // the group list follows, keeping what is typed.
        f.results()->setCurrentIndex(model->index(2, 0));
        QCOMPARE(f.window->currentResultId(), 3);
        tabs->setCurrentIndex(0);
        QVERIFY(f.store.removeTowRecord(2));
        QCOMPARE(f.names(), (QStringList{"Ann Lee", "Anne Marie", "ANN BROWN"}));
        QSignalSpy done(f.window.get(), &FindWindow::searchFinished);
        TowRecord added = sampleRecord(4);
        added.set(TowField::custname, QStringLiteral("Dan Annis"));
        QVERIFY(f.store.addTowRecord(added));
        auto rename = [&f](qint64 id, const QString &name, const QString &city = {}) {
            TowRecord r = *f.store.towRecord(id);
            r.set(TowField::custname, name);
            r.set(TowField::custcity, city.isEmpty() ? r.value(TowField::custcity) : city);
            return f.store.updateTowRecord(r);
        };
        QVERIFY(rename(3, "Anne-Marie") && rename(4, "Al Brown", "Troy") && rename(5, "Bob Annan"));
        QCOMPARE(f.names(), (QStringList{"Ann Lee", "Anne-Marie", "Bob Annan", "Dan Annis"}));
        QVERIFY(done.count() == 0 && tabs->currentIndex() == 0 && f.window->currentResultId() == 3);
        QCOMPARE(outcome->text(), "4 vehicles found in all groups: see the Results tab.");
        // A change while a search runs is compared once the scan is through.
        f.window->Search("<All>", "<All>", "ann", false, false);
        QVERIFY(rename(5, "Bob Stone") && done.wait(10000));
        QCOMPARE(f.names(), (QStringList{"Ann Lee", "Anne-Marie", "Dan Annis"}));
        groupBox->setFocus();
        groupBox->lineEdit()->clear();
        QTest::keyClicks(groupBox->lineEdit(), QStringLiteral("Lot")); // not "Lot 1"
        QVERIFY(f.store.addGroup(QStringLiteral("Impound")));
        QVERIFY(items(groupBox).contains(QStringLiteral("Impound")));
        QCOMPARE(groupBox->currentText(), QStringLiteral("Lot"));

        // The two boxes and the field; a preselected group; Enter in the text box searches.
        f.child<QCheckBox>("chkWholeWord")->setChecked(true);
        f.child<QCheckBox>("chkMatchCase")->setChecked(true);
        f.child<QComboBox>("lstFields")->setCurrentText(QStringLiteral("Name"));
        f.window->preselectGroup(QStringLiteral("<All>"));
        QCOMPARE(f.search("Ann", true), QStringList{"Ann Lee"}); // not Joann, nor ANN BROWN
        f.child<QCheckBox>("chkWholeWord")->setChecked(false);
        f.child<QComboBox>("lstFields")->setCurrentText(QStringLiteral("Vehicle Tag"));
        text->setText(QStringLiteral("-")); // every plate has one
        groupBox->lineEdit()->clear();
        QTest::keyClicks(groupBox->lineEdit(), QStringLiteral("lot 1"));
        QTest::keyClick(groupBox->lineEdit(), Qt::Key_Return);
        QVERIFY(done.wait(10000) && f.names() == QStringList{"Al Brown"} &&
                groupBox->currentText() == "lot 1"); // not "Lot 1"
        QCOMPARE(f.dialogs.count(), 0);
    }

    // Closing the window during a search ends it quietly. A store that cannot be read: the
    // message, and a window that still works.
    void closingAndDatabaseError()
    {
        Find f;
        auto *closing = new FindWindow(f.store, f.dialogs);
        closing->setAttribute(Qt::WA_DeleteOnClose);
        closing->show();
        closing->Search("<All>", "<All>", "ann", false, false);
        QPointer<FindWindow> guard(closing);
        closing->close();
        QVERIFY(closing->findChild<QLabel *>("lblOutcome")->text().endsWith(": nothing found."));
        QTRY_VERIFY(guard.isNull() && f.dialogs.count() == 0);
        f.store.close();
        QSignalSpy done(f.window.get(), &FindWindow::searchFinished);
        f.window->Search("<All>", "<All>", "ann", false, false);
        QVERIFY(done.wait(10000) && !f.window->isSearching());
        QCOMPARE(f.dialogs.count(), 1);
        QVERIFY(f.dialogs.last().line().startsWith("Notice Critical Ok|Database Error!|Unknown "
                                                   "database error: \r\n\r\n"));
    }
    // Over 60,000 records (a scan: two letters), the first rows show before the scan ends and
    // the line counts them; Cancel ends it then and there. Search during a scan starts anew;
    // what a search ends with is what a search on the store's connection finds.
    void streamedRowsCancelAndRestart()
    {
        Find f;
        QVERIFY(QSqlQuery(f.store.database())
                    .exec("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE "
                          "x < 60000) INSERT INTO wrecker (custname, vehmake, groupname) SELECT "
                          "'Owner ' || x, iif(x % 200 = 0, 'Zq', 'Ford'), 'Lot 2' FROM n"));
        QSignalSpy done(f.window.get(), &FindWindow::searchFinished);
        QSignalSpy found(f.window->findChild<SearchRunner *>(), &SearchRunner::rowsFound);
        auto *outcome = f.child<QLabel>("lblOutcome");
        f.window->Search("Lot 2", "<All>", "zq", false, false);
        QVERIFY(found.wait(10000) && f.window->isSearching());
        const qsizetype first = f.window->resultModel()->rowCount();
        QCOMPARE(outcome->text() + (first < 300 ? "" : " (all of them)"), // of 300
                 QString("Searching... %1 found so far.").arg(first));
        f.window->findChild<QToolBar *>()->actions().value(1)->trigger(); // "Cancel"
        const qsizetype kept = f.window->resultModel()->rowCount();
        QVERIFY(done.size() == 1 && !f.window->isSearching() && kept < 300);
        QCOMPARE(outcome->text(),
                 QString("Search cancelled: %1 found so far, see the Results tab.").arg(kept));
        QVERIFY(!found.wait(300) && f.window->resultModel()->rowCount() == kept);
        for (const FindRequest &request : {FindRequest{"Lot 2", "<All>", "zq", false, false},
                                           FindRequest{"<All>", "Vehicle Make", "Zq", true, true},
                                           FindRequest{"<All>", "<All>", "an", false, false}}) {
            f.window->Search("<All>", "<All>", "ford", false, false); // replaced at once
            f.window->Search(request.groupText, request.fieldText, request.findText,
                             request.wholeWord, request.matchCase);
            done.clear();
            QVERIFY(done.wait(20000) && !done.wait(50)); // the replaced search ends unheard
            // The window holds the ids, and reads the texts of the rows it shows.
            const FindResultModel *model = f.window->resultModel();
            QList<FindResult> shown;
            for (int row = 0; row < model->rowCount(); ++row)
                shown << FindResult(model->at(row).id, model->index(row, 0).data().toString(),
                                    model->index(row, 1).data().toString(),
                                    model->index(row, 2).data().toString());
            QCOMPARE(shown, RecordSearch::find(f.store, request).value());
        }
    }
    // The results model: rows appended in batches, an icon on the first column, cleared.
    void resultModel()
    {
        FindResultModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setRowIcon(QStringLiteral("icon"));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.append({FindResult{1, "Ann Lee", "2004 Taurus V1", "Lot 1"}});
        model.append({FindResult{2, "Bob", "1999", ""}, FindResult{3, "Cy", "", "Lot 2"}});
        model.append({});
        QVERIFY(inserted.size() == 2 && inserted.at(1).mid(1) == (QVariantList{1, 2}));
        QStringList cells; // the header's own captions, none down the side or in other roles
        for (int column = 0; column < model.columnCount(); ++column)
            cells << model.headerData(column, Qt::Horizontal).toString()
                         + model.headerData(column, Qt::Vertical).toString()
                         + model.headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString();
        for (int row = 0; row < model.rowCount(); ++row)
            for (int column = 0; column < model.columnCount(); ++column)
                cells << model.index(row, column).data().toString();
        QCOMPARE(cells, (QStringList{"Name", "Vehicle Info", "Group", "Ann Lee", "2004 Taurus V1", "Lot 1", "Bob", "1999", "", "Cy",
                                     "", "Lot 2"}));
        QCOMPARE(model.index(1, 0).data(Qt::DecorationRole).toString(), QStringLiteral("icon"));
        QVERIFY(!model.index(1, 1).data(Qt::DecorationRole).isValid() && model.at(1).id == 2);
        model.clear();
        QCOMPARE(model.rowCount(), 0);

        // Rows that came as ids alone are read when shown, a page from the row asked for; a
        // record the reader no longer gives shows empty and is not asked for again.
        FindResultModel lazy; // without the tester, which reads every row inserted
        lazy.setRowIcon(QStringLiteral("icon"));
        QList<QList<qint64>> asked;
        bool failing = true;
        lazy.setTextReader([&asked, &failing](const QList<qint64> &ids) {
            asked << ids;
            if (failing)
                return std::optional<QList<FindResult>>();
            QList<FindResult> read;
            for (qint64 id : ids)
                if (id != 7)
                    read << FindResult(id, QString("Name %1").arg(id), "", QString("G%1").arg(id % 3));
            return std::optional(read);
        });
        QList<FindResult> idsOnly;
        for (qint64 id = 1; id <= 100; ++id)
            idsOnly << FindResult::idOnly(id * 2 + 1); // 3, 5, ... 201
        lazy.append(idsOnly);
        QVERIFY(asked.isEmpty() && !lazy.at(5).hasTexts());
        // A reader that fails leaves the rows unread, to be asked for again.
        QVERIFY(lazy.index(90, 2).data().toString().isEmpty() && !lazy.at(90).hasTexts());
        failing = false;
        asked.clear();
        QVERIFY(!lazy.index(90, 0).data(Qt::DecorationRole).toString().isEmpty() &&
                asked.isEmpty()); // the icon reads nothing
        QCOMPARE(lazy.index(90, 2).data(Qt::ToolTipRole).toString(), QStringLiteral("G0")); // id 183
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.at(0), (QList<qint64>{183, 185, 187, 189, 191, 193, 195, 197, 199, 201}));
        const QString gone = lazy.index(2, 0).data().toString(); // id 7 is gone
        QCOMPARE(gone + "|" + lazy.index(3, 0).data().toString(), QStringLiteral("|Name 9"));
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked.at(1).size(), 64);
        QCOMPARE(asked.at(1).first(), 7);
        QVERIFY(lazy.index(2, 0).data().toString().isEmpty() && asked.size() == 2);
        QVERIFY(!lazy.index(2, 0).data(Qt::DecorationRole).toString().isEmpty() && asked.size() == 2);
    }
};

QTEST_MAIN(FindWindowTest)
#include "FindWindow_test.moc"
