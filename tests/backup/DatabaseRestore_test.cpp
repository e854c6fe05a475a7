#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

#include "DatabaseOverwrite.h"
#include "DatabaseRestore.h"
#include "RecordStore.h"
#include "SampleDatabase.h"
#include "SchemaCheck.h"
#include "TestFiles.h"
#include "clsHuffman.h"

using namespace tarnvale;
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
        QTest::newRow("a step's table missing") << "DROP TABLE impound_payments; PRAGMA user_version = 4"
                                                << "The database says it has schema version 4 but has no table impound_payments.";
        // The payments as they were before the step that added who took them.
        QTest::newRow("a step's column missing")
            << "DROP TABLE impound_payments; "
                   + SchemaCheck::stepStatements(2).filter("CREATE TABLE impound_payments").value(0)
                   + "; PRAGMA user_version = 6"
            << "The database says it has schema version 6 but its table impound_payments has no column paid_at.";
        QTest::newRow("newer program") << QString("PRAGMA user_version = %1").arg(SchemaCheck::kVersion + 1)
                                       << "The database was made by a newer version";
        // The header itself: a write version SQLite only reads, and a text encoding not UTF-8.
        QTest::newRow("read-only format") << "byte 18=3" << "The database's header marks a file format";
        QTest::newRow("WAL format") << "byte 18=2" << QString();
        QTest::newRow("unreadable format") << "byte 19=3" << "The database's header marks a file format";
        QTest::newRow("UTF-16 text") << "byte 59=2" << "The database is not in UTF-8";
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
            if (kind.startsWith("byte ")) { // one byte of the header set
                const QStringList at = kind.mid(5).split(u'=');
                QFile f(path);
                QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(at[0].toInt()));
                f.write(QByteArray(1, char(at[1].toInt())));
            } else if (kind.contains(u' ')) { // statements
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
        QVERIFY2((verdict.isEmpty() ? result.isEmpty() : result.startsWith(verdict)) &&
                     !result.contains('\n') && !result.contains("***") &&
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
        QVERIFY(calls == 11 && result.keptPath == db + ".20261206-090000-2.bak");
        QCOMPARE(test::rowsOf(store), test::rowsOf(saved));
        QCOMPARE(QFile::permissions(db) & 0x7077, shared); // owner, group, others
        QVERIFY(test::rowsOf(result.keptPath) == currentRows && !QFile::exists(check.unpackedPath));
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
        const QStringList before = test::rowsOf(db);
        QVERIFY(test::makeSampleDatabase(unpacked, 5, "other"));

        int reopened = 0;
        const RestoreResult result = DatabaseRestore::replace(
            unpacked, db, [] {}, [&] { return ++reopened > 1 && previousOpens; });
        QVERIFY2(!result.ok && result.error.endsWith(says), qPrintable(result.error));
        QVERIFY(reopened == 2 && test::rowsOf(db) == before);
        // Only the database is left: the kept name went back to it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"data.dll"});
    }

    // Another connection, in this program or another process, has the database open: nothing
    // is written or kept, and its next save lands in a whole file. A missing file is made.
    void openElsewhereOrMissing_data()
    {
        QTest::addColumn<int>("other"); // 0: none, the file is missing; 1: this process; 2: another
        QTest::newRow("missing file") << 0;
        QTest::newRow("open in this process") << 1;
        QTest::newRow("open in another process") << 2;
    }
    void openElsewhereOrMissing()
    {
        QFETCH(int, other);
        QTemporaryDir dir;
        const QString db = dir.filePath("data.dll"), unpacked = dir.filePath("data.dll.restore-1");
        QVERIFY(test::makeSampleDatabase(unpacked, 5, "other"));
        const QStringList restored = test::rowsOf(unpacked);
        if (other > 0)
            QVERIFY(test::makeSampleDatabase(db, 30, "current"));
        TowRecord saved;
        saved.set(TowField::custname, "Saved after the restore was refused");
        RecordStore here;
        int ready[2], release[2];
        QVERIFY(::pipe(ready) == 0 && ::pipe(release) == 0);
        char c = 0;
        const pid_t child = other == 2 ? ::fork() : -1;
        if (child == 0) {
            RecordStore store;
            c = store.open(db, RecordStore::OpenMode::ExistingOnly) ? 'y' : 'n';
            (void)!::write(ready[1], &c, 1);
            (void)!::read(release[0], &c, 1);
            ::_exit(store.addTowRecord(saved) ? 0 : 1);
        }
        if (other == 2)
            QVERIFY(::read(ready[0], &c, 1) == 1 && c == 'y');
        else if (other == 1)
            QVERIFY(here.open(db, RecordStore::OpenMode::ExistingOnly));

        int reopened = 0;
        const RestoreResult result = DatabaseRestore::replace(
            unpacked, db, [] {}, [&] { return ++reopened > 0; });
        QVERIFY(reopened == 1 && !QFile::exists(unpacked));
        if (other == 0) {
            QVERIFY2(result.ok, qPrintable(result.error));
            QVERIFY(result.keptPath == QString() && test::rowsOf(db) == restored);
            return;
        }
        if (int status = -1; other == 2) {
            (void)!::write(release[1], &c, 1);
            QVERIFY(::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                    WEXITSTATUS(status) == 0);
        } else {
            QVERIFY(here.addTowRecord(saved));
            here.close();
        }
        QVERIFY(!result.ok && result.error == DatabaseOverwrite::inUseText());
        QVERIFY(QDir(dir.path()).entryList({"*.bak"}, QDir::Files).isEmpty());
        RecordStore after;
        QVERIFY(after.open(db, RecordStore::OpenMode::ExistingOnly));
        QSqlQuery check(after.database());
        QVERIFY(check.exec("PRAGMA integrity_check") && check.next());
        QCOMPARE(check.value(0).toString() + QString::number(after.towRecordCount()), "ok31");
    }
};

QTEST_GUILESS_MAIN(DatabaseRestoreTest)
#include "DatabaseRestore_test.moc"
