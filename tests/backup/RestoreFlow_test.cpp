#include <QDir>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "RecordStore.h"
#include "SchemaCheck.h"
#include "RestoreFlow.h"
#include "SampleDatabase.h"
#include "ScriptedDialogs.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "TestFolder.h"
#include "clsHuffman.h"

using namespace tarnvale;
using test::readFile;
using test::ShownBox;

namespace {

QByteArray backupOf(int records)
{
    QTemporaryDir dir;
    const QString db = dir.filePath("source.db"), tow = dir.filePath("backup.tow");
    if (!test::makeSampleDatabase(db, records, "other"))
        return "cannot make";
    clsHuffman().EncodeFile(db.toStdString(), tow.toStdString());
    return readFile(tow);
}

// Restores `backup` over `store`, the question answered `answer`: 1 restored, 0 not, -1 no end.
int restore(RecordStore &store, test::TestFolder &folder, test::ScriptedDialogs &dialogs,
            const QString &backup, Answer answer)
{
    SettingsFile settings(folder.settingsPath());
    dialogs.queueAnswer(answer);
    RestoreFlow flow(store, settings, dialogs);
    QSignalSpy finished(&flow, &RestoreFlow::finished);
    return flow.start(backup) && finished.wait(30000) ? finished.first().first().toBool() : -1;
}

} // namespace

class RestoreFlowTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // A backup refused or declined leaves the database in use, its file and the store as they
    // were, and no unpacked file behind.
    void declinedOrFailed_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // the backup file; null: there is none
        QTest::addColumn<QString>("says");     // empty: the question is answered No
        QTest::newRow("answer No") << backupOf(3) << QString();
        QTest::newRow("missing file") << QByteArray() << "Source file does not exist";
        QTest::newRow("not a backup")
            << QByteArray("HE5\rjunk") << "identification string not found";
        QTest::newRow("not a database")
            << QByteArray("HE0\rsome words, not a database") << "The file is not a database.";
    }
    void declinedOrFailed()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, says);
        test::TestFolder folder;
        RecordStore store;
        QVERIFY(store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing) &&
                test::fillSampleDatabase(store, 20));
        const QStringList rows = test::rowsOf(store);
        const QByteArray before = readFile(folder.databasePath());
        QSignalSpy changes(&store, &RecordStore::changed);
        const QString backup = folder.file("chosen.tow");
        if (!bytes.isNull())
            test::writeFile(backup, bytes);

        test::ScriptedDialogs dialogs;
        QVERIFY(restore(store, folder, dialogs, backup, Answer::No) == 0 && dialogs.count() == 1);
        if (says.isEmpty()) {
            QCOMPARE(dialogs.last().kind, ShownBox::Kind::Question);
            QVERIFY(dialogs.last().text.contains(backup));
        } else {
            QCOMPARE(dialogs.last().kind, ShownBox::Kind::Notice);
            QCOMPARE(dialogs.last().icon, MessageIcon::Exclamation);
            QVERIFY2(dialogs.last().text.contains(says), qPrintable(dialogs.last().text));
            QVERIFY(dialogs.last().text.endsWith("Your database was not changed."));
        }
        QVERIFY(changes.size() == 0 && readFile(folder.databasePath()) == before);
        QCOMPARE(test::rowsOf(store), rows);
        QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        for (const char *kept :
             {"data.dll", "data.dll-wal", "data.dll-shm", "chosen.tow", "settings.ini"})
            left.removeAll(QLatin1String(kept));
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
    }

    // Restored: the backup's records, searched through an index made from them (the backup's
    // own was forged where opening does not look), over the database in use or in place of a
    // missing one.
    void restores_data()
    {
        QTest::addColumn<bool>("missing");
        QTest::newRow("replaced") << false;
        QTest::newRow("missing file") << true;
    }
    void restores()
    {
        QFETCH(bool, missing);
        test::TestFolder folder;
        const QString source = folder.file("source.db"), backup = folder.file("chosen.tow"),
                      db = folder.databasePath();
        {
            RecordStore saved;
            QVERIFY(saved.open(source, RecordStore::OpenMode::CreateIfMissing) &&
                    test::fillSampleDatabase(saved, 40, "saved"));
            const QString columns = SchemaCheck::searchIndexColumns().join(", ");
            QSqlQuery forge(saved.database());
            QVERIFY(forge.exec("INSERT INTO wrecker_fts(wrecker_fts, rowid, " + columns +
                               ") SELECT 'delete', id, " + columns + " FROM wrecker WHERE id = 2"));
            QVERIFY(forge.exec("INSERT INTO wrecker_fts(rowid, custname) VALUES (2, 'Nobody')"));
        }
        clsHuffman().EncodeFile(source.toStdString(), backup.toStdString());
        RecordStore store;
        QVERIFY(store.open(db, missing ? RecordStore::OpenMode::ExistingOnly
                                       : RecordStore::OpenMode::CreateIfMissing) != missing);
        test::ScriptedDialogs dialogs;
        QCOMPARE(restore(store, folder, dialogs, backup, Answer::Yes), 1);
        QVERIFY(dialogs.count() == 2 && dialogs.shown()[0].buttons == MessageButtons::YesNoDefaultNo);
        QCOMPARE(dialogs.shown().first().text,
                 missing ? "There is no database at " + db + ". Make it from the one saved in " +
                               backup + "?"
                         : "Replace your database with the one saved in " + backup +
                               "?\r\nYour current database will be kept beside it under a name "
                               "with today's date and time.");
        QVERIFY2(missing ? dialogs.last().text == "Your database has been restored."
                         : dialogs.last().text.startsWith("Your database has been restored.\r\n"
                                                          "The previous database was kept as " + db + '.'),
                 qPrintable(dialogs.last().text));
        QCOMPARE(test::rowsOf(store), test::rowsOf(source));
        QSqlQuery search(store.database());
        QVERIFY(search.exec("SELECT group_concat(rowid) FROM wrecker_fts WHERE wrecker_fts MATCH "
                            "'\"Customer 1 saved\"'") &&
                search.next() && search.value(0).toString() == "2");
    }
};

QTEST_GUILESS_MAIN(RestoreFlowTest)
#include "RestoreFlow_test.moc"
