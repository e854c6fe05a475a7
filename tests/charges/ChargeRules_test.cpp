// The rules the charges are made of: reading a number, money text, the total of the charges
// and the hookup fee; and the figures they make for a record.
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "CalculateTotal.h"
#include "ChargeFigures.h"
#include "DateText.h"
#include "HookupFeeLookup.h"
#include "LeadingNumber.h"
#include "MoneyFormat.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "TestFolder.h"
#include "TowRecord.h"

using namespace tarnvale;

using Costs = std::array<QString, 8>;
Q_DECLARE_METATYPE(Costs)

class ChargeRulesTest : public QObject
{
    Q_OBJECT

  private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::addColumn<bool>("whole"); // ReadsWhole: the number is all the text holds
        // clang-format off
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
        // clang-format on
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QTEST(LeadingNumber(text), "expected");
        QTEST(ReadsWhole(text), "whole");
        // The same in a locale whose decimal separator is a comma.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QTEST(LeadingNumber(text), "expected");
        QTEST(ReadsWhole(text), "whole");
    }

    void moneyFormat_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        const QString dollar = kMoneyDollar.toString(), rate = kMoneyRate.toString(),
                      plain = kMoneyPlain.toString();
        // clang-format off
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
        // clang-format on
    }
    void moneyFormat()
    {
        QFETCH(double, value);
        QFETCH(QString, pattern);
        QTEST(MoneyFormat(value, pattern), "expected");
    }

    // Every amount rounds as its 15 significant digits say, near a half cent too: generated
    // cents with binary noise, halves and amounts past a billion cents.
    void moneyCentsFromFifteenDigits()
    {
        QRandomGenerator random(31);
        for (int i = 0; i < 50000; ++i) {
            const double whole = double(random.bounded(Q_INT64_C(1) << 40) >> random.bounded(40));
            const double part[] = {0, 0.5, 0.4999999, 0.5000001, random.generateDouble()};
            const double value = (whole + part[random.bounded(5)]) / (random.bounded(2) ? 100 : 1000) *
                                 (random.bounded(4) ? 1 : -1);
            char text[40];
            std::snprintf(text, sizeof text, "%.15g", std::fabs(value) * 100);
            const double cents = std::floor(std::strtod(text, nullptr) + 0.5);
            QCOMPARE(MoneyCents(value), cents >= double(kMaxMoneyCents)
                                            ? std::nullopt
                                            : std::optional(qint64(value < 0 ? -cents : cents)));
        }
    }

    // Sums as text, grouped as the locale writes them; what is no number comes back unchanged.
    void moneyFormatText()
    {
        const QLocale us(QLocale::English, QLocale::UnitedStates),
            de(QLocale::German, QLocale::Germany);
        QCOMPARE(
            QStringList({MoneyFormat("67.5", kMoneyPlain, us), MoneyFormat("67.5", kMoneyPlain, de),
                         MoneyFormat("1,234.5", kMoneyPlain, us),
                         MoneyFormat("1.234,5", kMoneyPlain, de),
                         MoneyFormat("N/A", kMoneyPlain, us), MoneyFormat("", kMoneyPlain, us)}),
            QStringList({"67.50", "67.50", "1234.50", "1234.50", "N/A", ""}));
    }

    void total_data()
    {
        QTest::addColumn<Costs>("costs");
        QTest::addColumn<double>("sum");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("towedFee");
        // clang-format off
        QTest::newRow("every charge keeps its cents") << Costs{"45.00", "0.00", "12.5", "", "", "", "", "10.5"} << 68.0 << "68" << "68.00";
        QTest::newRow("all zero") << Costs{"0.00", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00"} << 0.0 << "0" << ".00";
        QTest::newRow("$, N/A and empty count 0") << Costs{"$45.00", "N/A", "5", "", "", "", "", ""} << 5.0 << "5" << "5.00";
        QTest::newRow("below zero") << Costs{"", "", "", "", "", "", "", "-2.5"} << -2.5 << "-2.5" << "-2.50";
        QTest::newRow("cents add up exactly") << Costs{"0.1", "0.2", "", "", "", "", "", "0.05"} << 0.1 + 0.2 + 0.05 << "0.35" << ".35";
        QTest::newRow("beyond 32 bits") << Costs{"", "", "", "", "", "", "", "2147483648.25"} << 2147483648.25 << "2147483648.25" << "2147483648.25";
        // clang-format on
    }
    void total()
    {
        QFETCH(Costs, costs);
        const auto result = CalculateTotal(costs);
        QVERIFY(result);
        QTEST(result->sum, "sum");
        QTEST(result->total, "total");
        QTEST(result->towedFee, "towedFee");
    }

    // A sum beyond what a double holds gives no total; the charges that do not read whole.
    void cannotBeFormedAndUnreadCharges()
    {
        QVERIFY(!CalculateTotal(Costs{"1E308", "1E308", "", "", "", "", "", ""}));
        QCOMPARE(
            UnreadCharges(Costs{"$40", "40 dollars", "abc", "", " 12.50 ", "0.00", "20,50", "N/A"}),
            (QList<int>{0, 1, 2, 6, 7}));
    }

    void hookupFee_data()
    {
        QTest::addColumn<QString>("hookup");
        QTest::addColumn<QString>("fee"); // "charge|editable", "-" for no change
        // clang-format off
        QTest::newRow("Light") << "Light" << "45.00|0";
        QTest::newRow("Medium") << "Medium" << "$65|0";
        QTest::newRow("Heavy absent gives empty") << "Heavy" << "|0";
        QTest::newRow("Other") << "Other" << "|1";
        QTest::newRow("lower case is not a class") << "light" << "-";
        QTest::newRow("blank around is not a class") << " Light" << "-";
        QTest::newRow("empty") << "" << "-";
        // clang-format on
    }
    void hookupFee()
    {
        QFETCH(QString, hookup);
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        QVERIFY(settings.write("Tow Fee", "Light", "45.00"));
        QVERIFY(settings.write("Tow Fee", "Medium", "$65"));
        const auto fee = HookupFeeLookup(hookup, settings);
        QTEST(fee ? fee->charge + "|" + QString::number(fee->makeEditable) : "-", "fee");
    }

    void figures_data()
    {
        QTest::addColumn<QString>("record");   // date towed|date released|tow fee
        QTest::addColumn<QString>("settings"); // storage fee|Tax|Taxrate, "-" for a key not written
        QTest::addColumn<QString>("figures");  // days, rate, storage, grand total
        QTest::addColumn<QString>("note");     // the start of the note; "" for none
        QTest::addColumn<bool>("german");
        auto row = [](const char *name, const char *record, const char *settings,
                      const char *figures, const char *note = "", bool german = false) {
            QTest::newRow(name) << QString(record) << QString(settings) << QString(figures)
                                << QString(note) << german;
        };
        // clang-format off
        row("worked example, tax on", "3/1/2026|3/4/2026|100.00", "10|-|.08", "3 $10.00 $30.00 $140.40");
        row("worked example, de_DE", "01.03.2026|04.03.2026|100.00", "10|-|.08", "3 $10.00 $30.00 $140.40", "", true);
        row("de_DE, comma rate", "01.03.2026|04.03.2026|1234567.50", "0|-|0,5", "3 $.00 $.00 $1851851.25", "", true);
        row("Tax No", "3/1/2026|3/4/2026|100.00", "10|No|.08", "3 $10.00 $30.00 $130.00");
        row("Tax no in lower case still taxes", "3/1/2026|3/4/2026|100.00", "10|no|.08", "3 $10.00 $30.00 $140.40");
        row("released the day of towing", "3/1/2026|3/1/2026|100.00", "10|No|-", "0 $10.00 $.00 $100.00");
        row("released before towed", "3/4/2026|3/1/2026|100.00", "10|No|-", "0 $10.00 $.00 $100.00",
            "Released (3/1/2026) before towed (3/4/2026): 0 days counted.");
        row("blank release: to today", "12/1/2026|  |100.00", "10|No|-", "5 $10.00 $50.00 $150.00");
        row("no such day towed", "11/31/2026|12/4/2026|100.00", "10|No|-", "0 $10.00 $.00 $100.00",
            "Date towed \"11/31/2026\" is not a date");
        row("unreadable release", "3/1/2026|soon|100.00", "10|No|-", "0 $10.00 $.00 $100.00",
            "Date released \"soon\" is not a date");
        row("absent storage fee", "3/1/2026|3/4/2026|100.00", "-|No|-", "3 $.00 $.00 $100.00");
        row("negative storage fee", "3/1/2026|3/4/2026|100.00", "-10|No|-", "3 $.00 $.00 $100.00",
            "The storage fee in the settings is below zero");
        row("unreadable tax rate", "3/1/2026|3/4/2026|100.00", "10|-|eight", "3 $10.00 $30.00 $130.00");
        row("negative tax rate", "3/1/2026|3/4/2026|100.00", "10|-|-2", "3 $10.00 $30.00 $130.00",
            "The tax rate in the settings is below zero");
        row("tow fee with sign and grouping", "3/1/2026|3/1/2026|$1,000.00", "10|No|-", "0 $10.00 $.00 $1000.00");
        row("empty tow fee", "3/1/2026|3/4/2026|", "10|No|-", "3 $10.00 $30.00 $.00", "No tow fee");
        row("unreadable tow fee", "3/1/2026|3/4/2026|N/A", "10|-|.08", "3 $10.00 $30.00 $.00",
            "Tow fee \"N/A\" is not an amount");
        row("negative tow fee", "3/1/2026|3/4/2026|-50.00", "10|No|-", "3 $10.00 $30.00 $.00",
            "Tow fee -50.00 is below zero");
        row("year 206", "1/5/0206|3/4/2026|100.00", "10|No|-", "0 $10.00 $.00 $100.00",
            "Date towed \"1/5/0206\" is in the year 206, not from 1900 to 2027: 0 days counted.");
        row("year 1", "3/1/2026|1/1/0001|100.00", "10|No|-", "0 $10.00 $.00 $100.00",
            "Date released \"1/1/0001\" is in the year 1, not from 1900 to 2027");
        row("after next year", "3/1/2026|1/1/2028|100.00", "10|No|-", "0 $10.00 $.00 $100.00",
            "Date released \"1/1/2028\" is in the year 2028");
        row("first and last years", "1/1/1900|12/31/2027|100.00", "10|No|-", "46750 $10.00 $467500.00 $467600.00");
        row("tax rate 725 %", "3/1/2026|3/4/2026|100.00", "10|-|7.25", "3 $10.00 $30.00 $1072.50",
            "The tax rate 725 % in settings.ini is added as it stands: mend it in Config Settings.");
        row("tax rate 100 %", "3/1/2026|3/4/2026|100.00", "10|-|1", "3 $10.00 $30.00 $260.00", "The tax rate 100 % in settings.ini");
        row("storage too large", "3/1/2026|6/9/2026|100.00", "1000000000|No|-", "100 $.00 $.00 $100.00", "The storage fee in the settings is too large");
        row("storage under a dollar", "3/1/2026|3/2/2026|100.00", "0.75|-|.08", "1 $.75 $.75 $108.81");
        row("rate of a tenth of a cent", "3/1/2026|3/4/2026|100.00", "10.005|No|-", "3 $10.01 $30.03 $130.03");
        row("too large to count", "3/1/2026|3/4/2026|1000000000000.00", "10|No|-", "3 $10.00 $30.00 $.00",
            "Tow fee 1000000000000.00 is too large: no total.");
        // clang-format on
    }
    void figures()
    {
        QFETCH(QString, record);
        QFETCH(QString, settings);
        QFETCH(QString, note);
        QFETCH(bool, german);
        test::TestFolder folder;
        SettingsFile file(folder.settingsPath());
        const QStringList values = settings.split(u'|');
        const char *const keys[][2] = {
            {"Fee", "Storage Fee"}, {"Tow Fee", "Tax"}, {"Tow Fee", "Taxrate"}};
        for (int i = 0; i < 3; ++i)
            if (values[i] != "-")
                QVERIFY(file.write(keys[i][0], keys[i][1], values[i]));
        const QStringList parts = record.split(u'|');
        TowRecord r;
        r.set(TowField::toweddate, parts[0]);
        r.set(TowField::towedrelease, parts[1]);
        r.set(TowField::towedfee, parts[2]);
        const QLocale locale = german ? QLocale(QLocale::German, QLocale::Germany) : QLocale();
        const auto f = ChargeFigures::compute(r, file, QDate(2026, 12, 6), locale);
        QTEST(QStringList({f.daysText(), f.rateText(), f.storageText(), f.grandTotalText()})
                  .join(u' '),
              "figures");
        QVERIFY2(note.isEmpty() ? f.note.isEmpty() : f.note.startsWith(note), qPrintable(f.note));
        // The lines a sheet prints add up to its grand total, when it has one.
        qint64 printed = 0;
        for (const QString &line : f.chargeLines(parts[2]))
            printed += qRound64(line.section(u'\t', 1).remove(u'$').toDouble() * 100);
        QVERIFY(!f.totalFormed || printed == qRound64(f.grandTotal * 100));
        if (parts[1].trimmed().isEmpty()) // no release yet: today's short date stands in
            QCOMPARE(f.dateOut + " " + f.dateTowed, "12/6/2026 12/1/2026");
    }

    // The tax a report adds to a sum is the sheet's, whatever the settings say of it.
    void taxRuleAsTheSheet_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::newRow("7.25 %") << QByteArray("Taxrate=.0725");
        QTest::newRow("tax switched off") << QByteArray("Tax=No\nTaxrate=.0725");
        QTest::newRow("below zero") << QByteArray("Taxrate=-.05");
        QTest::newRow("not a number") << QByteArray("Taxrate=abc");
        QTest::newRow("none") << QByteArray("");
        QTest::newRow("725 %, as it stands") << QByteArray("Taxrate=7.25");
        QTest::newRow("too large for a sum") << QByteArray("Taxrate=90000000000");
    }
    void taxRuleAsTheSheet()
    {
        QFETCH(QByteArray, settings);
        test::TestFolder folder;
        test::writeFile(folder.settingsPath(), "[Tow Fee]\n" + settings);
        const SettingsFile file = SettingsFile::snapshot(folder.settingsPath());
        const ChargeFigures::TaxRule rule(file, QLocale());
        const QString today = DateText::shortForm(QDate(2026, 12, 6));
        for (const qint64 cents : {qint64(0), qint64(1), qint64(999), qint64(12345),
                                   qint64(99999999), qint64(4000000000000)}) {
            const QString fee = QString("%1.%2").arg(cents / 100).arg(cents % 100, 2, 10, QChar('0'));
            const auto sheet = ChargeFigures::compute(today, today, fee, file, QDate(2026, 12, 6));
            QVERIFY(sheet.totalFormed);
            QCOMPARE(rule.on(cents), sheet.taxCents);
        }
    }

    // Generated bills against whole-cent arithmetic: the printed rate times the days, tax on
    // fee + storage rounded half up, and the total the sum of the three lines, to the cent.
    void billsAddUpToTheCent()
    {
        test::TestFolder folder;
        QRandomGenerator random(25);
        const QDate today(2026, 12, 6), towed(2026, 1, 1);
        QStringList day;
        for (int i = 0; i < 340; ++i)
            day << DateText::shortForm(towed.addDays(i));
        auto text = [](qint64 units, qint64 per) { return QString("%1.%2").arg(units / per).arg(units % per, QString::number(per).size() - 1, 10, QChar('0')); };
        for (int run = 0; run < 200; ++run) {
            const qint64 rate = random.bounded(20000), per = qint64(std::pow(10, random.bounded(1, 6)));
            const qint64 tax = random.bounded(int(run % 25 ? per / 4 : per * 8)); // now and then 100 % or more
            test::writeFile(folder.settingsPath(), ("[Fee]\nStorage Fee=" + text(rate, 100) + "\n[Tow Fee]\nTaxrate=" + text(tax, per)).toLatin1());
            const SettingsFile file = SettingsFile::snapshot(folder.settingsPath());
            const ChargeFigures::TaxRule taxRule(file, QLocale());
            for (int bill = 0; bill < 500; ++bill) {
                const qint64 fee = random.bounded(100000000), days = random.bounded(340);
                const auto f = ChargeFigures::compute(day[0], day[days], text(fee, 100), file, today);
                const qint64 subtotal = fee + rate * days, taxCents = (subtotal * tax * 2 + per) / (2 * per);
                QCOMPARE(taxRule.on(subtotal), taxCents); // a report's tax, the sheet's
                if (f.rate != double(rate) / 100 || f.storage != double(rate * days) / 100 || f.tax != double(taxCents) / 100
                    || f.grandTotalText() != "$" + text(subtotal + taxCents, 100).replace(QRegularExpression("^0\\."), "."))
                    QFAIL(qPrintable(QString("fee %1, %2 days at %3, tax rate %4: %5 %6 %7").arg(text(fee, 100)).arg(days)
                        .arg(text(rate, 100), text(tax, per), f.storageText(), MoneyFormat(f.tax, kMoneyDollar), f.grandTotalText())));
            }
        }
    }
};

QTEST_GUILESS_MAIN(ChargeRulesTest)
#include "ChargeRules_test.moc"
