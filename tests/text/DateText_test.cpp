#include <QLocale>
#include <QTest>

#include "DateText.h"

using namespace tarnvale;

class DateTextTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // The short form (four-digit year, the locale's order) and the long form, read back.
    void forms_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<bool>("longForm");
        QTest::addColumn<QString>("expected");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        // clang-format off
        QTest::newRow("single digits") << us << QDate(2005, 3, 5) << false << "3/5/2005";
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << QDate(1999, 12, 31) << false << "31.12.1999";
        QTest::newRow("long form") << us << QDate(2005, 3, 5) << true << "March 05, 2005";
        // clang-format on
    }
    void forms()
    {
        QFETCH(QLocale, locale);
        QFETCH(QDate, date);
        QFETCH(bool, longForm);
        QFETCH(QString, expected);
        QCOMPARE(longForm ? DateText::longForm(date, locale) : DateText::shortForm(date, locale),
                 expected);
        QCOMPARE(DateText::read(expected, locale), std::optional<QDate>(date));
    }

    void read_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("expected"); // invalid: not a date
        const QDate march5(2005, 3, 5);
        // clang-format off
        QTest::newRow("short, two-digit year, blanks around") << "  3/5/05 " << march5;
        QTest::newRow("iso") << "2005-03-05" << march5;
        QTest::newRow("long with weekday") << "Saturday, March 5, 2005" << march5;
        QTest::newRow("short month name, lower case") << "mar 5, 2005" << march5;
        QTest::newRow("leap day of 2000 from 00") << "2/29/00" << QDate(2000, 2, 29);
        QTest::newRow("month 13") << "13/5/2005" << QDate();
        QTest::newRow("no 31st in November") << "11/31/2026" << QDate();
        QTest::newRow("three-digit year") << "3/5/205" << QDate();
        QTest::newRow("month name, signed year") << "Mar 1, -2004" << QDate();
        QTest::newRow("trailing junk") << "3/5/2005x" << QDate();
        QTest::newRow("time with seconds and PM") << "3/5/2005 11:59:59 PM" << march5;
        QTest::newRow("hour 24 is no time") << "3/5/2005 24:00" << QDate();
        QTest::newRow("a time alone") << "10:30" << QDate();
        // clang-format on
    }
    void read()
    {
        QFETCH(QString, text);
        QFETCH(QDate, expected);
        const auto date = DateText::read(text, QLocale(), QDate(2026, 12, 6));
        QCOMPARE(date, expected.isValid() ? std::optional<QDate>(expected) : std::nullopt);
    }

    // The nearest century's year; a tie goes to the past.
    void nearestCentury()
    {
        const int cases[][3] = {
            {75, 2026, 2075}, {76, 2026, 1976}, {99, 2001, 1999}, {1, 1999, 2001}};
        for (const auto &c : cases)
            QCOMPARE(DateText::nearestCenturyYear(c[0], c[1]), c[2]);
    }
};

QTEST_GUILESS_MAIN(DateTextTest)
#include "DateText_test.moc"
