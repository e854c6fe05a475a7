#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include "TestFolder.h"
#include "TipList.h"
#include "TestFiles.h"

using namespace tarnvale;

namespace {

QString writeTips(const test::TestFolder &folder, const QByteArray &bytes)
{
    const QString path = folder.file(QStringLiteral("quorvel.tip"));
    test::writeFile(path, bytes);
    return path;
}

} // namespace

class TipListTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void load_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("tips");
        QTest::newRow("lines") << QByteArray("First tip\nSecond tip\n")
                               << QStringList({"First tip", "Second tip"});
        QTest::newRow("no final line break")
            << QByteArray("First tip\nSecond tip") << QStringList({"First tip", "Second tip"});
        QTest::newRow("CR LF") << QByteArray("One\r\nTwo\r\n") << QStringList({"One", "Two"});
        QTest::newRow("empty lines kept")
            << QByteArray("\nA\n\n\nB\n\n") << QStringList({"", "A", "", "", "B", ""});
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("UTF-8") << QByteArray("Caf\xc3\xa9 tip\n") << QStringList({"Café tip"});
        QTest::newRow("Windows-1252") << QByteArray("Caf\xe9 tip\n") << QStringList({"Café tip"});
    }

    void load()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, tips);
        test::TestFolder folder;
        TipList list;
        QVERIFY(list.load(writeTips(folder, bytes)));
        QCOMPARE(list.tips(), tips);
        QCOMPARE(list.count(), tips.size());
        // Numbered from 1; outside the list, nothing.
        QStringList numbered;
        for (int i = 0; i <= tips.size() + 1; ++i)
            numbered << list.tip(i);
        QCOMPARE(numbered, QStringList{QString()} + tips + QStringList{QString()});
    }

    void loadFails()
    {
        test::TestFolder folder;
        TipList list;
        QVERIFY(list.load(writeTips(folder, "Kept\n")));
        QVERIFY(!list.load(QString()));
        QVERIFY(!list.load(folder.file(QStringLiteral("missing.tip"))));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("folder.tip")));
        QVERIFY(!list.load(folder.file(QStringLiteral("folder.tip"))));
        QCOMPARE(list.tips(), QStringList({"Kept"}));
    }

    void chooseRandom_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<int>>("possible"); // numbers that may come; empty: none (0)
        QTest::newRow("one line among empty ones")
            << QByteArray("\n\nOnly this\n\n\n") << QList<int>({3});
        QTest::newRow("three lines") << QByteArray("A\nB\nC\n") << QList<int>({1, 2, 3});
        QTest::newRow("gaps") << QByteArray("A\n\nB\n\n\nC") << QList<int>({1, 3, 6});
        QTest::newRow("only empty lines") << QByteArray("\n\n\n") << QList<int>();
        QTest::newRow("empty file") << QByteArray() << QList<int>();
    }

    void chooseRandom()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, possible);
        test::TestFolder folder;
        TipList list;
        QVERIFY(list.load(writeTips(folder, bytes)));
        QRandomGenerator random(20261206);
        QMap<int, int> seen;
        const int draws = 3000;
        for (int i = 0; i < draws; ++i)
            ++seen[list.chooseRandom(random)];
        if (possible.isEmpty()) {
            QCOMPARE(seen.keys(), QList<int>({0}));
            return;
        }
        QCOMPARE(seen.keys(), possible);
        // Each non-empty line is about as likely as the others.
        const double share = double(draws) / possible.size();
        for (int count : seen)
            QVERIFY2(count > share * 0.85 && count < share * 1.15,
                     qPrintable(QString::number(count)));
    }

    void shippedTipsFile()
    {
        TipList list;
        QVERIFY(list.load(QStringLiteral(TARNVALE_SHIPPED_TIPS)));
        QVERIFY(list.count() >= 20);
        QSet<QString> distinct;
        for (const QString &tip : list.tips()) {
            QVERIFY2(!tip.trimmed().isEmpty(), "an empty line in the tips file");
            QVERIFY2(tip.size() <= 250, qPrintable(tip));
            QVERIFY2(tip == tip.trimmed(), qPrintable(tip));
            distinct.insert(tip);
        }
        QCOMPARE(distinct.size(), list.count());
    }
};

QTEST_GUILESS_MAIN(TipListTest)
#include "TipList_test.moc"
