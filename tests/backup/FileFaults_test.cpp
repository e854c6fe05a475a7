// Backup and restore killed at each of their file steps (in a child process), and a backup onto
// a full disk: afterwards every file is either as it was or whole and new, and the temporaries
// left behind are removed at the next start.
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include "ChildProcess.h"
#include "DatabaseBackup.h"
#include "DatabaseRestore.h"
#include "FaultSeam.h"
#include "RecordStore.h"
#include "SafeOutput.h"
#include "SampleDatabase.h"
#include "TestFiles.h"
#include "clsHuffman.h"

using namespace tarnvale;

namespace {

// Runs a whole backup in this (child) process.
BackupOutcome backUp(RecordStore &store, const QString &folder)
{
    DatabaseBackup backup(store);
    QEventLoop loop;
    BackupOutcome outcome;
    QObject::connect(&backup, &DatabaseBackup::finished, &loop, [&](const BackupOutcome &o) {
        outcome = o;
        loop.quit();
    });
    if (const auto now = backup.start(folder))
        outcome = *now;
    else
        loop.exec();
    return outcome;
}

BackupOutcome backUp(const QString &database, const QString &folder)
{
    RecordStore store;
    if (!store.open(database, RecordStore::OpenMode::ExistingOnly))
        return BackupOutcome::failed(100, "cannot open");
    return backUp(store, folder);
}

int restore(const QString &tow, const QString &database)
{
    DatabaseRestore restore;
    QEventLoop loop;
    RestoreCheck check;
    QObject::connect(&restore, &DatabaseRestore::unpacked, &loop, [&](const RestoreCheck &c) {
        check = c;
        loop.quit();
    });
    restore.start(tow, database);
    loop.exec();
    if (!check.ok)
        return 102;
    if (DatabaseRestore::replace(
            check.unpackedPath, database, [] {}, [] { return true; })
            .ok)
        return 0;
    QFile::remove(check.unpackedPath); // as the backup window does
    return 103;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
}

} // namespace

class FileFaultsTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void crashPoints_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("kill"); // killed at step n, or step n fails with EIO
        // The codec's files and the settings are written through SafeOutput, whose own test kills
        // and fails each of its steps.
        for (const char *operation : {"backup", "restore"}) {
            QTest::addRow("%s killed", operation) << operation << true;
            QTest::addRow("%s failing", operation) << operation << false;
        }
    }

    void crashPoints()
    {
        QFETCH(QString, operation);
        QFETCH(bool, kill);
        QTemporaryDir dir;
        const QString yard = dir.filePath("yard"), stick = dir.filePath("stick");
        QVERIFY(QDir().mkpath(yard) && QDir().mkpath(stick));
        const QString database = yard + "/data.dll";
        QVERIFY(test::makeSampleDatabase(database, 40, "old"));
        const QStringList oldRows = test::rowsOf(database);
        const QByteArray oldDatabase = test::readFile(database);
        // A backup of another database, for the restore.
        const QString other = dir.filePath("other.dll");
        QVERIFY(test::makeSampleDatabase(other, 30, "new"));
        const QStringList newRows = test::rowsOf(other);
        const QString tow = dir.filePath("new.tow");
        clsHuffman().EncodeFile(other.toStdString(), tow.toStdString());

        int crashes = 0, leftovers = 0;
        for (int n = 1;; ++n) {
            test::writeFile(stick + "/backup.tow", "an older backup");
            test::writeFile(database, oldDatabase);
            for (const QString &f : filesIn(yard))
                if (f.contains(".bak"))
                    QFile::remove(yard + "/" + f);

            // The child tells: 0 done before step n; 1 step n failed and the failure was reported;
            // 2 step n failed but the operation said it succeeded; 3 failed without reaching it.
            const test::ChildEnd end = test::runInChild([&] {
                kill ? FaultSeam::killAt(n) : FaultSeam::failAt(n, EIO);
                const int status =
                    operation == u"backup"
                        ? int(backUp(database, stick).kind != BackupOutcome::Kind::Saved)
                        : restore(tow, database);
                const bool reached = FaultSeam::steps() >= n;
                return status == 0 ? (reached ? 2 : 0) : (reached ? 1 : 3);
            });
            if (!end.killed && end.status == 0) // the operation ended before step n
                break;
            // Flushing the folder comes after the restored database is in place; it stays there.
            const bool restoredUnflushed = operation == u"restore" && end.status == 2;
            QVERIFY2(kill ? end.killed : end.status == 1 || restoredUnflushed,
                     qPrintable(QString("step %1: %2").arg(n).arg(end.status)));
            ++crashes;
            // Every file is as it was or whole and new.
            const QByteArray backup = test::readFile(stick + "/backup.tow");
            QVERIFY(backup == "an older backup" || backup.startsWith("HE3\r"));
            const QStringList rows = test::rowsOf(database);
            QVERIFY2(rows == oldRows || (operation == u"restore" && rows == newRows),
                     qPrintable(QString("step %1").arg(n)));

            // The next start (and the next write of the same file) removes what the crash left.
            leftovers += DatabaseBackup::removeLeftovers(database) +
                         SafeOutput::removeLeftovers((stick + "/backup.tow").toStdString());
            QCOMPARE(filesIn(stick), QStringList({"backup.tow"}));
            QStringList left = filesIn(yard);
            left.removeIf([](const QString &f) { return f.endsWith(".bak"); });
            QCOMPARE(left, QStringList({"data.dll"}));
        }
        qInfo("%d steps %s, %d temporaries left", crashes, kill ? "killed" : "failed", leftovers);
        QVERIFY(crashes >= 4);
        // A crash leaves temporaries for the next start; a failure removes its own at once.
        if (kill)
            QVERIFY(leftovers >= 2);
        else
            QCOMPARE(leftovers, 0);
    }

    void fullDisk()
    {
        // The disk fills up at the write: after the snapshot, two buffers and the temporary file.
        QTemporaryDir dir;
        const QString database = dir.filePath("data.dll"), stick = dir.filePath("stick");
        QVERIFY(test::makeSampleDatabase(database, 3000, "full") && QDir().mkpath(stick));
        test::writeFile(stick + "/backup.tow", "an older backup");
        const test::ChildEnd end = test::runInChild([&] {
            FaultSeam::failAt(5, ENOSPC);
            const BackupOutcome outcome = backUp(database, stick);
            return outcome.number == 61 &&
                           outcome.text().startsWith("61\r\nCannot write " + stick +
                                                     "/backup.tow") &&
                           outcome.text().endsWith("(No space left on device)")
                       ? 0
                       : 1;
        });
        QCOMPARE(end.status, 0);
        QCOMPARE(test::readFile(stick + "/backup.tow"), QByteArray("an older backup"));
        QCOMPARE(filesIn(stick), QStringList{"backup.tow"});
    }

    // A database the user may no longer read (as an unprivileged user: root reads any file):
    // the failure is told and nothing is left behind.
    void unreadableDatabase()
    {
        const test::ChildEnd end = test::runInChild(
            [] {
                QTemporaryDir dir;
                const QString database = dir.filePath("data.dll");
                RecordStore store;
                if (!store.open(database, RecordStore::OpenMode::CreateIfMissing) ||
                    !test::fillSampleDatabase(store, 30))
                    return 2;
                test::writeFile(dir.filePath("backup.tow"), "an older backup");
                QFile::setPermissions(database, {});
                const BackupOutcome outcome = backUp(store, dir.path());
                return outcome.text() == "57\r\nFailed while opening the database: unable to "
                                         "open database file" &&
                               test::readFile(dir.filePath("backup.tow")) == "an older backup" &&
                               filesIn(dir.path()) == QStringList({"backup.tow", "data.dll",
                                                                   "data.dll-shm", "data.dll-wal"})
                           ? 0
                           : 1;
            },
            true);
        QCOMPARE(end.status, 0);
    }
};

QTEST_GUILESS_MAIN(FileFaultsTest)
#include "FileFaults_test.moc"
