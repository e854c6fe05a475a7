#include <QTest>

#include "NetworkShare.h"
#include "TestFolder.h"

using namespace tarnvale;

class NetworkShareTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void kinds_data()
    {
        QTest::addColumn<qint64>("type");
        QTest::addColumn<QString>("kind");
        QTest::newRow("nfs") << qint64(0x6969) << "NFS";
        QTest::newRow("cifs as a signed word") << qint64(qint32(0xFF534D42)) << "CIFS/SMB";
        QTest::newRow("ext4") << qint64(0xEF53) << "";
    }
    void kinds()
    {
        QFETCH(qint64, type);
        QTEST(NetworkShare::kindOf(type), "kind");
    }

    void localFolderIsNoShare()
    {
        test::TestFolder folder;
        QCOMPARE(NetworkShare::kindOfPath(folder.databasePath()), QString());
    }
};

QTEST_GUILESS_MAIN(NetworkShareTest)
#include "NetworkShare_test.moc"
