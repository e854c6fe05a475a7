#include <QDir>
#include <QProcess>
#include <QTest>

#include "CsvRows.h"
#include "StoreFixture.h"
#include "TestFiles.h"

using namespace tarnvale;
using namespace tarnvale::test;

class ExportToolTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void run_data()
    {
        QTest::addColumn<QStringList>("args"); // OUT, DB and INI stand for files of the test folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("daysAndTotal"); // of the one vehicle; empty: OUT untouched

        const QStringList files{"--csv", "OUT", "--database", "DB", "--settings", "INI"};
        const QStringList none;
        // clang-format off
        QTest::newRow("as of a day") << files + QStringList{"--as-of", "2026-12-11"} << 0 << "" << QStringList{"10", "210.00"};
        QTest::newRow("database named by the settings")
            << QStringList{"--csv", "OUT", "--settings", "INI", "--as-of", "2026-12-06"} << 0 << "" << QStringList{"5", "157.50"};
        QTest::newRow("no arguments") << QStringList{} << 2 << "--csv OUT is required" << none;
        QTest::newRow("unknown argument") << files + QStringList{"--zip"} << 2 << "Unknown option 'zip'" << none;
        QTest::newRow("value missing") << QStringList{"--csv", ""} << 2 << "--csv needs a value" << none;
        QTest::newRow("given twice") << files + QStringList{"--csv", "OUT"} << 2 << "--csv given twice" << none;
        QTest::newRow("not a date") << files + QStringList{"--as-of", "2026-13-01"} << 2 << "not a date" << none;
        QTest::newRow("no such settings")
            << QStringList{"--csv", "OUT", "--database", "DB", "--settings", "none.ini"} << 1 << "cannot read the settings" << none;
        // clang-format on
    }
    void run()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QFETCH(QStringList, daysAndTotal);
        StoreFixture f;
        const QString program = f.dir.file("program.ini"), out = f.dir.file("month.csv");
        const SettingsFile settings(program);
        settings.write("Fee", "Storage Fee", "10");
        settings.write("Tow Fee", "Taxrate", "0.05");
        settings.write("Database", "Path", f.dir.databasePath());
        QVERIFY(f.store.open(f.dir.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        TowRecord record = vehicleRecord("North");
        record.set(TowField::toweddate, "12/1/2026");
        record.set(TowField::towedfee, "100");
        QVERIFY(f.store.addTowRecord(record));
        f.store.close();
        writeFile(out, "old\r\n");

        for (QString &arg : args)
            arg = arg == "OUT"   ? out
                  : arg == "DB"  ? f.dir.databasePath()
                  : arg == "INI" ? program
                                 : arg;
        QProcess tool;
        tool.setWorkingDirectory(f.dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "C.UTF-8"); // no locale: the tool reads dates US-style
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(TARNVALE_EXPORT_PATH), args);
        QVERIFY(tool.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
        QCOMPARE(tool.exitCode(), exitCode);
        QVERIFY2(message.isEmpty() ? err.isEmpty() : err.contains(message), qPrintable(err));

        const QList<QStringList> rows = csvRows(readFile(out));
        QCOMPARE(readFile(out) == "old\r\n", daysAndTotal.isEmpty()); // untouched on failure
        if (daysAndTotal.isEmpty())
            return;
        QCOMPARE(csvColumn(rows, "Days in storage") + csvColumn(rows, "Grand total"), daysAndTotal);
        // Only read: nothing of SQLite's is left beside the database.
        QCOMPARE(QDir(f.dir.path()).entryList({"*-wal", "*-shm"}, QDir::Files), QStringList());
    }
};

QTEST_GUILESS_MAIN(ExportToolTest)
#include "ExportTool_test.moc"
