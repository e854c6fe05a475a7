#include <QTest>

#include <atomic>
#include <sqlite3.h>

#include <QSqlQuery>

#include "CsvRows.h"
#include "ImpoundStore.h"
#include "LienSchedule.h"
#include "RecordExport.h"
#include "StoreFixture.h"
#include "StoreFolder.h"
#include "TestFiles.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);

// Three vehicles: released with a readable fee, unreleased, and one with no dates and a fee
// below zero.
struct ExportFixture : StoreFixture
{
    QString out = dir.file("month.csv");

    ExportFixture()
    {
        settings.write("Fee", "Storage Fee", "10");
        settings.write("Tow Fee", "Taxrate", "0.05");
        store.open(dir.databasePath(), RecordStore::OpenMode::CreateIfMissing);
        add("North", "=cmd|' /C calc'!A0", "1/1/2026", "1/11/2026", "100", "");
        add("South", "Smith, \"Jo\"", "12/1/2026", "", "50.5", "keys\r\nin the car");
        add("North", "-", "", "", "-5", "");
        store.close();
    }
    void add(const QString &group, const QString &name, const QString &towed,
             const QString &released, const QString &fee, const QString &notes)
    {
        TowRecord r = vehicleRecord(group);
        r.set(TowField::custname, name);
        r.set(TowField::toweddate, towed);
        r.set(TowField::towedrelease, released);
        r.set(TowField::towedfee, fee);
        r.set(TowField::vehnotes, notes);
        store.addTowRecord(r);
    }
    RecordExport::Result run(const ExportSelection &selection, RecordExport::Options options = {})
    {
        options.today = QDate(2026, 12, 6);
        options.locale = kUs;
        return RecordExport::write(dir.databasePath(), selection, settings, out, options);
    }
};

} // namespace

class RecordExportTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void everyFieldAndTheFigures()
    {
        ExportFixture f;
        // Something kept for the first two: a payment on the released one; a hold and the first
        // lien step done on the one in storage.
        QVERIFY(LienSchedule::write(f.settings, {{"First notice", 5}, {"Sale", 45}}));
        QVERIFY(f.store.open(f.dir.databasePath(), RecordStore::OpenMode::ExistingOnly));
        ImpoundStore impound(f.store);
        QSqlQuery query(f.store.database());
        QVERIFY(query.exec(
            "INSERT INTO impound_payments (vehicle_id, amount_cents) VALUES (1, 20000)"));
        // Windows-1252 bytes from an older program: 0x80 (its euro sign) is no more ASCII than any
        // other byte above 0x7F and comes out as the replacement character.
        QVERIFY(query.exec(
            "UPDATE wrecker SET vehmodel = CAST(x'313080206f6666' AS TEXT) WHERE id = 1"));
        QCOMPARE(impound.markStepDone(2, "First notice", QDate(2026, 12, 6)),
                 ImpoundStore::Result::Done);
        QCOMPARE(impound.placeHold(*f.store.towRecord(2),
                                   Hold{0, "Evidence", {}, {}, {}, {}, {}, {}}, QDate(2026, 12, 6)),
                 ImpoundStore::Result::Done);
        f.store.close();
        QList<qint64> progress;
        RecordExport::Options options;
        options.progress = [&](qint64 done, qint64 total) { progress << done << total; };
        const RecordExport::Result result = f.run(ExportSelection::all(), options);
        QVERIFY(int(result.outcome) == int(RecordExport::Outcome::Done) && result.rows == 3);
        QCOMPARE(progress, (QList<qint64>{3, 3}));

        const QList<QStringList> rows = csvRows(readFile(f.out));
        QCOMPARE(rows.first(), RecordExport::columnNames());
        for (const QStringList &row : rows)
            QCOMPARE(row.size(), rows.first().size());
        // Text a spreadsheet would run is shown as text; everything else comes back as stored.
        // 10 days at $10 on a $100 fee with 5 % tax; 5 days to "today" on $50.50 (tax 5.025 rounds
        // up); no dates and a fee below zero: nothing to sum, and the note says why (the sums:
        // ChargeFigures' test).
        QStringList columns;
        for (const char *name : {"id", "vehmodel", "custname", "vehnotes", "Days in storage", "Storage charge", "Tax",
                                 "Grand total", "Figures note", "Status", "Balance due", "Next deadline"})
            columns << csvColumn(rows, name).join(u';');
        QCOMPARE(columns, QStringList({"1;2;3", QString::fromUtf16(u"10\uFFFD off;Taurus;Taurus"),
                                       "'=cmd|' /C calc'!A0;Smith, \"Jo\";'-", ";keys\r\nin the car;", "10;5;0",
                                       "100.00;50.00;0.00", "10.00;5.03;", "210.00;105.53;",
                                       ";;No date towed: 0 days counted. Tow fee -5 is below zero: no total.",
                                       "Released;On hold;In storage", "10.00;105.53;", ";1/15/2027;"}));

        // A file of a schema before the impound tables: every vehicle as its record says.
        sqlite3 *older = nullptr;
        QCOMPARE(sqlite3_open(f.dir.databasePath().toUtf8().constData(), &older), SQLITE_OK);
        QCOMPARE(sqlite3_exec(older, "DROP TABLE impound_status; DROP TABLE impound_payments; "
                                     "DROP TABLE lien_steps_done", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(older);
        QCOMPARE(f.run(ExportSelection::all(), {}).rows, 3);
        const QList<QStringList> olderRows = csvRows(readFile(f.out));
        QCOMPARE(csvColumn(olderRows, "Status").join(';') + '|' + csvColumn(olderRows, "Balance due").join(';') +
                     '|' + csvColumn(olderRows, "Next deadline").join(';'),
                 "Released;In storage;In storage|210.00;105.53;|;12/6/2026;");
    }

    void selection_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QList<qint64>>("ids");
        QTest::addColumn<QStringList>("exported");

        using Kind = ExportSelection::Kind;
        // clang-format off
        QTest::newRow("all") << int(Kind::All) << "" << QList<qint64>{} << QStringList{"1", "2", "3"};
        QTest::newRow("group") << int(Kind::Group) << "North" << QList<qint64>{} << QStringList{"1", "3"};
        QTest::newRow("group matched exactly") << int(Kind::Group) << "north" << QList<qint64>{} << QStringList{};
        QTest::newRow("records in table order, once each") << int(Kind::Records) << "" << QList<qint64>{3, 99, 1, 3} << QStringList{"1", "3"};
        QTest::newRow("no records") << int(Kind::Records) << "" << QList<qint64>{} << QStringList{};
        // clang-format on
    }

    void selection()
    {
        QFETCH(int, kind);
        QFETCH(QString, group);
        QFETCH(QList<qint64>, ids);
        QFETCH(QStringList, exported);
        ExportFixture f;
        const RecordExport::Result result = f.run({ExportSelection::Kind(kind), group, ids});
        QCOMPARE(int(result.outcome), int(RecordExport::Outcome::Done));
        QCOMPARE(result.rows, exported.size());
        const QList<QStringList> rows = csvRows(readFile(f.out));
        QCOMPARE(rows.value(0), RecordExport::columnNames()); // the header even when empty
        QCOMPARE(csvColumn(rows, "id"), exported);
    }

    void failureLeavesTheFileAlone_data()
    {
        QTest::addColumn<QString>("problem");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("error");

        const int failed = int(RecordExport::Outcome::Failed);
        QTest::newRow("no database") << "missing" << failed << "no such file";
        QTest::newRow("not a database") << "text" << failed << "not a database";
        QTest::newRow("no table wrecker") << "foreign" << failed << "no such table: wrecker";
        QTest::newRow("no such folder") << "folder" << failed << "cannot write";
        QTest::newRow("over the database") << "database" << failed << "the program's own file";
        QTest::newRow("over the settings") << "settings" << failed << "the program's own file";
        QTest::newRow("cancelled") << "cancel" << int(RecordExport::Outcome::Cancelled) << "";
    }

    void failureLeavesTheFileAlone()
    {
        QFETCH(QString, problem);
        QFETCH(int, outcome);
        QFETCH(QString, error);
        ExportFixture f;
        QString database = f.dir.databasePath();
        writeFile(f.out, "old\r\n");
        if (problem == "missing") {
            database = f.dir.file("none.dll");
        } else if (problem == "text") {
            database = f.dir.file("notes.txt");
            writeFile(database, QByteArray(4096, 'x'));
        } else if (problem == "foreign") {
            database = f.dir.file("other.db");
            sqlite3 *db = nullptr;
            sqlite3_open(database.toUtf8().constData(), &db);
            sqlite3_exec(db, "CREATE TABLE cars (id INTEGER)", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        } else if (problem == "folder") {
            f.out = f.dir.file("none/month.csv");
        } else if (problem == "database" || problem == "settings") {
            f.out = problem == "database" ? database : f.settings.path();
        }
        const QByteArray before = readFile(f.out);
        std::atomic<bool> cancel{problem == "cancel"};
        RecordExport::Options options;
        options.cancel = &cancel;
        options.locale = kUs;
        const RecordExport::Result result =
            RecordExport::write(database, ExportSelection::all(), f.settings, f.out, options);
        QCOMPARE(int(result.outcome), outcome);
        QVERIFY2(result.error.contains(error), qPrintable(result.error));
        QCOMPARE(readFile(f.out), before);
        QCOMPARE(QDir(f.dir.path()).entryList({"*.csv*"}, QDir::Files), QStringList{"month.csv"});
        QVERIFY(f.store.open(f.dir.databasePath(), RecordStore::OpenMode::ExistingOnly));
        QCOMPARE(f.store.towRecordCount(), 3);
    }

    // The export of a yard on the server is the export of the same yard in a file, byte for
    // byte. Last: the engine chosen here stays chosen.
    void sameRowsAsFromAFile()
    {
        qputenv("TARNVALE_TEST_ENGINE", "postgresql");
        SKIP_WITHOUT_ENGINE();
        StoreFixture f;
        f.settings.write("Fee", "Storage Fee", "10");
        StoreFolder server;
        const QString paths[2] = {f.dir.databasePath(), server.databasePath()};
        for (const QString &path : paths) {
            RecordStore store;
            QVERIFY(store.open(path, RecordStore::OpenMode::CreateIfMissing));
            for (const QString group : {"North", "north", "North"}) {
                TowRecord r = vehicleRecord(group, "2001", QString::fromUtf8("Škoda"));
                r.set(TowField::toweddate, "1/1/2026");
                r.set(TowField::towedfee, "100");
                QVERIFY(store.addTowRecord(r));
            }
            ImpoundStore impound(store);
            QCOMPARE(impound.addPayment(*store.towRecord(1), {2500, "Cash", "", QDate(2026, 1, 5)}),
                     ImpoundStore::Result::Done);
            QCOMPARE(impound.release(*store.towRecord(1),
                                     {"Ann", "ID", "1", QDate(2026, 1, 5), {}}),
                     ImpoundStore::Result::Done);
        }
        RecordExport::Options options;
        options.today = QDate(2026, 2, 1);
        options.locale = kUs;
        // Every record, a group (its case counting) and chosen records.
        for (const ExportSelection &selection :
             {ExportSelection::all(), ExportSelection::ofGroup("North"),
              ExportSelection::ofRecords({3, 1, 9})}) {
            QByteArray written[2];
            for (int i = 0; i < 2; ++i) {
                const QString out = f.dir.file(QStringLiteral("out%1.csv").arg(i));
                QCOMPARE(RecordExport::write(paths[i], selection, f.settings, out, options).outcome,
                         RecordExport::Outcome::Done);
                written[i] = readFile(out);
            }
            QVERIFY(written[0].count('\n') >= 2 && written[1] == written[0]);
        }
    }
};

QTEST_GUILESS_MAIN(RecordExportTest)
#include "RecordExport_test.moc"
