// The store on a PostgreSQL server: what only a server does (notifications) and how its
// failures reach the user. Run only against the test server (TARNVALE_TEST_PG).
#include <QSignalSpy>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <functional>

#include "RecordStore.h"
#include "ServerAddress.h"
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

QStringList logged;

// Ends the backend `pid` from a connection of its own; with `waiting`, once it waits for a lock.
bool terminateBackend(const QString &uri, qint64 pid, bool waiting)
{
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("end"));
        ServerAddress::parse(uri)->applyTo(db);
        QSqlQuery query(db.open() ? db : QSqlDatabase());
        query.prepare("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                      "WHERE pid = ? AND (NOT ? OR wait_event_type = 'Lock')");
        query.addBindValue(pid);
        query.addBindValue(waiting);
        for (int tries = 0; db.isOpen() && !done && tries < 1000; ++tries) {
            done = query.exec() && query.next() && query.value(0).toBool();
            QThread::msleep(10);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("end"));
    return done;
}

} // namespace

class ServerStoreTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void init() { SKIP_WITHOUT_ENGINE(); }
    void writesArriveByNotification();
    void wrongPasswordIsRefusedUnshown();
    void saveFailsWhenTheConnectionEnds_data();
    void saveFailsWhenTheConnectionEnds();
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

void ServerStoreTest::wrongPasswordIsRefusedUnshown()
{
    const QString uri = qEnvironmentVariable("TARNVALE_TEST_PG_BADPASS");
    if (uri.isEmpty())
        QSKIP("the test server has no role with a password (scripts/pg-test.sh makes it)");
    logged.clear();
    qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &text) { logged << text; });
    RecordStore store;
    const bool opened = store.open(uri, RecordStore::OpenMode::ExistingOnly);
    qInstallMessageHandler(nullptr);
    QVERIFY(!opened);
    QCOMPARE(store.lastError().number, 3051);
    QVERIFY2(store.lastError().description.contains("password authentication failed"),
             qPrintable(store.lastError().description));
    const QString password = QUrl(uri).password();
    QVERIFY(!password.isEmpty());
    for (const QString &text :
         logged + QStringList{store.lastError().description, store.lastError().doing,
                              RecordStore::shownPath(uri)})
        QVERIFY2(!text.contains(password), qPrintable(text));
}

void ServerStoreTest::saveFailsWhenTheConnectionEnds_data()
{
    // What a second workstation holds, in a transaction, while the save waits for it.
    QTest::addColumn<QString>("held");
    QTest::newRow("ended before the save") << QString();
    QTest::newRow("ended waiting for the write lock") << "write lock";
    QTest::newRow("ended between the save's writes")
        << "SELECT 1 FROM wrecker_version WHERE id = %1 FOR UPDATE";
}

void ServerStoreTest::saveFailsWhenTheConnectionEnds()
{
    QFETCH(QString, held);
    test::StoreFolder folder;
    const QString path = folder.databasePath();
    RecordStore office;
    QVERIFY(office.open(path, RecordStore::OpenMode::CreateIfMissing));
    const qint64 id = *office.addTowRecord(vehicle(""));
    QSqlQuery backend(office.database());
    QVERIFY(backend.exec("SELECT pg_backend_pid()") && backend.next());
    const qint64 pid = backend.value(0).toLongLong();
    TowRecord edited = *office.towRecord(id);
    edited.set(TowField::vehmake, QStringLiteral("Kia"));

    RecordStore other;
    QVERIFY(other.open(path, RecordStore::OpenMode::ExistingOnly));
    QVERIFY(other.database().transaction());
    if (held == "write lock")
        held = other.dialect().takeWriteLock();
    QVERIFY(held.isEmpty() ||
            QSqlQuery(other.database()).exec(held.replace("%1", QString::number(id))));
    bool ended = false;
    std::unique_ptr<QThread> ender(
        QThread::create([&] { ended = terminateBackend(path, pid, !held.isEmpty()); }));
    ender->start();
    if (held.isEmpty())
        QVERIFY(ender->wait());
    QSignalSpy announced(&office, &RecordStore::changed);
    QVERIFY(!office.updateTowRecord(edited));
    QVERIFY(ender->wait());
    QVERIFY(ended);
    QVERIFY(!office.lastError().description.isEmpty());
    QCOMPARE(announced.size(), 0);
    QVERIFY(other.database().rollback());

    // Nothing of the save is on the server; the store opens again and saves it.
    const TowRecord stored = *other.towRecord(id);
    QCOMPARE(stored.value(TowField::vehmake), QString("Ford"));
    QCOMPARE(stored.version, 0);
    QVERIFY(office.open(path, RecordStore::OpenMode::ExistingOnly));
    QVERIFY(office.updateTowRecord(edited));
    QCOMPARE(other.towRecord(id)->value(TowField::vehmake), QString("Kia"));
}

QTEST_GUILESS_MAIN(ServerStoreTest)
#include "ServerStore_test.moc"
