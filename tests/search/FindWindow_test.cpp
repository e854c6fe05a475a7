#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "FindWindow.h"
#include "RecordStore.h"
#include "ScriptedDialogs.h"
#include "SearchTestData.h"

#include <optional>

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

QStringList column(const QAbstractItemModel *model, int col)
{
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r)
        out << model->index(r, col).data().toString();
    return out;
}

} // namespace

class FindWindowTest : public QObject
{
    Q_OBJECT

  private:
    std::optional<SearchStore> m_data;
    RecordStore *m_store = nullptr;
    ScriptedDialogs m_dialogs;

    template <typename T> static T *child(QWidget &window, const char *name)
    {
        T *found = window.findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qWarning("no child %s", name);
        return found;
    }

    static QToolButton *searchButton(QWidget &window)
    {
        auto *toolbar = child<QToolBar>(window, "Toolbar1");
        const QList<QAction *> actions = toolbar->actions();
        return qobject_cast<QToolButton *>(toolbar->widgetForAction(actions.value(0)));
    }

    // Presses "Search" with the given criteria and waits for the scan to end.
    static bool runSearch(FindWindow &window, const QString &text)
    {
        child<QLineEdit>(window, "txtSearch")->setText(text);
        QSignalSpy done(&window, &FindWindow::searchFinished);
        QTest::mouseClick(searchButton(window), Qt::LeftButton);
        return done.wait(10000);
    }

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init()
    {
        m_data.emplace();
        m_store = &m_data->store;
        QVERIFY(m_data->opened);
        m_dialogs = ScriptedDialogs();
    }
    void cleanup() { m_data.reset(); }

    // The lists, the texts and the two tabs, in a store with groups and in one without.
    void listsAndTexts_data()
    {
        QTest::addColumn<bool>("withGroups");
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QString>("groupText");
        QTest::newRow("groups in table order")
            << true << QStringList{"Lot 1", "Lot 2", "lot 1", "Police Hold", "<All>", "<None>"}
            << "Lot 1";
        QTest::newRow("no groups") << false << QStringList{"<All>", "<None>"} << "<All>";
    }
    void listsAndTexts()
    {
        QFETCH(bool, withGroups);
        if (withGroups)
            QVERIFY(fillSampleStore(*m_store));
        FindWindow window(*m_store, m_dialogs);
        auto *groupBox = child<QComboBox>(window, "lstGroups");
        QTEST(items(groupBox), "groups");
        QTEST(groupBox->currentText(), "groupText");
        auto *fields = child<QComboBox>(window, "lstFields");
        QCOMPARE(items(fields),
                 (QStringList{"<All>", "Name", "Address", "City", "State", "Zip", "Vehicle Year",
                              "Vehicle Make", "Vehicle Model", "Vehicle Color", "Vehicle Body",
                              "Vehicle Tag", "Vehicle Vin", "Phone"}));
        QCOMPARE(fields->currentText(), QStringLiteral("<All>"));
        QVERIFY(groupBox->isEditable() && fields->isEditable());

        QCOMPARE(window.objectName(), QStringLiteral("frmFind"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Find Contacts"));
        auto *tabs = child<QTabWidget>(window, "tbSearch");
        QCOMPARE(tabs->tabText(0) + u'|' + tabs->tabText(1), QStringLiteral("Search|Results"));
        QCOMPARE(qobject_cast<QGroupBox *>(groupBox->parentWidget())->title(),
                 QStringLiteral("Find In Group"));
        QCOMPARE(child<QCheckBox>(window, "chkWholeWord")->text(),
                 QStringLiteral("Match Whole Word"));
        QCOMPARE(child<QCheckBox>(window, "chkMatchCase")->text(), QStringLiteral("Match Case"));
        QStringList labels;
        for (const QLabel *label : child<QFrame>(window, "f_search")->findChildren<QLabel *>())
            labels << label->text();
        QVERIFY2(labels.contains(QStringLiteral("Search Field:")) &&
                     labels.contains(QStringLiteral("Search Text:")),
                 qPrintable(labels.join(u'|')));
        QCOMPARE(searchButton(window)->text(), QStringLiteral("Search"));
        QCOMPARE(m_dialogs.count(), 0);
    }

    // A store that cannot be read: the message, and a window that still works.
    void databaseErrors_data()
    {
        QTest::addColumn<bool>("closedBeforeOpening");
        QTest::newRow("reading the groups") << true;
        QTest::newRow("searching") << false;
    }
    void databaseErrors()
    {
        QFETCH(bool, closedBeforeOpening);
        QVERIFY(fillSampleStore(*m_store));
        if (closedBeforeOpening)
            m_store->close();
        FindWindow window(*m_store, m_dialogs);
        if (closedBeforeOpening) {
            QCOMPARE(items(child<QComboBox>(window, "lstGroups")),
                     (QStringList{"<All>", "<None>"}));
            QCOMPARE(child<QComboBox>(window, "lstFields")->count(), 14);
        } else {
            m_store->close();
            QVERIFY(runSearch(window, QStringLiteral("ann")));
            QVERIFY(searchButton(window)->isEnabled());
        }
        QCOMPARE(m_dialogs.count(), 1);
        QCOMPARE(m_dialogs.last().title, QStringLiteral("Database Error!"));
        QVERIFY(
            m_dialogs.last().text.startsWith(QStringLiteral("Unknown database error: \r\n\r\n")));
        QCOMPARE(m_dialogs.last().icon, MessageIcon::Critical);
    }

    // The criteria are read from the boxes; the results tab shows the rows and the count.
    void searchFlow()
    {
        QVERIFY(fillSampleStore(*m_store));
        FindWindow window(*m_store, m_dialogs);
        window.show();
        auto *tabs = child<QTabWidget>(window, "tbSearch");
        auto *model = child<QTreeView>(window, "lstResults")->model();
        child<QComboBox>(window, "lstGroups")->setCurrentText(QStringLiteral("<All>"));

        QVERIFY(runSearch(window, QStringLiteral("ann")));
        QCOMPARE(column(model, 0),
                 (QStringList{"Ann Lee", "Joann Smith", "Anne Marie", "ANN BROWN"}));
        QCOMPARE(column(model, 1), (QStringList{"2004 Taurus VINANN", "1999 Civic VINJOANN",
                                                "2015 VINANNE", "2020 Corolla"}));
        QCOMPARE(column(model, 2), (QStringList{"Lot 1", "Lot 1", "Lot 2", "lot 1"}));
        QVERIFY(!model->index(0, 0).data(Qt::DecorationRole).isNull());
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(child<QLabel>(window, "lblOutcome")->text(),
                 QStringLiteral("4 vehicles found in all groups."));

        child<QCheckBox>(window, "chkWholeWord")->setChecked(true);
        QVERIFY(runSearch(window, QStringLiteral("ann")));
        QCOMPARE(column(model, 0), (QStringList{"Ann Lee", "Anne Marie", "ANN BROWN"}));
        child<QCheckBox>(window, "chkMatchCase")->setChecked(true);
        QVERIFY(runSearch(window, QStringLiteral("ANN")));
        QCOMPARE(column(model, 0), (QStringList{"ANN BROWN"}));

        // The field and a preselected group, and Enter in the text box runs the search.
        child<QCheckBox>(window, "chkWholeWord")->setChecked(false);
        child<QCheckBox>(window, "chkMatchCase")->setChecked(false);
        child<QComboBox>(window, "lstFields")->setCurrentText(QStringLiteral("Vehicle Tag"));
        window.preselectGroup(QStringLiteral("Police Hold"));
        QCOMPARE(child<QComboBox>(window, "lstGroups")->currentIndex(), 3);
        window.preselectGroup(QStringLiteral("lot 1"));
        child<QLineEdit>(window, "txtSearch")->setText(QStringLiteral("-")); // every plate has one
        QSignalSpy done(&window, &FindWindow::searchFinished);
        QTest::keyClick(child<QLineEdit>(window, "txtSearch"), Qt::Key_Return);
        QVERIFY(done.wait(10000));
        QCOMPARE(column(model, 0), (QStringList{"ANN BROWN"}));
        QCOMPARE(m_dialogs.count(), 0);
    }

    // A result row opens its vehicle: double-click or Enter shows it, the menu's second
    // command opens it in the form.
    void resultsOpen()
    {
        QVERIFY(fillSampleStore(*m_store));
        FindWindow window(*m_store, m_dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        child<QComboBox>(window, "lstGroups")->setCurrentText(QStringLiteral("Lot 1"));
        QVERIFY(runSearch(window, QStringLiteral("ann")));
        auto *results = child<QTreeView>(window, "lstResults");
        QSignalSpy shown(&window, &FindWindow::showRequested);
        QSignalSpy edited(&window, &FindWindow::editRequested);
        QTest::keyClick(results, Qt::Key_Return); // the first row is current after a search
        const QRect second = results->visualRect(results->model()->index(1, 1));
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, second.center());
        QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(0).at(0).toLongLong(), 1);
        QCOMPARE(shown.at(1).at(0).toLongLong(), 2);
        QCOMPARE(edited.size(), 0);
        results->findChild<QAction *>("mnuEditResult")->trigger();
        QCOMPARE(edited.size(), 1);
        QCOMPARE(edited.at(0).at(0).toLongLong(), 2);
    }

    // Open results follow the store: a removed record's row goes; an added record runs the
    // search again, leaving the tab and the current row as they were; the group list follows
    // the groups, keeping what is typed.
    void resultsFollowTheStore()
    {
        QVERIFY(fillSampleStore(*m_store));
        FindWindow window(*m_store, m_dialogs);
        window.show();
        auto *groupBox = child<QComboBox>(window, "lstGroups");
        auto *tabs = child<QTabWidget>(window, "tbSearch");
        auto *results = child<QTreeView>(window, "lstResults");
        groupBox->setCurrentText(QStringLiteral("<All>"));
        QVERIFY(runSearch(window, QStringLiteral("ann")));
        results->setCurrentIndex(results->model()->index(2, 0));
        QCOMPARE(window.currentResultId(), 3);
        tabs->setCurrentIndex(0);

        QVERIFY(m_store->removeTowRecord(2));
        QCOMPARE(column(results->model(), 0), (QStringList{"Ann Lee", "Anne Marie", "ANN BROWN"}));

        QSignalSpy done(&window, &FindWindow::searchFinished);
        TowRecord added = sampleRecord(sampleVehicles().at(4));
        added.set(TowField::custname, QStringLiteral("Dan Annis"));
        QVERIFY(m_store->addTowRecord(added));
        QVERIFY(done.wait(10000));
        QCOMPARE(column(results->model(), 0),
                 (QStringList{"Ann Lee", "Anne Marie", "ANN BROWN", "Dan Annis"}));
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(window.currentResultId(), 3);
        QCOMPARE(child<QLabel>(window, "lblOutcome")->text(),
                 QStringLiteral("4 vehicles found in all groups."));

        groupBox->setEditText(QStringLiteral("Lot"));
        QVERIFY(m_store->addGroup(QStringLiteral("Impound")));
        QVERIFY(items(groupBox).contains(QStringLiteral("Impound")));
        QCOMPARE(groupBox->currentText(), QStringLiteral("Lot"));
        QCOMPARE(m_dialogs.count(), 0);
    }

    // While a search runs the button is disabled and another Search() is refused; closing
    // the window during a search ends it quietly.
    void oneSearchAtATime()
    {
        QVERIFY(fillSampleStore(*m_store));
        FindWindow window(*m_store, m_dialogs);
        window.show();
        QSignalSpy done(&window, &FindWindow::searchFinished);
        QVERIFY(window.Search("<All>", "<All>", "ann", false, false));
        QVERIFY(window.isSearching());
        QVERIFY(!searchButton(window)->isEnabled());
        QVERIFY(!window.Search("<All>", "<All>", "bob", false, false));
        QVERIFY(done.wait(10000));
        QCOMPARE(done.size(), 1);
        QVERIFY(searchButton(window)->isEnabled());
        QVERIFY(!window.isSearching());
        QCOMPARE(child<QTreeView>(window, "lstResults")->model()->rowCount(), 4);

        auto *closing = new FindWindow(*m_store, m_dialogs);
        closing->setAttribute(Qt::WA_DeleteOnClose);
        closing->show();
        QVERIFY(closing->Search("<All>", "<All>", "ann", false, false));
        QPointer<FindWindow> guard(closing);
        closing->close();
        QTRY_VERIFY(guard.isNull());
        QCOMPARE(m_dialogs.count(), 0);
    }
};

QTEST_MAIN(FindWindowTest)
#include "FindWindow_test.moc"
