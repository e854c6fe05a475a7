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

    void cannotBeFormed()
    {
        QVERIFY(!CalculateTotal(Costs{"1E308", "1E308", "", "", "", "", "", ""}));
    }

    void unreadCharges()
    {
        QCOMPARE(
            UnreadCharges(Costs{"$40", "40 dollars", "abc", "", " 12.50 ", "0.00", "20,50", "N/A"}),
            (QList<int>{0, 1, 2, 6, 7}));
    }
};

QTEST_GUILESS_MAIN(CalculateTotalTest)
#include "CalculateTotal_test.moc"
