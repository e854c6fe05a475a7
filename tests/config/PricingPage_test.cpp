#include <QComboBox>
#include <QTest>

#include "PricingPage.h"
#include "PricingStore.h"
#include "StoreFixture.h"
#include "StoreFolder.h"

using namespace tarnvale;
using namespace tarnvale::test;

class PricingPageTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void init() { SKIP_WITHOUT_ENGINE(); }

    // A group's default plan chosen on the page: kept at once, billed to the group's vehicles,
    // shown again when the page opens; a group removed on another workstation is refused.
    void groupDefaultPlan()
    {
        StoreFixture f;
        StoreFolder database;
        RecordStore other;
        QVERIFY(f.store.open(database.databasePath(), RecordStore::OpenMode::CreateIfMissing) &&
                other.open(database.databasePath(), RecordStore::OpenMode::ExistingOnly));
        PricingStore pricing(f.store);
        PricingPlan rotation;
        rotation.name = "Rotation", rotation.tiers = {StorageTier{1, {3500}}};
        QVERIFY(f.store.addGroup("Lot") && pricing.savePlan(rotation) == PricingStore::Result::Done);
        const qint64 police = *f.store.addGroup("Police"), towed = addVehicle(f.store, "Police");
        auto page = std::make_unique<PricingPage>(f.store, f.settings, f.dialogs);
        const auto choose = [&page](Qt::Key key) { QTest::keyClick(page->findChild<QComboBox *>("cmbGroupPlan"), key); };
        const auto combos = [&page] {
            auto *group = page->findChild<QComboBox *>("cmbGroup");
            QStringList shown;
            for (int i = 0; i < group->count(); ++i)
                group->setCurrentIndex(i), shown << group->currentText() + ": " + page->findChild<QComboBox *>("cmbGroupPlan")->currentText();
            return shown;
        };
        QCOMPARE(combos(), QStringList({"Lot: Standard", "Police: Standard"}));
        f.refreshes = 0;
        choose(Qt::Key_Down); // Rotation for Police
        // Kept, and the group's vehicle announced and billed on it.
        QVERIFY(pricing.groupPlans() == std::optional(QHash<qint64, qint64>{{police, rotation.id}}) && f.refreshes == 1);
        QCOMPARE(pricing.stayOf(*f.store.towRecord(towed), {})->plan->name, "Rotation");
        page = std::make_unique<PricingPage>(f.store, f.settings, f.dialogs);
        QCOMPARE(combos(), QStringList({"Lot: Standard", "Police: Rotation"}));

        QVERIFY(other.removeGroupWithVehicles("Lot") == RecordStore::RemoveGroupResult::Removed);
        page->findChild<QComboBox *>("cmbGroup")->setCurrentIndex(0);
        choose(Qt::Key_Down);
        QCOMPARE(f.dialogs.last().text, "This group was removed on another workstation.");
        QCOMPARE(combos(), QStringList({"Police: Rotation"}));
        choose(Qt::Key_Up); // Standard
        QCOMPARE(pricing.groupPlans(), (std::optional(QHash<qint64, qint64>{})));
    }
};

QTEST_MAIN(PricingPageTest)
#include "PricingPage_test.moc"
