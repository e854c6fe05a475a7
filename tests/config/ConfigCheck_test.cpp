#include <QLocale>
#include <QTest>

#include "ConfigCheck.h"
#include "TaxRate.h"

using namespace tarnvale;

class ConfigCheckTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void taxRate_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("meaning");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);
        using K = TaxRate::Kind;
        // clang-format off
        QTest::newRow("fraction kept as typed") << us << ".08" << int(K::Fraction) << ".08" << "= 8 %";
        QTest::newRow("fraction with blanks") << us << " 0.0625 " << int(K::Fraction) << " 0.0625 " << "= 6.25 %";
        QTest::newRow("percent with decimals") << us << "7.25 %" << int(K::Percent) << "0.0725" << "= 7.25 %";
        QTest::newRow("7.25 is asked about") << us << "7.25" << int(K::Ambiguous) << "0.0725" << "= 725 % (or 7.25 %?)";
        QTest::newRow("1 is asked about") << us << "1" << int(K::Ambiguous) << "0.01" << "= 100 % (or 1 %?)";
        QTest::newRow("zero") << us << "0" << int(K::Fraction) << "0" << "= 0 %";
        QTest::newRow("empty: no tax") << us << "" << int(K::Empty) << "" << "no tax";
        QTest::newRow("words") << us << "eight" << int(K::Invalid) << "" << "not a rate";
        QTest::newRow("negative") << us << "-.08" << int(K::Invalid) << "" << "not a rate";
        QTest::newRow("100 percent") << us << "100%" << int(K::Invalid) << "" << "not a rate";
        QTest::newRow("725 without a sign") << us << "725" << int(K::Invalid) << "" << "not a rate";
        QTest::newRow("de_DE comma fraction stored with a point") << de << "0,08" << int(K::Fraction) << "0.08" << "= 8 %";
        QTest::newRow("de_DE percent") << de << "7,5%" << int(K::Percent) << "0.075" << "= 7.5 %";
        QTest::newRow("de_DE stored form") << de << ".08" << int(K::Fraction) << ".08" << "= 8 %";
        // clang-format on
    }
    void taxRate()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, typed);
        const TaxRate rate = TaxRate::read(typed, locale);
        QTEST(int(rate.kind), "kind");
        QTEST(rate.stored(typed), "stored");
        QTEST(rate.meaning(), "meaning");
    }

    void findings()
    {
        // Storage fee, the three hookup fees and the tax rate.
        const ConfigValues v("", "", "", "", "", "$10", "45.00", "-5", "150 dollars", "7.25", true,
                             false, "");
        const QList<ConfigFinding> found = ConfigCheck::check(v);
        QStringList controls;
        for (const ConfigFinding &f : found)
            controls << f.control + (f.question ? "?" : "");
        QCOMPARE(controls, (QStringList{"Text2", "Text9", "Text10", "Text11?"}));
        QCOMPARE(found[0].message,
                 QString("The \"Vehicle Storage Fee:\" box holds \"$10\", which is not a plain "
                         "amount: it would count as 0. Type the amount alone, such as 40.00."));
        QCOMPARE(found[1].message,
                 QString("The \"Hookup: Medium\" box holds -5: a fee cannot be below zero."));
        QVERIFY(found[2].message.contains("it would count as 150."));
        QCOMPARE(found[3].message,
                 QString("The tax rate is kept as a fraction (.08 is 8 %), so 7.25 would add "
                         "725 % tax.\r\n\r\nDid you mean 7.25 %? Yes stores 7.25 % (0.0725)."));
        QCOMPARE(ConfigCheck::toStore(v).taxRate, QString("0.0725"));

        const ConfigValues fine("", "", "", "", "", "10.00", "", "", "", ".08", true, false, "");
        QVERIFY(ConfigCheck::check(fine).isEmpty() && ConfigCheck::toStore(fine) == fine);
    }
};

QTEST_GUILESS_MAIN(ConfigCheckTest)
#include "ConfigCheck_test.moc"
