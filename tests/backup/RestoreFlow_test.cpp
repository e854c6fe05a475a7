#include <QDir>
#include <QFile>
#include <QSignalSpy>
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
using test::ShownBox;

using test::readFile;

class RestoreFlowTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // A backup refused or declined leaves the database in use, its file and the store as they
    // were, and no unpacked file behind.
    void declinedOrFailed_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // the backup file; empty: a good one, declined
        QTest::addColumn<QString>("says");     // empty: no message after the question
        QTest::newRow("answer No") << QByteArray() << QString();
        QTest::newRow("not a backup")
            << QByteArray("HE5\rjunk") << QStringLiteral("identification string not found");
        QTest::newRow("not a database") << QByteArray("HE0\rsome words, not a database")
                                        << QStringLiteral("The file is not a database.");
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
        const QStringList rows = test::allRows(store);
        const QByteArray before = readFile(folder.databasePath());
        int resets = 0;
        QObject::connect(&store, &RecordStore::changed,
                         [&resets](const StoreChange &change) { resets += change.reset ? 1 : 0; });

        const QString backup = folder.file(QStringLiteral("chosen.tow"));
        if (bytes.isEmpty()) {
            const QString other = folder.file(QStringLiteral("other.db"));
            QVERIFY(test::makeSampleDatabase(other, 3, QStringLiteral("other")));
            clsHuffman().EncodeFile(other.toStdString(), backup.toStdString());
        } else {
            test::writeFile(backup, bytes);
        }

        test::ScriptedDialogs dialogs;
        dialogs.queueAnswer(Answer::No);
        RestoreFlow flow(store, settings, dialogs);
        QSignalSpy finished(&flow, &RestoreFlow::finished);
        QVERIFY(flow.start(backup));
        QVERIFY(flow.isRunning());
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
            QVERIFY(dialogs.last().text.endsWith(QStringLiteral("Your database was not changed.")));
        }
        QCOMPARE(resets, 0);
        QCOMPARE(readFile(folder.databasePath()), before);
        QCOMPARE(test::allRows(store), rows);
        QVERIFY(
            QDir(folder.path()).entryList({QStringLiteral("*.restore-*")}, QDir::Files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(RestoreFlowTest)
#include "RestoreFlow_test.moc"
