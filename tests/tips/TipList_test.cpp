#include <QRandomGenerator>
#include <QTest>

#include "TestFiles.h"
#include "TestFolder.h"
#include "TipList.h"

using namespace tarnvale;

class TipListTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // The lines of a tips file, numbered from 1, and the numbers a random pick may give:
    // the non-empty lines, each about as likely as the others; none (0) when all are empty.
    void load_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("tips");
        QTest::addColumn<QList<int>>("picks");
        // clang-format off
        QTest::newRow("no final line break") << QByteArray("First tip\nSecond tip") << QStringList({"First tip", "Second tip"}) << QList<int>({1, 2});
        QTest::newRow("CR LF") << QByteArray("One\r\nTwo\r\n") << QStringList({"One", "Two"}) << QList<int>({1, 2});
        QTest::newRow("empty lines kept") << QByteArray("\nA\n\n\nB\n\nC") << QStringList({"", "A", "", "", "B", "", "C"}) << QList<int>({2, 5, 7});
        QTest::newRow("only empty lines") << QByteArray("\n\n\n") << QStringList({"", "", ""}) << QList<int>({0});
        QTest::newRow("empty file") << QByteArray() << QStringList() << QList<int>({0});
        QTest::newRow("UTF-8") << QByteArray("Caf\xc3\xa9 tip\n") << QStringList({"Café tip"}) << QList<int>({1});
        QTest::newRow("Windows-1252") << QByteArray("Caf\xe9 tip\n") << QStringList({"Café tip"}) << QList<int>({1});
        // clang-format on
    }
    void load()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, tips);
        QFETCH(QList<int>, picks);
        test::TestFolder folder;
        test::writeFile(folder.file("quorvel.tip"), bytes);
        TipList list;
        QVERIFY(list.load(folder.file("quorvel.tip")));
        QStringList numbered;
        for (int i = 0; i <= tips.size() + 1; ++i)
            numbered << list.tip(i);
        QCOMPARE(numbered, QStringList{QString()} + tips + QStringList{QString()});
        QRandomGenerator random(20261206);
        QMap<int, int> seen;
        for (int i = 0; i < 3000; ++i)
            ++seen[list.chooseRandom(random)];
        QCOMPARE(seen.keys(), picks);
        for (int count : seen)
            QVERIFY2(qAbs(count - 3000.0 / picks.size()) < 450.0 / picks.size(),
                     qPrintable(QString::number(count)));
    }

    // The shipped tips are distinct, trimmed, short lines; a load that fails keeps them.
    void shippedTipsAndFailedLoads()
    {
        TipList list;
        QVERIFY(list.load(QStringLiteral(TARNVALE_SHIPPED_TIPS)));
        const QStringList tips = list.tips();
        QVERIFY(tips.size() >= 20);
        for (const QString &tip : tips)
            QVERIFY2(!tip.isEmpty() && tip == tip.trimmed() && tip.size() <= 250, qPrintable(tip));
        QCOMPARE(QSet<QString>(tips.begin(), tips.end()).size(), tips.size());
        test::TestFolder folder;
        QVERIFY(!list.load(QString()) && !list.load(folder.file("missing.tip")));
        QVERIFY(QDir(folder.path()).mkdir("folder.tip") && !list.load(folder.file("folder.tip")));
        QCOMPARE(list.tips(), tips);
    }
};

QTEST_GUILESS_MAIN(TipListTest)
#include "TipList_test.moc"
