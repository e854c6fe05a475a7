#include <QSqlQuery>
#include <QTest>

#include "DatabaseSnapshot.h"
#include "ImpoundStore.h"
#include "StoreFixture.h"
#include "StoreFolder.h"
#include "TableRows.h"
#include "TestFiles.h"
#include "YardMove.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

// A yard with groups, vehicles (one removed, so the highest id ever given is no row's),
// a hold, a release with a payment, a lien step, reminders and lot types.
qint64 makeYard(RecordStore &store)
{
    for (const QString group : {"North", "north"})
        store.addGroup(group);
    const qint64 first = addVehicle(store, "North", "2001", QString::fromUtf8("Škoda"));
    const qint64 second = addVehicle(store, "north");
    const qint64 gone = addVehicle(store, "North");
    store.removeTowRecord(gone);
    ImpoundStore impound(store);
    impound.placeHold(*store.towRecord(second), {0, "Evidence", "PD", "7", "Sgt. Ray", {}, {}, {}},
                      QDate(2026, 1, 2));
    impound.addPayment(*store.towRecord(first), {2500, "Cash", "", QDate(2026, 1, 5)});
    impound.release(*store.towRecord(first), {"Ann", "ID", "1", QDate(2026, 1, 5), {}});
    impound.markStepDone(second, "Notice", QDate(2026, 1, 9));
    QSqlQuery query(store.database());
    query.exec("INSERT INTO reminders (item, DateFor, Done, Date) VALUES ('Call PD', '1/3/2026', "
               "1, '1/1/2026'), ('Tags', '', 0, '')");
    // More lot types than one INSERT carries: a full statement run twice, then the rest.
    query.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2100) "
               "INSERT INTO lb_type (name) SELECT 'Lot ' || i FROM n");
    return gone;
}

// Every row of the yard's tables in a file, each value as SQLite quotes it: NULL, a number
// or a text, so that a value that changed its kind shows.
QStringList quotedRows(const QString &path)
{
    QStringList rows;
    RecordStore file;
    if (!file.open(path, RecordStore::OpenMode::ExistingOnly))
        return {"cannot open " + path};
    for (const QString &table : kYardTables) {
        QSqlQuery query(file.database());
        QStringList quoted;
        query.exec(QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(table));
        while (query.next())
            quoted << "quote(" + query.value(0).toString() + ")";
        if (!query.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY 1").arg(quoted.join(", "), table)))
            return {"failed: " + table};
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < quoted.size(); ++i)
                fields << query.value(i).toString();
            rows << table + ": " + fields.join('|');
        }
    }
    return rows;
}

} // namespace

class YardMoveTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void init() { qputenv("TARNVALE_TEST_ENGINE", "postgresql"); }

    // The server ends up with the file's rows and ids, and goes on after its highest id.
    void copiesEveryRow()
    {
        SKIP_WITHOUT_ENGINE();
        TestFolder dir;
        StoreFolder server;
        RecordStore file;
        QVERIFY(file.open(dir.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        const qint64 highest = makeYard(file);
        // The first lot type removed: the ids copied start after a gap.
        QVERIFY(QSqlQuery(file.database())
                    .exec("UPDATE impound_holds SET reason = '', case_number = ' -0012 '") &&
                QSqlQuery(file.database()).exec("DELETE FROM lb_type WHERE name = 'Lot 1'"));
        const QStringList rows = rowsOf(file);
        for (const QString &table : kYardTables)
            QVERIFY2(!rows.filter(table + ": ").isEmpty(), qPrintable(table));
        file.close();

        const YardMove::Result result =
            YardMove::toServer(dir.databasePath(), server.databasePath());
        QVERIFY2(result.moved, qPrintable(result.reason));
        QCOMPARE(result.summary(), "Moved 2 vehicles, 2 groups, 2 reminders to the server.");
        RecordStore moved;
        QVERIFY(moved.open(server.databasePath(), RecordStore::OpenMode::ExistingOnly));
        QCOMPARE(rowsOf(moved), rows);
        // And back into a file, as a backup of the server makes it: every value of the kind
        // it had, empty and number-like texts included.
        const QString back = dir.file("back.db");
        QList<qint64> told; // the rows copied, as the progress is told them, and of how many
        const YardMove::Result backup =
            YardMove::toFile(server.databasePath(), back, [&](qint64 done, qint64 total) {
                told = {done, total};
                return true;
            });
        QVERIFY2(backup.moved, qPrintable(backup.reason));
        QCOMPARE(told, (QList<qint64>{rows.size(), rows.size()}));
        // Stopped by its progress once rows were copied: not taken, and said so.
        const YardMove::Result stopped = YardMove::toFile(
            server.databasePath(), dir.file("stopped.db"),
            [&](qint64 done, qint64) { return done < rows.size() / 2; });
        QVERIFY(!stopped.moved);
        QCOMPARE(stopped.reason, DatabaseSnapshot::kStopped);
        const QStringList quoted = quotedRows(dir.databasePath());
        QVERIFY(quoted.join('\n').contains("|''|") && quoted.join('\n').contains("|' -0012 '|"));
        QCOMPARE(quotedRows(back), quoted);
        QCOMPARE(moved.addTowRecord(vehicleRecord("North")), std::optional<qint64>(highest + 1));
        QVERIFY(moved.addGroup("South").value_or(0) > 2);
    }

    // A server table with a column the file has not: the backup fails, saying where.
    void backupStopsAtAColumnTheFileLacks()
    {
        SKIP_WITHOUT_ENGINE();
        TestFolder dir;
        StoreFolder server;
        {
            RecordStore store;
            QVERIFY(store.open(server.databasePath(), RecordStore::OpenMode::CreateIfMissing));
            QVERIFY(QSqlQuery(store.database()).exec("ALTER TABLE lb_type ADD COLUMN colour TEXT"));
        }
        const YardMove::Result result = YardMove::toFile(server.databasePath(), dir.file("b.db"));
        QVERIFY(!result.moved);
        QCOMPARE(result.reason,
                 "Failed while copying table lb_type: table lb_type has no column named colour");
    }

    // Nothing is written when the server is not empty or the file is not a yard.
    void refuses_data()
    {
        QTest::addColumn<QString>("serverHolds");
        QTest::addColumn<QByteArray>("fileBytes");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("fileChange");
        QTest::newRow("a vehicle") << "INSERT INTO wrecker (vehmake) VALUES ('Ford')"
                                   << QByteArray() << "already holds records" << "";
        QTest::newRow("not a database") << QString() << QByteArray("plain text, not SQLite\n")
                                        << "cannot be read as a database" << "";
        const QString cannot = "which the server cannot store exactly. Nothing was written: "
                               "correct that value in the file first.";
        QTest::newRow("a NUL byte") << QString() << QByteArray()
            << "Table wrecker, column vehmodel of the row with rowid 2 holds a NUL byte, " + cannot
            << "UPDATE wrecker SET vehmodel = 'Tau' || char(0) || 'rus' WHERE id = 2";
        QTest::newRow("not UTF-8") << QString() << QByteArray()
            << "Table reminders, column item of the row with rowid 1 holds bytes that are not "
               "UTF-8 text, " + cannot << "UPDATE reminders SET item = CAST(x'43616c6cff' AS TEXT)";
        QTest::newRow("binary") << QString() << QByteArray()
            << "Table groups, column groupname of the row with rowid 2 holds binary data, " + cannot
            << "UPDATE groups SET groupname = x'00' WHERE GROUPID = 2";
    }
    void refuses()
    {
        QFETCH(QString, serverHolds);
        QFETCH(QByteArray, fileBytes);
        QFETCH(QString, reason);
        QFETCH(QString, fileChange);
        SKIP_WITHOUT_ENGINE();
        TestFolder dir;
        StoreFolder server;
        const QString uri = server.databasePath();
        RecordStore target;
        QVERIFY(target.open(uri, RecordStore::OpenMode::CreateIfMissing));
        if (!serverHolds.isEmpty())
            QVERIFY(QSqlQuery(target.database()).exec(serverHolds));
        const QStringList before = rowsOf(target);
        if (fileBytes.isNull()) {
            RecordStore file;
            QVERIFY(file.open(dir.databasePath(), RecordStore::OpenMode::CreateIfMissing));
            makeYard(file);
            QVERIFY(fileChange.isEmpty() || QSqlQuery(file.database()).exec(fileChange));
        } else {
            writeFile(dir.databasePath(), fileBytes);
        }

        const YardMove::Result result = YardMove::toServer(dir.databasePath(), uri);
        QVERIFY(!result.moved);
        QVERIFY2(result.reason.contains(reason), qPrintable(result.reason));
        QCOMPARE(rowsOf(target), before);
    }
};

QTEST_GUILESS_MAIN(YardMoveTest)
#include "YardMove_test.moc"
