// The store on a PostgreSQL server: what only a server does (notifications). Run only against
// the test server (TARNVALE_TEST_PG).
#include <QSignalSpy>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTest>

#include <functional>

#include "RecordStore.h"
#include "StoreFolder.h"

using namespace tarnvale;

namespace {

TowRecord vehicle(const QString &group)
{
    TowRecord record;
    record.set(TowField::vehmake, QStringLiteral("Ford"));
    record.set(TowField::groupname, group);
    return record;
}

} // namespace

class ServerStoreTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void init() { SKIP_WITHOUT_ENGINE(); }
    void writesArriveByNotification();
};

void ServerStoreTest::writesArriveByNotification()
{
    test::StoreFolder folder;
    RecordStore office, gate;
    QVERIFY(office.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
    QVERIFY(office.addGroup("Lot A"));
    const qint64 x = *office.addTowRecord(vehicle("Lot A"));
    const qint64 y = *office.addTowRecord(vehicle("Lot A"));
    QVERIFY(gate.open(folder.databasePath(), RecordStore::OpenMode::ExistingOnly));
    QSignalSpy changes(&gate, &RecordStore::changed);
    QSignalSpy notes(gate.database().driver(), &QSqlDriver::notification);

    // Rolled back: a stale save and a vehicle for a group that is gone send nothing.
    TowRecord stale = *office.towRecord(x);
    --stale.version;
    QVERIFY(!office.updateTowRecord(stale));
    QVERIFY(!office.addTowRecord(vehicle("Lot Z"), RecordStore::GroupCheck::MustExist));

    StoreChange saved, added, removed, group;
    saved.changedRecords = {x};
    removed.removedRecords = {y};
    group.addedGroups = QStringList{"Lot B"};
    const QList<std::pair<std::function<bool()>, StoreChange *>> steps{
        {[&] { return office.updateTowRecord(*office.towRecord(x)); }, &saved},
        {[&] {
             const auto id = office.addTowRecord(vehicle("Lot A"));
             added.addedRecords = {id.value_or(-1)};
             return id.has_value();
         },
         &added},
        {[&] { return office.removeTowRecord(y); }, &removed},
        {[&] { return bool(office.addGroup("Lot B")); }, &group}};
    for (const auto &[write, expected] : steps) {
        // The timer restarts, so only the notification can bring the change within the wait.
        gate.setWatchInterval(100);
        const qsizetype before = changes.size();
        QVERIFY(write());
        QTRY_COMPARE_WITH_TIMEOUT(changes.size(), before + 1, RecordStore::kServerWatchMs / 2);
        QCOMPARE(changes.last().at(0).value<StoreChange>(), *expected);
    }
    // One notification for each committed write, none for the rolled-back ones.
    QCOMPARE(notes.size(), steps.size());
}

QTEST_GUILESS_MAIN(ServerStoreTest)
#include "ServerStore_test.moc"
