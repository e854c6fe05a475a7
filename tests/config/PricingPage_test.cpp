#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
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
        QVERIFY(f.store.addGroup("Lot"));
        const qint64 police = *f.store.addGroup("Police");
        const qint64 towed = addVehicle(f.store, "Police");
        auto page = std::make_unique<PricingPage>(f.store, f.settings, f.dialogs);
        page->newPlan();
        page->findChild<QLineEdit *>("txtPlanName")->setText("Rotation");
        page->findChild<QTableWidget *>("tblRates")->setItem(0, 1, new QTableWidgetItem("35"));
        QVERIFY(page->savePlan());
        auto combos = [&page] {
            auto *group = page->findChild<QComboBox *>("cmbGroup");
            auto *plan = page->findChild<QComboBox *>("cmbGroupPlan");
            QStringList shown;
            for (int i = 0; i < group->count(); ++i) {
                group->setCurrentIndex(i);
                shown << group->currentText() + ": " + plan->currentText();
            }
            return shown;
        };
        QCOMPARE(combos(), QStringList({"Lot: Standard", "Police: Standard"}));
        f.refreshes = 0;
        QTest::keyClick(page->findChild<QComboBox *>("cmbGroupPlan"), Qt::Key_Down); // Police
        PricingStore pricing(f.store);
        const qint64 rotation = pricing.plans()->value(0).id;
        QCOMPARE(pricing.groupPlans(), (std::optional(QHash<qint64, qint64>{{police, rotation}})));
        QCOMPARE(pricing.stayOf(*f.store.towRecord(towed), {})->plan->name, "Rotation");
        QCOMPARE(f.refreshes, 1); // the group's vehicle announced
        page = std::make_unique<PricingPage>(f.store, f.settings, f.dialogs);
        QCOMPARE(combos(), QStringList({"Lot: Standard", "Police: Rotation"}));

        QVERIFY(other.removeGroupWithVehicles("Lot") == RecordStore::RemoveGroupResult::Removed);
        auto *group = page->findChild<QComboBox *>("cmbGroup");
        group->setCurrentIndex(0);
        QTest::keyClick(page->findChild<QComboBox *>("cmbGroupPlan"), Qt::Key_Down);
        QCOMPARE(f.dialogs.last().text, "This group was removed on another workstation.");
        QCOMPARE(combos(), QStringList({"Police: Rotation"}));
        QTest::keyClick(page->findChild<QComboBox *>("cmbGroupPlan"), Qt::Key_Up); // Standard
        QCOMPARE(pricing.groupPlans(), (std::optional(QHash<qint64, qint64>{})));
    }
};

QTEST_MAIN(PricingPageTest)
#include "PricingPage_test.moc"
