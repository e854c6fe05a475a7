#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "RecordStore.h"
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

// The backup file of a sample database.
QByteArray backupOf(int records)
{
    QTemporaryDir dir;
    const QString db = dir.filePath("source.db"), tow = dir.filePath("backup.tow");
    if (!test::makeSampleDatabase(db, records, "other"))
        return "cannot make";
    clsHuffman().EncodeFile(db.toStdString(), tow.toStdString());
    return readFile(tow);
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
        SettingsFile settings(folder.settingsPath());
        RecordStore store;
        QVERIFY(store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(test::fillSampleDatabase(store, 20));
        const QStringList rows = test::rowsOf(store);
        const QByteArray before = readFile(folder.databasePath());
        int resets = 0;
        QObject::connect(&store, &RecordStore::changed,
                         [&resets](const StoreChange &change) { resets += change.reset ? 1 : 0; });
        const QString backup = folder.file("chosen.tow");
        if (!bytes.isNull())
            test::writeFile(backup, bytes);

        test::ScriptedDialogs dialogs;
        dialogs.queueAnswer(Answer::No);
        RestoreFlow flow(store, settings, dialogs);
        QSignalSpy finished(&flow, &RestoreFlow::finished);
        QVERIFY(flow.start(backup));
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().first().toBool(), false);

        QCOMPARE(dialogs.count(), 1);
        if (says.isEmpty()) {
            QCOMPARE(dialogs.last().kind, ShownBox::Kind::Question);
            QVERIFY(dialogs.last().text.contains(backup));
        } else {
            QCOMPARE(dialogs.last().kind, ShownBox::Kind::Notice);
            QCOMPARE(dialogs.last().icon, MessageIcon::Exclamation);
            QVERIFY2(dialogs.last().text.contains(says), qPrintable(dialogs.last().text));
            QVERIFY(dialogs.last().text.endsWith("Your database was not changed."));
        }
        QCOMPARE(resets, 0);
        QCOMPARE(readFile(folder.databasePath()), before);
        QCOMPARE(test::rowsOf(store), rows);
        QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        for (const char *kept :
             {"data.dll", "data.dll-wal", "data.dll-shm", "chosen.tow", "settings.ini"})
            left.removeAll(QLatin1String(kept));
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
    }
};

QTEST_GUILESS_MAIN(RestoreFlowTest)
#include "RestoreFlow_test.moc"
