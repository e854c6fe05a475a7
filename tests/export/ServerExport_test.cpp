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
            QCOMPARE(ImpoundStore(store).release(*store.towRecord(1),
                                                 {"Ann", "ID", "1", QDate(2026, 1, 5), {}},
                                                 {{2500, "Cash", "", {}}}),
                     ImpoundStore::Result::Done);
        }
        RecordExport::Options options;
        options.today = QDate(2026, 2, 1);
        options.locale = QLocale(QLocale::English, QLocale::UnitedStates);
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
            QVERIFY(written[0].count('\n') >= 2);
            QCOMPARE(written[1], written[0]);
        }
    }
};

QTEST_GUILESS_MAIN(ServerExportTest)
#include "ServerExport_test.moc"
