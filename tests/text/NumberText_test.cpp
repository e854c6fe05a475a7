#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include "NumberText.h"

#include <cmath>

using namespace tarnvale;

class NumberTextTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // What the user types, in the user's locale; and amounts stored as this program writes
    // them, which read the same in any locale beside the locale's own form.
    void read_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected"); // NaN: unreadable
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);
        QTest::newRow("leading point") << us << false << ".08" << 0.08;
        QTest::newRow("currency, grouping, blanks") << us << false << " $1,234.50 " << 1234.5;
        QTest::newRow("negative before sign") << us << false << "-$12.00" << -12.0;
        QTest::newRow("parentheses") << us << false << "($12.00)" << -12.0;
        QTest::newRow("de_DE grouping and euro") << de << false << "1.234,50 €" << 1234.5;
        QTest::newRow("empty") << us << false << "" << qQNaN();
        QTest::newRow("trailing text") << us << false << "12 dollars" << qQNaN();
        QTest::newRow("too large") << us << false << "1e999" << qQNaN();
        QTest::newRow("stored, de_DE no whole part") << de << true << ".50" << 0.5;
        QTest::newRow("stored, de_DE dollar sign") << de << true << "$140.40" << 140.4;
        QTest::newRow("stored, en_US grouping by the locale") << us << true << "1,000.00" << 1000.0;
        QTest::newRow("stored, de_DE grouping by the locale") << de << true << "1.234,50" << 1234.5;
        QTest::newRow("stored, a point alone") << us << true << "$." << qQNaN();
    }
    void read()
    {
        QFETCH(QLocale, locale);
        QFETCH(bool, stored);
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(stored ? NumberText::readStored(text, locale) : NumberText::read(text, locale),
                 qIsNaN(expected) ? std::nullopt : std::optional<double>(expected));
    }

    // Generated stored amounts read as the C locale reads the written form, under en_US and
    // de_DE alike; the rest (grouping, other scripts) as the locale reads it.
    void readStoredAgainstTheWrittenForm()
    {
        static const QRegularExpression written(
            "^\\s*([-+]?)\\$?(\\d*\\.?\\d*(?:[eE][-+]?\\d+)?)\\s*$");
        const QString pieces[] = {" ", "-", "+", "$", "0", "7", "12", ".", "5", "e", "3",
                                  ",", "\t", QString::fromUtf16(u"\u00a0"), "x", "99999999"};
        QRandomGenerator random(37);
        for (const QLocale &locale : {QLocale(QLocale::English, QLocale::UnitedStates),
                                      QLocale(QLocale::German, QLocale::Germany)}) {
            int numbers = 0;
            for (int i = 0; i < 20000; ++i) {
                QString text;
                for (int n = random.bounded(1, 8); n > 0; --n)
                    text += pieces[random.bounded(random.bounded(3) ? 11 : 16)];
                std::optional<double> expected;
                const QRegularExpressionMatch m = written.match(text);
                bool ok = false;
                QLocale c = QLocale::c();
                c.setNumberOptions(QLocale::RejectGroupSeparator);
                const double value = c.toDouble(m.captured(1) + m.captured(2), &ok);
                if (m.hasMatch() && m.capturedLength(2) > 0 && ok && std::isfinite(value))
                    expected = value;
                else
                    expected = NumberText::read(text, locale);
                const std::optional<double> read = NumberText::readStored(text, locale);
                QVERIFY2(read == expected && (!read || std::signbit(*read) == std::signbit(*expected)),
                         qPrintable(text));
                numbers += read.has_value();
            }
            QVERIFY(numbers > 2000);
        }
    }

    void plain_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << 100.0 << "100";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("binary noise") << 0.1 + 0.2 << "0.3";
        QTest::newRow("fifteen digits, no grouping") << 123456789012345.0 << "123456789012345";
    }
    void plain()
    {
        QFETCH(double, value);
        QTEST(NumberText::plain(value), "expected");
    }
};

QTEST_GUILESS_MAIN(NumberTextTest)
#include "NumberText_test.moc"
