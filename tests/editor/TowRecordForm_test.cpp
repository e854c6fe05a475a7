#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "DateText.h"
#include "FormText.h"
#include "StoreFixture.h"
#include "TowRecordForm.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

// Forms still open at the end are deleted before the store they show.
struct Fixture : test::StoreFixture
{
    QList<QPointer<TowRecordForm>> opened;
    Fixture() { db.OpenDatabaseFile(); }
    ~Fixture() { qDeleteAll(opened); }
    QPointer<TowRecordForm> open(bool edit = false, const QString &id = {})
    {
        auto *form = new TowRecordForm(store, db, settings, dialogs);
        form->setEDT(edit);
        form->setEDTID(id);
        form->show();
        opened << form;
        return form;
    }
};

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TowRecord sampleRecord(const QString &name)
{
    TowRecord r;
    for (int i = 0; i < kTowFieldCount; ++i)
        r.values[size_t(i)] = name + QStringLiteral(" f%1").arg(i);
    r.set(TowField::groupname, QString());
    r.set(TowField::Hookup, "Light");
    r.set(TowField::toweddate, "3/1/2026");
    r.set(TowField::towedrelease, "3/4/2026");
    for (int i = 0; i < 8; ++i)
        r.set(TowField(int(TowField::cost1) + i), QStringLiteral("%1.00").arg(i));
    return r;
}

// Control of each field, in the order of TowField.
const QStringList kControlOfField = {
    "tFields_0",  "tFields_1",  "tFields_2", "tFields_3",   "tFields_4",  "tFields_5",
    "tFields_6",  "tFields_7",  "tFields_8", "tFields_9",   "tFields_10", "tFields_11",
    "tFields_12", "tFields_13", "Text1",     "tFields_14",  "tFields_15", "tFields_16",
    "tFields_17", "lstGroups",  "Text6",     "Text7",       "Text8",      "Text9",
    "Text10",     "Text11",     "Text12",    "Text13",      "Text14",     "cmbhookup",
    "cmbtype",    "Text2",      "Text3",     "cmbrecovery", "cmbreason",  "Text4",
    "Text5",      "txttime"};

} // namespace

class TowRecordFormTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { flushDeletes(); }

    void addMode()
    {
        Fixture f;
        QVERIFY(f.store.addGroup("Police"));
        QVERIFY(f.store.addGroup("Abandoned"));
        auto form = f.open();
        QCOMPARE(form->windowTitle(), QString("Add Vehicle"));
        QCOMPARE(form->windowModality(), Qt::ApplicationModal);
        QVERIFY(!form->toolbarButton(4)->isVisible() && !form->toolbarButton(6)->isVisible());
        // An empty form: figures zero, lists "N/A", the total shown as money.
        QStringList names{"Text2", "Text3", "Text4", "cmbhookup", "cmbtype", "cmbrecovery",
                          "cmbreason", "Text5", "Text1", "tFields_0"};
        for (int i = 6; i <= 14; ++i)
            names << QStringLiteral("Text%1").arg(i);
        QCOMPARE(texts(form, names), QStringList({"0", "0", "0", "N/A", "N/A", "N/A", "N/A", "N/A",
                                                  "$0.00", ""}) + QStringList(9, "0.00"));
        auto *groups = form->findChild<QComboBox *>("lstGroups");
        QCOMPARE(groups->count(), 3);
        QCOMPARE(groups->itemText(2) + "," + groups->currentText(), QString("<None>,Police"));
    }

    void hookupLookup()
    {
        Fixture f;
        QVERIFY(f.settings.write("Tow Fee", "Light", "45.00"));
        QVERIFY(f.settings.write("Tow Fee", "Heavy", "150.00"));
        auto form = f.open();
        auto *hookup = form->findChild<QComboBox *>("cmbhookup");
        // The fee, and whether it can be typed; Heavy after Other leaves the box editable.
        QStringList seen;
        for (int index : {0, 3, 2}) {
            hookup->setCurrentIndex(index);
            Q_EMIT hookup->activated(index);
            seen << text(form, "Text6") + (edit(form, "Text6")->isReadOnly() ? " locked" : "");
        }
        QCOMPARE(seen, (QStringList{"45.00 locked", "", "150.00"}));
    }

    void ownerUnknown()
    {
        Fixture f;
        auto form = f.open();
        setText(form, "tFields_6", "1999");
        auto *owner = form->findChild<QCheckBox *>("Owner");
        QTest::mouseClick(owner, Qt::LeftButton, {}, QPoint(5, owner->height() / 2));
        QVERIFY(owner->isChecked());
        QCOMPARE(texts(form, {"tFields_0", "tFields_1", "tFields_2", "tFields_3", "tFields_4",
                              "tFields_5", "tFields_6"}),
                 QStringList(6, "Unknown") << "1999");
        setText(form, "tFields_0", "Jane");
        QTest::mouseClick(owner, Qt::LeftButton, {}, QPoint(5, owner->height() / 2));
        QVERIFY(!owner->isChecked());
        QCOMPARE(text(form, "tFields_0"), QString("Jane"));
    }

    void dashesOnLeavingABox_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("phone, seven") << "tFields_5" << "5551234" << "555-1234";
        QTest::newRow("zip without dash") << "tFields_4" << "1234567890" << "(123)-456-7890";
        QTest::newRow("state") << "tFields_3" << "abcdefg" << "abc-defg";
        QTest::newRow("city is left alone") << "tFields_2" << "5551234" << "5551234";
    }
    void dashesOnLeavingABox()
    {
        QFETCH(QString, control);
        QFETCH(QString, typed);
        Fixture f;
        auto form = f.open();
        setText(form, control, typed);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(edit(form, control), &out);
        QTEST(text(form, control), "expected");
    }

    void homeAndDateLabels()
    {
        Fixture f;
        QVERIFY(f.settings.write("Company", "Name", "Ace Towing"));
        auto form = f.open();
        QTest::mouseClick(form->findChild<QPushButton *>("Command1"), Qt::LeftButton);
        QCOMPARE(text(form, "tFields_15"), QString("Ace Towing"));
        setText(form, "tFields_16", "1/1/2020");
        QTest::mouseClick(form->findChild<QLabel *>("Label16"), Qt::LeftButton);
        QCOMPARE(text(form, "tFields_16"), DateText::today());
        QCOMPARE(text(form, "tFields_17"), QString());
        QTest::mouseClick(form->findChild<QLabel *>("Label17"), Qt::LeftButton);
        QCOMPARE(text(form, "tFields_17"), DateText::today());
    }

    void widthsAndCalculateTotal()
    {
        Fixture f;
        auto form = f.open();
        auto *details = form->findChild<QWidget *>("Frame3");
        QVERIFY(!details->isVisible());
        QTest::mouseClick(form->findChild<QPushButton *>("Command3"), Qt::LeftButton);
        QVERIFY(details->isVisible());
        QTest::mouseClick(form->findChild<QPushButton *>("Command5"), Qt::LeftButton);
        QVERIFY(!details->isVisible());

        const QStringList costs{"45.00", "0.00", "12.5", "0.00", "0.00", "0.00", "0.00", "10.5"};
        for (int i = 0; i < 8; ++i)
            setText(form, QStringLiteral("Text%1").arg(6 + i), costs[i]);
        form->CalculateTotal();
        QCOMPARE(texts(form, {"Text14", "Text1"}), (QStringList{"68", "68.00"}));
        QVERIFY(details->isVisible()); // the total opens the details

        setText(form, "Text12", "1E308");
        setText(form, "Text13", "1E308");
        QVERIFY(!form->CalculateTotal());
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(text(form, "Text14"), QString("68"));
    }

    void addWithoutYearShowsTheMarkers()
    {
        Fixture f;
        auto form = f.open();
        setText(form, "tFields_0", "John");
        form->toolbarClick(3);
        QVERIFY(form && form->isVisible());
        QVERIFY(form->findChild<QLabel *>("lblmust")->isVisible() &&
                form->findChild<QLabel *>("Label45")->isVisible());
        QCOMPARE(f.store.towRecordCount(), 0);
        QCOMPARE(text(form, "tFields_0"), QString("John"));
    }

    void addWritesEveryControlAndCloses()
    {
        Fixture f;
        QVERIFY(f.store.addGroup("Police"));
        auto form = f.open();
        f.refreshes = 0;
        for (int i = 0; i < kTowFieldCount; ++i) {
            const QString control = kControlOfField.at(i);
            if (control != "Text1" && control != "Text14" && control != "lstGroups" &&
                !control.startsWith("Text"))
                setText(form, control, QStringLiteral(" v%1 ").arg(i));
        }
        setText(form, "Text2", "100");
        setText(form, "Text3", "112");
        setText(form, "Text4", "30");
        setText(form, "Text5", "tolls");
        setText(form, "Text7", "20");
        setText(form, "Text13", "12.5");
        setText(form, "lstGroups", "Police");
        setText(form, "tFields_16", "");
        setText(form, "tFields_17", "");
        form->toolbarClick(3);
        flushDeletes();
        QVERIFY(!form);
        QCOMPARE(f.refreshes, 1);
        const auto records = f.store.towRecords();
        QCOMPARE(records->size(), 1);
        QStringList stored;
        for (TowField field : {TowField::custname, TowField::vehnotes, TowField::Hookup, TowField::Time,
                               TowField::groupname, TowField::toweddate, TowField::cost1, TowField::cost2,
                               TowField::total, TowField::towedfee, TowField::milestop, TowField::other})
            stored << records->first().value(field);
        QCOMPARE(stored, (QStringList{" v0 ", " v13 ", " v29 ", " v37 ", "Police", DateText::today(),
                                      "0.00", "20", "32.5", "32.50", "112", "tolls"}));
    }

    void leavingAChangedRecordAsks_data()
    {
        QTest::addColumn<int>("button"); // 1 Exit, 6 Next, 0 the frame's close box
        QTest::addColumn<bool>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("stored"); // the typed make was saved
        QTest::addColumn<bool>("open");   // the form is still open
        QTest::addColumn<QString>("shown"); // the make shown when open
        QTest::newRow("Exit, save") << 1 << true << int(Answer::Yes) << true << false << "";
        QTest::newRow("Exit, stay") << 1 << true << int(Answer::Cancel) << false << true << "Ford";
        QTest::newRow("Next, discard") << 6 << true << int(Answer::No) << false << true << "b f7";
        QTest::newRow("Next, stay") << 6 << true << int(Answer::Cancel) << false << true << "Ford";
        QTest::newRow("close box, save") << 0 << true << int(Answer::Yes) << true << false << "";
        QTest::newRow("nothing typed: Next asks nothing") << 6 << false << -1 << false << true
                                                          << "b f7";
    }
    void leavingAChangedRecordAsks()
    {
        QFETCH(int, button);
        QFETCH(bool, typed);
        QFETCH(int, answer);
        QFETCH(bool, stored);
        QFETCH(bool, open);
        Fixture f;
        const qint64 a = *f.store.addTowRecord(sampleRecord("a"));
        f.store.addTowRecord(sampleRecord("b"));
        auto form = f.open(true, QString::number(a));
        QVERIFY(!form->hasTypedChanges());
        if (typed)
            setText(form, "tFields_7", "Ford");
        if (answer >= 0)
            f.dialogs.queueAnswer(Answer(answer));
        if (button == 0)
            form->close();
        else
            form->toolbarClick(button);
        flushDeletes();

        QCOMPARE(f.dialogs.count(), answer >= 0 ? 1 : 0);
        if (answer >= 0)
            QVERIFY(f.dialogs.last().line().contains(" YesNoCancel|")
                    && f.dialogs.last().text.startsWith("The changes to this vehicle have not been saved."));
        QCOMPARE(f.store.towRecord(a)->value(TowField::vehmake),
                 QString(stored ? "Ford" : "a f7"));
        QCOMPARE(bool(form), open);
        if (open)
            QTEST(text(form, "tFields_7"), "shown");
    }

    void unreadChargesAreMarked()
    {
        Fixture f;
        auto form = f.open();
        QLineEdit *box = edit(form, "Text7");
        setText(form, "Text7", "40 dollars");
        QVERIFY(box->property("unread").toBool());
        QCOMPARE(box->toolTip(), QString("Not a plain amount: it counts as 40.00 in the total."));
        setText(form, "Text7", "40");
        QVERIFY(!box->property("unread").toBool());
        QCOMPARE(box->toolTip(), QString());

        // Add names the box before saving; No leaves the form open on that box.
        setText(form, "tFields_6", "1999");
        setText(form, "Text13", "$20");
        form->toolbarClick(3);
        QCOMPARE(f.dialogs.count(), 1);
        QVERIFY(f.dialogs.last().text.contains("\"Other\" holds \"$20\", which counts as 0.00."));
        QVERIFY(form);
        QCOMPARE(f.store.towRecordCount(), 0);
        QCOMPARE(form->focusWidget(), edit(form, "Text13"));
    }

    void longFieldsAndNotesStayWhole()
    {
        Fixture f;
        TowRecord r = sampleRecord("a");
        const QString longText(40000, u'x');
        r.set(TowField::custname, longText);
        r.set(TowField::Hookup, longText + "h");
        r.set(TowField::other, longText + "o");
        r.set(TowField::vehnotes, QString("line 1\r\nline\u00a02"));
        r.set(TowField::total, "28");
        r.set(TowField::towedfee, "28.00");
        r.id = *f.store.addTowRecord(r);
        auto form = f.open(true, QString::number(r.id));
        QVERIFY(!form->hasTypedChanges());
        setText(form, "lstGroups", "<None>");
        form->toolbarClick(3);
        flushDeletes();
        QVERIFY(!form);
        QCOMPARE(f.store.towRecord(r.id), std::optional<TowRecord>(r));

        // Edited notes keep their line ends.
        form = f.open(true, QString::number(r.id));
        setText(form, "tFields_13", "line 1\nline 2\nline 3");
        setText(form, "lstGroups", "<None>");
        form->toolbarClick(3);
        flushDeletes();
        QCOMPARE(f.store.towRecord(r.id)->value(TowField::vehnotes),
                 QString("line 1\r\nline 2\r\nline 3"));
    }

    void vinButton()
    {
        Fixture f;
        auto form = f.open();
        setText(form, "tFields_12", " 1m8gdm9axkp042788 ");
        QTest::mouseClick(form->findChild<QPushButton *>("Command4"), Qt::LeftButton);
        QCOMPARE(f.dialogs.last().icon, MessageIcon::Exclamation);
        setText(form, "tFields_12", "1M8GDM9AXKP042789");
        QTest::mouseClick(form->findChild<QPushButton *>("Command4"), Qt::LeftButton);
        QCOMPARE(f.dialogs.last().icon, MessageIcon::Critical);
        QCOMPARE(edit(form, "tFields_12")->selectedText(), QString("1M8GDM9AXKP042789"));
    }

    void lockedBoxes()
    {
        Fixture f;
        auto form = f.open();
        QStringList locked;
        for (const char *name : {"Text1", "Text6", "Text7", "Text14"})
            if (edit(form, name)->isReadOnly())
                locked << name;
        QCOMPARE(locked, (QStringList{"Text1", "Text6", "Text14"}));
        QVERIFY(!edit(form, "Text14")->isVisible());
        QVERIFY(!form->findChild<QLabel *>("lblmust")->isVisible());
        QVERIFY(form->findChild<QComboBox *>("lstGroups")->isEditable());
    }

    // Edit shows every field in its control; Next shows the next record whole.
    void editAndStepShowEachRecordWhole()
    {
        Fixture f;
        TowRecord first = sampleRecord("a");
        first.set(TowField::groupname, "Police");
        const qint64 a = *f.store.addTowRecord(first);
        TowRecord bare; // every field empty
        bare.set(TowField::vehyear, "2005");
        const qint64 b = *f.store.addTowRecord(bare);
        auto form = f.open(true, " " + QString::number(a) + " ");
        QCOMPARE(form->windowTitle(), QString("Edit Vehicle"));
        QVERIFY(form->toolbarButton(4)->isVisible() && form->toolbarButton(6)->isVisible());
        auto fields = [](const TowRecord &r) { return QStringList(r.values.begin(), r.values.end()); };
        QCOMPARE(texts(form, kControlOfField), fields(first));
        QCOMPARE(form->EDTID(), QString::number(a));
        form->toolbarClick(6);
        QCOMPARE(form->EDTID(), QString::number(b));
        bare.set(TowField::groupname, "<None>"); // a vehicle in no group shows "<None>"
        QCOMPARE(texts(form, kControlOfField), fields(bare));
        form->toolbarClick(6); // Next at the last record: stays
        QCOMPARE(form->EDTID(), QString::number(b));
        QCOMPARE(text(form, "tFields_6"), QString("2005"));

        // Apply writes the record now shown, and only it.
        setText(form, "tFields_7", "Ford");
        setText(form, "lstGroups", "<None>");
        form->toolbarClick(3);
        flushDeletes();
        QVERIFY(!form);
        QCOMPARE(f.store.towRecord(b)->value(TowField::vehmake), QString("Ford"));
        QCOMPARE(f.store.towRecord(a)->value(TowField::vehmake), QString("a f7"));
    }
};

QTEST_MAIN(TowRecordFormTest)
#include "TowRecordForm_test.moc"
