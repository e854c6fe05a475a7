// The store on a PostgreSQL server: what only a server does (notifications) and how its
// failures reach the user. Run only against the test server (TARNVALE_TEST_PG).
#include <QMutex>
#include <QSignalSpy>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <QUrl>

#include "RecordStore.h"
#include "ServerAddress.h"
#include "StoreFixture.h"
#include "StoreFolder.h"

using namespace tarnvale;

namespace {

// Ends the backend `pid` from a connection of its own; `waiting`: once it waits for a lock.
bool endBackend(const QString &uri, qint64 pid, bool waiting)
{
    bool ended = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "end");
        ServerAddress::parse(uri)->applyTo(db);
        QSqlQuery query(db.open() ? db : QSqlDatabase());
        query.prepare("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                      "WHERE pid = ? AND (NOT ? OR wait_event_type = 'Lock')");
        query.addBindValue(pid);
        query.addBindValue(waiting);
        for (int tries = 0; !ended && tries < 1000; ++tries, QThread::msleep(10))
            ended = query.exec() && query.next() && query.value(0).toBool();
    }
    QSqlDatabase::removeDatabase("end");
    return ended;
}

} // namespace

class ServerStoreTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void init() { SKIP_WITHOUT_ENGINE(); }

    void writesArriveByNotification()
    {
        test::StoreFolder folder;
        RecordStore office, gate;
        QVERIFY(office.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(office.addGroup("Lot A"));
        const qint64 x = *office.addTowRecord({}), y = *office.addTowRecord({});
        QVERIFY(gate.open(folder.databasePath(), RecordStore::OpenMode::ExistingOnly));
        QSignalSpy changes(&gate, &RecordStore::changed);
        QSignalSpy notes(gate.database().driver(), &QSqlDriver::notification);
        gate.setWatchInterval(100); // the timer starts again: only a notification comes in time
        // Rolled back: a stale save, and a vehicle for a group that does not exist.
        TowRecord stale = *office.towRecord(x), lost;
        --stale.version;
        lost.set(TowField::groupname, "Lot Z");
        QVERIFY(!office.updateTowRecord(stale));
        QVERIFY(!office.addTowRecord(lost, RecordStore::GroupCheck::MustExist));
        QVERIFY(office.updateTowRecord(*office.towRecord(x)));
        const qint64 z = office.addTowRecord({}).value_or(-1);
        QVERIFY(office.removeTowRecord(y) && office.addGroup("Lot B"));
        QTRY_COMPARE_WITH_TIMEOUT(changes.size(), 1, RecordStore::kServerWatchMs / 2);
        QCOMPARE(changes.at(0).at(0).value<StoreChange>(),
                 (StoreChange{{z}, {x}, {y}, {"Lot B"}, {}}));
        QTRY_COMPARE(notes.size(), 4); // one for each write committed
    }

    void wrongPasswordIsRefusedUnshown()
    {
        const QString uri = qEnvironmentVariable("TARNVALE_TEST_PG_BADPASS");
        if (uri.isEmpty())
            QSKIP("the test server has no role with a password (scripts/pg-test.sh makes it)");
        RecordStore store;
        QVERIFY(!store.open(uri, RecordStore::OpenMode::ExistingOnly));
        const DbError &error = store.lastError();
        QCOMPARE(error.number, 3051);
        QVERIFY2(error.description.contains("password authentication failed"),
                 qPrintable(error.description));
        const QString password = QUrl(uri).password();
        QVERIFY(!password.isEmpty());
        QVERIFY(
            !(error.description + error.doing + RecordStore::shownPath(uri)).contains(password));
    }

    void saveFailsWhenTheConnectionEnds_data()
    {
        // What a second workstation holds, in a transaction, while the save waits for it.
        QTest::addColumn<QString>("held");
        QTest::newRow("ended before the save") << QString();
        QTest::newRow("ended waiting for the write lock") << "write lock";
        QTest::newRow("ended between the save's writes")
            << "SELECT 1 FROM wrecker_version WHERE id = %1 FOR UPDATE";
    }

    void saveFailsWhenTheConnectionEnds()
    {
        QFETCH(QString, held);
        test::StoreFolder folder;
        const QString path = folder.databasePath();
        RecordStore office, other;
        QVERIFY(office.open(path, RecordStore::OpenMode::CreateIfMissing));
        const qint64 id = *office.addTowRecord({});
        QSqlQuery backend(office.database());
        QVERIFY(backend.exec("SELECT pg_backend_pid()") && backend.next());
        const qint64 pid = backend.value(0).toLongLong();
        const TowRecord before = *office.towRecord(id);
        TowRecord edited = before;
        edited.set(TowField::vehmake, "Kia");
        QVERIFY(other.open(path, RecordStore::OpenMode::ExistingOnly));
        QVERIFY(other.database().transaction());
        held.replace("write lock", other.dialect().takeWriteLock())
            .replace("%1", QString::number(id));
        QVERIFY(held.isEmpty() || QSqlQuery(other.database()).exec(held));
        bool ended = false;
        std::unique_ptr<QThread> ender(
            QThread::create([&] { ended = endBackend(path, pid, !held.isEmpty()); }));
        ender->start();
        QVERIFY(!held.isEmpty() || ender->wait());
        QSignalSpy announced(&office, &RecordStore::changed);
        QVERIFY(!office.updateTowRecord(edited));
        QVERIFY(ender->wait() && ended && !office.lastError().description.isEmpty());
        QCOMPARE(announced.size(), 0);
        QVERIFY(other.database().rollback());
        // Nothing of the save is on the server; the store opens again and saves it.
        QCOMPARE(*other.towRecord(id), before);
        QVERIFY(office.open(path, RecordStore::OpenMode::ExistingOnly));
        QVERIFY(office.updateTowRecord(edited));
        QCOMPARE(other.towRecord(id)->value(TowField::vehmake), QString("Kia"));
    }

    // A connection the server ended: a read says so (never "no such group", never an empty
    // group), and reconnect() opens it again, the views told to read everything afresh.
    void readsAfterTheConnectionEnded()
    {
        test::StoreFolder folder;
        RecordStore store;
        QVERIFY(store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing) &&
                store.addGroup("Lot A"));
        test::addVehicle(store, "Lot A");
        QSqlQuery backend(store.database());
        // The address's other keywords reach the server (the test server's names the program).
        QVERIFY(backend.exec("SELECT pg_backend_pid(), current_setting('application_name')") &&
                backend.next() && endBackend(store.path(), backend.value(0).toLongLong(), false));
        QVERIFY(!qgetenv("TARNVALE_TEST_PG").contains("tarnvale tests") ||
                backend.value(1).toString() == "tarnvale tests");
        backend = QSqlQuery();
        int seen = 0;
        QVERIFY(!store.scanGroupBriefs("Lot A", [&](const VehicleBrief &) { ++seen; }));
        QCOMPARE(store.lastError().number, DbError::kConnectionLost);
        QVERIFY(!store.hasGroup("Lot A") && store.connectionLost());
        QSignalSpy announced(&store, &RecordStore::changed);
        QVERIFY(store.reconnect() && !store.connectionLost() && announced.size() == 1 &&
                announced.at(0).at(0).value<StoreChange>().reset);
        QVERIFY(store.scanGroupBriefs("Lot A", [&](const VehicleBrief &) { ++seen; }) &&
                seen == 1 && store.hasGroup("Lot A") == std::optional<bool>(true));
    }

    // Workstations starting at once on an empty database: the tables are made once, under the
    // write lock (held here until both wait for it), and every start uses them.
    void startsAtOnceMakeTheTablesOnce()
    {
        for (int round = 0; round < 3; ++round) {
            test::StoreFolder folder;
            const QString path = folder.databasePath();
            QStringList failures;
            QMutex guard;
            int started = 0;
            {
                QSqlDatabase hold = QSqlDatabase::addDatabase("QPSQL", "hold");
                ServerAddress::parse(path)->applyTo(hold);
                const SqlDialect server(SqlDialect::Engine::Postgres);
                QVERIFY(hold.open() && QSqlQuery(hold).exec(server.holdSchemaLock(true)));
                std::vector<std::unique_ptr<QThread>> starts;
                for (int i = 0; i < 3; ++i) {
                    starts.emplace_back(QThread::create([&] {
                        RecordStore store;
                        const bool opened = store.open(path, RecordStore::OpenMode::ExistingOnly);
                        QMutexLocker locked(&guard);
                        if (!opened || !store.addGroup(QString("Lot %1").arg(++started)))
                            failures << store.lastError().description;
                    }));
                    starts.back()->start();
                }
                QThread::msleep(300);
                QVERIFY(QSqlQuery(hold).exec(server.holdSchemaLock(false)));
                for (auto &start : starts)
                    QVERIFY(start->wait());
            }
            QSqlDatabase::removeDatabase("hold");
            QCOMPARE(failures, QStringList());
        }
    }

    // A role that may only read: said at the start, every change refused as read-only, the
    // records still readable.
    void readOnlyRoleIsSaidAtStart()
    {
        test::StoreFolder folder;
        const QString path = folder.databasePath();
        RecordStore owner;
        QVERIFY(owner.open(path, RecordStore::OpenMode::CreateIfMissing));
        const qint64 id = test::addVehicle(owner, "Lot A");
        test::runOnTestServer("CREATE ROLE tarnvale_reader LOGIN");
        QVERIFY(QSqlQuery(owner.database())
                    .exec("GRANT SELECT ON ALL TABLES IN SCHEMA public TO tarnvale_reader"));
        QUrl reader(path);
        reader.setUserName("tarnvale_reader");
        test::StoreFixture f;
        f.settings.write("Database", "Path", reader.toString());
        QVERIFY(f.db.OpenDatabaseFile());
        QCOMPARE(f.dialogs.count(), 1);
        const QString said = f.dialogs.last().line();
        QVERIFY2(said.startsWith("Notice Exclamation Ok|Database Error!|The database " +
                                 RecordStore::shownPath(reader.toString()) +
                                 " is open read-only: the role 'tarnvale_reader' may not change "
                                 "the tables group_pricing, groups, ") &&
                     said.contains(", wrecker, wrecker_version.\r\n\r\nIts records can be "
                                   "viewed and printed, but no change can be saved. Ask the "
                                   "server's administrator for the right to change them."),
                 qPrintable(said));
        QVERIFY(f.store.isReadOnly());
        QCOMPARE(f.store.towRecord(id)->value(TowField::groupname), QString("Lot A"));
        QVERIFY(!f.store.addGroup("Lot B") && f.store.lastError().number == DbError::kReadOnly &&
                !f.store.removeTowRecord(id));
        f.db.ReportUnknownError(f.store.lastError());
        QVERIFY(f.dialogs.last().line().startsWith(
            "Notice Exclamation Ok|Database Error!|The database is open read-only: the role "
            "'tarnvale_reader' may not change the tables group_pricing, groups, "));
        QVERIFY(owner.groups()->isEmpty() && owner.towRecord(id));
    }
};

QTEST_GUILESS_MAIN(ServerStoreTest)
#include "ServerStore_test.moc"
