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
        QTest::newRow("single digits") << us << QDate(2005, 3, 5) << false << "3/5/2005";
        QTest::newRow("double digits") << us << QDate(2026, 12, 16) << false << "12/16/2026";
        QTest::newRow("last century") << us << QDate(1999, 1, 31) << false << "1/31/1999";
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << QDate(2005, 3, 5)
                               << false << "05.03.2005";
        QTest::newRow("en_GB") << QLocale(QLocale::English, QLocale::UnitedKingdom)
                               << QDate(2005, 3, 5) << false << "05/03/2005";
        QTest::newRow("long form") << us << QDate(2005, 3, 5) << true << "March 05, 2005";
        QTest::newRow("long form, two-digit day") << us << QDate(2026, 12, 31) << true
                                                  << "December 31, 2026";
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

    void todayReadsBackAsToday()
    {
        const QString text = DateText::today();
        QVERIFY(text.endsWith(QString::number(QDate::currentDate().year())));
        QCOMPARE(DateText::read(text), std::optional<QDate>(QDate::currentDate()));
    }

    void read_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("expected"); // invalid: not a date
        const QDate march5(2005, 3, 5);
        QTest::newRow("short, four-digit year") << "3/5/2005" << march5;
        QTest::newRow("short, leading zeros") << "03/05/2005" << march5;
        QTest::newRow("short, two-digit year") << "3/5/05" << march5;
        QTest::newRow("blanks around") << "  3/5/2005 " << march5;
        QTest::newRow("dashes") << "3-5-2005" << march5;
        QTest::newRow("iso") << "2005-03-05" << march5;
        QTest::newRow("long with weekday") << "Saturday, March 5, 2005" << march5;
        QTest::newRow("month name, lower case") << "march 05, 2005" << march5;
        QTest::newRow("short month name") << "Mar 5, 2005" << march5;
        QTest::newRow("two-digit year 99 is last century") << "12/31/99" << QDate(1999, 12, 31);
        QTest::newRow("leap day of 2000 from 00") << "2/29/00" << QDate(2000, 2, 29);
        QTest::newRow("empty") << "" << QDate();
        QTest::newRow("blank") << "   " << QDate();
        QTest::newRow("words") << "yesterday" << QDate();
        QTest::newRow("month 13") << "13/5/2005" << QDate();
        QTest::newRow("day 32") << "1/32/2005" << QDate();
        QTest::newRow("feb 29 of a common year") << "2/29/2005" << QDate();
        QTest::newRow("three-digit year") << "3/5/205" << QDate();
        QTest::newRow("two pieces") << "3/5" << QDate();
        QTest::newRow("trailing junk") << "3/5/2005x" << QDate();
        QTest::newRow("bad iso") << "2005-13-05" << QDate();
        QTest::newRow("no 31st in November") << "11/31/2026" << QDate();
        QTest::newRow("time of day") << "3/5/2005 10:30" << march5;
        QTest::newRow("time with seconds and PM") << "3/5/2005 11:59:59 PM" << march5;
        QTest::newRow("iso with time") << "2005-03-05T23:15:00" << march5;
        QTest::newRow("hour 24 is no time") << "3/5/2005 24:00" << QDate();
        QTest::newRow("13 PM is no time") << "3/5/2005 13:00 PM" << QDate();
        QTest::newRow("1 AM") << "3/5/2005 1:05 AM" << march5;
        QTest::newRow("0 AM is no time") << "3/5/2005 0:30 AM" << QDate();
        QTest::newRow("a time alone") << "10:30" << QDate();
    }
    void read()
    {
        QFETCH(QString, text);
        QFETCH(QDate, expected);
        const auto date = DateText::read(text, QLocale(), QDate(2026, 12, 6));
        if (expected.isValid())
            QCOMPARE(date, std::optional<QDate>(expected));
        else
            QVERIFY2(!date, qPrintable(date ? date->toString(Qt::ISODate) : QString()));
    }

    void nearestCentury_data()
    {
        QTest::addColumn<int>("yy");
        QTest::addColumn<int>("reference");
        QTest::addColumn<int>("expected");
        QTest::newRow("05 in 2026") << 5 << 2026 << 2005;
        QTest::newRow("30 in 2026") << 30 << 2026 << 2030;
        QTest::newRow("75 in 2026") << 75 << 2026 << 2075;
        QTest::newRow("77 in 2026") << 77 << 2026 << 1977;
        QTest::newRow("76 in 2026, tie to the past") << 76 << 2026 << 1976;
        QTest::newRow("99 in 2001") << 99 << 2001 << 1999;
        QTest::newRow("01 in 1999") << 1 << 1999 << 2001;
    }
    void nearestCentury()
    {
        QFETCH(int, yy);
        QFETCH(int, reference);
        QTEST(DateText::nearestCenturyYear(yy, reference), "expected");
    }
};

QTEST_GUILESS_MAIN(DateTextTest)
#include "DateText_test.moc"
