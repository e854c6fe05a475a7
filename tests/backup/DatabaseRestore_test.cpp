#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "DatabaseRestore.h"
#include "RecordStore.h"
#include "SampleDatabase.h"
#include "SchemaCheck.h"
#include "TestFiles.h"
#include "clsHuffman.h"

using namespace tarnvale;
using tarnvale::test::readFile;
using tarnvale::test::writeFile;

class DatabaseRestoreTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void checkDatabase_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("verdict");
        // clang-format off
        QTest::newRow("good") << "good" << QString();
        QTest::newRow("text file") << "text" << "The file is not a database.";
        QTest::newRow("missing table") << "DROP TABLE lb_type" << "The database has no table lb_type.";
        QTest::newRow("damaged") << "damaged" << "The database is damaged: ";
        QTest::newRow("foreign objects") << "CREATE VIEW names AS SELECT custname FROM wrecker; CREATE TABLE lb_extra (x)"
                                         << "The database holds objects this program does not create: view \"names\", table \"lb_extra\".";
        // A backup from before the impound tables: taken, and upgraded when it is opened.
        QTest::newRow("older schema") << "DROP TABLE lien_steps_done; DROP TABLE impound_payments; DROP TABLE impound_releases; "
                                         "DROP TABLE impound_holds; DROP TABLE impound_status; PRAGMA user_version = 1" << QString();
        QTest::newRow("newer program") << QString("PRAGMA user_version = %1").arg(SchemaCheck::kVersion + 1)
                                       << "The database was made by a newer version";
        // clang-format on
    }
    void checkDatabase()
    {
        QFETCH(QString, kind);
        QFETCH(QString, verdict);
        QTemporaryDir dir;
        const QString path = dir.filePath("candidate.db");
        if (kind == "text") {
            writeFile(path, "Tow yard notes, not a database at all.");
        } else {
            QVERIFY(test::makeSampleDatabase(path, 2000, "x"));
            if (kind.contains(u' ')) { // statements
                RecordStore store;
                QVERIFY(store.open(path, RecordStore::OpenMode::ExistingOnly));
                for (const QString &sql : kind.split("; "))
                    QVERIFY2(QSqlQuery(store.database()).exec(sql), qPrintable(sql));
            } else if (kind == "damaged") {
                // Scribble over a page in the middle of the table data, past the schema page.
                QFile f(path);
                QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(f.size() / 2));
                f.write(QByteArray(4096, '\x5a'));
            }
        }
        const QString result = DatabaseRestore::checkDatabase(path);
        QVERIFY2(verdict.isEmpty() ? result.isEmpty() : result.startsWith(verdict),
                 qPrintable(result));
        QVERIFY2(!result.contains('\n') && !result.contains("***") &&
                     (kind != "damaged" || result.endsWith(". Restore another backup.")),
                 qPrintable(result));
    }

    void unpackAndReplace()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath("data.dll"), saved = dir.filePath("saved.db"),
                      tow = dir.filePath("backup.tow");
        QVERIFY(test::makeSampleDatabase(saved, 1500, "saved"));
        clsHuffman().EncodeFile(saved.toStdString(), tow.toStdString());
        RecordStore store;
        QVERIFY(store.open(db, RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(test::fillSampleDatabase(store, 40, "current"));
        const QStringList currentRows = test::rowsOf(store);
        writeFile(db + ".20261206-090000.bak", "taken"); // the kept copy's name gets a number
        // A yard's database shared by its group: the restored one is shared the same way.
        const auto shared =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup;
        QVERIFY(QFile::setPermissions(db, shared));

        DatabaseRestore restore;
        QSignalSpy done(&restore, &DatabaseRestore::unpacked);
        restore.start(tow, db);
        QVERIFY(done.wait(60000));
        const RestoreCheck check = done.first().first().value<RestoreCheck>();
        QVERIFY2(check.ok, qPrintable(check.error));
        QCOMPARE(QFileInfo(check.unpackedPath).absolutePath(), QFileInfo(db).absolutePath());

        int calls = 0; // closed, then opened again
        const RestoreResult result = DatabaseRestore::replace(
            check.unpackedPath, db, [&] { calls += 1, store.close(); },
            [&] { return (calls += 10) && store.open(db, RecordStore::OpenMode::ExistingOnly); },
            QDateTime(QDate(2026, 12, 6), QTime(9, 0)));
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(calls, 11);
        QCOMPARE(result.keptPath, db + ".20261206-090000-2.bak");
        QCOMPARE(test::rowsOf(store), test::rowsOf(saved));
        QCOMPARE(QFile::permissions(db) & 0x7077, shared); // owner, group, others
        QCOMPARE(test::rowsOf(result.keptPath), currentRows);
        QVERIFY(!QFile::exists(check.unpackedPath));
    }

    void reopenFailurePutsPreviousBack_data()
    {
        QTest::addColumn<bool>("previousOpens");
        QTest::addColumn<QString>("says");
        QTest::newRow("previous reopened") << true << "previous database is back in place.";
        QTest::newRow("previous cannot be opened either")
            << false << "previous database is back in place, but it could not be opened either.";
    }
    void reopenFailurePutsPreviousBack()
    {
        QFETCH(bool, previousOpens);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString db = dir.filePath("data.dll"), unpacked = dir.filePath("data.dll.restore-1");
        QVERIFY(test::makeSampleDatabase(db, 25, "current"));
        const QByteArray before = readFile(db);
        QVERIFY(test::makeSampleDatabase(unpacked, 5, "other"));

        int reopened = 0;
        const RestoreResult result = DatabaseRestore::replace(
            unpacked, db, [] {}, [&] { return ++reopened > 1 && previousOpens; });
        QVERIFY(!result.ok);
        QVERIFY2(result.error.endsWith(says), qPrintable(result.error));
        QCOMPARE(reopened, 2);
        QCOMPARE(readFile(db), before);
        // Only the database is left: the kept name went back to it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"data.dll"});
    }
};

QTEST_GUILESS_MAIN(DatabaseRestoreTest)
#include "DatabaseRestore_test.moc"
