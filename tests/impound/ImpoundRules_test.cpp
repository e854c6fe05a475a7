#include <QTest>

#include "ChargeFigures.h"
#include "ImpoundRules.h"
#include "LienSchedule.h"

using namespace tarnvale;

using S = VehicleStatus;
using StepsDone = QList<QPair<QString, QDate>>;

class ImpoundRulesTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // Each change of status: refused with its reason, or allowed (empty).
    void transitions()
    {
        QStringList refusals;
        for (const auto &[from, to] : {std::pair{S::InStorage, S::Disposed},
                                       {S::OnHold, S::InStorage},
                                       {S::OnHold, S::Sold},
                                       {S::OnHold, S::OnHold},
                                       {S::InStorage, S::InStorage},
                                       {S::Released, S::OnHold},
                                       {S::Disposed, S::Released}})
            refusals << ImpoundRules::refusal(from, to);
        QCOMPARE(refusals,
                 (QStringList{
                     "", "", "The vehicle is on hold: it cannot leave until the hold is cleared.",
                     "The vehicle is on hold already.", "The vehicle is in storage already.",
                     "The vehicle is released already; its status cannot change.",
                     "The vehicle is disposed already; its status cannot change."}));
    }

    void balance_data()
    {
        QTest::addColumn<double>("grandTotal"); // below zero: the figures form no total
        QTest::addColumn<QList<qint64>>("payments");
        QTest::addColumn<QString>("balance");
        QTest::newRow("nothing paid") << 245.5 << QList<qint64>{} << "$245.50";
        QTest::newRow("part paid") << 245.5 << QList<qint64>{10000, 5025} << "$95.25";
        QTest::newRow("refund back") << 100.0 << QList<qint64>{12000, -2000} << "$0.00";
        QTest::newRow("overpaid") << 100.0 << QList<qint64>{10001} << "-$0.01";
        // The figure as the sheet shows it: 2.675 rounds up as shown.
        QTest::newRow("half cent") << 2.675 << QList<qint64>{} << "$2.68";
        QTest::newRow("float sum") << (0.1 + 0.2) << QList<qint64>{} << "$0.30";
        QTest::newRow("many small") << 1.0 << QList<qint64>{33, 33, 34} << "$0.00";
        QTest::newRow("no total") << -1.0 << QList<qint64>{500} << "";
    }

    void balance()
    {
        QFETCH(double, grandTotal);
        QFETCH(QList<qint64>, payments);
        QList<Payment> taken;
        for (qint64 cents : payments)
            taken.append(Payment{cents, "Cash", {}, {}});
        ChargeFigures figures;
        figures.grandTotal = std::max(grandTotal, 0.0);
        figures.totalFormed = grandTotal >= 0;
        QTEST(ImpoundRules::balanceText(
                  ImpoundRules::balanceCents(figures, ImpoundRules::paidCents(taken))),
              "balance");
    }

    void refunds_data()
    {
        QTest::addColumn<qint64>("cents");
        QTest::addColumn<qint64>("refundOf");
        QTest::addColumn<QString>("refusal");
        // Taken: No. 1 $100.00 less a $25.00 refund (No. 2), No. 3 $0.01.
        // clang-format off
        QTest::newRow("payment") << qint64(5000) << qint64(0) << "";
        QTest::newRow("zero") << qint64(0) << qint64(0) << "Please enter an amount other than zero.";
        QTest::newRow("payment naming one") << qint64(500) << qint64(1) << "A refund is an amount below zero.";
        QTest::newRow("refund of nothing") << qint64(-500) << qint64(0) << "A refund gives back a payment taken: choose the payment first.";
        QTest::newRow("all that is left") << qint64(-7500) << qint64(1) << "";
        QTest::newRow("a cent more") << qint64(-7501) << qint64(1) << "Only $75.00 of that payment is left to give back.";
        QTest::newRow("refund of a refund") << qint64(-100) << qint64(2) << "The refund names no payment taken.";
        QTest::newRow("no such payment") << qint64(-100) << qint64(9) << "The refund names no payment taken.";
        QTest::newRow("a cent paid") << qint64(-1) << qint64(3) << "";
        // clang-format on
    }

    void refunds()
    {
        QFETCH(qint64, cents);
        QFETCH(qint64, refundOf);
        const QList<Payment> taken = {{10000, "Cash", {}, {}, {}, {}, 0, 1},
                                      {-2500, "Cash", {}, {}, {}, {}, 1, 2},
                                      {1, "Card", {}, {}, {}, {}, 0, 3}};
        const Payment payment{cents, "Cash", {}, QDate(2026, 3, 1), {}, {}, refundOf};
        QTEST(ImpoundRules::paymentRefusal(payment, taken), "refusal");
        QCOMPARE(ImpoundRules::refundable(1, taken) + ImpoundRules::refundable(3, taken), 7501);
    }

    // Amounts typed: with a sign or blanks around; -1 is no amount (words, three decimals, a
    // decimal comma, nothing, too large).
    void readCents()
    {
        QList<qint64> cents;
        for (const char *text :
             {"$20.05", "- $3", "-5.00", "  40.10 ", "ten", "1.005", "1,50", "", "9999999999"})
            cents << ImpoundRules::readCents(text).value_or(-1);
        QCOMPARE(cents, (QList<qint64>{2005, -300, -500, 4010, -1, -1, -1, -1, -1}));
    }

    void deadlines_data()
    {
        QTest::addColumn<QList<LienStep>>("schedule");
        QTest::addColumn<QDate>("towed");
        QTest::addColumn<StepsDone>("done");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QStringList>("due"); // "name yyyy-MM-dd" of the steps due by today
        QTest::addColumn<QDate>("next");      // invalid: every step done
        const QList<LienStep> three = {
            {"First notice", 5}, {"Second notice", 30}, {"Eligible for sale", 45}};
        const QDate towed(2026, 1, 28);
        using L = QStringList;
        // clang-format off
        QTest::newRow("none due yet") << three << towed << StepsDone{} << QDate(2026, 2, 1) << L{} << QDate(2026, 2, 2);
        QTest::newRow("due on its day") << three << towed << StepsDone{} << QDate(2026, 2, 2) << L{"First notice 2026-02-02"} << QDate(2026, 2, 2);
        QTest::newRow("overdue, across months") << three << towed << StepsDone{} << QDate(2026, 3, 20)
            << L{"First notice 2026-02-02", "Second notice 2026-02-27", "Eligible for sale 2026-03-14"} << QDate(2026, 2, 2);
        QTest::newRow("done step leaves") << three << towed << StepsDone{{"First notice", QDate(2026, 2, 3)}}
            << QDate(2026, 3, 1) << L{"Second notice 2026-02-27"} << QDate(2026, 2, 27);
        // The schedule edited later: the step not done moves, the done one stays done.
        QTest::newRow("schedule edited") << QList<LienStep>{{"First notice", 3}, {"Second notice", 40}} << towed
            << StepsDone{{"First notice", QDate(2026, 2, 3)}} << QDate(2026, 3, 1) << L{} << QDate(2026, 3, 9);
        QTest::newRow("all done") << QList<LienStep>{{"Notice", 0}} << towed << StepsDone{{"Notice", towed}} << towed << L{} << QDate();
        QTest::newRow("no tow date") << three << QDate() << StepsDone{} << QDate(2026, 3, 1) << L{} << QDate();
        // clang-format on
    }

    void deadlines()
    {
        QFETCH(QList<LienStep>, schedule);
        QFETCH(QDate, towed);
        QFETCH(StepsDone, done);
        QFETCH(QDate, today);
        const QList<LienDeadline> all = LienSchedule::deadlines(schedule, towed, done);
        QStringList shown;
        for (const LienDeadline &d : LienSchedule::dueBy(all, today))
            shown << d.step + u' ' + d.due.toString(Qt::ISODate);
        QTEST(shown, "due");
        QTEST(LienSchedule::nextDeadline(all).value_or(QDate()), "next");
    }

    // The steps as typed: each row "name=days", rows split by "|"; the steps read, or the
    // reason they are refused.
    void stepsTyped_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("expected");
        const QString tooMany = "Step 1=1|Step 2=2|Step 3=3|Step 4=4|Step 5=5|Step 6=6|Step 7=7|"
                                "Step 8=8|Step 9=9|Step 10=10|Step 11=11|Step 12=12|Step 13=13|"
                                "Step 14=14|Step 15=15|Step 16=16|Step 17=17|Step 18=18|Step 19=19|Step 20=20";
        // clang-format off
        QTest::newRow("bounds of the days") << " Notice = 0 |=|Sale=3650" << "Notice 0, Sale 3650";
        QTest::newRow("a day too many") << "Sale=3651" << "The days of the lien step \"Sale\" must be a whole number from 0 to 3650.";
        QTest::newRow("before the tow") << "Notice=-1" << "The days of the lien step \"Notice\" must be a whole number from 0 to 3650.";
        QTest::newRow("no days") << "Notice=" << "The days of the lien step \"Notice\" must be a whole number from 0 to 3650.";
        QTest::newRow("a fraction") << "Notice=1.5" << "The days of the lien step \"Notice\" must be a whole number from 0 to 3650.";
        QTest::newRow("no name") << "=5" << "A lien step needs a name.";
        QTest::newRow("named twice") << "Sale=5|Sale=9" << "The lien step \"Sale\" is named twice.";
        QTest::newRow("twenty steps") << tooMany << "20 steps";
        QTest::newRow("twenty-one steps") << tooMany + "|Step 21=21" << "The lien schedule holds at most 20 steps.";
        // clang-format on
    }
    void stepsTyped()
    {
        QFETCH(QString, rows);
        QList<QPair<QString, QString>> typed;
        for (const QString &row : rows.split('|'))
            typed.append({row.section('=', 0, 0), row.section('=', 1)});
        QString problem;
        const auto steps = LienSchedule::fromRows(typed, &problem);
        QStringList shown;
        for (const LienStep &step : steps.value_or(QList<LienStep>{}))
            shown << step.name + ' ' + QString::number(step.days);
        QTEST(!steps ? problem : shown.size() == 20 ? "20 steps" : shown.join(", "), "expected");
    }
};

QTEST_GUILESS_MAIN(ImpoundRulesTest)
#include "ImpoundRules_test.moc"
