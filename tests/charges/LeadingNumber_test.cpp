#include <QLocale>
#include <QTest>

#include "LeadingNumber.h"

using namespace tarnvale;

class LeadingNumberTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void read_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::addColumn<bool>("whole"); // ReadsWhole: the number is all the text holds
        QTest::newRow("decimal") << "12.50" << 12.5 << true;
        QTest::newRow("currency sign stops it") << "$12.50" << 0.0 << false;
        QTest::newRow("leading blanks, tabs, line breaks") << " \t\r\n45" << 45.0 << true;
        QTest::newRow("blanks inside") << "1 2 3" << 123.0 << true;
        QTest::newRow("blank after sign") << "- 5" << -5.0 << true;
        QTest::newRow("plus sign") << "+7" << 7.0 << true;
        QTest::newRow("leading point") << ".5" << 0.5 << true;
        QTest::newRow("second point ends it") << "1.2.3" << 1.2 << false;
        QTest::newRow("trailing text") << "45 dollars" << 45.0 << false;
        QTest::newRow("grouping comma ends it") << "1,234.50" << 1.0 << false;
        QTest::newRow("exponent E") << "1.5E2" << 150.0 << true;
        QTest::newRow("exponent D") << "2D3" << 2000.0 << true;
        QTest::newRow("negative exponent") << "25E-1" << 2.5 << true;
        QTest::newRow("exponent without digits") << "7E" << 7.0 << false;
        QTest::newRow("exponent sign without digits") << "7E+x" << 7.0 << false;
        QTest::newRow("point only") << "." << 0.0 << false;
        QTest::newRow("overflow reads 0") << "1E999" << 0.0 << false;
        QTest::newRow("huge exponent digits") << "1E99999999999" << 0.0 << false;
        QTest::newRow("underflow reads 0") << "1E-999" << 0.0 << false;
        QTest::newRow("comma decimal is not a point") << "12,5" << 12.0 << false;
        QTest::newRow("blanks only") << "   " << 0.0 << true;
        QTest::newRow("trailing blanks") << "40.00  " << 40.0 << true;
    }
    void read()
    {
        QFETCH(QString, text);
        QTEST(LeadingNumber(text), "expected");
        QTEST(ReadsWhole(text), "whole");
    }

    void decimalPointIsAlwaysAPointInAnyLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const double value = LeadingNumber(u"12.5");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(value, 12.5);
    }
};

QTEST_GUILESS_MAIN(LeadingNumberTest)
#include "LeadingNumber_test.moc"
