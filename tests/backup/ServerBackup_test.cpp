#include <QComboBox>
#include <QPushButton>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include "BackupOutcome.h"
#include "BackupWindow.h"
#include "DatabaseBackup.h"
#include "ImpoundStore.h"
#include "RestoreFlow.h"
#include "SampleDatabase.h"
#include "ScriptedDialogs.h"
#include "SettingsFile.h"
#include "StoreFixture.h"
#include "StoreFolder.h"
#include "TestFiles.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

const QStringList kTables = {
    "groups",         "wrecker",       "wrecker_version",  "reminders",        "lb_type",
    "impound_status", "impound_holds", "impound_releases", "impound_payments", "lien_steps_done"};

// Every row of every table as text, in id order; the revisions' table only with `versions`.
QStringList rowsOf(RecordStore &store, bool versions = true)
{
    QStringList rows;
    for (const QString &table : kTables) {
        QSqlQuery query(store.database());
        if (table == "wrecker_version" && !versions)
            continue;
        if (!query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table)))
            return {"failed: " + table};
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < query.record().count(); ++i)
                fields << query.value(i).toString();
            rows << table + ": " + fields.join('|');
        }
    }
    return rows;
}

// Rows in every table; the highest vehicle id is that of a removed vehicle.
qint64 makeYard(RecordStore &store)
{
    store.addGroup("North");
    store.addGroup("north");
    const qint64 first = addVehicle(store, "North", "2001", QString::fromUtf8("Škoda"));
    const qint64 second = addVehicle(store, "north");
    const qint64 gone = addVehicle(store, "North");
    store.removeTowRecord(gone);
    ImpoundStore impound(store);
    impound.placeHold(*store.towRecord(second), {0, "Evidence", "PD", "7", "Sgt. Ray", {}, {}, {}},
                      QDate(2026, 1, 2));
    impound.release(*store.towRecord(first), {"Ann", "ID", "1", QDate(2026, 1, 5), {}},
                    {{2500, "Cash", "", {}}});
    impound.markStepDone(second, "Notice", QDate(2026, 1, 9));
    QSqlQuery(store.database())
        .exec("INSERT INTO reminders (item, DateFor, Done, Date) VALUES ('Call PD', '1/3/2026', "
              "1, '1/1/2026'), ('Tags', '', 0, '')");
    return gone;
}

// Backs the store up into the folder: the text the user is shown.
QString backUp(RecordStore &store, const QString &folder)
{
    DatabaseBackup backup(store);
    QString text;
    QObject::connect(&backup, &DatabaseBackup::finished,
                     [&text](const BackupOutcome &outcome) { text = outcome.text(); });
    if (const auto outcome = backup.start(folder))
        return outcome->text();
    return QTest::qWaitFor([&text] { return !text.isEmpty(); }, 60000) ? text : "no end";
}

// Restores the backup into the store, answering Yes to the question: whether it was restored.
bool restore(RecordStore &store, const QString &backup, ScriptedDialogs &dialogs)
{
    TestFolder folder;
    SettingsFile settings(folder.settingsPath());
    RestoreFlow flow(store, settings, dialogs);
    std::optional<bool> restored;
    QObject::connect(&flow, &RestoreFlow::finished, [&restored](bool done) { restored = done; });
    dialogs.queueAnswer(Answer::Yes);
    flow.start(backup);
    return QTest::qWaitFor([&restored] { return restored.has_value(); }, 60000) && *restored;
}

} // namespace

class ServerBackupTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void init()
    {
        qputenv("TARNVALE_TEST_ENGINE", "postgresql");
        SKIP_WITHOUT_ENGINE();
    }

    // A server's backup restores into a file row for row; the file's next id follows the
    // server's highest, a removed record's.
    void serverBackupIntoFile()
    {
        StoreFolder server;
        RecordStore onServer;
        QVERIFY(onServer.open(server.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        const qint64 highest = makeYard(onServer);
        QCOMPARE(backUp(onServer, server.path()),
                 QStringLiteral("Your database is now Backed up and saved."));

        TestFolder folder;
        RecordStore file;
        QVERIFY(file.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(fillSampleDatabase(file, 5));
        ScriptedDialogs dialogs;
        QVERIFY(restore(file, DatabaseBackup::backupFileIn(server.path()), dialogs));
        QVERIFY(!file.isServer());
        QCOMPARE(rowsOf(file), rowsOf(onServer));
        QCOMPARE(file.addTowRecord(vehicleRecord("North")).value_or(-1), highest + 1);
    }

    // A file's backup replaces a server's records, ids kept, and ids go on after the highest
    // either side gave; another workstation learns each record added, changed or removed, and
    // its form opened before cannot save over a restored record.
    void fileBackupOntoServer_data()
    {
        QTest::addColumn<int>("inBackup");
        QTest::addColumn<int>("onServer");
        QTest::newRow("backup holds more") << 7 << 4;
        QTest::newRow("server holds more") << 3 << 6;
    }
    void fileBackupOntoServer()
    {
        QFETCH(int, inBackup);
        QFETCH(int, onServer);
        TestFolder folder;
        RecordStore file;
        QVERIFY(file.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(fillSampleDatabase(file, inBackup, "file"));
        QCOMPARE(backUp(file, folder.path()),
                 QStringLiteral("Your database is now Backed up and saved."));

        StoreFolder server;
        RecordStore store, other;
        QVERIFY(store.open(server.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(fillSampleDatabase(store, onServer, "server"));
        QVERIFY(other.open(server.databasePath(), RecordStore::OpenMode::ExistingOnly));
        const TowRecord opened = *other.towRecord(1);
        int resets = 0;
        connect(&store, &RecordStore::changed,
                [&resets](const StoreChange &c) { resets += c.reset; });

        ScriptedDialogs dialogs;
        QVERIFY(restore(store, DatabaseBackup::backupFileIn(folder.path()), dialogs));
        QVERIFY2(dialogs.last().text.contains(QString("%1 vehicles, 3 groups").arg(inBackup)),
                 qPrintable(dialogs.last().line()));
        QCOMPARE(resets, 1);
        QCOMPARE(rowsOf(store, false), rowsOf(file, false));
        QCOMPARE(store.addTowRecord(vehicleRecord("North")).value_or(-1),
                 qint64(std::max(inBackup, onServer) + 1));

        StoreChange expected;
        for (qint64 id = 1; id <= std::max(inBackup, onServer); ++id)
            (id > onServer   ? expected.addedRecords
             : id > inBackup ? expected.removedRecords
                             : expected.changedRecords)
                << id;
        expected.addedRecords << std::max(inBackup, onServer) + 1;
        for (const QString group : {"Police holds ", "Private property ", "Accidents "}) {
            expected.addedGroups << group + "file";
            expected.removedGroups << group + "server";
        }
        QCOMPARE(other.checkOutsideChanges(), expected);
        QVERIFY(!other.updateTowRecord(opened));
        QCOMPARE(other.lastError().number, DbError::kChangedElsewhere);
    }

    // A restore that fails before or in the middle of the copy leaves the server as it was.
    void failedRestoreLeavesServer_data()
    {
        QTest::addColumn<QString>("harm");
        QTest::addColumn<QString>("says");
        QTest::newRow("damaged backup") << "damage"
                                        << "checksum did not match";
        QTest::newRow("a row the server refuses")
            << "PRAGMA foreign_keys = OFF; INSERT INTO impound_holds (vehicle_id) VALUES (999)"
            << "copying table impound_holds";
    }
    void failedRestoreLeavesServer()
    {
        QFETCH(QString, harm);
        QFETCH(QString, says);
        TestFolder folder;
        RecordStore file;
        QVERIFY(file.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(fillSampleDatabase(file, 300, "file"));
        for (const QString &sql : harm.split("; ", Qt::SkipEmptyParts))
            QVERIFY(harm == "damage" || QSqlQuery(file.database()).exec(sql));
        QCOMPARE(backUp(file, folder.path()),
                 QStringLiteral("Your database is now Backed up and saved."));
        const QString backup = DatabaseBackup::backupFileIn(folder.path());
        if (harm == "damage") {
            QByteArray bytes = readFile(backup);
            bytes[4] = char(bytes[4] ^ 0x10);
            writeFile(backup, bytes);
        }

        StoreFolder server;
        RecordStore store;
        QVERIFY(store.open(server.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        const qint64 highest = makeYard(store);
        const QStringList before = rowsOf(store);
        ScriptedDialogs dialogs;
        QVERIFY(!restore(store, backup, dialogs));
        QVERIFY2(dialogs.last().text.contains(says), qPrintable(dialogs.last().line()));
        QVERIFY(dialogs.last().text.endsWith("The records on the server were not changed."));
        QCOMPARE(rowsOf(store), before);
        QCOMPARE(store.addTowRecord(vehicleRecord("North")).value_or(-1), highest + 1);
    }

    // The backup window on a server: back up, the records change, restore them through the
    // window; the question names the server, and the window closes after the restore.
    void windowFlow()
    {
        StoreFolder server;
        SettingsFile settings(server.settingsPath());
        RecordStore store;
        QVERIFY(store.open(server.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        makeYard(store);
        const QStringList before = rowsOf(store, false);
        ScriptedDialogs dialogs;
        BackupWindow window(store, settings, dialogs);
        window.show();
        window.findChild<QComboBox *>("Combo1")->setEditText(server.path());
        window.findChild<QPushButton *>("Command1")->click();
        QTRY_COMPARE_WITH_TIMEOUT(dialogs.count(), 1, 60000);
        QCOMPARE(dialogs.last().text, QStringLiteral("Your database is now Backed up and saved."));

        window.show();
        QVERIFY(store.removeGroupWithVehicles("North") == RecordStore::RemoveGroupResult::Removed);
        addVehicle(store, "north");
        dialogs.queueFile(DatabaseBackup::backupFileIn(server.path()));
        dialogs.queueAnswer(Answer::Yes);
        window.findChild<QPushButton *>("Command3")->click();
        QTRY_COMPARE_WITH_TIMEOUT(dialogs.count(), 4, 60000);
        QCOMPARE(dialogs.shown().at(2).text.section("\r\n", 0, 0),
                 QString("Replace the records on the server %1 with the ones saved in %2?")
                     .arg(RecordStore::shownPath(server.databasePath()),
                          DatabaseBackup::backupFileIn(server.path())));
        QVERIFY(dialogs.last().text.startsWith("The records on the server have been restored"));
        QCOMPARE(rowsOf(store, false), before);
        QTRY_VERIFY(!window.isVisible());
    }
};

QTEST_MAIN(ServerBackupTest)
#include "ServerBackup_test.moc"
