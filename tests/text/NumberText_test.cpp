#include <QLocale>
#include <QTest>

#include "NumberText.h"

using namespace tarnvale;

class NumberTextTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void read_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << "100.00" << true << 100.0;
        QTest::newRow("leading point") << ".08" << true << 0.08;
        QTest::newRow("currency sign") << "$140.40" << true << 140.4;
        QTest::newRow("grouping") << "1,234.50" << true << 1234.5;
        QTest::newRow("currency and grouping") << "$1,234.50" << true << 1234.5;
        QTest::newRow("blanks") << "  67.50 " << true << 67.5;
        QTest::newRow("negative") << "-12" << true << -12.0;
        QTest::newRow("negative before sign") << "-$12.00" << true << -12.0;
        QTest::newRow("parentheses") << "($12.00)" << true << -12.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("words") << "N/A" << false << 0.0;
        QTest::newRow("sign only") << "$" << false << 0.0;
        QTest::newRow("trailing text") << "12 dollars" << false << 0.0;
        QTest::newRow("two signs") << "--12" << false << 0.0;
        QTest::newRow("too large") << "1e999" << false << 0.0;
    }
    void read()
    {
        QFETCH(QString, text);
        QFETCH(bool, readable);
        const auto value = NumberText::read(text);
        QCOMPARE(value.has_value(), readable);
        if (readable)
            QTEST(*value, "expected");
    }

    void readGermanLocale()
    {
        const QLocale de(QLocale::German, QLocale::Germany);
        QCOMPARE(NumberText::read(QStringLiteral("1.234,50 €"), de), std::optional<double>(1234.5));
        QCOMPARE(NumberText::read(QStringLiteral("0,08"), de), std::optional<double>(0.08));
    }

    void plain_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("half") << 123.5 << "123.5";
        QTest::newRow("whole") << 100.0 << "100";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("negative") << -0.25 << "-0.25";
        QTest::newRow("binary noise") << 0.1 + 0.2 << "0.3";
        QTest::newRow("fifteen digits") << 123456789012345.0 << "123456789012345";
        QTest::newRow("no grouping") << 1234567.0 << "1234567";
    }
    void plain()
    {
        QFETCH(double, value);
        QTEST(NumberText::plain(value), "expected");
    }
};

QTEST_GUILESS_MAIN(NumberTextTest)
#include "NumberText_test.moc"
