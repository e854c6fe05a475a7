#include <QApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>

#include "DateText.h"
#include "FormText.h"
#include "PricingStore.h"
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
        form->setEditing(edit);
        form->setRecordId(id);
        form->show();
        opened << form;
        return form;
    }
    // Clicks a toolbar button (0: the frame's close box) and tells whether the form closed.
    static bool click(const QPointer<TowRecordForm> &form, int button)
    {
        button == 0 ? void(form->close()) : form->toolbarClick(button);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return form.isNull();
    }
};

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
const QStringList kControlOfField =
    QStringLiteral("tFields_0 tFields_1 tFields_2 tFields_3 tFields_4 tFields_5 tFields_6 "
                   "tFields_7 tFields_8 tFields_9 tFields_10 tFields_11 tFields_12 tFields_13 "
                   "Text1 tFields_14 tFields_15 tFields_16 tFields_17 lstGroups Text6 Text7 Text8 "
                   "Text9 Text10 Text11 Text12 Text13 Text14 cmbhookup cmbtype Text2 Text3 "
                   "cmbrecovery cmbreason Text4 Text5 txttime")
        .split(u' ');

} // namespace

class TowRecordFormTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    // The boxes that fill or reformat themselves, and the charges and their total.
    void boxesAndCharges()
    {
        Fixture f;
        QVERIFY(f.settings.write("Tow Fee", "Light", "45.00"));
        QVERIFY(f.settings.write("Company", "Name", "Ace Towing"));
        auto form = f.open();
        // The hookup fee, and whether it can be typed.
        auto *hookup = form->findChild<QComboBox *>("cmbhookup");
        QStringList seen;
        for (int index : {0, 3}) {
            hookup->setCurrentIndex(index);
            Q_EMIT hookup->activated(index);
            seen << text(form, "Text6") + (edit(form, "Text6")->isReadOnly() ? " locked" : "");
        }
        QCOMPARE(seen, (QStringList{"45.00 locked", ""}));

        // Phone, zip and state get their dashes on leaving the box, the city does not.
        for (const char *box : {"tFields_5", "tFields_4", "tFields_3", "tFields_2"}) {
            setText(form, box, "5551234");
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(edit(form, box), &out);
        }
        QCOMPARE(texts(form, {"tFields_5", "tFields_4", "tFields_3", "tFields_2"}),
                 (QStringList{"555-1234", "555-1234", "555-1234", "5551234"}));

        // The VIN button tells whether the number is valid (case and blanks around it do not
        // count), and selects one that is not; a whole VIN that is not is marked while typed.
        const QLabel *mark = form->findChild<QLabel *>("lblVinCheck");
        QStringList marked{QString::number(!mark->isHidden())};
        for (const char *vin : {"1M8GDM9AXKP04278", "1M8GDM9AXKP0427899", "  1m8gdm9axkp042788 "}) {
            setText(form, "tFields_12", vin);
            marked << QString::number(!mark->isHidden());
        }
        QTest::mouseClick(form->findChild<QPushButton *>("Command4"), Qt::LeftButton);
        QCOMPARE(f.dialogs.last().line(),
                 "Notice Exclamation Ok|Ace Towing|Vehicle VIN Number entered is valid.");
        setText(form, "tFields_12", "1M8GDM9AXKP042789");
        QTest::mouseClick(form->findChild<QPushButton *>("Command4"), Qt::LeftButton);
        QCOMPARE(f.dialogs.last().line(),
                 "Notice Critical Ok|Ace Towing|Vehicle VIN Number entered is not valid -\r\n "
                 "Check Digit is Invalid.");
        QCOMPARE(edit(form, "tFields_12")->selectedText(), QString("1M8GDM9AXKP042789"));
        QCOMPARE(marked << QString::number(!mark->isHidden()), QStringList({"0", "0", "0", "0", "1"}));
        // Every caption takes its box's focus; the buttons without a word have a name.
        for (const QLabel *label : form->findChild<QWidget *>("Frame1")->findChildren<QLabel *>())
            QVERIFY2(label->buddy() || label->text().contains(QRegularExpression("^\\*|Information|Check digit")),
                     qPrintable(label->text()));
        QCOMPARE(form->findChild<QPushButton *>("Command3")->accessibleName(), "Show the charges");
        // The heading starts where the captions of its box do.
        const QLabel *heading = nullptr;
        for (const QLabel *label : form->findChild<QWidget *>("Frame1")->findChildren<QLabel *>())
            if (label->text() == "Vehicle Information")
                heading = label;
        QVERIFY(heading);
        QSet<int> lefts;
        for (const QLabel *label : heading->parentWidget()->findChildren<QLabel *>())
            if (label->buddy())
                lefts << label->x();
        QCOMPARE(lefts, QSet<int>{heading->x()});

        setText(form, "Text6", "45.00");
        setText(form, "Text8", "12.5");
        setText(form, "Text13", "10.5");
        form->CalculateTotal();
        QCOMPARE(texts(form, {"Text14", "Text1"}), (QStringList{"68", "68.00"}));
        QVERIFY(form->findChild<QWidget *>("Frame3")->isVisible()); // the total opens the details
        // A sum too large is told, and the total shown stays the last good one.
        setText(form, "Text12", "1E308");
        setText(form, "Text13", "1E308");
        QVERIFY(!form->CalculateTotal() && f.dialogs.count() == 3);
        QCOMPARE(text(form, "Text14"), QString("68"));
        setText(form, "Text12", "0");

        // A charge that is not a plain amount is marked while typed.
        QLineEdit *box = edit(form, "Text7");
        setText(form, "Text7", "40 dollars");
        QCOMPARE(box->toolTip(), QString("Not a plain amount: it counts as 40.00 in the total."));
        setText(form, "Text7", "40");
        QCOMPARE(box->toolTip(), QString());
        // Add names such a box before saving; No leaves the form open on that box.
        setText(form, "tFields_6", "1999");
        setText(form, "Text13", "$20");
        QVERIFY(!Fixture::click(form, 3) && f.dialogs.count() == 4);
        QVERIFY(f.store.towRecordCount() == 0 && form->focusWidget() == edit(form, "Text13"));
    }

    // Add (in the first group) without a year shows the markers; with one it stores what was typed
    // and closes. Edit shows every field in its control and stores it back whole (long texts, line
    // ends); Next shows the next record whole and Apply writes only the record shown.
    void addAndEditFlows()
    {
        Fixture f;
        QVERIFY(f.store.addGroup("Police") && f.store.addGroup("Abandoned"));
        auto form = f.open();
        auto *groups = form->findChild<QComboBox *>("lstGroups");
        QCOMPARE(form->windowTitle() + "," + groups->itemText(2) + "," + groups->currentText(),
                 QString("Add Vehicle,<None>,Police"));
        setText(form, "tFields_0", " John ");
        QVERIFY(!Fixture::click(form, 3) && form->findChild<QLabel *>("lblmust")->isVisible() &&
                form->findChild<QLabel *>("Label45")->isVisible());

        f.refreshes = 0;
        for (const QString typed :
             {"tFields_6=1999", "tFields_13=keys in office", "cmbhookup=Heavy", "txttime=10:30",
              "lstGroups=Police", "tFields_16=", "Text7=20", "Text13=12.5", "Text3=112",
              "Text5=tolls"})
            setText(form, typed.section(u'=', 0, 0), typed.section(u'=', 1));
        QVERIFY(Fixture::click(form, 3) && f.refreshes == 1);
        const auto records = f.store.towRecords();
        QCOMPARE(records->size(), 1);
        QStringList stored;
        for (TowField field :
             {TowField::custname, TowField::vehyear, TowField::vehnotes, TowField::Hookup,
              TowField::Time, TowField::groupname, TowField::toweddate, TowField::cost2,
              TowField::other, TowField::milestop, TowField::total, TowField::towedfee})
            stored << records->first().value(field);
        QCOMPARE(stored,
                 (QStringList{" John ", "1999", "keys in office", "Heavy", "10:30", "Police",
                              DateText::today(), "20", "tolls", "112", "32.5", "32.50"}));

        TowRecord first = sampleRecord("a");
        first.set(TowField::groupname, "Police");
        const QString longText(40000, u'x');
        first.set(TowField::custname, longText);
        first.set(TowField::Hookup, longText + "h");
        first.set(TowField::other, longText + "o");
        first.set(TowField::vehnotes, QString("line 1\r\nline\u00a02"));
        first.set(TowField::total, "28");
        first.set(TowField::towedfee, "28.00");
        const qint64 a = *f.store.addTowRecord(first);
        first.id = a;
        TowRecord bare; // every field empty
        bare.set(TowField::vehyear, "2005");
        const qint64 b = *f.store.addTowRecord(bare);

        form = f.open(true, " " + QString::number(a) + " ");
        QStringList shown(first.values.begin(), first.values.end());
        shown[int(TowField::vehnotes)] = "line 1\nline 2"; // the notes box shows plain text
        QVERIFY(texts(form, kControlOfField) == shown && Fixture::click(form, 3));
        QCOMPARE(f.store.towRecord(a), std::optional<TowRecord>(first));

        form = f.open(true, QString::number(a));
        QVERIFY(!Fixture::click(form, 6) && form->recordId() == QString::number(b));
        bare.set(TowField::groupname, "<None>"); // a vehicle in no group shows "<None>"
        QCOMPARE(texts(form, kControlOfField), QStringList(bare.values.begin(), bare.values.end()));
        setText(form, "tFields_7", "Ford");
        setText(form, "lstGroups", "<None>");
        QVERIFY(Fixture::click(form, 3));
        QCOMPARE(f.store.towRecord(b)->value(TowField::vehmake), QString("Ford"));
        QCOMPARE(f.store.towRecord(a), std::optional<TowRecord>(first));
        // Edited notes keep the record's line ends.
        form = f.open(true, QString::number(a));
        setText(form, "tFields_13", "line 1\nline 2\nline 3");
        QVERIFY(Fixture::click(form, 3));
        QCOMPARE(f.store.towRecord(a)->value(TowField::vehnotes),
                 QString("line 1\r\nline 2\r\nline 3"));
    }

    // The pricing boxes are saved with the record, in its transaction, and count as typing.
    void pricingSavesWithTheRecord()
    {
        Fixture f;
        PricingStore pricing(f.store);
        PricingPlan police{0, "Police", false, DayType::CalendarDays, false, 0,
                           {{1, {3500, 4500, 7500, 2000}}}};
        QVERIFY(pricing.savePlan(police) == PricingStore::Result::Done);
        auto form = f.open();
        auto *plan = form->findChild<QComboBox *>("cmbPlan");
        setText(form, "tFields_6", "2001");
        plan->setCurrentIndex(plan->findText("Police"));
        form->findChild<QComboBox *>("cmbClass")->setCurrentIndex(3); // Heavy
        setText(form, "txtTowedAt", "23:10");
        // Removed on another workstation after it was chosen: nothing is saved, not even the
        // vehicle, so that a second Add cannot make it twice.
        QVERIFY(pricing.removePlan(police.id) == PricingStore::Result::Done);
        QVERIFY(!Fixture::click(form, 3));
        QCOMPARE(f.dialogs.last().text, "This plan was removed on another workstation.\r\n\r\n"
                                        "Nothing was saved. Choose another plan.");
        QVERIFY(f.store.towRecordCount() == 0 && plan->findText("Police") < 0);
        plan->setCurrentIndex(plan->findText(PricingPlan::standardName()));
        QVERIFY(Fixture::click(form, 3) && f.store.towRecordCount() == 1);
        const qint64 id = f.store.towRecords()->first().id;
        QCOMPARE(pricing.vehiclePricing(id),
                 std::optional(VehiclePricing{-1, VehicleClass::Heavy, QTime(23, 10)}));

        // Only the time of day changed: leaving asks, and Yes saves it.
        form = f.open(true, QString::number(id));
        setText(form, "txtTowedAt", "8:05");
        f.dialogs.queueAnswer(Answer::Yes);
        QVERIFY(Fixture::click(form, 1) && f.dialogs.count() == 2);
        QCOMPARE(pricing.vehiclePricing(id)->towedAt, QTime(8, 5));
    }

    void leavingAChangedRecordAsks_data()
    {
        QTest::addColumn<int>("button"); // 1 Exit, 6 Next, 0 the frame's close box
        QTest::addColumn<int>("answer"); // -1: nothing typed, nothing asked
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown"); // the make shown; "" when the form closed
        // clang-format off
        QTest::newRow("Exit, save") << 1 << int(Answer::Yes) << "Ford" << "";
        QTest::newRow("Next, discard") << 6 << int(Answer::No) << "a f7" << "b f7";
        QTest::newRow("Next, stay") << 6 << int(Answer::Cancel) << "a f7" << "Ford";
        QTest::newRow("close box, save") << 0 << int(Answer::Yes) << "Ford" << "";
        QTest::newRow("nothing typed: Next asks nothing") << 6 << -1 << "a f7" << "b f7";
        // clang-format on
    }
    void leavingAChangedRecordAsks()
    {
        QFETCH(int, button);
        QFETCH(int, answer);
        Fixture f;
        const qint64 a = *f.store.addTowRecord(sampleRecord("a"));
        f.store.addTowRecord(sampleRecord("b"));
        auto form = f.open(true, QString::number(a));
        if (answer >= 0) {
            setText(form, "tFields_7", "Ford");
            f.dialogs.queueAnswer(Answer(answer));
        }
        Fixture::click(form, button);
        QCOMPARE(f.dialogs.count(), answer >= 0 ? 1 : 0);
        QVERIFY(answer < 0 || (f.dialogs.last().line().contains(" YesNoCancel|") &&
                               f.dialogs.last().text.startsWith(
                                   "The changes to this vehicle have not been saved.")));
        QTEST(f.store.towRecord(a)->value(TowField::vehmake), "stored");
        QTEST(form ? text(form, "tFields_7") : QString(), "shown");
    }
};

QTEST_MAIN(TowRecordFormTest)
#include "TowRecordForm_test.moc"
