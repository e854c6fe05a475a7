#include <QComboBox>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>

#include "BackupWindow.h"
#include "DatabaseBackup.h"
#include "ImpoundStore.h"
#include "RestoreFlow.h"
#include "SampleDatabase.h"
#include "SchemaCheck.h"
#include "SearchQueries.h"
#include "ScriptedDialogs.h"
#include "SettingsFile.h"
#include "StoreFixture.h"
#include "StoreFolder.h"
#include "TableRows.h"
#include "YardMove.h"
#include "clsHuffman.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

// Rows in every table; the highest vehicle id, 4, is that of a removed vehicle.
qint64 makeYard(RecordStore &store)
{
    fillSampleDatabase(store, 4, "yard");
    store.removeTowRecord(4);
    ImpoundStore impound(store);
    impound.placeHold(*store.towRecord(2), {0, "Evidence", "PD", "7", "Sgt. Ray", {}, {}, {}},
                      QDate(2026, 1, 2));
    impound.addPayment(*store.towRecord(1), {2500, "Cash", "", QDate(2026, 1, 5)});
    impound.release(*store.towRecord(1), {"Ann", "ID", "1", QDate(2026, 1, 5), {}});
    impound.markStepDone(2, "Notice", QDate(2026, 1, 9));
    return 4;
}

// The backup, in the folder, of a file there with sample records and the statements run on
// it, left open in `file`; empty when it could not be made.
QString fileBackup(RecordStore &file, const TestFolder &folder, int records, const QString &sql)
{
    if (!file.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing) ||
        !fillSampleDatabase(file, records, "file"))
        return {};
    for (const QString &statement : sql.split("; ", Qt::SkipEmptyParts))
        if (!QSqlQuery(file.database()).exec(statement))
            return {};
    const QString snapshot = folder.file("snapshot.db"), backup = folder.file("backup.tow");
    if (!file.backupTo(snapshot))
        return {};
    clsHuffman().EncodeFile(snapshot.toStdString(), backup.toStdString());
    return backup;
}

// Restores the backup into the store, answering Yes to the question: whether it was restored;
// the progress told while the records were written, into `writing`.
bool restore(RecordStore &store, const QString &backup, ScriptedDialogs &dialogs,
             QList<int> *writing = nullptr)
{
    TestFolder folder;
    SettingsFile settings(folder.settingsPath());
    RestoreFlow flow(store, settings, dialogs);
    std::optional<bool> restored;
    QObject::connect(&flow, &RestoreFlow::finished, [&restored](bool done) { restored = done; });
    QObject::connect(&flow, &RestoreFlow::writing, [writing](int p) {
        if (writing)
            *writing << p;
    });
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

    // A file's backup replaces a server's records when the user agrees to the question naming
    // the server, ids kept, and ids go on after the highest either side gave; another workstation
    // learns each record added, changed or removed, and its form opened before cannot save over
    // a restored record.
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
        const QString backup = fileBackup(file, folder, inBackup, {});
        QVERIFY(!backup.isEmpty());

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
        QList<int> writing;
        QVERIFY(restore(store, backup, dialogs, &writing));
        QVERIFY(writing.size() > 2 && writing.first() == 0 && writing.last() == 100);
        QCOMPARE(dialogs.shown().at(0).text.section("\r\n", 0, 0),
                 QString("Replace the records on the server %1 with the ones saved in %2?")
                     .arg(RecordStore::shownPath(server.databasePath()), backup));
        QVERIFY(dialogs.last().text.startsWith("The records on the server have been restored"));
        QVERIFY(resets == 1 && rowsOf(store, false) == rowsOf(file, false));
        QCOMPARE(store.addTowRecord(vehicleRecord("")).value_or(-1),
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
        QVERIFY(other.checkOutsideChanges() == expected && !other.updateTowRecord(opened));
        QCOMPARE(other.lastError().number, DbError::kChangedElsewhere);
    }

    // A restore that fails in the middle of the copy (a row the server refuses, where a file
    // takes it) leaves the server as it was, its next ids too.
    void failedRestoreLeavesServer()
    {
        TestFolder folder;
        RecordStore file;
        const QString backup = fileBackup(
            file, folder, 300,
            "PRAGMA foreign_keys = OFF; INSERT INTO impound_holds (vehicle_id) VALUES (999)");
        QVERIFY(!backup.isEmpty());
        StoreFolder server;
        RecordStore store;
        QVERIFY(store.open(server.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        const qint64 highest = makeYard(store);
        const QStringList before = rowsOf(store);
        ScriptedDialogs dialogs;
        QVERIFY(!restore(store, backup, dialogs));
        QVERIFY2(dialogs.last().text.contains("copying table impound_holds") &&
                     dialogs.last().text.endsWith("The records on the server were not changed."),
                 qPrintable(dialogs.last().line()));
        QCOMPARE(rowsOf(store), before);

        // A file this program cannot bring up to date (another program's table in it) is
        // refused before anything is written.
        QVERIFY(QSqlQuery(file.database()).exec("CREATE TABLE their_notes (x)"));
        file.close();
        const YardMove::Result foreign =
            YardMove::replaceOnServer(folder.databasePath(), server.databasePath(), {});
        QVERIFY2(!foreign.moved && foreign.reason.startsWith("The backup cannot be brought up to date: "),
                 qPrintable(foreign.reason));
        QCOMPARE(rowsOf(store), before);
        QCOMPARE(store.addTowRecord(vehicleRecord("")).value_or(-1), highest + 1);
    }

    // Through the window on a server: the backup restores into a file row for row, the file's
    // next id after the server's highest (a removed record's).
    void windowFlow()
    {
        StoreFolder server;
        SettingsFile settings(server.settingsPath());
        RecordStore store, file;
        QVERIFY(store.open(server.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        const qint64 highest = makeYard(store);
        ScriptedDialogs dialogs;
        BackupWindow window(store, settings, dialogs);
        window.show();
        QList<int> copying;
        connect(window.findChild<DatabaseBackup *>(), &DatabaseBackup::copying,
                [&](int p) { copying << p; });
        window.findChild<QComboBox *>("Combo1")->setEditText(server.path());
        window.findChild<QPushButton *>("Command1")->click();
        QTRY_COMPARE_WITH_TIMEOUT(dialogs.count(), 1, 60000);
        QVERIFY(copying.size() > 2 && copying.first() == 0 && copying.last() == 100);
        QCOMPARE(dialogs.last().text, QString("Your database is now Backed up and saved."));
        const QString backup = DatabaseBackup::backupFileIn(server.path());
        TestFolder folder;
        QVERIFY(file.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(restore(file, backup, dialogs) && rowsOf(file) == rowsOf(store));
        // The backup leaves out the file's search index; the file opened makes it again.
        QSqlQuery found(file.database());
        QVERIFY(SchemaCheck::hasSearchIndex(file.database()));
        QVERIFY(found.prepare("SELECT count(*) FROM wrecker_fts WHERE wrecker_fts MATCH ?"));
        found.addBindValue(SearchQueries::indexMatch({TowField::custname},
                                                     file.towRecord(1)->value(TowField::custname)));
        QVERIFY(found.exec() && found.next() && found.value(0).toInt() >= 1);
        QCOMPARE(file.addTowRecord(vehicleRecord("")).value_or(-1), highest + 1);
    }
};

QTEST_MAIN(ServerBackupTest)
#include "ServerBackup_test.moc"
