// The impound lifecycle through the windows: a tow, a payment, a hold, a refused release, the
// hold cleared, the release owing money, a later payment and a refund, the same balance on the
// list, sheet, receipt, notice and export, and the lien steps leaving the reminders.
#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "../export/CsvRows.h"
#include "AppProgram.h"
#include "DateText.h"
#include "RecordSheets.h"
#include "FormText.h"
#include "ImpoundPapers.h"
#include "ImpoundWindow.h"
#include "LienSchedule.h"
#include "PricingStore.h"
#include "RecordExport.h"
#include "RecordSearch.h"
#include "RemindersWindow.h"
#include "ReportWindow.h"
#include "TestFiles.h"
#include "TowRecordForm.h"

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
        for (const QString name : {"receipt.rtf", "notice.rtf"})
            QVERIFY(QFile::copy(TARNVALE_RESOURCES_DIR "/Reports/" + name, p.dir.file("Reports/" + name)));
        p.start();
        const QDate today = QDate::currentDate();
        QVERIFY(p.context->store.addGroup("Police"));
        TowRecord towed = vehicleRecord("Police", "2011", "Honda", "Civic", "blue");
        towed.set(TowField::custname, "Ann Lee");
        towed.set(TowField::vehtag, " ohx 4521");
        towed.set(TowField::toweddate, DateText::shortForm(today.addDays(-40)));
        towed.set(TowField::towedfee, "95.00");
        const qint64 id = *p.context->store.addTowRecord(towed);

        // Both steps are due 40 days after the tow.
        p.window->command("mnuremind")->trigger();
        auto *lien =
            AppProgram::shown("frmReminders").value(0)->findChild<QListWidget *>("lstLienSteps");
        QCOMPARE(lien->count(), 2);
        QVERIFY(lien->item(0)->text().startsWith(
            QString("First notice \u2014 No. %1 2011 HONDA CIVIC BLUE (OHX 4521) \u2014 overdue").arg(id)));
        // Ticking a step marks it done today: it leaves the list, the other stays.
        lien->item(0)->setCheckState(Qt::Checked);
        QVERIFY(lien->count() == 1 && lien->item(0)->text().startsWith("Second notice"));

        // Print Notice of the step left: 40 days at $12.50 and the $95 fee with 7 % tax, nothing paid yet.
        auto *reminders = qobject_cast<RemindersWindow *>(AppProgram::shown("frmReminders").value(0));
        auto *notice = qobject_cast<ReportWindow *>(reminders->printNotice(0));
        QVERIFY(notice);
        const QString letter = notice->report().document().toPlainText();
        for (const char *expected : {"Second notice", "Amount Owed to Date\n$636.65", "Daily Storage Rate\n$12.50"})
            QVERIFY2(letter.contains(expected), qPrintable(letter));
        notice->close();

        Q_EMIT lien->itemDoubleClicked(lien->item(0)); // selects the vehicle
        p.window->command("mnuHR")->trigger();
        auto *w = qobject_cast<ImpoundWindow *>(AppProgram::shown("frmImpound").value(0));
        QVERIFY(w);
        auto click = [w](const char *name) { w->findChild<QPushButton *>(name)->click(); };
        auto status = [w] { return w->findChild<QLabel *>("lblStatus")->text(); };
        auto *payments = w->findChild<QTableWidget *>("tblPayments");

        for (const auto &[name, text] : {std::pair{"txtHoldReason", "Evidence"},
                                         {"txtHoldAgency", "County Sheriff"},
                                         {"txtHoldCase", "24-0113"}, {"txtHoldReleaseBy", "Det. Ruiz"}})
            setText(w, name, text);
        click("cmdPlaceHold");
        QCOMPARE(status() + "|" + QString::number(p.dialogs.count()), "Status: On hold|0");
        QCOMPARE(p.sheetValue("Status:") + "|" + p.sheetValue("Case Number:") + p.sheetValue("Paid:"),
                 "On hold|24-0113<no Paid:>");
        QCOMPARE(lien->count(), 1); // still in the yard
        lien->item(0)->setCheckState(Qt::Checked); // a tick after other changes is heard too
        QCOMPARE(lien->count(), 0);

        // Money is taken while the vehicle is held, and kept at once.
        auto pay = [&](const QString &amount, const QString &method, const QString &reference) {
            setText(w, "txtPayAmount", amount);
            setText(w, "cboPayMethod", method);
            setText(w, "txtPayReference", reference);
            click("cmdAddPayment");
        };
        pay("300", "Cash", "R-1");
        QCOMPARE(p.sheetValue("Paid:") + "|" + p.sheetValue("Balance Due:"), "$300.00|$336.65");
        setText(w, "txtReleasedTo", "Ann Lee");
        setText(w, "txtIdNumber", "D1234567");
        QCOMPARE(w->findChild<QDateTimeEdit *>("dtReleased")->minimumDate(), QDate(1900, 1, 1)); // no year 206
        w->findChild<QDateTimeEdit *>("dtReleased")->setDateTime(QDateTime(today, QTime(14, 30)));
        click("cmdRelease");
        QCOMPARE(p.dialogs.last().text,
                 "The vehicle is on hold: it cannot leave until the hold is cleared.");
        QCOMPARE(status() + p.context->store.towRecord(id)->value(TowField::towedrelease),
                 "Status: On hold");

        p.dialogs.queueInput("Sgt. Moss");
        click("cmdClearHold");
        // $636.65 less $300 paid: asked first (the hold is cleared); No keeps the vehicle.
        const int boxes = p.dialogs.count();
        click("cmdRelease");
        QCOMPARE(p.dialogs.last().line(),
                 "Question Question YesNoDefaultNo|Harbor Towing|Release with $336.65 still owed?");
        QCOMPARE(status(), "Status: In storage");
        p.dialogs.queueAnswer(Answer::Yes);
        click("cmdRelease");
        QCOMPARE(status() + "|" + QString::number(p.dialogs.count() - boxes), "Status: Released|2");
        QCOMPARE(p.context->store.towRecord(id)->value(TowField::towedrelease),
                 DateText::shortForm(today));

        // A later payment (a row chosen or not), a refund of part of the first, refused first.
        payments->setCurrentCell(0, 0);
        pay("$250.25", "Card", "");
        pay("-20", "Cash", "R-1 back");
        QCOMPARE(p.dialogs.last().text + text(w, "txtPayAmount"),
                 "A refund gives back a payment taken: choose the payment first.-20");
        payments->setCurrentCell(0, 0);
        pay("-20", "Cash", "R-1 back");
        QStringList rows{QString::number(p.dialogs.count() - boxes), text(w, "txtPayAmount")};
        for (int r = 0; r < payments->rowCount(); ++r)
            for (int c = 2; c < payments->columnCount(); ++c)
                rows << payments->item(r, c)->text();
        const QString user = ImpoundWindow::userName();
        QCOMPARE(rows, (QStringList{"3", "", "$300.00", "Cash", "R-1", user, "", "$250.25", "Card", "",
                                    user, "", "-$20.00", "Cash", "R-1 back", user,
                                    QString("No. %1").arg(w->state().payments[0].id)}));
        QVERIFY(!user.isEmpty()
                && payments->item(2, 1)->text().startsWith(DateText::shortForm(today)));

        // $636.65 less $530.25 paid: the same $106.40 in the window, on the sheet and the
        // group list, on the notice, in the export and on the receipt.
        const QString sheet = p.sheetValue("Balance Due:") + " " + p.sheetValue("Paid:");
        const std::optional<TowRecord> record = p.context->store.towRecord(id);
        p.press(p.model()->groupIndex(p.context->store.groupIdByName("Police")), Qt::LeftButton);
        const QString csv = p.dir.file("out.csv");
        RecordExport::write(p.dir.databasePath(), ExportSelection::all(), p.context->settings, csv,
                            {});
        QCOMPARE(QStringList({w->findChild<QLabel *>("lblBalance")->text(),
                              w->findChild<QLabel *>("lblPaid")->text(), sheet,
                              p.cell(0, 8),
                              ImpoundPapers::fillNotice("::amount.owed::", *record, w->state(),
                                                        {}, p.context->settings, today),
                              csvColumn(csvRows(readFile(csv)), "Balance due").join(',')}),
                 QStringList({"$106.40", "$530.25", "$106.40 $530.25", "$106.40", "$106.40",
                              "106.40"}));
        QVERIFY(w->printReceipt());
        const QString text = w->findChild<ReportWindow *>()->report().document().toPlainText();
        for (const char *expected : {"Ann Lee", "D1234567", "14:30", "$300.00", "R-1 back", "Card",
                                     "-$20.00", "$636.65", "$530.25", "$106.40"})
            QVERIFY2(text.contains(expected), qPrintable(expected + QString(" not in:\n") + text));

        // Gone from the yard: no lien steps, and Find tells it by its status.
        QCOMPARE(lien->count(), 0);
        QVERIFY(!reminders->printNotice(0) && p.dialogs.last().text.startsWith("Please select a lien"));
        FindRequest request{"<All>", "<All>", "", false, false, "released"};
        QCOMPARE(RecordSearch::find(p.context->store, request)->size(), 1);
        request.status = "storage";
        QCOMPARE(RecordSearch::find(p.context->store, request)->size(), 0);
    }

    // A police tow typed into the form on plan Police, paid and released in the Hold / Release
    // window: the window, the receipt and the export bill what the plan says. Police: 24-hour
    // periods from the tow, no storage when claimed within 24 hours; per period Medium $45,
    // Heavy $75 to period 3, then $60 and $90; a $25 administrative fee; $50 for a release
    // outside 08:00 to 17:00. Tow fee $95, tax 7 % of tow fee, storage and fees.
    void policeTowBilledByItsPlan_data()
    {
        QTest::addColumn<int>("daysAgo"); // towed at 23:10 this many days before the release
        QTest::addColumn<QString>("vehicleClass");
        QTest::addColumn<QString>("releasedAt"); // today
        QTest::addColumn<QString>("paid");
        QTest::addColumn<QString>("receipt"); // days, charges; total, paid, balance
        QTest::addColumn<QStringList>("csv"); // days, storage, tax, total, balance, plan, charges
        // 4 days 20:35 held: 5 periods, 3 x $45 + 2 x $60 = $255; 19:45 is after hours.
        // 95 + 255 + 25 + 50 = $425, tax $29.75, total $454.75, less $300 paid: $154.75.
        QTest::newRow("after hours, second rate")
            << 5 << "Medium" << "19:45" << "300"
            << "5\nCharges\nTow fee\t$95.00\nStorage, 3 periods x $45.00\t$135.00\n"
               "Storage from period 4, 2 periods x $60.00\t$120.00\nAdministrative fee\t$25.00\n"
               "After-hours release\t$50.00\nTax\t$29.75|$454.75\nPaid\n$300.00\n"
               "Balance Due\n$154.75"
            << QStringList{"5", "255.00", "29.75", "454.75", "154.75", "Police",
                           "Storage: 135.00\nStorage from period 4: 120.00\n"
                           "Administrative fee: 25.00\nAfter-hours release: 50.00"};
        // 17:50 held: 1 period, within the grace period: no storage; 17:00 is closing time,
        // after hours. 95 + 25 + 50 = $170, tax $11.90, total $181.90, less $100: $81.90.
        QTest::newRow("within the grace period, at closing")
            << 1 << "Medium" << "17:00" << "100"
            << "1\nCharges\nTow fee\t$95.00\nAdministrative fee\t$25.00\n"
               "After-hours release\t$50.00\nTax\t$11.90|$181.90\nPaid\n$100.00\n"
               "Balance Due\n$81.90"
            << QStringList{"1", "0.00", "11.90", "181.90", "81.90", "Police",
                           "Administrative fee: 25.00\nAfter-hours release: 50.00"};
        // 32:50 held: 2 periods x $75 = $150; 08:00 is opening time, no after-hours fee.
        // 95 + 150 + 25 = $270, tax $18.90, total $288.90, less $200: $88.90.
        QTest::newRow("past the grace period, at opening")
            << 2 << "Heavy" << "08:00" << "200"
            << "2\nCharges\nTow fee\t$95.00\nStorage, 2 periods x $75.00\t$150.00\n"
               "Administrative fee\t$25.00\nTax\t$18.90|$288.90\nPaid\n$200.00\nBalance Due\n$88.90"
            << QStringList{"2", "150.00", "18.90", "288.90", "88.90", "Police",
                           "Storage: 150.00\nAdministrative fee: 25.00"};
    }
    void policeTowBilledByItsPlan()
    {
        QFETCH(int, daysAgo);
        QFETCH(QString, vehicleClass);
        QFETCH(QString, releasedAt);
        QFETCH(QString, paid);
        AppProgram p([](const SettingsFile &s) { s.write("Tow Fee", "Taxrate", ".07"); });
        QDir(p.dir.path()).mkpath("Reports");
        QVERIFY(QFile::copy(TARNVALE_RESOURCES_DIR "/Reports/receipt.rtf",
                            p.dir.file("Reports/receipt.rtf")));
        p.start();
        PricingPlan police{0, "Police", false, DayType::Periods, false, /* grace hours */ 24,
                           {{1, {3500, 4500, 7500, 2000}}, {4, {5000, 6000, 9000, 3000}}},
                           0, 0, /* fees */ 2500, 5000, QTime(8, 0), QTime(17, 0)};
        QVERIFY(PricingStore(p.context->store).savePlan(police) == PricingStore::Result::Done);

        const QDate today = QDate::currentDate();
        p.window->command("mnusmAC")->trigger();
        auto *form = qobject_cast<TowRecordForm *>(AppProgram::shown("frmAddEditContact").value(0));
        QVERIFY(form);
        const QString towed = DateText::shortForm(today.addDays(-daysAgo));
        for (const auto &[name, typed] : {std::pair<QString, QString>{"tFields_0", "Ann Lee"},
                                          {"tFields_6", "2011"}, {"tFields_7", "Honda"},
                                          {"tFields_16", towed}, {"Text6", "95.00"},
                                          {"txtTowedAt", "23:10"}})
            setText(form, name, typed);
        for (const auto &[name, chosen] : {std::pair<QString, QString>{"cmbPlan", "Police"},
                                           {"cmbClass", vehicleClass}}) {
            auto *box = form->findChild<QComboBox *>(name);
            box->setCurrentIndex(box->findText(chosen));
        }
        form->toolbarClick(3);
        QCOMPARE(p.context->store.towRecordCount(), 1);
        const qint64 id = p.context->store.towRecords()->first().id;

        p.press(p.model()->vehicleIndex(id), Qt::LeftButton);
        p.window->command("mnuHR")->trigger();
        auto *w = qobject_cast<ImpoundWindow *>(AppProgram::shown("frmImpound").value(0));
        QVERIFY(w);
        setText(w, "txtPayAmount", paid);
        w->findChild<QPushButton *>("cmdAddPayment")->click();
        setText(w, "txtReleasedTo", "Ann Lee");
        w->findChild<QDateTimeEdit *>("dtReleased")
            ->setDateTime(QDateTime(today, QTime::fromString(releasedAt, "HH:mm")));
        p.dialogs.queueAnswer(Answer::Yes);
        w->findChild<QPushButton *>("cmdRelease")->click();
        QFETCH(QString, receipt);
        QFETCH(QStringList, csv);
        const QString balance = receipt.section('\n', -1);
        QCOMPARE(p.dialogs.last().text + w->findChild<QLabel *>("lblStatus")->text() +
                     w->findChild<QLabel *>("lblBalance")->text() + p.sheetValue("Balance Due:"),
                 "Release with " + balance + " still owed?Status: Released" + balance + balance);

        QVERIFY(w->printReceipt());
        const QString printed = w->findChild<ReportWindow *>()->report().document().toPlainText();
        const auto part = [&printed](const QString &from, const QString &to) {
            const qsizetype at = printed.indexOf(from) + from.size();
            return printed.mid(at, printed.indexOf(to, at) - at).trimmed();
        };
        QCOMPARE(part("Days in Storage", "Payments") + "|" + part("Total Charges\n", "Received"),
                 receipt);
        const QString out = p.dir.file("out.csv");
        RecordExport::write(p.dir.databasePath(), ExportSelection::all(), p.context->settings, out,
                            {});
        QStringList row;
        const QList<QStringList> rows = csvRows(readFile(out));
        for (const char *column : {"Days in storage", "Storage charge", "Tax", "Grand total",
                                   "Balance due", "Pricing plan", "Charges"})
            row << csvColumn(rows, column);
        QCOMPARE(row, csv);
    }

    // Payments typed and then "Sold..." answered Yes: still there when the window opens again.
    void paymentsOutliveTheSale()
    {
        AppProgram p([](const SettingsFile &s) { s.write("Fee", "Storage Fee", "10"); });
        p.start();
        TowRecord towed = vehicleRecord("");
        towed.set(TowField::toweddate, DateText::shortForm(QDate::currentDate().addDays(-3)));
        towed.set(TowField::towedfee, "100.00");
        const qint64 id = *p.context->store.addTowRecord(towed);
        auto open = [&] {
            p.press(p.model()->vehicleIndex(id), Qt::LeftButton);
            p.window->command("mnuHR")->trigger();
            return qobject_cast<ImpoundWindow *>(AppProgram::shown("frmImpound").value(0));
        };
        ImpoundWindow *w = open();
        auto text = [&w](const char *name) { return w->findChild<QLabel *>(name)->text(); };
        auto table = [&w] { return w->findChild<QTableWidget *>("tblPayments"); };
        // By keyboard: Amount, Tab, a method typed, Tab, Reference, Enter; then the next one.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        w->findChild<QLineEdit *>("txtPayAmount")->setFocus();
        for (const char *typed : {"100\tMoney order\tM-7\n", "-25\n"}) {
            for (const char c : QByteArray(typed))
                c == '\t' || c == '\n'
                    ? QTest::keyClick(QApplication::focusWidget(), c == '\t' ? Qt::Key_Tab : Qt::Key_Return)
                    : QTest::keyClick(QApplication::focusWidget(), c);
            table()->setCurrentCell(0, 0);
        }
        QCOMPARE(QApplication::focusWidget()->objectName() + '|' + table()->item(0, 3)->text() + '|' +
                     table()->item(0, 4)->text(), "txtPayAmount|Money order|M-7");
        QStringList captions; // each caption takes its box's focus
        for (const QLabel *label : w->findChild<QWidget *>("grpPayments")->findChildren<QLabel *>())
            if (label->buddy())
                captions << label->text() + label->buddy()->objectName();
        QCOMPARE(captions, QStringList({"Amount:txtPayAmount", "Reference:txtPayReference",
                                         "Total charges:lblTotalDue", "Paid:lblPaid",
                                         "Balance due:lblBalance"}));
        p.dialogs.queueAnswer(Answer::Yes);
        w->findChild<QPushButton *>("cmdSold")->click();
        w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // The rate raised after the sale: the window, sheet and export keep what was billed,
        // 3 days at $10 and the $100 fee, less $75 kept.
        p.context->settings.write("Fee", "Storage Fee", "20");
        w = open();
        const QString csv = p.dir.file("out.csv");
        RecordExport::write(p.dir.databasePath(), ExportSelection::all(), p.context->settings, csv, {});
        QCOMPARE(QStringList({text("lblStatus"), QString::number(table()->rowCount()),
                              text("lblPaid"), text("lblBalance"),
                              RecordSheets::vehicleSheet(p.context->store, QString::number(id), p.context->settings, QDate::currentDate())->label1,
                              csvColumn(csvRows(readFile(csv)), "Balance due").join(','),
                              QString::number(p.dialogs.count()), p.dialogs.last().line()}),
                 QStringList({"Status: Sold", "2", "$75.00", "$55.00", "$130.00", "55.00", "1",
                              "Question Exclamation YesNoDefaultNo|Harbor Towing|Mark this "
                              "vehicle as sold today?\r\nIts storage charges stop today, and "
                              "this cannot be undone."}));
    }
};

QTEST_MAIN(ImpoundFlowTest)
#include "ImpoundFlow_test.moc"
