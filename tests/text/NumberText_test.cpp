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

    void readStored_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected"); // NaN: unreadable
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);
        for (const QLocale &locale : {us, de}) {
            const QByteArray name = locale.name().toLatin1();
            QTest::newRow(name + " tow fee as written") << locale << "100.00" << 100.0;
            QTest::newRow(name + " no whole part") << locale << ".50" << 0.5;
            QTest::newRow(name + " rate as written") << locale << ".08" << 0.08;
            QTest::newRow(name + " negative") << locale << "-5.00" << -5.0;
            QTest::newRow(name + " dollar sign") << locale << "$140.40" << 140.4;
            QTest::newRow(name + " words") << locale << "N/A" << qQNaN();
        }
        QTest::newRow("en_US grouping by the locale") << us << "1,000.00" << 1000.0;
        QTest::newRow("de_DE comma by the locale") << de << "0,08" << 0.08;
        QTest::newRow("de_DE grouping by the locale") << de << "1.234,50" << 1234.5;
    }
    void readStored()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QFETCH(double, expected);
        const auto value = NumberText::readStored(text, locale);
        if (qIsNaN(expected))
            QVERIFY(!value);
        else
            QCOMPARE(value, std::optional<double>(expected));
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
