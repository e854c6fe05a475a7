#include <QTest>

#include "../export/CsvRows.h"
#include "ImpoundRules.h"
#include "ImpoundStore.h"
#include "PricingStore.h"
#include "RecordExport.h"
#include "TestFiles.h"
#include "StoreFixture.h"
#include "StoreFolder.h"

using namespace tarnvale;
using namespace tarnvale::test;
using R = PricingStore::Result;

class PricingStoreTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init() { SKIP_WITHOUT_ENGINE(); }

    // Plans kept and read back whole; each vehicle's plan, its group's, or Standard; the
    // vehicles a change touches announced; a plan in use kept; a bill kept as billed.
    void plansVehiclesGroupsAndKeptBills()
    {
        StoreFixture f;
        StoreFolder database;
        QVERIFY(f.store.open(database.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        PricingStore pricing(f.store);
        PricingPlan police{0, "Police", false, DayType::Periods, true, 24,
                           {{1, {3500, 4500, 7500, 2000}}, {11, {4000, 5000, 9000, 2500}}},
                           30, 90000, 4000, 5000, QTime(9, 0), QTime(17, 0), 0x1f,
                           {{"Lien notice", 15, 7000}}, {"Police", "Impound"}};
        PricingPlan consent = police;
        consent.name = "Consent", consent.tiers.removeLast(), consent.lienFees.clear();
        consent.dayType = DayType::CalendarDays, consent.defaultFor = {}; // no tow type's default
        QVERIFY(pricing.savePlan(police) == R::Done && pricing.savePlan(consent) == R::Done && police.id > 0 && consent.id > police.id);
        PricingPlan twin = consent;
        twin.id = 0, twin.name = " Police ";
        QVERIFY(pricing.savePlan(twin) == R::Refused && pricing.refusal() == "A plan named \"Police\" is kept already.");
        PricingPlan unnamed = consent; // a plan the page would refuse is refused here too
        unnamed.id = 0, unnamed.name = " ";
        QVERIFY(!unnamed.problem().isEmpty() && pricing.savePlan(unnamed) == R::Refused && pricing.refusal() == unnamed.problem());
        QCOMPARE(pricing.plans(), std::optional(QList{consent, police}));

        const qint64 own = addVehicle(f.store, "Lot A"), grouped = addVehicle(f.store, "Lot B"),
                     none = addVehicle(f.store, "Lot C");
        const qint64 lotB = f.store.addGroup("Lot B").value_or(-1);
        f.refreshes = 0;
        const VehiclePricing ownPricing{police.id, VehicleClass::Motorcycle, QTime(23, 10)};
        QVERIFY(pricing.setVehiclePricing(own, ownPricing) == R::Done && pricing.setGroupPlan(lotB, consent.id) == R::Done && f.refreshes == 2);
        QCOMPARE(pricing.vehiclePricing(own), std::optional(ownPricing));
        QCOMPARE(pricing.groupPlans(), (std::optional(QHash<qint64, qint64>{{lotB, consent.id}})));
        const PricingBook book = *pricing.book();
        QStringList names;
        for (const qint64 id : {own, grouped, none}) {
            const PricedStay stay = book.stayOf(*f.store.towRecord(id), QTime(12, 0));
            names << (stay.plan ? stay.plan->name : "Standard") + " " + Pricing::className(stay.vehicleClass) + " " + stay.towedAt.toString("HH:mm");
        }
        QCOMPARE(names, QStringList({"Police Motorcycle 23:10", "Consent Light ", "Standard Light "}));

        // A change to a plan announces every vehicle it bills: its own and its group's.
        police.tiers[0].rateCents[3] = 2200;
        consent.adminFeeCents = 0;
        QVERIFY(pricing.savePlan(police) == R::Done && pricing.savePlan(consent) == R::Done && f.refreshes == 4);
        QCOMPARE(pricing.plans(), std::optional(QList{consent, police}));
        QVERIFY(pricing.removePlan(police.id) == R::Refused && pricing.refusal().contains("1 vehicles and 0 groups"));
        QVERIFY(pricing.setGroupPlan(lotB, consent.id + 9) == R::Refused && pricing.refusal() == "This plan was removed on another workstation.");
        QVERIFY(pricing.setGroupPlan(lotB, 0) == R::Done && pricing.removePlan(consent.id) == R::Done && pricing.plans()->size() == 1);

        ChargeFigures billed;
        billed.planName = "Police", billed.days = 3, billed.periods = true, billed.rate = 35;
        billed.storageLines = {{"Storage", 3, 3500, 10500}};
        billed.fees = {{"After-hours release", 1, 5000, 5000}, {"Lien notice", 1, 7000, 7000}};
        billed.totalFormed = true, billed.taxCents = 1816;
        QCOMPARE(pricing.keptBill(own), std::optional<std::optional<KeptBill>>(std::in_place));
        QSqlDatabase db = f.store.database();
        QVERIFY(pricing.keepBill(db, own, billed));
        QCOMPARE(pricing.keptBill(own), std::optional<std::optional<KeptBill>>(billed.keep()));
        QCOMPARE(billed.keep().taxCents, std::optional<qint64>(1816));

        // Released Mon 08:30 after a tow Fri 23:10 ($100 fee, no tax): 3 periods at $35, the
        // $40 fee and $50 after hours, kept. A new rate of $99 bills a vehicle still in the yard
        // were it released then (3 x $99 + $40 + $50) and leaves the released one as billed.
        TowRecord r = vehicleRecord("Lot A");
        r.set(TowField::toweddate, "3/13/2026"), r.set(TowField::towedfee, "100.00");
        const qint64 gone = *f.store.addTowRecord(r), held = *f.store.addTowRecord(r);
        for (const qint64 id : {gone, held})
            QCOMPARE(pricing.setVehiclePricing(id, {police.id, VehicleClass::Light, QTime(23, 10)}), R::Done);
        const QDate monday(2026, 3, 16);
        const auto figures = [&](qint64 id) {
            const QList<qint64> ids{id};
            const TowRecord now = *f.store.towRecord(id);
            PricedStay stay = pricing.book(&ids)->stayOf(now, QTime(8, 30));
            stay.releasedAt = QTime(8, 30);
            return ImpoundRules::figuresOn(now, monday, f.settings, monday, stay).grandTotalText();
        };
        const QList<qint64> goneIds{gone};
        const TowRecord leaving = *f.store.towRecord(gone);
        PricedStay stay = pricing.book(&goneIds)->stayOf(leaving, QTime(8, 30));
        stay.releasedAt = QTime(8, 30);
        QCOMPARE(ImpoundStore(f.store).release(leaving, {"Ann Lee", "", "", monday, QTime(8, 30)},
                                               ImpoundRules::figuresOn(leaving, monday, f.settings, monday, stay)),
                 ImpoundStore::Result::Done);
        QCOMPARE(figures(gone) + " " + figures(held), "$295.00 $295.00");
        police.tiers[0].rateCents[0] = 9900;
        QCOMPARE(pricing.savePlan(police), R::Done);
        QCOMPARE(figures(gone) + " " + figures(held), "$295.00 $487.00");
        // The export lists the kept bill line by line beside its total.
        const QString out = database.file("out.csv");
        RecordExport::write(database.databasePath(), ExportSelection::ofRecords({gone}), f.settings, out, {monday, QLocale(), nullptr, {}});
        const QList<QStringList> rows = csvRows(readFile(out));
        QCOMPARE(csvColumn(rows, "Grand total") + csvColumn(rows, "Pricing plan") + csvColumn(rows, "Charges"),
                 QStringList({"295.00", "Police", "Storage: 105.00\nAdministrative fee: 40.00\nAfter-hours release: 50.00"}));
    }
};

QTEST_GUILESS_MAIN(PricingStoreTest)
#include "PricingStore_test.moc"
