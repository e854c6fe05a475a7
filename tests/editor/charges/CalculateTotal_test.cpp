#include <QLocale>
#include <QTest>

#include "CalculateTotal.h"

using namespace tarnvale;

using Costs = std::array<QString, 8>;
Q_DECLARE_METATYPE(Costs)

class CalculateTotalTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void total_data()
    {
        QTest::addColumn<Costs>("costs");
        QTest::addColumn<double>("sum");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("towedFee");
        QTest::newRow("worked example")
            << Costs{"45.00", "0.00", "12.5", "0.00", "0.00", "0.00", "0.00", "10.5"} << 67.5
            << "67.5" << "67.50";
        QTest::newRow("all zero") << Costs{"0.00", "0.00", "0.00", "0.00",
                                           "0.00", "0.00", "0.00", "0.00"}
                                  << 0.0 << "0" << ".00";
        QTest::newRow("dollar sign counts 0")
            << Costs{"$45.00", "10", "", "", "", "", "", ""} << 10.0 << "10" << "10.00";
        QTest::newRow("N/A and empty count 0")
            << Costs{"N/A", "", "5", "", "", "", "", "N/A"} << 5.0 << "5" << "5.00";
        QTest::newRow("other 12.5 rounds to 12")
            << Costs{"", "", "", "", "", "", "", "12.5"} << 12.0 << "12" << "12.00";
        QTest::newRow("other 13.5 rounds to 14")
            << Costs{"", "", "", "", "", "", "", "13.5"} << 14.0 << "14" << "14.00";
        QTest::newRow("other 0.5 rounds to 0")
            << Costs{"", "", "", "", "", "", "", "0.5"} << 0.0 << "0" << ".00";
        QTest::newRow("other -2.5 rounds to -2")
            << Costs{"", "", "", "", "", "", "", "-2.5"} << -2.0 << "-2" << "-2.00";
        QTest::newRow("other 12.51 rounds up")
            << Costs{"", "", "", "", "", "", "", "12.51"} << 13.0 << "13" << "13.00";
        QTest::newRow("first seven keep cents")
            << Costs{"0.1", "0.2", "", "", "", "", "", ""} << 0.1 + 0.2 << "0.3" << ".30";
        QTest::newRow("other at the 32-bit maximum")
            << Costs{"", "", "", "", "", "", "", "2147483647"} << 2147483647.0 << "2147483647"
            << "2147483647.00";
        QTest::newRow("other at the 32-bit minimum")
            << Costs{"", "", "", "", "", "", "", "-2147483648"} << -2147483648.0 << "-2147483648"
            << "-2147483648.00";
    }
    void total()
    {
        QFETCH(Costs, costs);
        QFETCH(double, sum);
        QFETCH(QString, total);
        QFETCH(QString, towedFee);
        const auto result = CalculateTotal(costs);
        QVERIFY(result);
        QCOMPARE(result->sum, sum);
        QCOMPARE(result->total, total);
        QCOMPARE(result->towedFee, towedFee);
    }

    void cannotBeFormed_data()
    {
        QTest::addColumn<Costs>("costs");
        QTest::newRow("other beyond 32 bits") << Costs{"", "", "", "", "", "", "", "2147483648"};
        QTest::newRow("other below 32 bits") << Costs{"", "", "", "", "", "", "", "-2147483649"};
        QTest::newRow("sum overflows") << Costs{"1E308", "1E308", "", "", "", "", "", ""};
    }
    void cannotBeFormed()
    {
        QFETCH(Costs, costs);
        QVERIFY(!CalculateTotal(costs));
    }
};

QTEST_GUILESS_MAIN(CalculateTotalTest)
#include "CalculateTotal_test.moc"
