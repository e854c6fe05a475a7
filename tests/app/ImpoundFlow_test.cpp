// The impound lifecycle through the windows: a tow, a hold, a refused release, the hold
// cleared, the release with two payments, the receipt, and the lien steps leaving the reminders.
#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "AppProgram.h"
#include "ChargeFigures.h"
#include "DateText.h"
#include "ImpoundRules.h"
#include "ImpoundWindow.h"
#include "LienSchedule.h"
#include "RecordSearch.h"
#include "ReportWindow.h"

using namespace tarnvale;
using namespace tarnvale::test;

class ImpoundFlowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void towHoldReleaseAndReceipt();
};

namespace {

QString sheetValue(QTableWidget *sheet, const QString &label)
{
    for (int row = 0; row < sheet->rowCount(); ++row)
        if (sheet->item(row, 0) && sheet->item(row, 0)->text() == label)
            return sheet->item(row, 1)->text();
    return "<no " + label + ">";
}

void setCell(QTableWidget *table, int row, int column, const QString &text)
{
    table->setItem(row, column, new QTableWidgetItem(text));
}

} // namespace

void ImpoundFlowTest::towHoldReleaseAndReceipt()
{
    AppProgram p([](const SettingsFile &s) {
        s.write("Fee", "Storage Fee", "12.50");
        s.write("Tow Fee", "Taxrate", ".07");
        QVERIFY(LienSchedule::write(s, {{"First notice", 5}, {"Second notice", 30}}));
    });
    QDir(p.dir.path()).mkpath("Reports");
    QVERIFY(QFile::copy(TARNVALE_RESOURCES_DIR "/Reports/receipt.rtf",
                        p.dir.file("Reports/receipt.rtf")));
    p.start();
    const QDate today = QDate::currentDate();
    QVERIFY(p.context->store.addGroup("Police"));
    TowRecord towed = vehicleRecord("Police", "2011", "Honda", "Civic", "blue");
    towed.set(TowField::custname, "Ann Lee");
    towed.set(TowField::toweddate, DateText::shortForm(today.addDays(-40)));
    towed.set(TowField::towedfee, "95.00");
    const qint64 id = *p.context->store.addTowRecord(towed);

    // Both steps are due 40 days after the tow.
    p.window->command("mnuremind")->trigger();
    auto *lien = AppProgram::shown("frmReminders").value(0)->findChild<QListWidget *>("lstLienSteps");
    QCOMPARE(lien->count(), 2);
    QVERIFY(lien->item(0)->text().startsWith(QString("First notice \u2014 No. %1 2011 HONDA CIVIC BLUE").arg(id)));

    QVERIFY(p.browser()->showVehicle(id));
    p.window->command("mnuHR")->trigger();
    auto *w = qobject_cast<ImpoundWindow *>(AppProgram::shown("frmImpound").value(0));
    QVERIFY(w);
    auto edit = [w](const char *name) { return w->findChild<QLineEdit *>(name); };
    auto click = [w](const char *name) { w->findChild<QPushButton *>(name)->click(); };
    auto status = [w] { return w->findChild<QLabel *>("lblStatus")->text(); };

    edit("txtHoldReason")->setText("Evidence");
    edit("txtHoldAgency")->setText("County Sheriff");
    edit("txtHoldCase")->setText("24-0113");
    edit("txtHoldReleaseBy")->setText("Det. Ruiz");
    click("cmdPlaceHold");
    QCOMPARE(status(), "Status: On hold");
    QCOMPARE(sheetValue(p.browser()->list(), "Status:"), "On hold");
    QCOMPARE(sheetValue(p.browser()->list(), "Case Number:"), "24-0113");
    QCOMPARE(lien->count(), 2); // still in the yard

    edit("txtReleasedTo")->setText("Ann Lee");
    edit("txtIdNumber")->setText("D1234567");
    w->findChild<QDateTimeEdit *>("dtReleased")->setDateTime(QDateTime(today, QTime(14, 30)));
    auto *payments = w->findChild<QTableWidget *>("tblPayments");
    click("cmdAddPayment");
    click("cmdAddPayment");
    setCell(payments, 0, 0, "300");
    setCell(payments, 0, 2, "R-1");
    setCell(payments, 1, 0, "$250.25");
    setCell(payments, 1, 1, "Card");
    click("cmdRelease");
    QCOMPARE(p.dialogs.last().text,
             "The vehicle is on hold: it cannot leave until the hold is cleared.");
    QCOMPARE(status(), "Status: On hold");
    QCOMPARE(p.context->store.towRecord(id)->value(TowField::towedrelease), QString());

    p.dialogs.queueInput("Sgt. Moss");
    click("cmdClearHold");
    QCOMPARE(status(), "Status: In storage");
    click("cmdRelease");
    QCOMPARE(status(), "Status: Released");
    const TowRecord released = *p.context->store.towRecord(id);
    QCOMPARE(released.value(TowField::towedrelease), DateText::shortForm(today));

    // 40 days at $12.50 and the $95 fee, with 7 % tax, less $550.25 paid.
    const double total = ChargeFigures::compute(released, p.context->settings, today).grandTotal;
    QCOMPARE(ImpoundRules::toCents(total), qint64(63665));
    QCOMPARE(w->findChild<QLabel *>("lblBalance")->text(), "$86.40");
    QCOMPARE(sheetValue(p.browser()->list(), "Balance Due:"), "$86.40");
    QCOMPARE(sheetValue(p.browser()->list(), "Paid:"), "$550.25");

    ReportWindow *receipt = w->printReceipt();
    QVERIFY(receipt);
    QCOMPARE(receipt->windowTitle(), "Print Preview - Receipt");
    const QString text = receipt->report().document().toPlainText();
    for (const char *expected : {"Ann Lee", "D1234567", "14:30", "$300.00", "R-1", "Card",
                                    "$250.25", "$636.65", "$550.25", "$86.40"})
        QVERIFY2(text.contains(expected), qPrintable(expected + QString(" not in:\n") + text));

    // Gone from the yard: no lien steps, and Find tells it by its status.
    QCOMPARE(lien->count(), 0);
    FindRequest request{"<All>", "<All>", "", false, false, "released"};
    QCOMPARE(RecordSearch::find(p.context->store, request)->size(), 1);
    request.status = "storage";
    QCOMPARE(RecordSearch::find(p.context->store, request)->size(), 0);
}

QTEST_MAIN(ImpoundFlowTest)
#include "ImpoundFlow_test.moc"
