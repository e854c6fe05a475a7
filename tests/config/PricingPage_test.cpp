#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
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
        // A plan still taken by a group stays, and the page says why.
        page->findChild<QListWidget *>("lstPlans")->setCurrentRow(1);
        f.dialogs.queueAnswer(Answer::Yes);
        page->removePlan();
        QCOMPARE(f.dialogs.last().text, "The plan is still the plan of 0 vehicles and 1 groups: "
                                        "give them another plan first.");

        QVERIFY(other.removeGroupWithVehicles("Lot") == RecordStore::RemoveGroupResult::Removed);
        page->findChild<QComboBox *>("cmbGroup")->setCurrentIndex(0);
        choose(Qt::Key_Down);
        QCOMPARE(f.dialogs.last().text, "This group was removed on another workstation.");
        // The group shown is gone: the first group left is shown, with its plan.
        QCOMPARE(page->findChild<QComboBox *>("cmbGroup")->currentText() + ": " +
                     page->findChild<QComboBox *>("cmbGroupPlan")->currentText(),
                 "Police: Rotation");
        QCOMPARE(combos(), QStringList({"Police: Rotation"}));
        choose(Qt::Key_Up); // Standard
        QCOMPARE(pricing.groupPlans(), (std::optional(QHash<qint64, qint64>{})));
    }

    // Typing in a plan is not lost by choosing another plan or a new one: the page asks, and
    // No stays on what was typed. A saved plan asks nothing.
    void typedPlanAsksBeforeItIsLeft()
    {
        StoreFixture f;
        StoreFolder database;
        QVERIFY(f.store.open(database.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        PricingPlan rotation;
        rotation.name = "Rotation", rotation.tiers = {StorageTier{1, {3500}}};
        QVERIFY(PricingStore(f.store).savePlan(rotation) == PricingStore::Result::Done);
        PricingPage page(f.store, f.settings, f.dialogs);
        auto *list = page.findChild<QListWidget *>("lstPlans");
        auto *fee = page.findChild<QLineEdit *>("txtAdminFee");
        list->setCurrentRow(1);
        QVERIFY(!page.hasUnsavedPlan() && f.dialogs.count() == 0);
        fee->setText("25");
        f.dialogs.queueAnswer(Answer::No);
        list->setCurrentRow(0);
        QCoreApplication::processEvents(); // asked once the choice is made
        QCOMPARE(f.dialogs.last().text, "The changes to the plan \"Rotation\" have not been "
                                        "saved.\r\n\r\nDiscard them?");
        QVERIFY(list->currentRow() == 1 && fee->text() == "25" && page.hasUnsavedPlan());
        f.dialogs.queueAnswer(Answer::No);
        page.newPlan();
        QVERIFY(fee->text() == "25" && f.dialogs.count() == 2);
        QVERIFY(page.savePlan() && !page.hasUnsavedPlan());
        QCOMPARE(PricingStore(f.store).plans()->first().adminFeeCents, 2500);
        list->setCurrentRow(0);
        QVERIFY(f.dialogs.count() == 2 && page.findChild<QLineEdit *>("txtPlanName")->text() == "Standard");
        page.newPlan();
        page.findChild<QLineEdit *>("txtPlanName")->setText("Tow-away");
        f.dialogs.queueAnswer(Answer::Yes); // discarded
        list->setCurrentRow(1);
        QCoreApplication::processEvents();
        QVERIFY(f.dialogs.count() == 3 && fee->text() == "25.00" && !page.hasUnsavedPlan());
    }
};

QTEST_MAIN(PricingPageTest)
#include "PricingPage_test.moc"
