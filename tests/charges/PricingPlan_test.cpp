// Pricing plans: bills of worked stays under three fee schedules, and Standard against the
// flat figures of the settings on generated records.
#include <QRandomGenerator>
#include <QTest>

#include <functional>

#include "ChargeFigures.h"
#include "DateText.h"
#include "MoneyFormat.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "TestFolder.h"

using namespace tarnvale;

namespace {

// Written by hand from general kinds of published schedules.
PricingPlan plan(const QString &name)
{
    PricingPlan p;
    p.name = name;
    if (name == "city") { // a city towing ordinance: per 24-hour period or part of one
        p.dayType = DayType::Periods;
        p.tiers = {{1, {3500, 4500, 7500, 2000}}};
        p.afterHoursFeeCents = 5000; // released outside 9:00-17:00 Monday to Friday
        p.opens = QTime(9, 0), p.closes = QTime(17, 0), p.openDays = 0x1f;
    } else if (name == "county") { // a county police-rotation contract: per calendar day
        p.towDayCounts = true;     // counting the day of the tow, free if claimed within 24 hours
        p.graceHours = 24;
        p.tiers = {{1, {2500, 3500, 6000, 1500}}, {11, {3500, 4500, 8000, 2000}}};
        p.capDays = 30, p.adminFeeCents = 4000;
        p.lienFees = {{"Lien notice", 15, 7000}, {"Lien sale", 30, 10000}};
    } else if (name == "huge") { // rates no bill can hold
        p.tiers = {{1, {kMaxMoneyCents - 1, 1, 1, 1}}};
    } else if (name == "private") { // a state's private-property tow: $20 a day, $200 at most
        p.tiers = {{1, {2000, 2000, 2000, 2000}}}, p.capCents = 20000;
    } else {
        p = PricingPlan::standard();
    }
    return p;
}

} // namespace

class PricingPlanTest : public QObject
{
    Q_OBJECT

  private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void bills_data()
    {
        QTest::addColumn<QString>("stay"); // plan class|towed|released ("" still held)
        QTest::addColumn<QString>("bill"); // days | storage and fee lines | grand total
        // Tow fee $100.00, tax 8 %, Storage Fee 10, in Chicago; today Sun 12/6/2026 21:00.
        // clang-format off
        QTest::newRow("worked example") << "city 0|3/13/2026 23:10|3/16/2026 08:30" << "3|Storage 3x3500=10500, After-hours release 1x5000=5000|$275.40";
        QTest::newRow("24 hours are one period") << "city 0|3/17/2026 10:00|3/18/2026 10:00" << "1|Storage 1x3500=3500|$145.80";
        QTest::newRow("a minute more, two") << "city 0|3/17/2026 10:00|3/18/2026 10:01" << "2|Storage 2x3500=7000|$183.60";
        QTest::newRow("motorcycle") << "city 3|3/17/2026 10:00|3/18/2026 10:01" << "2|Storage 2x2000=4000|$151.20";
        QTest::newRow("DST begins: 47.5 hours") << "city 0|3/7/2026 10:00|3/9/2026 10:30" << "2|Storage 2x3500=7000|$183.60";
        QTest::newRow("towed in the hour DST skips") << "city 0|3/8/2026 02:30|3/9/2026 10:00" << "2|Storage 2x3500=7000|$183.60";
        QTest::newRow("released in the hour DST skips") << "city 0|3/7/2026 10:00|3/8/2026 02:30" << "1|Storage 1x3500=3500, After-hours release 1x5000=5000|$199.80";
        QTest::newRow("DST ends: 48.5 hours") << "city 0|10/31/2026 11:00|11/2/2026 10:30" << "3|Storage 3x3500=10500|$221.40";
        QTest::newRow("leap day, periods") << "city 1|2/28/2024 12:00|3/1/2024 12:00" << "2|Storage 2x4500=9000|$205.20";
        QTest::newRow("opening minute is open") << "city 0|3/17/2026 10:00|3/18/2026 09:00" << "1|Storage 1x3500=3500|$145.80";
        QTest::newRow("minute before opening") << "city 0|3/17/2026 10:00|3/18/2026 08:59" << "1|Storage 1x3500=3500, After-hours release 1x5000=5000|$199.80";
        QTest::newRow("closing minute is closed") << "city 0|3/17/2026 10:00|3/17/2026 17:00" << "1|Storage 1x3500=3500, After-hours release 1x5000=5000|$199.80";
        QTest::newRow("Saturday, heavy") << "city 2|3/13/2026 10:00|3/14/2026 12:00" << "2|Storage 2x7500=15000, After-hours release 1x5000=5000|$324.00";
        QTest::newRow("still held: no release fee") << "city 0|12/4/2026 20:00|" << "3|Storage 3x3500=10500|$221.40";
        QTest::newRow("released before towed") << "city 0|3/16/2026 08:30|3/13/2026 08:30" << "0||$108.00";
        QTest::newRow("grace across midnight") << "county 0|3/17/2026 23:50|3/18/2026 10:00" << "2|Administrative fee 1x4000=4000|$151.20";
        QTest::newRow("grace: 24 hours within") << "county 0|3/17/2026 10:00|3/18/2026 10:00" << "2|Administrative fee 1x4000=4000|$151.20";
        QTest::newRow("grace over DST: 23.5 hours") << "county 0|3/7/2026 10:30|3/8/2026 11:00" << "2|Administrative fee 1x4000=4000|$151.20";
        QTest::newRow("amounts too large") << "huge 0|3/13/2026 23:10|3/16/2026 08:30" << "3||$108.00";
        QTest::newRow("grace: a minute past") << "county 0|3/17/2026 10:00|3/18/2026 10:01" << "2|Storage 2x2500=5000, Administrative fee 1x4000=4000|$205.20";
        QTest::newRow("calendar days over DST") << "county 0|3/7/2026 10:00|3/9/2026 10:30" << "3|Storage 3x2500=7500, Administrative fee 1x4000=4000|$232.20";
        QTest::newRow("day 10 at the first rate") << "county 0|3/1/2026|3/10/2026" << "10|Storage 10x2500=25000, Administrative fee 1x4000=4000|$421.20";
        QTest::newRow("day 11 at the second") << "county 0|3/1/2026|3/11/2026" << "11|Storage 10x2500=25000, Storage from day 11 1x3500=3500, Administrative fee 1x4000=4000|$459.00";
        QTest::newRow("lien notice at 15 days") << "county 0|3/1/2026|3/16/2026" << "16|Storage 10x2500=25000, Storage from day 11 6x3500=21000, Administrative fee 1x4000=4000, Lien notice 1x7000=7000|$723.60";
        QTest::newRow("cap at 30 days, both liens") << "county 0|3/1/2026|4/15/2026" << "46|Storage 10x2500=25000, Storage from day 11 20x3500=70000, Administrative fee 1x4000=4000, Lien notice 1x7000=7000, Lien sale 1x10000=10000|$1360.80";
        QTest::newRow("leap day, calendar") << "private 0|2/28/2024|3/1/2024" << "2|Storage 2x2000=4000|$151.20";
        QTest::newRow("amount cap reached") << "private 0|3/1/2026|3/11/2026" << "10|Storage 10x2000=20000|$324.00";
        QTest::newRow("amount cap cuts") << "private 0|3/1/2026|3/12/2026" << "11|Storage 11x2000=22000, Storage cap 1x-2000=-2000|$324.00";
        QTest::newRow("Standard") << "Standard 2|3/13/2026 23:10|3/16/2026 08:30" << "3|Storage 3x1000=3000|$140.40";
        // clang-format on
    }
    void bills()
    {
        QFETCH(QString, stay);
        test::TestFolder folder;
        test::writeFile(folder.settingsPath(), "[Fee]\nStorage Fee=10\n[Tow Fee]\nTaxrate=.08\n");
        const QStringList parts = stay.split(u'|'), towed = parts[1].split(u' '),
                          out = parts[2].split(u' ');
        const PricingPlan p = plan(parts[0].section(u' ', 0, 0));
        const PricedStay priced{p, VehicleClass(parts[0].section(u' ', 1).toInt()),
                                QTime::fromString(towed.value(1), "HH:mm"),
                                QTime::fromString(out.value(1), "HH:mm"), QTime(21, 0),
                                QTimeZone("America/Chicago"), {}};
        const auto f = ChargeFigures::compute(towed[0], out[0], "100.00",
                                              SettingsFile(folder.settingsPath()),
                                              QDate(2026, 12, 6), priced);
        QStringList lines;
        for (const BillLine &l : f.storageLines + f.fees)
            lines << QString("%1 %2x%3=%4").arg(l.label).arg(l.units).arg(l.rateCents).arg(l.cents);
        QTEST(QString("%1|%2|%3").arg(f.days).arg(lines.join(", "), f.grandTotalText()), "bill");
        if (QTest::currentDataTag() == QByteArray("worked example"))
            QCOMPARE(Pricing::workedExample(p, 0), "towed Fri 23:10, released Mon 08:30: 3 periods, $105.00 storage, $50.00 after-hours release");
        const QByteArray tag = QTest::currentDataTag();
        // The lines a sheet and a receipt print: a line of days at a rate, a fee or a cut alone.
        const QHash<QByteArray, QString> printed = {
            {"worked example", "Tow fee\t$100.00|Storage, 3 periods x $35.00\t$105.00|After-hours release\t$50.00|Tax\t$20.40"},
            {"amount cap cuts", "Tow fee\t$100.00|Storage, 11 days x $20.00\t$220.00|Storage cap\t-$20.00|Tax\t$24.00"}};
        if (printed.contains(tag))
            QCOMPARE(f.chargeLines("100.00").join(u'|'), printed[tag]);
        // The daily rate shown is that of the last day billed.
        if (tag == "day 11 at the second")
            QCOMPARE(f.rateText() + " " + ChargeFigures::compute(towed[0], "3/10/2026", "100.00", SettingsFile(folder.settingsPath()), QDate(2026, 12, 6), priced).rateText(), "$35.00 $25.00");
        QCOMPARE(f.note, tag == "released before towed" ? "Released (3/13/2026) before towed (3/16/2026): 0 days counted."
                         : tag == "amounts too large" ? "The amounts of plan \"huge\" are too large: nothing charged for storage or fees."
                                                      : "");
    }

    void planProblems()
    {
        const QList<std::pair<std::function<void(PricingPlan &)>, QString>> cases = {
            {[](PricingPlan &) {}, ""},
            {[](PricingPlan &p) { p.name = " "; }, "A plan needs a name."},
            {[](PricingPlan &p) { p.name = "standard"; }, "The name \"Standard\" is"},
            {[](PricingPlan &p) { p.tiers[0].fromDay = 2; }, "The first rate applies from day 1."},
            {[](PricingPlan &p) { p.tiers[1].fromDay = 1; }, "Each rate starts on a later day"},
            {[](PricingPlan &p) { p.tiers[1].fromDay = 3651; }, "Each rate starts on a later day"},
            {[](PricingPlan &p) { p.tiers[1].rateCents[3] = -1; }, "A daily rate is below zero"},
            {[](PricingPlan &p) { p.graceHours = -1; }, "The grace period is from 0"},
            {[](PricingPlan &p) { p.capDays = 3651; }, "The cap on days is from 0"},
            {[](PricingPlan &p) { p.adminFeeCents = kMaxMoneyCents; }, "A fee or the cap"},
            {[](PricingPlan &p) { p.afterHoursFeeCents = 1; }, "An after-hours fee needs"},
            {[](PricingPlan &p) { p.lienFees[1].step = ""; }, "Each lien fee needs a name"},
        };
        for (const auto &[change, problem] : cases) {
            PricingPlan p = plan("county");
            change(p);
            QVERIFY2(problem.isEmpty() ? p.problem().isEmpty() : p.problem().startsWith(problem),
                     qPrintable(p.problem()));
        }
    }

    // Standard under generated records, settings and times gives every figure of the flat
    // figures, notes included.
    void standardIsTheFlatRate()
    {
        test::TestFolder folder;
        QRandomGenerator random(32);
        const QDate today(2026, 12, 6);
        const QStringList odd{"", "soon", "2/30/2026", "1/1/0206", "1/1/2028"};
        const auto date = [&] {
            return random.bounded(10) ? DateText::shortForm(today.addDays(-random.bounded(800)))
                                      : odd[random.bounded(odd.size())];
        };
        const auto time = [&] { return QTime(random.bounded(24), random.bounded(60)); };
        for (int run = 0; run < 40; ++run) {
            test::writeFile(folder.settingsPath(),
                            QString("[Fee]\nStorage Fee=%1\n[Tow Fee]\nTax=%2\nTaxrate=.0%3\n")
                                .arg(random.bounded(-500, 1000000) / 100.0)
                                .arg(run % 4 ? "Yes" : "No")
                                .arg(random.bounded(100))
                                .toLatin1());
            const SettingsFile settings = SettingsFile::snapshot(folder.settingsPath());
            for (int i = 0; i < 250; ++i) {
                const QString in = date(), out = random.bounded(4) ? date() : QString();
                const QString fee = random.bounded(20) ? QString::number(random.bounded(100000) / 100.0) : "N/A";
                const PricedStay stay{std::nullopt, VehicleClass(random.bounded(4)), time(), time(), time(), QTimeZone::systemTimeZone(), {}};
                const auto a = ChargeFigures::compute(in, out, fee, settings, today);
                const auto b = ChargeFigures::compute(in, out, fee, settings, today, stay);
                const auto all = [](const ChargeFigures &f) {
                    return QStringList{f.dateTowed, f.dateOut, f.daysText(), f.rateText(), f.storageText(), f.grandTotalText(), QString::number(f.tax),
                                       QString::number(f.feeReadable), QString::number(f.totalFormed), f.note, QString::number(f.fees.size())};
                };
                QCOMPARE(all(b), all(a));
                QCOMPARE(b.storageLines.isEmpty() ? 0.0 : b.storageLines[0].cents / 100.0, a.storage);
            }
        }
    }
};

QTEST_GUILESS_MAIN(PricingPlanTest)
#include "PricingPlan_test.moc"
