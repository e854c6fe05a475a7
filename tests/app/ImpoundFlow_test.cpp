// The impound lifecycle through the windows: a tow, a hold, a refused release, the hold
// cleared, the release with two payments, the receipt, and the lien steps leaving the reminders.
#include <QAction>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "AppProgram.h"
#include "DateText.h"
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

    void towHoldReleaseAndReceipt()
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
        auto *lien =
            AppProgram::shown("frmReminders").value(0)->findChild<QListWidget *>("lstLienSteps");
        QCOMPARE(lien->count(), 2);
        QVERIFY(lien->item(0)->text().startsWith(
            QString("First notice \u2014 No. %1 2011 HONDA CIVIC BLUE").arg(id)));
        // Ticking a step marks it done today: it leaves the list, the other stays.
        lien->item(0)->setCheckState(Qt::Checked);
        QCOMPARE(lien->count(), 1);
        QVERIFY(lien->item(0)->text().startsWith("Second notice"));

        Q_EMIT lien->itemDoubleClicked(lien->item(0)); // selects the vehicle
        p.window->command("mnuHR")->trigger();
        auto *w = qobject_cast<ImpoundWindow *>(AppProgram::shown("frmImpound").value(0));
        QVERIFY(w);
        auto type = [w](const char *name, const QString &text) {
            w->findChild<QLineEdit *>(name)->setText(text);
        };
        auto click = [w](const char *name) { w->findChild<QPushButton *>(name)->click(); };
        auto status = [w] { return w->findChild<QLabel *>("lblStatus")->text(); };

        type("txtHoldReason", "Evidence");
        type("txtHoldAgency", "County Sheriff");
        type("txtHoldCase", "24-0113");
        type("txtHoldReleaseBy", "Det. Ruiz");
        click("cmdPlaceHold");
        QCOMPARE(status() + "|" + QString::number(p.dialogs.count()), "Status: On hold|0");
        QCOMPARE(p.sheetValue("Status:") + "|" + p.sheetValue("Case Number:"), "On hold|24-0113");
        QCOMPARE(lien->count(), 1); // still in the yard

        type("txtReleasedTo", "Ann Lee");
        type("txtIdNumber", "D1234567");
        w->findChild<QDateTimeEdit *>("dtReleased")->setDateTime(QDateTime(today, QTime(14, 30)));
        auto *payments = w->findChild<QTableWidget *>("tblPayments");
        click("cmdAddPayment");
        click("cmdAddPayment");
        const QStringList cells{"300", "", "R-1", "$250.25", "Card", ""};
        for (int i = 0; i < cells.size(); ++i)
            payments->setItem(i / 3, i % 3, new QTableWidgetItem(cells[i]));
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
        QCOMPARE(p.context->store.towRecord(id)->value(TowField::towedrelease),
                 DateText::shortForm(today));

        // 40 days at $12.50 and the $95 fee, with 7 % tax: $636.65, less $550.25 paid.
        QCOMPARE(w->findChild<QLabel *>("lblBalance")->text(), "$86.40");
        QCOMPARE(p.sheetValue("Balance Due:") + "|" + p.sheetValue("Paid:"), "$86.40|$550.25");
        ReportWindow *receipt = w->printReceipt();
        QVERIFY(receipt);
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
};

QTEST_MAIN(ImpoundFlowTest)
#include "ImpoundFlow_test.moc"
