#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "BackupDestinations.h"
#include "BackupOutcome.h"
#include "DatabaseBackup.h"
#include "RecordStore.h"
#include "SampleDatabase.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "clsHuffman.h"

using namespace tarnvale;

namespace {

BackupOutcome runBackup(DatabaseBackup &backup, const QString &folder, QList<int> *progress)
{
    QSignalSpy finished(&backup, &DatabaseBackup::finished);
    QObject context;
    if (progress)
        QObject::connect(&backup, &DatabaseBackup::progress, &context,
                         [progress](int p) { *progress << p; });
    if (const auto now = backup.start(folder))
        return *now;
    if (!finished.wait(60000))
        return BackupOutcome::failed(-1, "timed out");
    return finished.first().first().value<BackupOutcome>();
}

QString listed(const QList<int> &values)
{
    QStringList texts;
    for (int v : values)
        texts << QString::number(v);
    return texts.join(u',');
}

} // namespace

class DatabaseBackupTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void outcomeMessages_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("line"); // the box shown
        const QString noDisc = "Notice Exclamation Ok||There is no disc in /media/usb\r\nPlease "
                               "insert a disk to backup your data\r\n";
        // clang-format off
        QTest::newRow("path not found") << int(kErrPathNotFound) << "Path not found: /media/usb" << noDisc + "Path not found: /media/usb";
        QTest::newRow("read-only") << int(kErrPathFileAccess) << "read-only" << noDisc + "read-only";
        QTest::newRow("disk full") << int(kErrDiskFull) << "Disk full" << "Notice None Ok||61\r\nDisk full";
        QTest::newRow("saved") << 0 << "" << "Notice Information Ok||Your database is now Backed up and saved.";
        // clang-format on
    }
    void outcomeMessages()
    {
        QFETCH(int, number);
        QFETCH(QString, description);
        const BackupOutcome outcome =
            number == 0
                ? BackupOutcome::saved("/media/usb")
                : BackupOutcome::fromCodecError(
                      CodecError(number, "clsHuffman.EncodeFile()", description.toStdString()),
                      "/media/usb");
        const test::ShownBox box{test::ShownBox::Kind::Notice, {}, outcome.text(), outcome.icon()};
        QTEST(box.line(), "line");
    }

    void destinations()
    {
        const QStringList mounts = {
            "/",         "/media/ann/USB STICK", "/run/media/bob/CARD", "/mnt/backup/",
            "/boot/efi", "/media/ann/USB STICK", "/mediaextra"};
        QCOMPARE(BackupDestinations::fromMountPoints("/home/ann", mounts),
                 QStringList(
                     {"/home/ann", "/media/ann/USB STICK", "/run/media/bob/CARD", "/mnt/backup"}));
        QCOMPARE(BackupDestinations::list().value(0), QDir::cleanPath(QDir::homePath()));
    }

    void backsUpTheDatabaseInUse()
    {
        // The database in use is not the program folder's data.dll but a configured one.
        QTemporaryDir dir;
        const QString stick = dir.filePath("stick"), fresh = dir.filePath("fresh");
        QVERIFY(QDir(dir.path()).mkpath("yard/data") && QDir().mkpath(stick) &&
                QDir().mkpath(fresh));
        RecordStore store;
        QVERIFY(
            store.open(dir.filePath("yard/data/tow.db"), RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(test::fillSampleDatabase(store, 3000));
        const QStringList rows = test::rowsOf(store);
        test::writeFile(stick + "/backup.tow", "an older backup");

        DatabaseBackup backup(store);
        QList<int> progress;
        QCOMPARE(runBackup(backup, stick, &progress).kind, BackupOutcome::Kind::Saved);
        QVERIFY(progress.size() > 3 && progress.last() == 100 &&
                std::is_sorted(progress.begin(), progress.end()));

        // The file is an HE3 stream of a consistent copy: restore it and compare every row.
        const QString tow = DatabaseBackup::backupFileIn(stick);
        QVERIFY(test::readFile(tow).startsWith("HE3\r"));
        const QString restored = dir.filePath("restored.db");
        clsHuffman().DecodeFile(tow.toStdString(), restored.toStdString());
        QCOMPARE(test::rowsOf(restored), rows);
        QCOMPARE(QDir(stick).entryList(QDir::Files), QStringList{"backup.tow"});
        // The snapshot beside the database is gone too.
        QVERIFY(QDir(dir.filePath("yard/data")).entryList({"tow.db.*"}, QDir::Files).isEmpty());

        // A new backup of a private database is private as well; of a read-only one, not
        // read-only, so that the next night's backup can replace it.
        QVERIFY(QFile::setPermissions(store.path(), QFile::ReadOwner));
        for (int night = 0; night < 2; ++night)
            QCOMPARE(runBackup(backup, fresh, nullptr).kind, BackupOutcome::Kind::Saved);
        QCOMPARE(QFile::permissions(DatabaseBackup::backupFileIn(fresh)) & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner);
    }

    // The whole backup runs beside the caller's event loop (a timer fires while the snapshot is
    // taken), and writes exactly the stream and check of the copy the store itself makes.
    void runsBesideTheEventLoop()
    {
        QTemporaryDir dir;
        RecordStore store;
        QVERIFY(store.open(dir.filePath("data.dll"), RecordStore::OpenMode::CreateIfMissing) &&
                test::fillSampleDatabase(store, 3000));
        DatabaseBackup backup(store);
        int ticks = 0;
        QList<int> copying, ticksAt;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        QObject::connect(&backup, &DatabaseBackup::copying,
                         [&](int p) { copying << p, ticksAt << ticks; });
        timer.start(0);
        QCOMPARE(runBackup(backup, dir.path(), nullptr).kind, BackupOutcome::Kind::Saved);
        const qsizetype below = copying.indexOf(100) - 1; // the last report before the end
        QVERIFY2(
            below > 0 && copying.last() == 100 && ticksAt[below] > 0,
            qPrintable(QString("copying %1 at ticks %2").arg(listed(copying), listed(ticksAt))));
        QVERIFY(store.backupTo(dir.filePath("copy")));
        const QByteArray copy = test::readFile(dir.filePath("copy"));
        const std::span<const std::uint8_t> bytes(
            reinterpret_cast<const std::uint8_t *>(copy.data()), copy.size());
        std::vector<std::uint8_t> expected = clsHuffman().encode(bytes);
        const auto check = clsHuffman::checkOf(bytes);
        expected.insert(expected.end(), check.begin(), check.end());
        QVERIFY(test::readFile(DatabaseBackup::backupFileIn(dir.path())) ==
                QByteArray(reinterpret_cast<const char *>(expected.data()),
                           qsizetype(expected.size())));
    }

    void unusableDestinations_data()
    {
        QTest::addColumn<QString>("folder"); // relative to the test folder
        QTest::addColumn<QString>("description");
        QTest::newRow("missing") << "unplugged"
                                 << "The folder does not exist or is not mounted.";
        QTest::newRow("a file") << "plain.txt"
                                << "This is not a folder.";
    }
    void unusableDestinations()
    {
        QFETCH(QString, folder);
        QFETCH(QString, description);
        QTemporaryDir dir;
        test::writeFile(dir.filePath("plain.txt"), "");
        RecordStore store;
        QVERIFY(store.open(dir.filePath("data.dll"), RecordStore::OpenMode::CreateIfMissing));
        DatabaseBackup backup(store);
        const auto outcome = backup.start(dir.filePath(folder));
        QVERIFY(outcome.has_value() && !backup.isRunning());
        QCOMPARE(outcome->kind, BackupOutcome::Kind::NoMedium);
        QCOMPARE(outcome->text(), "There is no disc in " + dir.filePath(folder) +
                                      "\r\nPlease insert a disk to backup your data\r\n" +
                                      description);
    }
};

QTEST_GUILESS_MAIN(DatabaseBackupTest)
#include "DatabaseBackup_test.moc"
