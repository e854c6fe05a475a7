#include <QRandomGenerator>
#include <QTest>

#include "ChargeFigures.h"
#include "ImpoundRules.h"
#include "ImpoundStore.h"
#include "LotReport.h"
#include "ReportQueries.h"
#include "StoreFixture.h"
#include "StoreFolder.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

// A vehicle of the hand-made yard: its group, tow date and tow fee.
qint64 towed(RecordStore &store, const QString &group, const QString &date, const QString &fee)
{
    TowRecord r = vehicleRecord(group);
    r.set(TowField::toweddate, date);
    r.set(TowField::towedfee, fee);
    return store.addTowRecord(r).value_or(-1);
}

struct Yard : StoreFixture
{
    StoreFolder database;
    ImpoundStore impound{store};
    Yard()
    {
        store.open(database.databasePath(), RecordStore::OpenMode::CreateIfMissing);
        // $10 a day, 10 % tax on tow fee and storage.
        settings.write("Fee", "Storage Fee", "10");
        settings.write("Tow Fee", "Taxrate", ".1");
    }
    bool pay(qint64 id, qint64 cents, const QDate &day, qint64 refundOf = 0)
    {
        return impound.addPayment(*store.towRecord(id),
                                  Payment{cents, cents < 0 ? "Cash" : "Card", "", day, {}, "ann",
                                          refundOf}) == ImpoundStore::Result::Done;
    }
    bool hold(qint64 id, const QString &agency)
    {
        return impound.placeHold(*store.towRecord(id),
                                 Hold{0, "Evidence", agency, "", "", {}, {}, {}},
                                 QDate(2028, 2, 1)) == ImpoundStore::Result::Done;
    }
};

} // namespace

class ReportsTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init() { SKIP_WITHOUT_ENGINE(); }

    void ageBands()
    {
        QList<int> bands;
        for (qint64 days : {0, 7, 8, 30, 31, 60, 61, 90, 91, 5000})
            bands << LotReport::bandOf(days);
        QCOMPARE(bands, (QList<int>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4}));
    }

    // Worked by hand, as of 3/1/2028 at $10 a day and 10 % tax:
    //  A1 Lot A, towed on the leap day 2/29: 1 day, $10 storage, (100 + 10) + 11 = $121,
    //     paid $50 and $20 of it refunded: owes $91.
    //  A2 Lot A, towed 1/30: 31 days, $310, (50 + 310) + 36 = $396 owed.
    //  A3 Lot A, towed 3/1 and released that same day: not in the yard.
    //  B1 Lot B, towed 12/1/2027, on hold (County Sheriff): 91 days, $910, fee "abc": no total.
    //  B2 Lot B, towed 2/22, on hold (City Police): 8 days, $80, (0 + 80) + 8 = $88, paid.
    //  B3 Lot B, towed "soon": no usable date, 0 days, (20 + 0) + 2 = $22 owed.
    //  N1 no group, towed 12/2/2027: 90 days, $900, (10 + 900) + 91 = $1001 owed.
    void lotOnHandMadeYard()
    {
        Yard y;
        const QDate today(2028, 3, 1);
        const qint64 a1 = towed(y.store, "Lot A", "2/29/2028", "100");
        towed(y.store, "Lot A", "1/30/2028", "50");
        const qint64 a3 = towed(y.store, "Lot A", "3/1/2028", "75");
        const qint64 b1 = towed(y.store, "Lot B", "12/1/2027", "abc");
        const qint64 b2 = towed(y.store, "Lot B", "2/22/2028", "0");
        towed(y.store, "Lot B", "soon", "20");
        towed(y.store, "", "12/2/2027", "10");
        QVERIFY(y.pay(a1, 5000, today));
        QVERIFY(y.pay(a1, -2000, today, y.impound.payments()->value(a1).value(0).id));
        QVERIFY(y.impound.release(*y.store.towRecord(a3), Release{"Ann Lee", "", "", today, {}}) ==
                ImpoundStore::Result::Done);
        QVERIFY(y.hold(b1, "County Sheriff") && y.hold(b2, "City Police"));
        QVERIFY(y.pay(b2, 8800, today));

        ReportQueries queries(y.store);
        const std::optional<Report> report = LotReport::build(queries, y.settings, today);
        QVERIFY(report);
        QCOMPARE(report->period, QString("As of 3/1/2028"));
        QCOMPARE(QString::fromUtf8(report->csv()).split("\r\n"),
                 QString("Vehicles in the yard by group\r\n"
                         "Group,0-7 days,8-30 days,31-60 days,61-90 days,Over 90 days,"
                         "No usable tow date,Vehicles,Storage,Balance owed\r\n"
                         "(no group),0,0,0,1,0,0,1,900.00,1001.00\r\n"
                         "Lot A,1,0,1,0,0,0,2,320.00,487.00\r\n"
                         "Lot B,0,1,0,0,1,1,3,990.00,22.00\r\n"
                         "Total,1,1,1,1,1,1,6,2210.00,1510.00\r\n\r\n"
                         "Vehicles in the yard by age\r\nAge,Vehicles,Storage,Balance owed\r\n"
                         "0-7 days,1,10.00,91.00\r\n8-30 days,1,80.00,0.00\r\n"
                         "31-60 days,1,310.00,396.00\r\n61-90 days,1,900.00,1001.00\r\n"
                         "Over 90 days,1,910.00,0.00\r\nNo usable tow date,1,0.00,22.00\r\n"
                         "Total,6,2210.00,1510.00\r\n\r\n"
                         "On hold by agency\r\nAgency,Vehicles,Storage,Balance owed\r\n"
                         "City Police,1,80.00,0.00\r\nCounty Sheriff,1,910.00,0.00\r\n"
                         "Total,2,990.00,0.00\r\n\r\n")
                     .split("\r\n"));
        QCOMPARE(report->notes, QStringList{"1 vehicle(s) have no grand total (their tow fee is "
                                            "not an amount of 0 or more): no balance is counted "
                                            "for them."});
        const ReportChart &chart = *report->chart;
        QCOMPARE(chart.series, (QList<QPair<QString, QList<double>>>{
                                   {"In storage", {1, 0, 1, 1, 0, 1}},
                                   {"On hold", {0, 1, 0, 0, 1, 0}}}));
        QCOMPARE(QStringList({chart.title, chart.xTitle, chart.yTitle}),
                 QStringList({"Vehicles in the yard by age", "Days in storage", "Vehicles"}));
        QCOMPARE(report->tables.at(0).cellText(report->tables.at(0).totals, 9), "$1510.00");

        // An empty yard: every table has its totals of nothing.
        Yard empty;
        ReportQueries none(empty.store);
        const std::optional<Report> nothing = LotReport::build(none, empty.settings, today);
        QVERIFY(nothing && nothing->notes.isEmpty() && nothing->tables.at(0).rows.isEmpty());
        QCOMPARE(nothing->tables.at(2).totals, (QVariantList{"Total", 0, 0, 0}));
    }

    // On a generated yard, the lot's storage and balance are the sums of every sheet's figures
    // (ChargeFigures and the balance the impound window shows) over the vehicles in the yard.
    void lotEqualsSumOfSheets()
    {
        Yard y;
        y.settings.write("Fee", "Storage Fee", "12.35");
        y.settings.write("Tow Fee", "Taxrate", "0.0725");
        const QDate today(2027, 6, 15);
        QRandomGenerator random(20271);
        QList<qint64> ids;
        for (int i = 0; i < 150; ++i) {
            const QDate day = today.addDays(-random.bounded(400));
            const QString fee = random.bounded(10) == 0
                                    ? QString("n/a")
                                    : QString::number(random.bounded(50000) / 100.0, 'f', 2);
            const qint64 id = towed(y.store, QString("G%1").arg(random.bounded(4)),
                                    day.toString("M/d/yyyy"), fee);
            ids << id;
            if (random.bounded(3) == 0)
                QVERIFY(y.pay(id, 1 + random.bounded(30000), day));
            if (random.bounded(4) == 0)
                QVERIFY(y.impound.release(*y.store.towRecord(id),
                                          Release{"Owner", "", "", day.addDays(1), {}}) ==
                        ImpoundStore::Result::Done);
            else if (random.bounded(5) == 0)
                QVERIFY(y.hold(id, "Agency"));
        }
        qint64 storage = 0, owed = 0, vehicles = 0;
        const auto paid = *y.impound.payments();
        for (qint64 id : ids) {
            const TowRecord record = *y.store.towRecord(id);
            const VehicleStatus status = y.impound.state(record)->status;
            if (status != VehicleStatus::InStorage && status != VehicleStatus::OnHold)
                continue;
            const ChargeFigures f = ChargeFigures::compute(record, y.settings, today);
            ++vehicles;
            storage += ImpoundRules::toCents(f.storage);
            owed += ImpoundRules::balanceCents(f, ImpoundRules::paidCents(paid.value(id)))
                        .value_or(0);
        }
        ReportQueries queries(y.store);
        const std::optional<Report> report = LotReport::build(queries, y.settings, today);
        QVERIFY(report && vehicles > 50);
        QCOMPARE(report->tables.at(0).totals.mid(7), (QVariantList{vehicles, storage, owed}));
    }
};

QTEST_GUILESS_MAIN(ReportsTest)
#include "Reports_test.moc"
