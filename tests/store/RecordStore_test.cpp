#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "RecordStore.h"
#include "PgReader.h"
#include "SchemaCheck.h"
#include "StatementCanceller.h"
#include "StoreConnection.h"
#include "StoreChange.h"
#include "StoreFolder.h"
#include "TestFiles.h"
#include "TestFolder.h"

using namespace tarnvale;

namespace {

TowRecord sampleRecord(const QString &group)
{
    TowRecord r;
    for (int i = 0; i < kTowFieldCount; ++i)
        r.values[size_t(i)] = QStringLiteral("v%1").arg(i);
    r.set(TowField::custname, QString::fromUtf8("  Zoë O'Brien; DROP TABLE wrecker; -- "));
    r.set(TowField::vehyear, QStringLiteral("1999"));
    r.set(TowField::vehmake, QStringLiteral("Ford"));
    r.set(TowField::vehmodel, QStringLiteral("Taurus"));
    r.set(TowField::cost8, QStringLiteral("012.50"));
    r.set(TowField::vehnotes, QStringLiteral("line 1\r\nline 2"));
    r.set(TowField::towedrelease, QString());
    r.set(TowField::groupname, group);
    return r;
}

// Runs the statements on an SQLite file, making it when there is none.
void makeDatabase(const QString &path, const QStringList &statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "maker");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        for (const QString &sql : statements)
            QVERIFY2(QSqlQuery(db).exec(sql), qPrintable(sql));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("maker"));
}

bool exec(const RecordStore &store, const QString &sql)
{
    return QSqlQuery(store.database()).exec(sql);
}

// The first value the statement gives, as text; "failed" when it does not run.
QString scalar(const RecordStore &store, const QString &sql)
{
    QSqlQuery query(store.database());
    return query.exec(sql) && query.next() ? query.value(0).toString() : QString("failed");
}

// A new database in a fresh folder, open.
struct Fresh : RecordStore
{
    test::StoreFolder folder;
    Fresh() { QVERIFY(open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing)); }
    ~Fresh() { close(); }
};

} // namespace

class RecordStoreTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void init() { SKIP_WITHOUT_ENGINE(); }

    void olderDatabaseUpgradesAndReadsAsBefore()
    {
        SQLITE_ONLY();
        test::TestFolder folder;
        // A file made elsewhere, as the first schema made it (version 0), with a group, two
        // vehicles and a reminder.
        QStringList statements = SchemaCheck::firstVersionStatements();
        statements << "INSERT INTO groups (groupname) VALUES ('Police')"
                   << "INSERT INTO wrecker (custname, vehyear, groupname, towedrelease) "
                      "VALUES ('Ann', '1999', 'Police', '')"
                   << "INSERT INTO wrecker (custname, vehyear, groupname, towedrelease) "
                      "VALUES ('Bo', '2004', '', '3/1/2026')"
                   << "INSERT INTO reminders (item, DateFor) VALUES ('Call', '3/9/2026')"
                   << "PRAGMA user_version = 0";
        makeDatabase(folder.databasePath(), statements);

        RecordStore store;
        QVERIFY(store.open(folder.databasePath(), RecordStore::OpenMode::ExistingOnly));
        QCOMPARE(scalar(store, "PRAGMA user_version"), QString::number(SchemaCheck::kVersion));
        const QList<TowRecord> records = *store.towRecords();
        QVERIFY(store.groups()->size() == 1 && records.size() == 2);
        QCOMPARE((QStringList{records[0].field(u"custname"), records[0].field(u"groupname"),
                              records[1].field(u"towedrelease"), records[1].field(u"vehyear")}),
                 (QStringList{"Ann", "Police", "3/1/2026", "2004"}));
        QVERIFY(SchemaCheck::hasSearchIndex(store.database()));
        // The tree reads a group's vehicles from one index, which takes the group name's place.
        QCOMPARE(scalar(store, "SELECT group_concat(name) FROM sqlite_master WHERE type = 'index' "
                               "AND tbl_name = 'wrecker'"),
                 "wrecker_brief,wrecker_unreleased");
        // Records from before versions were kept read as version 0 and save as such; the save
        // also finds the file writable and the program's own.
        QCOMPARE(records[0].version, 0);
        QVERIFY(store.updateTowRecord(records[0]));
        QCOMPARE(store.towRecord(records[0].id)->version, 1);
    }

    void paymentsOfAnOlderDatabaseUpgrade()
    {
        // A version-5 database, file or server: without the payments' later columns and the
        // yard's indexes, with a payment taken then.
        Fresh store;
        const QString version = store.isServer() ? "SELECT version FROM schema_version"
                                                 : "PRAGMA user_version";
        for (const QString sql :
             {"DROP INDEX wrecker_unreleased", "DROP INDEX impound_status_status",
              "DROP INDEX impound_payments_day", "DROP INDEX impound_releases_day",
              "ALTER TABLE impound_payments DROP COLUMN paid_at",
              "ALTER TABLE impound_payments DROP COLUMN taken_by",
              "ALTER TABLE impound_payments DROP COLUMN refund_of",
              "INSERT INTO wrecker (custname) VALUES ('Ann')",
              "INSERT INTO impound_payments (vehicle_id, amount_cents, paid_on) "
              "VALUES ((SELECT max(id) FROM wrecker), 2500, '2026-01-05')",
              store.isServer() ? "UPDATE schema_version SET version = 5" : "PRAGMA user_version = 5"})
            QVERIFY2(exec(store, sql), qPrintable(sql));
        store.close();
        QVERIFY(store.open(store.folder.databasePath(), RecordStore::OpenMode::ExistingOnly));
        QCOMPARE(scalar(store, version), QString::number(SchemaCheck::kVersion));
        QCOMPARE(scalar(store, "SELECT amount_cents || paid_on || '|' || paid_at || taken_by || "
                               "refund_of FROM impound_payments"),
                 "25002026-01-05|0");
        QVERIFY(store.isServer() || SchemaCheck::foreignObjects(store.database())->isEmpty());
        // The reports' indexes of the days are made again.
        QCOMPARE(scalar(store, store.isServer()
                                   ? "SELECT count(*) FROM pg_indexes WHERE schemaname = "
                                     "current_schema() AND indexname LIKE 'impound_%_day'"
                                   : "SELECT count(*) FROM sqlite_master WHERE name LIKE "
                                     "'impound_%_day'"),
                 "2");
    }

    void failedCreationLeavesNoFile()
    {
        SQLITE_ONLY();
        test::TestFolder folder;
        // No journal can be made beside it, so the tables cannot be written.
        QVERIFY(QDir().mkdir(folder.databasePath() + "-journal"));
        RecordStore store;
        QVERIFY(!store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(!QFile::exists(folder.databasePath()));
        QVERIFY(QDir().rmdir(folder.databasePath() + "-journal"));
        // A file that must exist is never made.
        QVERIFY(!store.open(folder.databasePath(), RecordStore::OpenMode::ExistingOnly));
        QVERIFY(store.lastError().description.contains(folder.databasePath()));
        QVERIFY(!QFile::exists(folder.databasePath()) && !store.isOpen());
    }

    void badFilesAreRefusedAndUntouched_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expectedText");
        // clang-format off
        QTest::newRow("text file") << "text" << "file is not a database";
        QTest::newRow("without wrecker") << "no wrecker" << "no such table: wrecker";
        // clang-format on
    }

    void badFilesAreRefusedAndUntouched()
    {
        SQLITE_ONLY();
        QFETCH(QString, kind);
        QFETCH(QString, expectedText);
        test::TestFolder folder;
        const QString path = folder.file("business.dll");
        if (kind == "text")
            test::writeFile(path, QByteArray("Not the records you want.\n").repeated(200));
        else
            makeDatabase(path, {"CREATE TABLE groups (x)", "CREATE TABLE lb_type (x)"});
        const QByteArray before = test::readFile(path);
        using Mode = RecordStore::OpenMode;
        for (const Mode mode : {Mode::ExistingOnly, Mode::CreateIfMissing}) {
            RecordStore store;
            QVERIFY(!store.open(path, mode));
            QVERIFY2(store.lastError().description.contains(expectedText),
                     qPrintable(store.lastError().description));
            // Later actions say so, not that a driver is missing.
            QCOMPARE(store.towRecordCount(), -1);
            QCOMPARE(store.lastError().description, QString("The database is not open."));
        }
        QCOMPARE(test::readFile(path), before);
    }

    void anotherUsersPrivateFileIsNamedAsSuch()
    {
        SQLITE_ONLY();
        if (::geteuid() != 0)
            QSKIP("needs root to own a file another user may not read");
        test::TestFolder folder;
        const QString path = folder.databasePath();
        QVERIFY(RecordStore().open(path, RecordStore::OpenMode::CreateIfMissing));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0600), 0);
        QCOMPARE(::chmod(QFile::encodeName(folder.path()).constData(), 0777), 0);
        const test::ChildEnd end = test::runInChild(
            [&] {
                RecordStore store;
                return int(store.open(path, RecordStore::OpenMode::ExistingOnly) ||
                           store.lastError().description !=
                               "Permission denied: this user may not read the database file " +
                                   path +
                                   ". Ask the file's owner or the PC's administrator for "
                                   "access to it, or choose another database.");
            },
            true);
        QCOMPARE(end.status, 0);
    }

    void foreignObjectsMakeItReadOnly_data()
    {
        // Statements, one a line, run on the file before it is opened; what the reason names,
        // "" when the file is the program's own.
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("named");
        // clang-format off
        QTest::newRow("own schema") << "" << "";
        QTest::newRow("table changed") << "ALTER TABLE groups ADD COLUMN note TEXT"
                                       << "table \"groups\" (not as this program creates it)";
        QTest::newRow("own index redefined")
            << "DROP INDEX groups_groupname\nCREATE INDEX groups_groupname ON groups (GROUPID)"
            << "index \"groups_groupname\" on \"groups\" (not as this program creates it)";
        QTest::newRow("a trigger named as its table")
            << "CREATE TABLE extra (a)\nCREATE TRIGGER extra AFTER INSERT ON extra BEGIN SELECT 1; END\n"
               "CREATE VIEW later AS SELECT 1"
            << "table \"extra\", trigger \"extra\", view \"later\"";
        QTest::newRow("SQLite's statistics") << "ANALYZE" << "";
        QTest::newRow("statistics of an engine with STAT4")
            << "PRAGMA writable_schema = ON\nCREATE TABLE sqlite_stat4(tbl,idx,neq,nlt,ndlt,sample)"
            << "";
        QTest::newRow("forged statistics")
            << "PRAGMA writable_schema = ON\nCREATE TABLE sqlite_stat1(tbl,idx,stat,x)"
            << "table \"sqlite_stat1\" (not as this program creates it)";
        // clang-format on
    }

    void foreignObjectsMakeItReadOnly()
    {
        SQLITE_ONLY();
        QFETCH(QString, sql);
        QFETCH(QString, named);
        test::TestFolder folder;
        const QString path = folder.databasePath();
        {
            RecordStore maker;
            QVERIFY(maker.open(path, RecordStore::OpenMode::CreateIfMissing) &&
                    maker.addGroup("Lot A") && maker.addTowRecord(sampleRecord("Lot A")));
        }
        makeDatabase(path, sql.split('\n', Qt::SkipEmptyParts));
        const QByteArray before = test::readFile(path);

        RecordStore store;
        QVERIFY(store.open(path, RecordStore::OpenMode::ExistingOnly));
        QCOMPARE(store.isReadOnly(), !named.isEmpty());
        QVERIFY2(store.readOnlyReason().contains(named), qPrintable(store.readOnlyReason()));
        // Defensive mode on, whatever the file holds; trusted schema off unless every object is
        // the program's own (the search index's triggers need it).
        QCOMPARE(scalar(store, "PRAGMA trusted_schema"), named.isEmpty() ? "1" : "0");
        QVERIFY(exec(store, "PRAGMA writable_schema = ON"));
        QVERIFY(!exec(store, "UPDATE sqlite_master SET sql = '' WHERE name = 'groups'"));

        // The records can be read either way; a change goes in only for the program's own file.
        QCOMPARE(store.towRecords()->size(), 1);
        QCOMPARE(bool(store.addGroup("Lot B")), named.isEmpty());
        QCOMPARE(store.towRecordCount(), 1);
        if (!named.isEmpty()) {
            QVERIFY2(store.lastError().description.startsWith("The database is open read-only"),
                     qPrintable(store.lastError().description));
            QCOMPARE(test::readFile(path), before);
            // Another program's save is still seen.
            makeDatabase(path, {"UPDATE wrecker SET custname = 'Moved' WHERE id = 1",
                                "UPDATE wrecker_version SET revision = revision + 1 WHERE id = 1"});
            QCOMPARE(store.checkOutsideChanges(), (StoreChange{{}, {1}, {}, {}, {}}));
            const QByteArray moved = test::readFile(path);
            store.close();
            QCOMPARE(test::readFile(path), moved);
        }
    }

    // A statement that would run for ever is stopped from another thread, at once, and the
    // connection answers the next one.
    void runningStatementIsCancelled()
    {
        Fresh store;
        const bool server = store.isServer();
        const QString endless = server ? "SELECT pg_sleep(600)"
                                       : "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) "
                                         "SELECT count(*) FROM n";
        const QString source = store.database().connectionName();
        std::mutex guard; // holds the canceller's life while the main thread uses it
        StatementCanceller *canceller = nullptr;
        QString failure;
        QString after;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            QVERIFY(!StoreConnection::openReadingCopy(source, "cancelled"));
            {
                QSqlDatabase db = QSqlDatabase::database("cancelled", false);
                StatementCanceller mine(db);
                QVERIFY(mine.canCancel());
                QSqlQuery query(db);
                {
                    const std::lock_guard lock(guard);
                    canceller = &mine;
                }
                if (!query.exec(endless))
                    failure = query.lastError().nativeErrorCode();
                {
                    const std::lock_guard lock(guard);
                    canceller = nullptr;
                }
                after = query.exec("SELECT 7") && query.next() ? query.value(0).toString() : "";
                db.close();
            }
            QSqlDatabase::removeDatabase("cancelled");
        }));
        worker->start();
        // A request that reaches the engine before the statement has started is dropped, so
        // it is made until the statement ends; one made while it runs stops it.
        int requests = 0;
        for (int turn = 0; turn < 240 && !worker->wait(250); ++turn) {
            const std::lock_guard lock(guard);
            if (canceller) {
                QVERIFY(canceller->cancel());
                ++requests;
            }
        }
        QVERIFY(worker->isFinished());
        QVERIFY(requests >= 1);
        QCOMPARE(failure, server ? "57014" : "9"); // query_canceled, SQLITE_INTERRUPT
        QCOMPARE(after, "7");
        // The server's own reader asks the server to stop once its flag is set.
        PgReader reader(store.database());
        QCOMPARE(reader.isOpen(), server);
        const std::atomic<bool> stop{true};
        if (server) {
            QVERIFY(!reader.exec("SELECT pg_sleep(600)", {}, &stop) && reader.cancelled());
            QVERIFY(reader.exec("SELECT 7") && reader.step() == PgReader::Step::Row &&
                    !reader.cancelled() && reader.integer(0) == 7);
        }
    }

    // A key given twice is 3022 on either engine; another code is kept (1 when there is none)
    // and the driver's text stands in for a missing engine text.
    void errorFromEngine()
    {
        const std::pair<QString, int> codes[] = {{"2067", DbError::kDuplicateKey}, {"1555", DbError::kDuplicateKey},
            {"23505", DbError::kDuplicateKey}, {"19", 19}, {"0", 1}, {"", 1}, {"42P01", 1}};
        for (const auto &[code, number] : codes)
            QVERIFY(DbError::fromSql(QSqlError("driver", "engine", QSqlError::StatementError, code),
                                     "doing") == (DbError{number, "engine", "doing"}));
        const QSqlError bare("driver", {}, QSqlError::StatementError, "5");
        QCOMPARE(DbError::fromSql(bare).description, bare.text());
    }

    void groupsAreUniqueCaseSensitiveAndIdsNeverReused()
    {
        Fresh store;
        const auto a = store.addGroup("Lot A");
        QVERIFY(a && !store.addGroup("Lot A"));
        QCOMPARE(store.lastError().number, DbError::kDuplicateKey);
        QVERIFY(!store.addGroup("\t \r\n")); // blank names are refused
        QCOMPARE(store.lastError().number, DbError::kBlankName);
        const auto lower = store.addGroup("lot a");
        QVERIFY(lower && store.addGroup("Lot A ")); // a trailing blank makes another name
        QCOMPARE((QList<qint64>{store.groupIdByName("Lot A"), store.groupIdByName("lot a"),
                                store.groupIdByName("LOT A")}),
                 (QList<qint64>{*a, *lower, -1}));
        QVERIFY(!store.groupExists("Lot B"));

        QCOMPARE(store.removeGroupWithVehicles("lot a"), RecordStore::RemoveGroupResult::Removed);
        const auto b = store.addGroup("Lot B");
        QVERIFY(b && *b > *lower); // identifiers are never handed out twice
        QCOMPARE(*store.groups(),
                 (QList<GroupRecord>{{*a, "Lot A"}, {*lower + 1, "Lot A "}, {*b, "Lot B"}}));
    }

    void towRecordRoundTripsEveryField()
    {
        Fresh store;
        TowRecord record = sampleRecord("Lot A");
        const auto id = store.addTowRecord(record);
        QVERIFY(id);
        record.id = *id;
        QCOMPARE(*store.towRecord(*id), record);
        QCOMPARE(store.towRecords()->size(), 1);
        QCOMPARE(store.towRecordsInGroup("Lot A")->size(), 1);
        QCOMPARE(store.towRecordsInGroup("lot a")->size(), 0);

        record.set(TowField::total, "999.99");
        record.set(TowField::groupname, "");
        QVERIFY(store.updateTowRecord(record));
        QCOMPARE(*store.towRecord(*id), record);
        QCOMPARE(store.towRecordsInGroup("Lot A")->size(), 0);
        // The table holds the id and every field, nothing else.
        QStringList expected{"id"};
        for (int i = 0; i < kTowFieldCount; ++i)
            expected << TowRecord::fieldName(TowField(i));
        QSqlQuery columns(store.database());
        QVERIFY(columns.exec(store.isServer() ? "SELECT column_name FROM information_schema.columns WHERE "
                                                "table_name = 'wrecker' ORDER BY ordinal_position"
                                              : "SELECT name FROM pragma_table_info('wrecker')"));
        QStringList names;
        while (columns.next())
            names << columns.value(0).toString();
        QCOMPARE(names.join(' ').toLower(), expected.join(' ').toLower());
    }

    // Blanks around the id and a decimal point are read; no such record, a fraction, letters
    // after the number or no text find nothing.
    void findVehicleById()
    {
        Fresh store;
        QVERIFY(store.addTowRecord(sampleRecord("A")) && store.addTowRecord(sampleRecord("B")));
        for (const char *text : {" 2 ", "2.0"})
            QVERIFY2(store.findVehicleById(text).value_or(TowRecord()).id == 2, text);
        for (const char *text : {"99", "2.5", "2abc", ""})
            QVERIFY2(!store.findVehicleById(text), text);
    }

    // Stepping stays at the ends and goes on from a record removed meanwhile.
    void neighboursInTableOrder()
    {
        Fresh store;
        const qint64 a = store.addTowRecord(sampleRecord("A")).value_or(-1);
        const qint64 b = store.addTowRecord(sampleRecord("B")).value_or(-1);
        const qint64 c = store.addTowRecord(sampleRecord("C")).value_or(-1);
        QVERIFY(store.removeTowRecord(b));
        using D = RecordStore::Direction;
        auto step = [&](qint64 from, D direction) {
            const auto found = store.neighbour(from, direction);
            return found ? found->id : qint64(-1);
        };
        QCOMPARE((QList<qint64>{step(a, D::Next), step(c, D::Previous), step(a, D::Previous),
                                step(c, D::Next), step(b, D::Next), step(b, D::Previous)}),
                 (QList<qint64>{c, a, -1, -1, c, a}));
        QCOMPARE(store.neighbour(c, D::Previous)->value(TowField::groupname), QString("A"));
    }

    void removeGroupIsAllOrNothing()
    {
        Fresh store;
        QVERIFY(store.addGroup("Lot A"));
        for (const char *group : {"Lot A", "Lot A", "Lot A", "lot a", "Gone"})
            QVERIFY(store.addTowRecord(sampleRecord(group)));
        // A record the engine refuses to delete makes the whole removal fail.
        QVERIFY(exec(store, test::onServer()
                                ? "CREATE FUNCTION keep() RETURNS trigger LANGUAGE plpgsql AS $$ "
                                  "BEGIN IF old.id = 3 THEN RAISE 'record 3 is on hold'; END IF; "
                                  "RETURN old; END $$"
                                : "CREATE TRIGGER keep BEFORE DELETE ON wrecker WHEN old.id = 3 "
                                  "BEGIN SELECT RAISE(ABORT, 'record 3 is on hold'); END"));
        QVERIFY(!test::onServer() || exec(store, "CREATE TRIGGER keep BEFORE DELETE ON wrecker "
                                                 "FOR EACH ROW EXECUTE FUNCTION keep()"));
        QCOMPARE(store.removeGroupWithVehicles("Lot A"), RecordStore::RemoveGroupResult::Failed);
        QVERIFY(store.lastError().description.contains("record 3 is on hold"));
        QVERIFY(store.groupExists("Lot A") && store.countVehiclesInGroup("Lot A") == 3);

        QVERIFY(
            exec(store, test::onServer() ? "DROP TRIGGER keep ON wrecker" : "DROP TRIGGER keep"));
        QCOMPARE(store.removeGroupWithVehicles("Lot A"), RecordStore::RemoveGroupResult::Removed);
        QVERIFY(!store.groupExists("Lot A"));
        QCOMPARE(store.towRecordCount(), 2); // the name is matched exactly
        // Vehicles naming a group that has no row are removed, and the answer says no group row.
        QCOMPARE(store.removeGroupWithVehicles("Gone"), RecordStore::RemoveGroupResult::NoGroupRow);
        QCOMPARE(store.towRecords()->value(0).value(TowField::groupname), QString("lot a"));
    }

    // Each successful change is announced once, after it is done, naming exactly what it touched;
    // a failed or empty change announces nothing.
    void everyChangeIsAnnouncedOnce()
    {
        test::StoreFolder folder;
        RecordStore store;
        QList<StoreChange> heard;
        QObject::connect(&store, &RecordStore::changed, [&](const StoreChange &change) {
            heard << change;
            // Announced after the change: the store already reads the new state.
            if (!change.addedRecords.isEmpty())
                QVERIFY(store.towRecord(change.addedRecords.first()));
        });
        auto take = [&heard] { return std::exchange(heard, {}); };
        QVERIFY(store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        using Heard = QList<StoreChange>;
        QCOMPARE(take(), Heard{StoreChange::everything()});

        QVERIFY(store.addGroup("Lot A"));
        QCOMPARE(take(), (Heard{StoreChange{{}, {}, {}, {"Lot A"}, {}}}));

        const qint64 a = *store.addTowRecord(sampleRecord("Lot A"));
        const qint64 b = *store.addTowRecord(sampleRecord("Lot A"));
        const qint64 c = *store.addTowRecord(sampleRecord("Other"));
        QCOMPARE(take().size(), 3);

        TowRecord changed = *store.towRecord(c);
        changed.set(TowField::vehmake, "Dodge");
        QVERIFY(store.updateTowRecord(changed));
        QCOMPARE(take(), (Heard{StoreChange{{}, {c}, {}, {}, {}}}));
        changed.id = 999;
        QVERIFY(!store.updateTowRecord(changed)); // a missing row is never recreated
        QCOMPARE(store.lastError().number, DbError::kNoCurrentRow);
        QVERIFY(store.towRecordCount() == 3 && take().isEmpty());

        QVERIFY(store.removeTowRecord(999)); // no such row: nothing happened, and no error
        QVERIFY(store.towRecordCount() == 3 && take().isEmpty() && store.removeTowRecord(c));
        QCOMPARE(take(), (Heard{StoreChange{{}, {}, {c}, {}, {}}}));
        QCOMPARE(store.removeGroupWithVehicles("Lot A"), RecordStore::RemoveGroupResult::Removed);
        QCOMPARE(take(), (Heard{StoreChange{{}, {}, {a, b}, {}, {"Lot A"}}}));
        // The stored row cannot be read: nothing is saved, and the failure is no success.
        QVERIFY(test::onServer() || (exec(store, "DROP TABLE wrecker_version")
                                     && !store.updateTowRecord(changed) && take().isEmpty()));

        store.close();
        QCOMPARE(take(), Heard{StoreChange::everything()});
        store.close();
        QVERIFY(take().isEmpty());
    }

    // A vehicle added at one workstation to a group another has just removed is refused, never
    // left naming a group that no longer exists.
    void groupRemovedWhileVehiclesAreAdded()
    {
        Fresh office;
        RecordStore gate;
        QVERIFY(gate.open(office.folder.databasePath(), RecordStore::OpenMode::ExistingOnly));
        QVERIFY(office.addGroup("Lot A"));
        QVERIFY(gate.addTowRecord(sampleRecord("Lot A"), RecordStore::GroupCheck::MustExist));
        QCOMPARE(office.removeGroupWithVehicles("Lot A"), RecordStore::RemoveGroupResult::Removed);
        QVERIFY(!gate.addTowRecord(sampleRecord("Lot A"), RecordStore::GroupCheck::MustExist));
        QCOMPARE(gate.lastError().number, DbError::kGroupGone);
        QCOMPARE(office.towRecordCount(), 0);
    }

    void outsideChangesAreAnnounced()
    {
        Fresh office;
        QVERIFY(office.addGroup("Lot A"));
        const qint64 x = *office.addTowRecord(sampleRecord("Lot A"));
        const qint64 y = *office.addTowRecord(sampleRecord("Lot A"));
        RecordStore gate;
        QVERIFY(gate.open(office.folder.databasePath(), RecordStore::OpenMode::ExistingOnly));
        QSignalSpy spy(&gate, &RecordStore::changed);
        QVERIFY(gate.checkOutsideChanges().isEmpty());

        // The second workstation's copy of x goes stale when the first saves it: never saved over.
        const TowRecord stale = *gate.towRecord(x);
        const qint64 z = *office.addTowRecord(sampleRecord(""));
        QVERIFY(office.updateTowRecord(*office.towRecord(x)) && !gate.updateTowRecord(stale));
        QCOMPARE(gate.lastError().number, DbError::kChangedElsewhere);
        QVERIFY(office.updateTowRecord(*office.towRecord(z)) && office.removeTowRecord(y) &&
                office.addGroup("Lot B"));
        QCOMPARE(gate.checkOutsideChanges(), (StoreChange{{z}, {x}, {y}, {"Lot B"}, {}}));
        QCOMPARE(spy.size(), 1);
        QVERIFY(gate.checkOutsideChanges().isEmpty());

        // A record added and removed elsewhere between two looks is never announced.
        const qint64 brief = *office.addTowRecord(sampleRecord(""));
        QVERIFY(office.removeTowRecord(brief));
        QCOMPARE(office.removeGroupWithVehicles("Lot A"), RecordStore::RemoveGroupResult::Removed);
        QCOMPARE(gate.checkOutsideChanges(), (StoreChange{{}, {}, {x}, {}, {"Lot A"}}));

        // The look runs on its timer only while a database is open and an interval is set (on
        // a server at least every kServerWatchMs, between its notifications).
        const int looks = gate.isServer() ? RecordStore::kServerWatchMs : 40;
        const auto looking = [&gate] {
            QStringList intervals;
            for (const QTimer *timer : gate.findChildren<QTimer *>())
                if (timer->isActive() && !timer->isSingleShot())
                    intervals << QString::number(timer->interval());
            return intervals.join(u' ');
        };
        QStringList seen{looking()};
        gate.setWatchInterval(40);
        seen << looking();
        gate.setWatchInterval(0);
        seen << looking();
        gate.close();
        gate.setWatchInterval(40);
        seen << looking();
        QCOMPARE(seen, QStringList({"", QString::number(looks), "", ""}));
    }

    // A copy of the file alone holds every save once the program has been idle a moment, and
    // once it closes, while another program keeps the file and its log open.
    void savesReachTheFileWhenIdleAndAtClose()
    {
        SQLITE_ONLY();
        Fresh fresh;
        const QString db = fresh.folder.databasePath(), copy = db + ".copy";
        RecordStore other;
        QVERIFY(other.open(db, RecordStore::OpenMode::ExistingOnly));
        auto copiedCount = [&] {
            QFile::remove(copy);
            RecordStore copied;
            return QFile::copy(db, copy) && copied.open(copy, RecordStore::OpenMode::ExistingOnly)
                       ? copied.towRecordCount()
                       : -1;
        };
        QVERIFY(fresh.addTowRecord(sampleRecord("")));
        QTRY_COMPARE_WITH_TIMEOUT(copiedCount(), 1, 3 * RecordStore::kIdleCheckpointMs);
        QVERIFY(fresh.addTowRecord(sampleRecord("")));
        fresh.close();
        QCOMPARE(copiedCount(), 2);
    }

    // A file whose search index lacks a trigger, or does not hold what the table does, gets it
    // made again on opening, with its progress.
    void searchIndexIsRepaired_data()
    {
        const QString columns = SchemaCheck::searchIndexColumns().join(", ");
        const QString remove = "INSERT INTO wrecker_fts(wrecker_fts, rowid, " + columns +
                               ") SELECT 'delete', id, " + columns + " FROM wrecker WHERE id = ";
        QTest::addColumn<QStringList>("damage");
        QTest::newRow("intact: not made again") << QStringList{};
        QTest::newRow("trigger missing") << QStringList{"DROP TRIGGER wrecker_fts_update"};
        QTest::newRow("emptied") << QStringList{"INSERT INTO wrecker_fts(wrecker_fts) VALUES ('delete-all')"};
        QTest::newRow("a vehicle missing") << QStringList{remove + "3"};
        QTest::newRow("forged") << QStringList{remove + "1", "INSERT INTO wrecker_fts(rowid, vehmake) VALUES (1, 'Kia')"};
        QTest::newRow("scribbled") << QStringList{"UPDATE wrecker_fts_data SET block = zeroblob(length(block)) WHERE id > 10"};
        QTest::newRow("the layout before plate, VIN and phone")
            << QStringList{"DROP TRIGGER wrecker_fts_insert", "DROP TRIGGER wrecker_fts_delete",
                           "DROP TRIGGER wrecker_fts_update", "DROP TABLE wrecker_fts"} + SchemaCheck::searchIndexStatements(1) +
                   QStringList{"INSERT INTO wrecker_fts(rowid, " + columns + ") SELECT id, " + columns + " FROM wrecker"};
    }
    void searchIndexIsRepaired()
    {
        SQLITE_ONLY();
        QFETCH(QStringList, damage);
        Fresh fresh;
        for (const char *make : {"Ford", "Kia", "Ford"}) {
            TowRecord record = sampleRecord("");
            record.set(TowField::vehmake, QString::fromLatin1(make));
            QVERIFY(fresh.addTowRecord(record));
        }
        fresh.close();
        makeDatabase(fresh.folder.databasePath(), damage);
        RecordStore store;
        qint64 done = 0, total = -1;
        store.setProgressHandler([&](qint64 d, qint64 t) { done = d, total = t; });
        QVERIFY(store.open(fresh.folder.databasePath(), RecordStore::OpenMode::ExistingOnly));
        QVERIFY(!store.isReadOnly() && (damage.isEmpty() ? total == -1 : done == total));
        QVERIFY(SchemaCheck::hasSearchIndex(store.database()));
        // The triggers keep it in step.
        TowRecord record = *store.towRecord(2);
        record.set(TowField::vehmake, "Ford");
        QVERIFY(store.updateTowRecord(record) && store.removeTowRecord(1));
        QCOMPARE(scalar(store, "SELECT group_concat(rowid) FROM wrecker_fts WHERE wrecker_fts "
                               "MATCH 'ford'"),
                 "2,3");
    }
};

QTEST_GUILESS_MAIN(RecordStoreTest)
#include "RecordStore_test.moc"
