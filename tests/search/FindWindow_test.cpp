#include <QAction>
#include <QCheckBox>
#include <QComboBox>
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

// A find window over the sample store (or an empty one), shown.
struct Find : SearchStore
{
    ScriptedDialogs dialogs;
    std::unique_ptr<FindWindow> window;

    explicit Find(bool filled = true)
    {
        if (!opened || (filled && !fillSampleStore(store)))
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
    QToolButton *searchButton() const
    {
        auto *toolbar = child<QToolBar>("Toolbar1");
        return qobject_cast<QToolButton *>(toolbar->widgetForAction(toolbar->actions().value(0)));
    }
    QTreeView *results() const { return child<QTreeView>("lstResults"); }
    // The names in the results, after pressing "Search" (or Enter) with the text.
    QStringList search(const QString &text, bool byEnter = false)
    {
        child<QLineEdit>("txtSearch")->setText(text);
        QSignalSpy done(window.get(), &FindWindow::searchFinished);
        if (byEnter)
            QTest::keyClick(child<QLineEdit>("txtSearch"), Qt::Key_Return);
        else
            QTest::mouseClick(searchButton(), Qt::LeftButton);
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

    // The lists in a store with groups and in one without, and the captions.
    void listsAndTexts_data()
    {
        QTest::addColumn<bool>("withGroups");
        QTest::addColumn<QStringList>("groups");
        QTest::newRow("groups in table order")
            << true << QStringList{"Lot 1", "Lot 2", "lot 1", "Police Hold", "<All>", "<None>"};
        QTest::newRow("no groups") << false << QStringList{"<All>", "<None>"};
    }
    void listsAndTexts()
    {
        QFETCH(bool, withGroups);
        QFETCH(QStringList, groups);
        Find f(withGroups);
        auto *groupBox = f.child<QComboBox>("lstGroups");
        auto *fields = f.child<QComboBox>("lstFields");
        QCOMPARE(items(groupBox), groups);
        QCOMPARE(items(fields),
                 (QStringList{"<All>", "Name", "Address", "City", "State", "Zip", "Vehicle Year",
                              "Vehicle Make", "Vehicle Model", "Vehicle Color", "Vehicle Body",
                              "Vehicle Tag", "Vehicle Vin", "Phone"}));
        QCOMPARE(groupBox->currentText() + "|" + fields->currentText(), groups.first() + "|<All>");
        QVERIFY(groupBox->isEditable() && fields->isEditable());
        auto *tabs = f.child<QTabWidget>("tbSearch");
        QCOMPARE((QStringList{
                     f.window->objectName(), f.window->windowTitle(), tabs->tabText(0),
                     tabs->tabText(1), qobject_cast<QGroupBox *>(groupBox->parentWidget())->title(),
                     f.child<QCheckBox>("chkWholeWord")->text(),
                     f.child<QCheckBox>("chkMatchCase")->text(), f.searchButton()->text()}),
                 (QStringList{"frmFind", "Find Contacts", "Search", "Results", "Find In Group",
                              "Match Whole Word", "Match Case", "Search"}));
        QStringList labels;
        for (const QLabel *label : f.window->findChildren<QLabel *>())
            labels << label->text();
        QVERIFY2(labels.contains("Search Field:") && labels.contains("Search Text:"),
                 qPrintable(labels.join(u'|')));
        QCOMPARE(f.dialogs.count(), 0);
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
        SearchStore data;
        QVERIFY(fillSampleStore(data.store));
        ScriptedDialogs dialogs;
        if (closedBeforeOpening)
            data.store.close();
        FindWindow window(data.store, dialogs);
        if (closedBeforeOpening) {
            QCOMPARE(items(window.findChild<QComboBox *>("lstGroups")),
                     (QStringList{"<All>", "<None>"}));
            QCOMPARE(window.findChild<QComboBox *>("lstFields")->count(), 14);
        } else {
            data.store.close();
            QSignalSpy done(&window, &FindWindow::searchFinished);
            QVERIFY(window.Search("<All>", "<All>", "ann", false, false));
            QVERIFY(done.wait(10000));
            QVERIFY(!window.isSearching());
        }
        QCOMPARE(dialogs.count(), 1);
        QCOMPARE(dialogs.last().title, QStringLiteral("Database Error!"));
        QVERIFY(dialogs.last().text.startsWith(QStringLiteral("Unknown database error: \r\n\r\n")));
        QCOMPARE(dialogs.last().icon, MessageIcon::Critical);
    }

    // The criteria are read from the boxes; the results tab shows the rows and the count; a
    // row opens its vehicle; open results follow the store.
    void searchFlow()
    {
        Find f;
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        auto *tabs = f.child<QTabWidget>("tbSearch");
        auto *groupBox = f.child<QComboBox>("lstGroups");
        auto *model = f.results()->model();
        groupBox->setCurrentText(QStringLiteral("<All>"));
        QCOMPARE(f.search("ann"),
                 (QStringList{"Ann Lee", "Joann Smith", "Anne Marie", "ANN BROWN"}));
        QCOMPARE(model->index(2, 1).data().toString() + "|" + model->index(3, 2).data().toString(),
                 "2015 VINANNE|lot 1");
        QVERIFY(!model->index(0, 0).data(Qt::DecorationRole).isNull());
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(f.child<QLabel>("lblOutcome")->text(), "4 vehicles found in all groups.");

        // Enter (on the first row, current after a search), a click and a double-click show a
        // row's vehicle; the menu's second command edits it.
        QSignalSpy shown(f.window.get(), &FindWindow::showRequested);
        QSignalSpy edited(f.window.get(), &FindWindow::editRequested);
        QTest::keyClick(f.results(), Qt::Key_Return);
        const QRect second = f.results()->visualRect(model->index(1, 1));
        QTest::mouseClick(f.results()->viewport(), Qt::LeftButton, {}, second.center());
        QTest::mouseDClick(f.results()->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(shown, (QList<QVariantList>{{qint64(1)}, {qint64(2)}}));
        QCOMPARE(edited.size(), 0);
        f.results()->findChild<QAction *>("mnuEditResult")->trigger();
        QCOMPARE(edited, QList<QVariantList>{{qint64(2)}});

        // A removed record's row goes; an added record runs the search again, leaving the tab
        // and the current row as they were; the group list follows, keeping what is typed.
        f.results()->setCurrentIndex(model->index(2, 0));
        QCOMPARE(f.window->currentResultId(), 3);
        tabs->setCurrentIndex(0);
        QVERIFY(f.store.removeTowRecord(2));
        QCOMPARE(f.names(), (QStringList{"Ann Lee", "Anne Marie", "ANN BROWN"}));
        QSignalSpy done(f.window.get(), &FindWindow::searchFinished);
        TowRecord added = sampleRecord(4);
        added.set(TowField::custname, QStringLiteral("Dan Annis"));
        QVERIFY(f.store.addTowRecord(added));
        QVERIFY(done.wait(10000));
        QCOMPARE(f.names(), (QStringList{"Ann Lee", "Anne Marie", "ANN BROWN", "Dan Annis"}));
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(f.window->currentResultId(), 3);
        QCOMPARE(f.child<QLabel>("lblOutcome")->text(), "4 vehicles found in all groups.");
        groupBox->setEditText(QStringLiteral("Lot"));
        QVERIFY(f.store.addGroup(QStringLiteral("Impound")));
        QVERIFY(items(groupBox).contains(QStringLiteral("Impound")));
        QCOMPARE(groupBox->currentText(), QStringLiteral("Lot"));

        groupBox->setCurrentText(QStringLiteral("<All>"));
        f.child<QCheckBox>("chkWholeWord")->setChecked(true);
        QCOMPARE(f.search("ann"), (QStringList{"Ann Lee", "Anne Marie", "ANN BROWN"}));
        f.child<QCheckBox>("chkMatchCase")->setChecked(true);
        QCOMPARE(f.search("ANN"), QStringList{"ANN BROWN"});

        // The field and a preselected group; Enter in the text box runs the search.
        f.child<QCheckBox>("chkWholeWord")->setChecked(false);
        f.child<QCheckBox>("chkMatchCase")->setChecked(false);
        f.child<QComboBox>("lstFields")->setCurrentText(QStringLiteral("Vehicle Tag"));
        f.window->preselectGroup(QStringLiteral("Police Hold"));
        QCOMPARE(groupBox->currentText(), "Police Hold");
        f.window->preselectGroup(QStringLiteral("lot 1"));
        QCOMPARE(f.search("-", true), QStringList{"ANN BROWN"}); // every plate has a "-"
        QCOMPARE(f.dialogs.count(), 0);
    }

    // While a search runs the button is disabled and another Search() is refused; closing
    // the window during a search ends it quietly.
    void oneSearchAtATime()
    {
        Find f;
        QSignalSpy done(f.window.get(), &FindWindow::searchFinished);
        QVERIFY(f.window->Search("<All>", "<All>", "ann", false, false));
        QVERIFY(!f.searchButton()->isEnabled());
        QVERIFY(!f.window->Search("<All>", "<All>", "bob", false, false));
        QVERIFY(done.wait(10000));
        QCOMPARE(done.size(), 1);
        QVERIFY(f.searchButton()->isEnabled() && !f.window->isSearching());
        QCOMPARE(f.names().size(), 4);

        auto *closing = new FindWindow(f.store, f.dialogs);
        closing->setAttribute(Qt::WA_DeleteOnClose);
        closing->show();
        QVERIFY(closing->Search("<All>", "<All>", "ann", false, false));
        QPointer<FindWindow> guard(closing);
        closing->close();
        QTRY_VERIFY(guard.isNull());
        QCOMPARE(f.dialogs.count(), 0);
    }
};

QTEST_MAIN(FindWindowTest)
#include "FindWindow_test.moc"
