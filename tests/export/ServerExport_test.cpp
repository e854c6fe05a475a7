#include <QTest>

#include "ImpoundStore.h"
#include "RecordExport.h"
#include "StoreFixture.h"
#include "StoreFolder.h"
#include "TestFiles.h"

using namespace tarnvale;
using namespace tarnvale::test;

// The export of a yard on the server is the export of the same yard in a file, byte for byte.
class ServerExportTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void sameRowsAsFromAFile_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("all") << 0;
        QTest::newRow("a group, case counting") << 1;
        QTest::newRow("chosen records") << 2;
    }
    void sameRowsAsFromAFile()
    {
        QFETCH(int, kind);
        const ExportSelection selection = kind == 0   ? ExportSelection::all()
                                          : kind == 1 ? ExportSelection::ofGroup("North")
                                                      : ExportSelection::ofRecords({3, 1, 9});
        qputenv("TARNVALE_TEST_ENGINE", "postgresql");
        SKIP_WITHOUT_ENGINE();
        StoreFixture f;
        f.settings.write("Fee", "Storage Fee", "10");
        StoreFolder server;
        QByteArray written[2];
        const QString paths[2] = {f.dir.databasePath(), server.databasePath()};
        for (int i = 0; i < 2; ++i) {
            RecordStore store;
            QVERIFY(store.open(paths[i], RecordStore::OpenMode::CreateIfMissing));
            for (const QString group : {"North", "north", "North"}) {
                TowRecord r = vehicleRecord(group, "2001", QString::fromUtf8("Škoda"));
                r.set(TowField::toweddate, "1/1/2026");
                r.set(TowField::towedfee, "100");
                QVERIFY(store.addTowRecord(r));
            }
            ImpoundStore impound(store);
            QCOMPARE(impound.release(*store.towRecord(1), {"Ann", "ID", "1", QDate(2026, 1, 5), {}},
                                     {{2500, "Cash", "", {}}}),
                     ImpoundStore::Result::Done);
            RecordExport::Options options;
            options.today = QDate(2026, 2, 1);
            options.locale = QLocale(QLocale::English, QLocale::UnitedStates);
            const QString out = f.dir.file(QStringLiteral("out%1.csv").arg(i));
            const auto result = RecordExport::write(paths[i], selection, f.settings, out, options);
            QCOMPARE(result.outcome, RecordExport::Outcome::Done);
            written[i] = readFile(out);
        }
        QVERIFY(written[0].count('\n') >= 2);
        QCOMPARE(written[1], written[0]);
    }
};

QTEST_GUILESS_MAIN(ServerExportTest)
#include "ServerExport_test.moc"
