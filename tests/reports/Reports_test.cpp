#include <QMutex>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include <limits>

#include "ChargeFigures.h"
#include "CsvRows.h"
#include "ImpoundRules.h"
#include "ImpoundStore.h"
#include "DeadlinesReport.h"
#include "LienSchedule.h"
#include "LotHistoryReport.h"
#include "LotReport.h"
#include "MoneyReport.h"
#include "PaidByVehicle.h"
#include "PricingStore.h"
#include "ReadingInParts.h"
#include "RecordExport.h"
#include "ReleasesReport.h"
#include "ReportQueries.h"
#include "ReportRunner.h"
#include "StoreFixture.h"
#include "StoreFolder.h"
#include "TestFiles.h"

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

// 24-hour periods: $15 a day (heavy $30) to day 7, then $25 ($40); a $35 admin fee.
PricingPlan weekly()
{
    return PricingPlan{0, "Weekly", false, DayType::Periods, false, 0,
                       {{1, {1500, 2000, 3000, 800}}, {8, {2500, 3000, 4000, 1200}}}, 0, 0, 3500,
                       0, QTime(8, 0), QTime(18, 0), 0x7f, {}, {"Police"}};
}

struct Yard : StoreFixture
{
    StoreFolder database;
    ImpoundStore impound{store};
    PricingStore pricing{store};
    Yard()
    {
        store.open(database.databasePath(), RecordStore::OpenMode::CreateIfMissing);
        // $10 a day, 10 % tax on tow fee and storage.
        settings.write("Fee", "Storage Fee", "10");
        settings.write("Tow Fee", "Taxrate", ".1");
    }
    bool pay(qint64 id, qint64 cents, const QDate &day, const QString &method = "Card",
             qint64 refundOf = 0)
    {
        return impound.addPayment(*store.towRecord(id),
                                  Payment{cents, method, "", day, {}, "ann", refundOf}) ==
               ImpoundStore::Result::Done;
    }
    // With `keep`, the bill its sheet gives on the day of the release is kept.
    bool release(qint64 id, const QDate &day, bool keep = false)
    {
        TowRecord out = *store.towRecord(id);
        out.set(TowField::towedrelease, day.toString("M/d/yyyy"));
        const auto bill = keep ? std::optional(ChargeFigures::compute(
                                     out, settings, day, *pricing.stayOf(out, QTime(0, 0))))
                               : std::nullopt;
        return impound.release(*store.towRecord(id), Release{"Owner", "", "", day, {}}, bill) ==
               ImpoundStore::Result::Done;
    }
    bool onPlan(qint64 id, qint64 planId, bool heavy) // towed at 14:30; heavy, or by hookup
    {
        const auto vehicleClass = heavy ? std::optional(VehicleClass::Heavy) : std::nullopt;
        return pricing.setVehiclePricing(id, {planId, vehicleClass, QTime(14, 30)}) ==
               PricingStore::Result::Done;
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

    // Each vehicle's payments add up, refunds and all, whatever order the payments and the
    // vehicles asked for come in (an order that steps back often enough takes a hash).
    // Sums by vehicle, kept in an array for the yard's numbers and in a hash for the others:
    // numbers inside, below and above the range given, one too wide for an array, none.
    void paidByVehicle_data()
    {
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<qint64>("lowest"); // of the numbers paid for
        QTest::addColumn<qint64>("highest");
        QTest::newRow("array") << qint64(1) << qint64(12000) << qint64(1) << qint64(12000);
        QTest::newRow("array and hash") << qint64(3000) << qint64(9000) << qint64(1)
                                        << qint64(12000);
        QTest::newRow("far apart") << qint64(-(qint64(1) << 40)) << (qint64(1) << 40)
                                   << qint64(1) << qint64(12000);
        QTest::newRow("no vehicle") << qint64(1) << qint64(0) << qint64(1) << qint64(12000);
    }
    void paidByVehicle()
    {
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QFETCH(qint64, lowest);
        QFETCH(qint64, highest);
        QRandomGenerator random(quint32(first + last));
        QMap<qint64, qint64> expected;
        PaidByVehicle paid(first, last);
        for (int i = 0; i < 20000; ++i) {
            const qint64 vehicle = lowest + random.bounded(int(highest - lowest + 1));
            const qint64 cents = qint64(random.bounded(60000)) - 10000;
            expected[vehicle] += cents;
            paid.add(vehicle, cents);
        }
        paid.finish();
        int unpaid = 0;
        for (qint64 vehicle = lowest - 1; vehicle <= highest + 1; ++vehicle) {
            if (paid.of(vehicle) != expected.value(vehicle))
                QFAIL(qPrintable(QString("vehicle %1: %2, not %3")
                                     .arg(vehicle)
                                     .arg(paid.of(vehicle))
                                     .arg(expected.value(vehicle))));
            unpaid += !expected.contains(vehicle);
        }
        QVERIFY(unpaid > 100); // vehicles without a payment were asked for too
    }

    // A database held in memory is read by this thread alone: a copy of its connection would
    // open another, empty one.
    void inMemoryReadByOneReader()
    {
        RecordStore memory;
        QVERIFY(memory.open(":memory:", RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(towed(memory, "Lot", "1/5/2028", "10") > 0);
        ReportQueries queries(memory);
        QVERIFY(queries.readingCopySource().isEmpty());
        Yard y;
        QVERIFY(!ReportQueries(y.store).readingCopySource().isEmpty());
    }

    // The runs of ids a yard is read in: one after another from the first id to the last, each
    // at most as long as asked, and never more than a few hundred, however far apart the ids.
    void runsOfIds_data()
    {
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<qint64>("perPart");
        QTest::addColumn<int>("runs");
        const qint64 most = std::numeric_limits<qint64>::max();
        QTest::newRow("one id a run") << qint64(1) << qint64(150) << qint64(1) << 150;
        QTest::newRow("a short last run") << qint64(1) << qint64(1000000) << qint64(65536) << 16;
        QTest::newRow("a single id") << qint64(5) << qint64(5) << qint64(65536) << 1;
        QTest::newRow("none") << qint64(1) << qint64(0) << qint64(65536) << 0;
        QTest::newRow("far apart") << qint64(1) << qint64(1000000000000000) << qint64(65536) << 256;
        QTest::newRow("every id there is") << -most - 1 << most << qint64(65536) << 256;
        QTest::newRow("up to the largest") << most - 10 << most << qint64(4) << 3;
    }
    void runsOfIds()
    {
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QFETCH(qint64, perPart);
        QFETCH(int, runs);
        const auto got = ReadingInParts::runsOf({first, last}, YardReading{perPart, 0});
        QCOMPARE(int(got.size()), runs);
        for (size_t i = 0; i < got.size(); ++i) {
            QVERIFY(got[i].first <= got[i].last);
            QCOMPARE(got[i].first, i == 0 ? first : got[i - 1].last + 1);
            const quint64 longest =
                std::max(quint64(perPart), (quint64(last) - quint64(first)) / 256 + 1);
            QVERIFY(quint64(got[i].last) - quint64(got[i].first) < longest);
        }
        if (runs > 0)
            QCOMPARE(got.back().last, last);
        // On as many readers as asked, or by default as the machine has cores: one for one run.
        QCOMPARE(ReadingInParts::readersFor(got.size(), YardReading{perPart, 3}), runs > 1 ? 3 : 1);
        QCOMPARE(ReadingInParts::readersFor(got.size(), YardReading{perPart, 0}),
                 runs > 1 ? ReadingInParts::defaultReaders() : 1);
        QVERIFY(ReadingInParts::defaultReaders() >= 1 && ReadingInParts::defaultReaders() <= 4);
    }

    // Parts handed out to this thread and to helpers, each helper on a copy of the connection
    // of its own: every part read once; after a part fails, its error is the run's and no part
    // starts; a cancelled run stops too.
    void readingInParts_data()
    {
        QTest::addColumn<int>("failing"); // the part that fails; -1 for none
        QTest::addColumn<int>("cancelling"); // the part that cancels; -1 for none
        QTest::addColumn<int>("readerCount");
        QTest::newRow("every part") << -1 << -1 << 3;
        QTest::newRow("one reader") << -1 << -1 << 1;
        QTest::newRow("a part fails") << 12 << -1 << 3;
        QTest::newRow("cancelled") << -1 << 12 << 3;
    }
    void readingInParts()
    {
        QFETCH(int, failing);
        QFETCH(int, cancelling);
        QFETCH(int, readerCount);
        Yard y;
        towed(y.store, "Lot", "1/5/2028", "10");
        ReportQueries queries(y.store);
        constexpr int kParts = 60;
        const int kReaders = readerCount;
        std::atomic<bool> cancel{false};
        QMutex lock;
        QList<int> read, readers;
        int readAfterTheEnd = 0;
        const qint64 firstId = queries.vehicleIds().value_or(ReportQueries::IdRange{}).first;
        const bool done = ReadingInParts::read(
            queries, kParts, kReaders,
            [&](ReportQueries &through, int part, int reader) {
                // A helper's copy sees the same database.
                const auto ids = through.vehicleIds();
                const bool sameVehicles = ids && ids->first == firstId && firstId > 0;
                QThread::msleep(5); // long enough for the helpers to open their copies
                const QMutexLocker locked(&lock);
                readAfterTheEnd += (failing >= 0 && read.contains(failing)) ||
                                   (cancelling >= 0 && read.contains(cancelling));
                read << part;
                readers << reader;
                if (part == cancelling)
                    cancel = true;
                if (part == failing || !sameVehicles || (reader == 0) != (&through == &queries)) {
                    through.setError(DbError{7, QString("part %1 failed").arg(part)});
                    return false;
                }
                return true;
            },
            &cancel);
        std::sort(read.begin(), read.end());
        QCOMPARE(done, failing < 0 && cancelling < 0);
        QCOMPARE(queries.lastError().description,
                 failing >= 0 ? QString("part %1 failed").arg(failing) : QString());
        QVERIFY(std::adjacent_find(read.begin(), read.end()) == read.end()); // each once
        if (done) {
            QCOMPARE(read.size(), kParts);
            QCOMPARE(read.last(), kParts - 1);
        } else {
            // Only parts already begun on the other readers end after it (with room for one
            // taken just before the failure was seen).
            QVERIFY2(readAfterTheEnd <= 2 * (kReaders - 1) && read.size() < 20,
                     qPrintable(QString("%1 read, %2 after").arg(read.size()).arg(readAfterTheEnd)));
        }
        QVERIFY(*std::max_element(readers.begin(), readers.end()) < kReaders);
        // The helpers read their share; with one reader, this thread reads every part.
        QVERIFY(readers.contains(0) && readers.contains(1) == (kReaders > 1));
    }

    // The yard's rows: every vehicle without a release date, and one with a release date typed
    // while its kept status is any but released, sold and disposed (words next to those three
    // included), each once; of them, in the yard, every one whose kept status is not one of
    // the three. A vehicle kept as on hold comes with its standing hold's agency (a cleared
    // hold's is not), whatever its release date. The bare aggregate of the same statements
    // counts the same rows.
    void yardRowsByStatus()
    {
        Yard y;
        QList<qint64> inYard; // of them, those in storage or on hold
        const QStringList words = {"", "hold", "disposed", "released", "sold", "dispose",
                                   "disposes", "releasec", "releasee", "sol", "solda", "ZZ"};
        QList<qint64> expected;
        QSqlQuery query(y.store.database());
        for (const QString &word : words) {
            for (const bool typed : {false, true}) {
                const qint64 id = towed(y.store, "Lot", "1/5/2028", "10");
                if (typed) {
                    TowRecord record = *y.store.towRecord(id);
                    record.set(TowField::towedrelease, "2/1/2028");
                    QVERIFY(y.store.updateTowRecord(record));
                }
                QVERIFY(query.prepare("INSERT INTO impound_status (vehicle_id, status) "
                                      "VALUES (?, ?)"));
                query.addBindValue(id);
                query.addBindValue(word);
                QVERIFY(query.exec());
                // Every vehicle has two cleared holds (named to come first); one kept as on
                // hold, a standing one too.
                QStringList holds = {"(by)", "Clerk", "", "(on)", "", "2028-02-02"};
                if (word == "hold")
                    holds << QString("Agency %1").arg(id) << "" << "";
                for (qsizetype at = 0; at < holds.size(); at += 3) {
                    QVERIFY(query.prepare("INSERT INTO impound_holds (vehicle_id, agency, "
                                          "cleared_by, cleared_on) VALUES (?, ?, ?, ?)"));
                    query.addBindValue(id);
                    for (qsizetype c = at; c < at + 3; ++c)
                        query.addBindValue(holds.at(c));
                    QVERIFY(query.exec());
                }
                const bool out = QStringList{"disposed", "released", "sold"}.contains(word);
                if (!typed || !out)
                    expected << id;
                if (!out)
                    inYard << id;
            }
        }
        // The same from a file of an older schema, without the index of the vehicles with a
        // blank release date (opened only to read, it is not brought up to date).
        ReportQueries queries(y.store);
        for (const bool indexed : {true, false}) {
            QVERIFY(indexed || query.exec("DROP INDEX wrecker_unreleased"));
            QList<qint64> rows, kept;
            QStringList agencies;
            QVERIFY2(queries.yardVehicles([&](const ReportRow &row) {
                rows << row.integer(6);
                if (LotReport::inYard(row))
                    kept << row.integer(6);
                if (!row.isNull(5))
                    agencies << QString("%1 %2").arg(row.integer(6)).arg(
                                    QString::fromUtf8(row.cells[5]));
            }),
                     qPrintable(queries.lastError().description));
            std::sort(rows.begin(), rows.end());
            std::sort(kept.begin(), kept.end());
            QCOMPARE(rows, expected);
            QCOMPARE(kept, inYard);
            // The two vehicles kept as on hold: the second and third made.
            agencies.sort();
            const qint64 held = expected.at(2);
            QCOMPARE(agencies, QStringList({QString("%1 Agency %1").arg(held),
                                            QString("%1 Agency %1").arg(held + 1)}));
            const auto ids = queries.vehicleIds();
            QVERIFY(ids);
            QCOMPARE(queries.bareYardRowsAggregate(*ids), qint64(words.size()));
            QCOMPARE(queries.bareYardRowsAggregate(ReportQueries::IdRange{ids->first + 2,
                                                                          ids->first + 3}),
                     qint64(1));
            QCOMPARE(queries.bareYardRowsAggregate(std::nullopt),
                     qint64(expected.size() - words.size()));
        }
        // A database that cannot be read gives no rows and says why, not an empty yard.
        y.store.close();
        QVERIFY(!queries.yardVehiclesReleaseTyped([](const ReportRow &) {}));
        QCOMPARE(queries.lastError().number, DbError::kNotOpen);
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
        QVERIFY(y.pay(a1, -2000, today, "Cash", y.impound.payments()->value(a1).value(0).id));
        QVERIFY(y.release(a3, today));
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

        // Lien steps at 10 and 30 days; 3/1/2028 is a Wednesday. B2's first notice was
        // printed, A2's too (overdue and done: not listed); B3 has no date to count from.
        QVERIFY(LienSchedule::write(y.settings, {{"First notice", 10}, {"Second notice", 30}}));
        QVERIFY(y.impound.markStepDone(b2, "First notice", today) == ImpoundStore::Result::Done &&
                y.impound.markStepDone(a1 + 1, "First notice", QDate(2028, 2, 9)) ==
                    ImpoundStore::Result::Done);
        const std::optional<Report> due = DeadlinesReport::build(queries, y.settings, today);
        QVERIFY(due);
        const QString car = ",1999 FORD TAURUS RED,";
        QCOMPARE(QString::fromUtf8(due->csv()).split("\r\n"),
                 QString("Lien steps by week\r\nStep,Overdue,This week,Next week,Notices printed\r\n"
                         "First notice,2,1,1,1\r\nSecond notice,3,0,0,0\r\nTotal,5,1,1,1\r\n\r\n"
                         "Steps due\r\nDue,When,Step,Vehicle,Group,Notice printed\r\n"
                         "2027-12-11,Overdue,First notice" + car + "Lot B,No\r\n"
                         "2027-12-12,Overdue,First notice" + car + ",No\r\n"
                         "2027-12-31,Overdue,Second notice" + car + "Lot B,No\r\n"
                         "2028-01-01,Overdue,Second notice" + car + ",No\r\n"
                         "2028-02-29,Overdue,Second notice" + car + "Lot A,No\r\n"
                         "2028-03-03,This week,First notice" + car + "Lot B,2028-03-01\r\n"
                         "2028-03-10,Next week,First notice" + car + "Lot A,No\r\n\r\n")
                     .split("\r\n"));
        QCOMPARE(due->chart->series.value(1).second, (QList<double>{0, 1, 0}));

        // In storage at the end of each day: A3 came and went on 3/1; B3 is not counted; one
        // towed on the leap day with a release date no one can read stays.
        TowRecord unread = vehicleRecord("Lot C");
        unread.set(TowField::toweddate, "2/29/2028");
        unread.set(TowField::towedrelease, "soon");
        QVERIFY(y.store.addTowRecord(unread));
        const auto days = LotHistoryReport::build(queries, QDate(2028, 2, 28), today, today);
        QVERIFY(days);
        QCOMPARE(QString::fromUtf8(days->csv()),
                 QString("Vehicles in storage at the end of each day\r\nDay,In storage,Towed in,"
                         "Left\r\n2028-02-28,4,0,0\r\n2028-02-29,6,2,0\r\n2028-03-01,6,1,1\r\n"
                         "Total,,3,1\r\n\r\n"));
        QCOMPARE(days->notes, (QStringList{"1 vehicle(s) have no tow date that can be read: they "
                                           "are not counted.",
                                           "1 vehicle(s) have a release date that cannot be read: "
                                           "they are counted as still in the yard."}));
        const auto months = LotHistoryReport::build(queries, QDate(2027, 12, 1), today, today);
        QVERIFY(months && months->chart->kind == ReportChart::Kind::Lines);
        QCOMPARE(months->chart->categories, (QStringList{"2027-12", "2028-01", "2028-02", "2028-03"}));
        QCOMPARE(months->chart->series.value(0).second, (QList<double>{2, 3, 6, 6}));

        // An empty yard: every table has its totals of nothing.
        Yard empty;
        ReportQueries none(empty.store);
        const std::optional<Report> nothing = LotReport::build(none, empty.settings, today);
        QVERIFY(nothing && nothing->notes.isEmpty() && nothing->tables.at(0).rows.isEmpty());
        QCOMPARE(nothing->tables.at(2).totals, (QVariantList{"Total", 0, 0, 0}));
        // Pricing tables that cannot be read give no report, and say why.
        PricingPlan plan = weekly();
        QVERIFY(empty.pricing.savePlan(plan) == PricingStore::Result::Done &&
                QSqlQuery(empty.store.database()).exec("DROP TABLE vehicle_pricing"));
        QVERIFY(!LotReport::build(none, empty.settings, today) &&
                !MoneyReport::build(none, empty.settings, today, today, today) &&
                !ReleasesReport::build(none, empty.settings, today, today, today));
        QCOMPARE(none.lastError().doing, "reading the vehicles' pricing");
    }

    // More steps overdue than the list names: it names the longest overdue, then those due.
    // 51 vehicles towed a day apart from 1/1/2027, 20 steps at days 1 to 20: 1020 overdue on
    // 3/1/2028, due 1/2 to 3/12/2027. Left out are the 20 newest: 15 due 3/8 to 3/12 and 5
    // of the 6 due 3/7, so the last named is the first vehicle's of 3/7 (towed 2/15, S20).
    // One towed 2/29/2028 has S1 to S5 due this week and S6 to S12 next week; so has one
    // towed that day in Lot Z, listed after it on each day. Another in Lot Z, towed on the day
    // of the report, has S1 to S4 this week and S5 to S11 next week (its S1 after their S2),
    // and is in the lot's first band.
    void deadlinesNameTheLongestOverdue()
    {
        Yard y;
        QList<LienStep> schedule;
        for (int s = 1; s <= LienSchedule::kMaxSteps; ++s)
            schedule << LienStep{QString("S%1").arg(s), s};
        QVERIFY(LienSchedule::write(y.settings, schedule));
        for (int k = 0; k <= 51; ++k) {
            const QDate day = k < 51 ? QDate(2027, 1, 1).addDays(k) : QDate(2028, 2, 29);
            QVERIFY(towed(y.store, "", day.toString("M/d/yyyy"), "10") > 0);
        }
        const qint64 leapDay = towed(y.store, "Lot Z", "2/29/2028", "10");
        QVERIFY(leapDay > 0 && towed(y.store, "Lot Z", "3/1/2028", "10") > 0);
        // Two notices of one vehicle printed: both are kept, each with its day.
        for (const char *step : {"S1", "S2"})
            QVERIFY(y.impound.markStepDone(leapDay, step, QDate(2028, 2, 29)) ==
                    ImpoundStore::Result::Done);
        ReportQueries queries(y.store);
        const auto due = DeadlinesReport::build(queries, y.settings, QDate(2028, 3, 1));
        QVERIFY(due);
        const QStringList lines = QString::fromUtf8(due->csv()).split("\r\n");
        const QStringList overdue = lines.filter(QRegularExpression("^2027-.*,Overdue,"));
        const qsizetype last = lines.indexOf(overdue.last());
        QCOMPARE(QStringList({QString::number(due->tables.at(1).rows.size()), overdue.last(),
                              lines.value(last + 1), lines.value(last + 2), lines.value(last + 3),
                              lines.value(last + 4), lines.value(last + 5),
                              lines.filter(QRegularExpression("^Total,")).value(0),
                              due->notes.join('|')}),
                 QStringList({"1035", "2027-03-07,Overdue,S20,1999 FORD TAURUS RED,,No",
                              "2028-03-01,This week,S1,1999 FORD TAURUS RED,,No",
                              "2028-03-01,This week,S1,1999 FORD TAURUS RED,Lot Z,2028-02-29",
                              "2028-03-02,This week,S2,1999 FORD TAURUS RED,,No",
                              "2028-03-02,This week,S2,1999 FORD TAURUS RED,Lot Z,2028-02-29",
                              "2028-03-02,This week,S1,1999 FORD TAURUS RED,Lot Z,No",
                              "Total,1020,14,21,2",
                              "The list names the 1000 longest overdue of 1020 overdue steps; the "
                              "counts hold them all."}));
        // A tow date whose year is a slip ("0206") is no usable date, not centuries in storage;
        // nor is one kept on hold with a release date typed on it made usable by that date.
        QVERIFY(towed(y.store, "Lot Z", "1/5/0206", "10") > 0);
        const qint64 keptUndated = towed(y.store, "Lot Z", "soon", "10");
        TowRecord typedRelease = *y.store.towRecord(keptUndated);
        typedRelease.set(TowField::towedrelease, "2/20/2028");
        QVERIFY(y.hold(keptUndated, "Sheriff") && y.store.updateTowRecord(typedRelease));
        const auto lot = LotReport::build(queries, y.settings, QDate(2028, 3, 1));
        QVERIFY(lot);
        QStringList bands;
        for (const QVariantList &row : lot->tables.at(1).rows)
            bands << row.value(0).toString() + ": " + row.value(1).toString();
        QCOMPARE(bands, (QStringList{"0-7 days: 3", "8-30 days: 0", "31-60 days: 0",
                                     "61-90 days: 0", "Over 90 days: 51", "No usable tow date: 2"}));
    }

    // On a generated yard (a third of it and group G1 on a plan), the lot's storage and balance
    // are the sums of every sheet's figures (balance as the impound window shows) in the yard.
    void lotEqualsSumOfSheets()
    {
        Yard y;
        y.settings.write("Fee", "Storage Fee", "12.35");
        y.settings.write("Tow Fee", "Taxrate", "0.0725");
        const QDate today(2027, 6, 15);
        QRandomGenerator random(20271);
        PricingPlan plan = weekly();
        QCOMPARE(y.pricing.savePlan(plan), PricingStore::Result::Done);
        QCOMPARE(y.pricing.setGroupPlan(y.store.addGroup("G1").value_or(-1), plan.id),
                 PricingStore::Result::Done);
        QList<qint64> ids;
        QList<std::pair<qint64, QDate>> payments; // made last, in no order of the vehicles
        for (int i = 0; i < 150; ++i) {
            const QDate day = today.addDays(-random.bounded(400));
            const QString fee = random.bounded(10) == 0
                                    ? QString("n/a")
                                    : QString::number(random.bounded(50000) / 100.0, 'f', 2);
            const qint64 id = towed(y.store, QString("G%1").arg(random.bounded(4)),
                                    day.toString("M/d/yyyy"), fee);
            ids << id;
            // A plan prices by the hookup typed where the vehicle's pricing names no class.
            TowRecord hooked = *y.store.towRecord(id);
            hooked.set(TowField::Hookup, QStringList{"Light", "Medium", "Heavy"}[random.bounded(3)]);
            QVERIFY(y.store.updateTowRecord(hooked));
            QVERIFY(random.bounded(3) > 0 || y.onPlan(id, plan.id, random.bounded(2)));
            for (int n = random.bounded(3) == 0 ? 1 + random.bounded(2) : 0; n > 0; --n)
                payments.append({id, day});
            if (random.bounded(4) == 0)
                QVERIFY(y.release(id, day.addDays(1)));
            else if (random.bounded(4) == 0) {
                QVERIFY(y.hold(id, random.bounded(3) == 0 ? "Sheriff" : "Agency"));
                // Kept in the yard with a release date typed on it: its sheet counts to that day.
                TowRecord typed = *y.store.towRecord(id);
                typed.set(TowField::towedrelease, day.addDays(random.bounded(40)).toString("M/d/yyyy"));
                QVERIFY(random.bounded(3) == 0 || y.store.updateTowRecord(typed));
            }
        }
        for (qsizetype i = payments.size() - 1; i > 0; --i)
            payments.swapItemsAt(i, random.bounded(i + 1));
        for (const auto &[id, day] : payments)
            QVERIFY(y.pay(id, 1 + random.bounded(30000), day));
        QVariantList expected(6, qint64(0)); // by the band of the sheet's days
        qint64 storage = 0, owed = 0, vehicles = 0;
        const auto paid = *y.impound.payments();
        for (qint64 id : ids) {
            const TowRecord record = *y.store.towRecord(id);
            const VehicleStatus status = y.impound.state(record)->status;
            if (status != VehicleStatus::InStorage && status != VehicleStatus::OnHold)
                continue;
            const ChargeFigures f = ChargeFigures::compute(record, y.settings, today,
                                                           *y.pricing.stayOf(record, QTime(0, 0)));
            ++vehicles;
            expected[LotReport::bandOf(f.days)] = expected[LotReport::bandOf(f.days)].toLongLong() + 1;
            storage += ImpoundRules::toCents(f.storage);
            owed += ImpoundRules::balanceCents(f, ImpoundRules::paidCents(paid.value(id)))
                        .value_or(0);
        }
        ReportQueries queries(y.store);
        const std::optional<Report> report = LotReport::build(queries, y.settings, today);
        QVERIFY(report && vehicles > 50);
        QCOMPARE(report->tables.at(0).totals.mid(1), expected << vehicles << storage << owed);

        // Read in parts, on several readers at once or one, the lot, the lien deadlines and the
        // lot over time are the same to the byte: each group, band, agency, step and day,
        // whichever part met it first.
        QVERIFY(LienSchedule::write(y.settings, {{"First notice", 10}, {"Second notice", 30}}));
        for (qint64 id : ids)
            QVERIFY(random.bounded(3) > 0 ||
                    y.impound.markStepDone(id, "First notice", today.addDays(-random.bounded(60))) ==
                        ImpoundStore::Result::Done);
        const std::optional<Report> due = DeadlinesReport::build(queries, y.settings, today);
        const QDate yearAgo = today.addYears(-1);
        const std::optional<Report> history = LotHistoryReport::build(queries, yearAgo, today, today);
        QVERIFY(due && due->tables.at(1).rows.size() > 20 && history);
        for (const YardReading reading : {YardReading{1, 3}, YardReading{7, 2}, YardReading{40, 1}}) {
            const std::optional<Report> inParts =
                LotReport::build(queries, y.settings, today, nullptr, reading);
            const std::optional<Report> dueInParts =
                DeadlinesReport::build(queries, y.settings, today, nullptr, reading);
            const std::optional<Report> historyInParts =
                LotHistoryReport::build(queries, yearAgo, today, today, nullptr, reading);
            QVERIFY(inParts && dueInParts && historyInParts);
            QCOMPARE(inParts->csv(), report->csv());
            QCOMPARE(dueInParts->csv(), due->csv());
            QCOMPARE(historyInParts->csv(), history->csv());
        }

        // A vehicle numbered far beyond the others: no array spans them, so its payments and
        // steps done are found by number in a hash, and the yard is read in at most 256 runs.
        // It counts as any other: its sheet's storage and balance, its second notice overdue.
        const qint64 far = 5000000000000;
        QVERIFY(QSqlQuery(y.store.database())
                    .exec(QString("INSERT INTO wrecker (id, groupname, toweddate, towedfee) "
                                  "VALUES (%1, 'G9', '%2', '100')")
                              .arg(far)
                              .arg(today.addDays(-100).toString("M/d/yyyy"))));
        QVERIFY(y.pay(far, 2500, today) &&
                y.impound.markStepDone(far, "First notice", today.addDays(-80)) ==
                    ImpoundStore::Result::Done);
        const TowRecord farRecord = *y.store.towRecord(far);
        const ChargeFigures farSheet = ChargeFigures::compute(
            farRecord, y.settings, today, *y.pricing.stayOf(farRecord, QTime(0, 0)));
        const std::optional<Report> withFar = LotReport::build(queries, y.settings, today);
        const std::optional<Report> dueWithFar = DeadlinesReport::build(queries, y.settings, today);
        QVERIFY(withFar && dueWithFar);
        QCOMPARE(withFar->tables.at(0).totals.mid(7),
                 (QVariantList{vehicles + 1, storage + ImpoundRules::toCents(farSheet.storage),
                               owed + *ImpoundRules::balanceCents(farSheet, 2500)}));
        const auto overdue = [](const Report &r, int step) {
            return r.tables.at(0).rows.at(step).at(1).toLongLong();
        };
        QCOMPARE(QList<qint64>({overdue(*dueWithFar, 0), overdue(*dueWithFar, 1)}),
                 QList<qint64>({overdue(*due, 0), overdue(*due, 1) + 1}));
        QCOMPARE(LotReport::build(queries, y.settings, today, nullptr, YardReading{1, 1})->csv(),
                 withFar->csv());
    }

    // The runner figures a report on a connection of its own, the same as here; a report
    // replaced or cancelled never arrives, and one waiting on the server stops when cancelled.
    void runnerFiguresAndCancels()
    {
        Yard y;
        const QDate today(2028, 3, 1);
        QVERIFY(y.pay(towed(y.store, "Lot", "2/1/2028", "100"), 2500, today));
        ReportQueries queries(y.store);
        const QByteArray here = LotReport::build(queries, y.settings, today)->csv();
        ReportRunner runner(y.store);
        QByteArrayList arrived;
        QObject::connect(&runner, &ReportRunner::finished,
                         [&](const std::optional<Report> &report, const DbError &error) {
                             arrived << (report ? report->csv() : error.description.toUtf8());
                         });
        const auto lot = [&](ReportQueries &q, const std::atomic<bool> *cancel) {
            return LotReport::build(q, y.settings, today, cancel);
        };
        std::atomic<bool> waiting = false;
        runner.start([&](ReportQueries &q, const std::atomic<bool> *cancel) {
            for (int waited = 0; !*cancel && waited < 5000; ++waited) // ms
                waiting = true, QThread::msleep(1);
            return lot(q, nullptr);
        });
        QTRY_VERIFY(waiting);
        runner.start(lot);
        QTRY_VERIFY_WITH_TIMEOUT(!runner.isRunning() && !runner.isBusy(), 2000);
        QCOMPARE(arrived, QByteArrayList{here});
        if (!y.store.isServer())
            return;
        RecordStore locker;
        QVERIFY(locker.open(y.store.path(), RecordStore::OpenMode::ExistingOnly));
        QSqlQuery lock(locker.database());
        QVERIFY(lock.exec("BEGIN") && lock.exec("LOCK TABLE impound_payments"));
        runner.start(lot);
        QTest::qWait(300);
        runner.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(!runner.isBusy(), 2000);
        QVERIFY(lock.exec("ROLLBACK"));
        QCOMPARE(arrived.size(), 1);
    }

    // Worked by hand at $10 a day and 10 % tax, from 2/28 to 3/2/2028:
    //  R1 towed 2/28 ($100), released on the leap day: 1 day, 100 + 10 + 11 = $121, paid by
    //     card that day; $10 of it refunded in cash on 3/2.
    //  R2 towed 3/1 ($50) and released that day: 0 days, 50 + 5 = $55, paid in cash on 3/2.
    //  S1 towed 1/1 ($200), sold 3/1: 60 days, 200 + 600 + 80 = $880.
    //  R3 released 3/3 and D1 disposed of 3/1: nothing billed in the range.
    //  R4 released 2/27 ($30), paid $20 in cash on 2/28: received, not billed.
    void moneyOnHandMadeYard()
    {
        Yard y;
        const QDate today(2028, 3, 5), from(2028, 2, 28), to(2028, 3, 2);
        const qint64 r1 = towed(y.store, "Lot", "2/28/2028", "100");
        const qint64 r2 = towed(y.store, "Lot", "3/1/2028", "50");
        const qint64 s1 = towed(y.store, "Lot", "1/1/2028", "200");
        const qint64 r3 = towed(y.store, "Lot", "2/1/2028", "10");
        const qint64 d1 = towed(y.store, "Lot", "2/1/2028", "10");
        const qint64 r4 = towed(y.store, "Lot", "2/20/2028", "30");
        QVERIFY(y.release(r1, QDate(2028, 2, 29)) && y.release(r2, QDate(2028, 3, 1)) &&
                y.release(r3, QDate(2028, 3, 3)) && y.release(r4, QDate(2028, 2, 27)));
        TowRecord plated = *y.store.towRecord(s1); // its plate shown after its words
        plated.set(TowField::vehtag, " abc 123 ");
        QVERIFY(y.store.updateTowRecord(plated));
        QCOMPARE(y.impound.dispose(*y.store.towRecord(s1), VehicleStatus::Sold, QDate(2028, 3, 1)),
                 ImpoundStore::Result::Done);
        QCOMPARE(y.impound.dispose(*y.store.towRecord(d1), VehicleStatus::Disposed,
                                   QDate(2028, 3, 1)),
                 ImpoundStore::Result::Done);
        QVERIFY(y.pay(r1, 12100, QDate(2028, 2, 29)) && y.pay(r2, 5500, to, "Cash") &&
                y.pay(r3, 1000, QDate(2028, 3, 3)) && y.pay(r4, 2000, from, " cash "));
        QVERIFY(y.pay(r1, -1000, to, "Cash", y.impound.payments()->value(r1).value(0).id));

        ReportQueries queries(y.store);
        const std::optional<Report> report = MoneyReport::build(queries, y.settings, from, to, today);
        QVERIFY(report && report->period == "From 2/28/2028 to 3/2/2028");
        QCOMPARE(QString::fromUtf8(report->csv()).split("\r\n"),
                 QString("Billed by day\r\nDay,Released,Sold,Tow fees,Storage,Fees,Tax,Billed\r\n"
                         "2028-02-29,1,0,100.00,10.00,0.00,11.00,121.00\r\n"
                         "2028-03-01,1,1,250.00,600.00,0.00,85.00,935.00\r\n"
                         "Total,2,1,350.00,610.00,0.00,96.00,1056.00\r\n\r\n"
                         "Received by method\r\nMethod,Payments,Taken,Refunds,Received\r\n"
                         "Card,1,121.00,0.00,121.00\r\nCash,2,75.00,-10.00,65.00\r\n"
                         "Total,3,196.00,-10.00,186.00\r\n\r\n"
                         "Received by day\r\nDay,Payments,Taken,Refunds,Received\r\n"
                         "2028-02-28,1,20.00,0.00,20.00\r\n2028-02-29,1,121.00,0.00,121.00\r\n"
                         "2028-03-02,1,55.00,-10.00,45.00\r\n"
                         "Total,3,196.00,-10.00,186.00\r\n\r\n")
                     .split("\r\n"));
        const ReportChart &chart = *report->chart;
        QCOMPARE(chart.categories, (QStringList{"02-28", "02-29", "03-01", "03-02"}));
        QCOMPARE(chart.series, (QList<QPair<QString, QList<double>>>{
                                   {"Billed", {0, 121, 935, 0}}, {"Received", {20, 121, 0, 45}}}));

        const std::optional<Report> left = ReleasesReport::build(queries, y.settings, from, to, today);
        QVERIFY(left);
        const QString car = ",1999 FORD TAURUS RED,Lot,";
        QCOMPARE(QString::fromUtf8(left->csv()),
                 QString("Vehicles released and sold\r\n"
                         "Day,Left,Vehicle,Group,To whom,ID shown,Clerk,Billed\r\n"
                         "2028-02-29,Released" + car + "Owner,,ann,121.00\r\n"
                         "2028-03-01,Released" + car + "Owner,,ann,55.00\r\n"
                         "2028-03-01,Sold,1999 FORD TAURUS RED (ABC 123),Lot,,,,880.00\r\n"
                         "Total,\"2 released, 1 sold\",,,,,,1056.00\r\n\r\n"));

        // The drawer of 3/2: $55 taken in cash, $10 given back; $40 counted is $5 short.
        const std::optional<Report> drawer = MoneyReport::drawer(queries, to, 4000);
        QVERIFY(drawer);
        QCOMPARE(QString::fromUtf8(drawer->csv()),
                 QString("Cash\r\nLine,Amount\r\nCash payments,55.00\r\n"
                         "Cash refunds,-10.00\r\nCash taken,45.00\r\nCash counted,40.00\r\n"
                         "Short,-5.00\r\n\r\n"));
        // Over a long range the chart goes by month; an empty yard bills and receives nothing.
        Yard empty;
        ReportQueries none(empty.store);
        const auto year = MoneyReport::build(none, empty.settings, QDate(2027, 12, 15), to, today);
        QVERIFY(year && year->tables.at(0).rows.isEmpty());
        QCOMPARE(year->tables.at(1).totals, (QVariantList{"Total", 0, 0, 0, 0}));
        QCOMPARE(year->chart->categories, (QStringList{"2027-12", "2028-01", "2028-02", "2028-03"}));
    }

    // On a generated yard (a third on a plan, half of those released with the bill kept, the
    // plan's fee raised since), the money report over every release and payment equals the sums
    // over the CSV export's rows: tow fees, storage, plan fees, tax, grand total (also the
    // releases report's), and grand total less balance due (what was paid).
    void moneyEqualsSumOfExportRows()
    {
        Yard y;
        y.settings.write("Fee", "Storage Fee", "7.15");
        y.settings.write("Tow Fee", "Taxrate", "0.0825");
        const QDate today(2027, 6, 15), first(2026, 1, 1);
        QRandomGenerator random(8);
        PricingPlan plan = weekly();
        QCOMPARE(y.pricing.savePlan(plan), PricingStore::Result::Done);
        for (int i = 0; i < 120; ++i) {
            const QDate day = first.addDays(random.bounded(400));
            const qint64 id = towed(y.store, "Lot", day.toString("M/d/yyyy"),
                                    QString::number(random.bounded(40000) / 100.0, 'f', 2));
            const QDate out = day.addDays(random.bounded(60));
            const bool priced = random.bounded(3) == 0;
            QVERIFY(!priced || y.onPlan(id, plan.id, random.bounded(2)));
            if (random.bounded(5) == 0)
                QCOMPARE(y.impound.dispose(*y.store.towRecord(id), VehicleStatus::Sold, out),
                         ImpoundStore::Result::Done);
            else
                QVERIFY(y.release(id, out, priced && random.bounded(2)));
            if (random.bounded(2) == 0)
                QVERIFY(y.pay(id, 1 + random.bounded(50000), out.addDays(random.bounded(3))));
        }
        plan.adminFeeCents = 6000;
        QCOMPARE(y.pricing.savePlan(plan), PricingStore::Result::Done);
        const QString csv = y.dir.file("all.csv");
        RecordExport::Options options;
        options.today = today;
        QCOMPARE(RecordExport::write(y.database.databasePath(), ExportSelection::all(),
                                     y.settings, csv, options)
                     .outcome,
                 RecordExport::Outcome::Done);
        const QList<QStringList> rows = csvRows(readFile(csv));
        // Storage, tax, grand total and paid, in cents.
        QVariantList sums;
        for (const char *column : {"Storage charge", "Tax", "Grand total"}) {
            qint64 sum = 0;
            for (const QString &cell : csvColumn(rows, column))
                sum += qRound64(cell.toDouble() * 100);
            sums << sum;
        }
        const QStringList totals = csvColumn(rows, "Grand total");
        const QStringList due = csvColumn(rows, "Balance due");
        qint64 paid = 0;
        for (int r = 0; r < totals.size(); ++r)
            paid += qRound64(totals.at(r).toDouble() * 100) - ImpoundRules::readCents(due.at(r)).value_or(0);
        // The tow fees typed, and the plans' fees: what the grand totals hold beyond the rest.
        qint64 towFees = 0;
        for (const QString &cell : csvColumn(rows, "towedfee"))
            towFees += qRound64(cell.toDouble() * 100);
        const qint64 fees = sums.at(2).toLongLong() - towFees - sums.at(0).toLongLong() -
                            sums.at(1).toLongLong();

        ReportQueries queries(y.store);
        const auto report = MoneyReport::build(queries, y.settings, first, today, today);
        const auto left = ReleasesReport::build(queries, y.settings, first, today, today);
        QVERIFY(report && left && rows.size() == 121);
        const QVariantList &billed = report->tables.at(0).totals;
        QVERIFY(fees > 0);
        QCOMPARE(billed.mid(3) << report->tables.at(1).totals.value(4)
                 << left->tables.at(0).totals.value(7),
                 (QVariantList{towFees, sums.at(0), fees, sums.at(1), sums.at(2), paid, sums.at(2)}));
    }
};

QTEST_GUILESS_MAIN(ReportsTest)
#include "Reports_test.moc"
