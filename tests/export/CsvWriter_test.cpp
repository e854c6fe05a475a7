#include <QTest>

#include "CsvWriter.h"

using tarnvale::CsvWriter;
using Cell = CsvWriter::Cell;

class CsvWriterTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void cell_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("number");
        QTest::addColumn<QByteArray>("written");

        // clang-format off
        QTest::newRow("plain") << "Ford Taurus" << false << QByteArray("Ford Taurus");
        QTest::newRow("comma") << "Smith, John" << false << QByteArray("\"Smith, John\"");
        QTest::newRow("quote") << "the \"red\" one" << false << QByteArray("\"the \"\"red\"\" one\"");
        QTest::newRow("line feed") << "keys\nin car" << false << QByteArray("\"keys\nin car\"");
        QTest::newRow("carriage return") << "a\r\nb" << false << QByteArray("\"a\r\nb\"");
        QTest::newRow("utf-8") << QString::fromUtf8("Müller €") << false << QByteArray("M\xC3\xBCller \xE2\x82\xAC");
        QTest::newRow("formula =") << "=HYPERLINK(\"x\")" << false << QByteArray("\"'=HYPERLINK(\"\"x\"\")\"");
        QTest::newRow("formula +") << "+1 (555) 123-4567" << false << QByteArray("'+1 (555) 123-4567");
        QTest::newRow("formula -") << "-2+3" << false << QByteArray("'-2+3");
        QTest::newRow("formula @") << "@SUM(A1)" << false << QByteArray("'@SUM(A1)");
        QTest::newRow("formula tab") << "\t=1" << false << QByteArray("'\t=1");
        QTest::newRow("formula with comma") << "=A1,B1" << false << QByteArray("\"'=A1,B1\"");
        QTest::newRow("equals inside") << "a=b" << false << QByteArray("a=b");
        QTest::newRow("negative number as text") << "-12.50" << false << QByteArray("-12.50");
        QTest::newRow("exponent as text") << "-1e5" << false << QByteArray("-1e5");
        QTest::newRow("sign alone") << "-" << false << QByteArray("'-");
        QTest::newRow("bad exponent") << "-1e" << false << QByteArray("'-1e");
        QTest::newRow("number cell never guarded") << "-" << true << QByteArray("-");
        // clang-format on
    }
    // Each cell is written after a first one, so the separator and the row end are checked too.
    void cell()
    {
        QFETCH(QString, value);
        QFETCH(bool, number);
        QFETCH(QByteArray, written);
        CsvWriter csv;
        csv.add(QStringLiteral("1"));
        csv.add(value, number ? Cell::Number : Cell::Text);
        csv.endRow();
        QCOMPARE(csv.bytes(), "1," + written + "\r\n");
        csv.clear();
        csv.add(value, number ? Cell::Number : Cell::Text); // a new row has no separator first
        QCOMPARE(csv.bytes(), written);
    }
};

QTEST_GUILESS_MAIN(CsvWriterTest)
#include "CsvWriter_test.moc"
