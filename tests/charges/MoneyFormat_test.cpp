#include <QLocale>
#include <QTest>

#include "MoneyFormat.h"

using namespace tarnvale;

class MoneyFormatTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void value_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        const QString dollar = kMoneyDollar.toString();
        const QString rate = kMoneyRate.toString();
        const QString plain = kMoneyPlain.toString();
        QTest::newRow("12.5") << 12.5 << dollar << "$12.50";
        QTest::newRow("0.5 has nothing before the point") << 0.5 << dollar << "$.50";
        QTest::newRow("zero") << 0.0 << dollar << "$.00";
        QTest::newRow("seven digits kept") << 1234567.0 << dollar << "$1234567.00";
        QTest::newRow("seven digits, rate pattern") << 1234567.0 << rate << "$1234567.00";
        QTest::newRow("no grouping") << 12345.678 << plain << "12345.68";
        QTest::newRow("half away from zero") << 0.125 << plain << ".13";
        QTest::newRow("2.675 as it reads") << 2.675 << plain << "2.68";
        QTest::newRow("1.005 as it reads") << 1.005 << plain << "1.01";
        QTest::newRow("rounds up to a whole") << 9.999 << dollar << "$10.00";
        QTest::newRow("negative") << -30.0 << dollar << "-$30.00";
        QTest::newRow("negative half away from zero") << -0.125 << plain << "-.13";
        QTest::newRow("negative rounding to zero has no sign") << -0.001 << dollar << "$.00";
        QTest::newRow("beyond 64 bits") << 1e20 << plain << "100000000000000000000.00";
        QTest::newRow("not finite") << qInf() << dollar << "";
    }
    void value()
    {
        QFETCH(double, value);
        QFETCH(QString, pattern);
        QTEST(MoneyFormat(value, pattern), "expected");
    }

    void text_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);
        QTest::newRow("plain sum") << "67.5" << us << "67.50";
        QTest::newRow("plain sum under de_DE") << "67.5" << de << "67.50";
        QTest::newRow("grouped") << "1,234.5" << us << "1234.50";
        QTest::newRow("grouped under de_DE") << "1.234,5" << de << "1234.50";
        QTest::newRow("not a number comes back unchanged") << "N/A" << us << "N/A";
        QTest::newRow("empty comes back unchanged") << "" << us << "";
    }
    void text()
    {
        QFETCH(QString, text);
        QFETCH(QLocale, locale);
        QTEST(MoneyFormat(text, kMoneyPlain, locale), "expected");
    }
};

QTEST_GUILESS_MAIN(MoneyFormatTest)
#include "MoneyFormat_test.moc"
