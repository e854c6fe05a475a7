#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
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
        QTest::newRow("march 5: short, iso, long, month name, with a time") << "  3/5/05 |2005-03-05|Saturday, March 5, 2005|mar 5, 2005|3/5/2005 11:59:59 PM|3/5/2005 12:00 a.m.|3/5/2005 1:00 pm|3/5/2005 23:59" << march5;
        QTest::newRow("leap day of 2000 from 00") << "2/29/00" << QDate(2000, 2, 29);
        QTest::newRow("no such day") << "13/5/2005|11/31/2026|3/5/205|Mar 1, -2004|3/5/2005x" << QDate();
        QTest::newRow("no such time, or a time alone") << "3/5/2005 24:00|3/5/2005 13:05 PM|3/5/2005 0:30 AM|3/5/2005 10:60|10:30" << QDate();
        // clang-format on
    }
    void read()
    {
        QFETCH(QString, text);
        QFETCH(QDate, expected);
        for (const QString &one : text.split(u'|')) // texts read alike
            QCOMPARE(DateText::read(one, QLocale(), QDate(2026, 12, 6)),
                     expected.isValid() ? std::optional<QDate>(expected) : std::nullopt);
    }

    // Generated texts of digits, separators and blanks (a few with a no-break space or another
    // script's digits) read as the US short and ISO forms say, worked out here on their own.
    void numericFormsAgainstTheirPattern()
    {
        static const QRegularExpression iso("^\\d{4}-\\d{2}-\\d{2}$");
        static const QRegularExpression us(
            "^(\\d{1,4})\\s*[/.-]\\s*(\\d{1,4})\\s*[/.-]\\s*(\\d{1,4})$");
        const QDate today(2026, 12, 6);
        const auto expected = [&](const QString &t) -> std::optional<QDate> {
            if (iso.match(t).hasMatch()) {
                const QDate date = QDate::fromString(t, Qt::ISODate);
                return date.isValid() ? std::optional(date) : std::nullopt;
            }
            const QRegularExpressionMatch m = us.match(t);
            const QString year = m.captured(3);
            if (!m.hasMatch() || m.captured(1).size() > 2 || m.captured(2).size() > 2 ||
                year.size() == 3)
                return std::nullopt;
            const int y = year.size() > 2 ? year.toInt()
                                          : DateText::nearestCenturyYear(year.toInt(), 2026);
            const QDate date(y, m.captured(1).toInt(), m.captured(2).toInt());
            return date.isValid() ? std::optional(date) : std::nullopt;
        };
        const QString alphabet = QString::fromUtf16(u"0123456789/.-  \t\u00a0\u0663x");
        const QString blanks = QString::fromUtf16(u" \t\n\v\f\r\u00a0");
        QRandomGenerator random(29);
        int dates = 0;
        const auto blank = [&] {
            return random.bounded(4) ? QString() : QString(blanks.at(random.bounded(blanks.size())));
        };
        for (int i = 0; i < 20000; ++i) {
            QString t;
            for (int field = 0; field < 3; ++field) { // mostly date-shaped, sometimes not
                if (field > 0) // a separator, at times with a blank either side
                    t += blank() + alphabet.mid(10 + random.bounded(random.bounded(8) ? 3 : 8), 1) +
                         blank();
                const int digits = field == 2 ? 2 + 2 * random.bounded(2) : random.bounded(1, 3);
                for (int n = random.bounded(4) ? digits : random.bounded(1, 6); n > 0; --n)
                    t += alphabet.at(random.bounded(random.bounded(10) ? 10 : 17));
            }
            const std::optional<QDate> read = DateText::read(t, QLocale(), today);
            QVERIFY2(read == expected(t.trimmed()), qPrintable(t));
            dates += read.has_value();
        }
        QVERIFY2(dates > 1000, qPrintable(QString::number(dates))); // not only refusals
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
