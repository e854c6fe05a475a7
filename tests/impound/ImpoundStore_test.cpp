#include <QRegularExpression>
#include <QSemaphore>
#include <QSqlQuery>
#include <QThread>
#include <QTest>

#include "ImpoundStore.h"
#include "LienSchedule.h"
#include "StoreFixture.h"
#include "StoreFolder.h"
#include "TableRows.h"

using namespace tarnvale;
using namespace tarnvale::test;
using R = ImpoundStore::Result;

class ImpoundStoreTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init() { SKIP_WITHOUT_ENGINE(); }

    void holdReleasePaymentsAndRemoval()
    {
        StoreFixture f;
        StoreFolder database;
        QVERIFY(f.store.open(database.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        const qint64 id = addVehicle(f.store, "Police");
        ImpoundStore impound(f.store);
        QCOMPARE(impound.inUse(), std::optional<bool>(false));
        const QDate day(2026, 3, 2);
        const Hold hold{0, "Evidence", "County Sheriff", "24-0113", "Det. Ruiz", {}, {}, {}};
        f.refreshes = 0;
        QCOMPARE(impound.placeHold(*f.store.towRecord(id), hold, day), R::Done);

        const Release release{"Ann Lee", "Driver licence", "D123", QDate(2026, 3, 9),
                              QTime(14, 30)};
        QVERIFY(impound.release(*f.store.towRecord(id), release) == R::Refused &&
                impound.refusal().contains("on hold"));
        QVERIFY(impound.clearHold(*f.store.towRecord(id), "  ", day) == R::Refused && f.refreshes == 1);
        QCOMPARE(impound.clearHold(*f.store.towRecord(id), "Sgt. Moss", QDate(2026, 3, 8)),
                 R::Done);
        const TowRecord openBefore = *f.store.towRecord(id);
        QVERIFY(impound.release(*f.store.towRecord(id), release) == R::Done && f.refreshes == 3);
        // A form opened before the release cannot save its old release date over it unasked.
        QVERIFY(!f.store.updateTowRecord(openBefore));
        QCOMPARE(f.store.lastError().number, DbError::kChangedElsewhere);

        const TowRecord after = *f.store.towRecord(id);
        QCOMPARE(after.value(TowField::towedrelease), QString("3/9/2026"));
        const ImpoundState state = *impound.state(after);
        QCOMPARE(state.status, VehicleStatus::Released);
        const Hold cleared(state.holds.value(0).id, "Evidence", "County Sheriff", "24-0113",
                           "Det. Ruiz", day, "Sgt. Moss", QDate(2026, 3, 8));
        QCOMPARE(state.holds, QList<Hold>{cleared});
        QCOMPARE(state.release, std::optional<Release>(release));
        // Payments are taken after the release too, each kept at once with its time and
        // taker; a refund names the payment it gives back, and no more than is left of it.
        Payment card{20000, "Card", "AUTH 77", QDate(2026, 3, 10), QTime(9, 5, 7), "ann"};
        QCOMPARE(impound.addPayment(after, card), R::Done);
        card.id = impound.state(after)->payments.value(0).id;
        Payment refund{-20001, "Cash", "refund", QDate(2026, 3, 11), {}, "bo", card.id};
        QCOMPARE(impound.addPayment(after, refund) == R::Refused ? impound.refusal() : QString(),
                 "Only $200.00 of that payment is left to give back.");
        refund.cents = -1500;
        QCOMPARE(impound.addPayment(after, refund), R::Done);
        refund.id = impound.state(after)->payments.value(1).id;
        QCOMPARE(impound.state(after)->payments, (QList<Payment>{card, refund}));
        QCOMPARE(impound.payments()->value(id), (QList<Payment>{card, refund}));
        QVERIFY(f.refreshes == 5 && impound.inUse() == std::optional<bool>(true));
        // A backup (of a file) is never written over an existing file.
        const QString copy = f.dir.file("copy.dll");
        QVERIFY(f.store.backupTo(copy) == !onServer() && !f.store.backupTo(copy));

        // A vehicle never touched follows its record: released once it has a release date.
        TowRecord old = vehicleRecord("Police");
        old.set(TowField::towedrelease, "1/2/2026");
        old.id = *f.store.addTowRecord(old);
        QCOMPARE(impound.state(old)->status, VehicleStatus::Released);
        QCOMPARE(impound.state(*f.store.towRecord(addVehicle(f.store, "")))->status,
                 VehicleStatus::InStorage);

        const qint64 lot = addVehicle(f.store, "Lot");
        QVERIFY(impound.markStepDone(lot, "First notice", QDate(2026, 1, 3)) == R::Done &&
                impound.markStepDone(lot, "First notice", QDate(2026, 1, 4)) == R::Done);
        QCOMPARE(impound.stepsDone()->value(lot), (QList<QPair<QString, QDate>>{{"First notice", QDate(2026, 1, 4)}}));
        QCOMPARE(impound.dispose(*f.store.towRecord(lot), VehicleStatus::Sold, QDate(2026, 2, 1)),
                 R::Done);
        QCOMPARE(impound.addPayment(*f.store.towRecord(lot), {900, "Cash", "", QDate(2026, 2, 3)}),
                 R::Done); // sold, and still paying
        // A write the engine refuses is a failure, with the engine's reason.
        QVERIFY(onServer() || QSqlQuery(f.store.database()).exec("CREATE TRIGGER shut BEFORE INSERT ON impound_payments BEGIN SELECT RAISE(ABORT, 'till shut'); END"));
        QVERIFY(onServer() || (impound.addPayment(*f.store.towRecord(lot), {100, "Cash", "", QDate(2026, 2, 4)}) == R::Failed
                               && impound.lastError().description.contains("till shut")));
        QCOMPARE(impound.markStepDone(lot + 100, "First notice", QDate(2026, 1, 3)), R::Refused);
        // The rows go with their vehicle.
        QVERIFY(f.store.removeTowRecord(id) && f.store.removeTowRecord(lot));
        for (const QString &row : rowsOf(f.store))
            QVERIFY2(!row.contains(QRegularExpression("^(impound|lien|failed)")), qPrintable(row));
        f.store.close();
        QCOMPARE(impound.state(vehicleRecord("Lot")), std::nullopt);
        QCOMPARE(impound.lastError().number, DbError::kNotOpen);
    }

    // Two workstations on one database: every impound write is heard by the other, and each
    // decides from what is stored under the write lock, not from what its caller read before.
    void twoWorkstations()
    {
        StoreFixture f;
        StoreFolder database;
        RecordStore other;
        QVERIFY(f.store.open(database.databasePath(), RecordStore::OpenMode::CreateIfMissing) &&
                other.open(database.databasePath(), RecordStore::OpenMode::ExistingOnly));
        const qint64 a = addVehicle(f.store, "Lot"), b = addVehicle(f.store, "Lot");
        ImpoundStore here(f.store), there(other);
        const TowRecord staleA = *f.store.towRecord(a), staleB = *f.store.towRecord(b);
        other.checkOutsideChanges();
        const QDate day(2026, 3, 2);
        const Hold hold{0, "Evidence", "County", "24-1", "Det. Ruiz", {}, {}, {}};
        const QList<std::function<R()>> writes = {
            [&] { return here.placeHold(staleA, hold, day); },
            [&] { return here.clearHold(staleA, "Sgt. Moss", day); },
            [&] { return here.addPayment(staleA, {900, "Cash", "", day}); },
            [&] { return here.markStepDone(a, "First notice", day); }};
        for (const auto &write : writes) {
            QCOMPARE(write(), R::Done);
            QCOMPARE(other.checkOutsideChanges().changedRecords, QList<qint64>{a});
        }
        // Released in a form over there: a hold from a record read before is refused here.
        TowRecord released = *other.towRecord(b);
        released.set(TowField::towedrelease, "3/1/2026");
        QVERIFY(other.updateTowRecord(released));
        QCOMPARE(here.placeHold(staleB, hold, day), R::Refused);
        QCOMPARE(here.refusal(), "The vehicle is released already; its status cannot change.");
        QVERIFY(other.removeTowRecord(b));
        QCOMPARE(here.addPayment(staleB, {900, "Cash", "", day}), R::Refused);
        QCOMPARE(here.refusal(), "This vehicle was removed on another workstation.");

        // A hold placed over there while a release here waits for the lock stops the release.
        QSemaphore locked;
        QThread *holder = QThread::create([&] {
            RecordStore third;
            third.open(database.databasePath(), RecordStore::OpenMode::ExistingOnly);
            TransactionGuard guard(third.database(), TransactionGuard::Lock::Writing);
            QSqlQuery(third.database())
                .exec(QStringLiteral("UPDATE impound_status SET status = 'hold' WHERE vehicle_id = %1").arg(a));
            locked.release();
            QThread::msleep(300);
            guard.commit();
        });
        holder->start();
        locked.acquire();
        QCOMPARE(here.release(staleA, {"Ann Lee", "", "", day, {}}), R::Refused);
        QVERIFY(holder->wait() && here.state(staleA)->status == VehicleStatus::OnHold);
        delete holder;
    }

    void scheduleInSettings()
    {
        FolderFixture f;
        QCOMPARE(LienSchedule::read(f.settings), QList<LienStep>{});
        const QList<LienStep> steps = {{"First notice", 5}, {"Second notice", 30}};
        QVERIFY(LienSchedule::write(f.settings, steps) && LienSchedule::read(f.settings) == steps);
        // Steps edited by hand that make no sense are left out.
        QVERIFY(f.settings.write("LienSchedule", "Step2Days", "soon") &&
                LienSchedule::read(f.settings) == QList<LienStep>{steps.first()});
        QVERIFY(LienSchedule::write(f.settings, {}) && LienSchedule::read(f.settings).isEmpty());
    }
};

QTEST_GUILESS_MAIN(ImpoundStoreTest)
#include "ImpoundStore_test.moc"
