#include <QLocale>
#include <QTest>

#include "ChargeFigures.h"
#include "SettingsFile.h"
#include "TestFolder.h"
#include "TowRecord.h"

using namespace tarnvale;

namespace {

TowRecord record(const QString &towed, const QString &released, const QString &fee)
{
    TowRecord r;
    r.set(TowField::toweddate, towed);
    r.set(TowField::towedrelease, released);
    r.set(TowField::towedfee, fee);
    return r;
}

} // namespace

class ChargeFiguresTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void figures_data()
    {
        QTest::addColumn<QString>("towed");
        QTest::addColumn<QString>("released");
        QTest::addColumn<QString>("fee");
        QTest::addColumn<QString>("storageFee"); // "<absent>": key not written
        QTest::addColumn<QString>("tax");
        QTest::addColumn<QString>("taxRate");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("storage");
        QTest::addColumn<QString>("grand");
        const QString absent = QStringLiteral("<absent>");

        QTest::newRow("worked example, tax on") << "3/1/2026" << "3/4/2026" << "100.00" << "10"
            << absent << ".08" << "3" << "$10.00" << "$30.00" << "$140.40";
        QTest::newRow("Tax No") << "3/1/2026" << "3/4/2026" << "100.00" << "10" << "No" << ".08"
                                << "3" << "$10.00" << "$30.00" << "$130.00";
        QTest::newRow("Tax no in lower case still taxes") << "3/1/2026" << "3/4/2026" << "100.00"
            << "10" << "no" << ".08" << "3" << "$10.00" << "$30.00" << "$140.40";
        QTest::newRow("released the day of towing") << "3/1/2026" << "3/1/2026" << "100.00" << "10"
            << "No" << absent << "0" << "$10.00" << "$.00" << "$100.00";
        QTest::newRow("release before towing") << "3/4/2026" << "3/1/2026" << "100.00" << "10"
            << "No" << absent << "-3" << "$10.00" << "-$30.00" << "$70.00";
        QTest::newRow("no release: counted to today") << "12/1/2026" << "" << "100.00" << "10"
            << "No" << absent << "5" << "$10.00" << "$50.00" << "$150.00";
        QTest::newRow("two-digit years read in this century") << "3/1/26" << "3/4/26" << "100.00"
            << "10" << "No" << absent << "3" << "$10.00" << "$30.00" << "$130.00";
        QTest::newRow("across a year end") << "12/30/2025" << "1/2/2026" << "0" << "1.5" << "No"
            << absent << "3" << "$1.50" << "$4.50" << "$4.50";
        QTest::newRow("unreadable date: 0 days") << "soon" << "3/4/2026" << "100.00" << "10" << "No"
            << absent << "0" << "$10.00" << "$.00" << "$100.00";
        QTest::newRow("absent storage fee") << "3/1/2026" << "3/4/2026" << "100.00" << absent
            << "No" << absent << "3" << "$.00" << "$.00" << "$100.00";
        QTest::newRow("storage fee with dollar sign reads 0") << "3/1/2026" << "3/4/2026"
            << "100.00" << "$10" << "No" << absent << "3" << "$.00" << "$.00" << "$100.00";
        QTest::newRow("absent tax rate adds no tax") << "3/1/2026" << "3/4/2026" << "100.00" << "10"
            << absent << absent << "3" << "$10.00" << "$30.00" << "$130.00";
        QTest::newRow("unreadable tax rate adds no tax") << "3/1/2026" << "3/4/2026" << "100.00"
            << "10" << absent << "eight" << "3" << "$10.00" << "$30.00" << "$130.00";
        QTest::newRow("tow fee with currency sign and grouping") << "3/1/2026" << "3/1/2026"
            << "$1,000.00" << "10" << "No" << absent << "0" << "$10.00" << "$.00" << "$1000.00";
        QTest::newRow("empty tow fee: grand total 0") << "3/1/2026" << "3/4/2026" << "" << "10"
            << "No" << absent << "3" << "$10.00" << "$30.00" << "$.00";
        QTest::newRow("unreadable tow fee: grand total 0") << "3/1/2026" << "3/4/2026" << "N/A"
            << "10" << absent << ".08" << "3" << "$10.00" << "$30.00" << "$.00";
    }
    void figures()
    {
        QFETCH(QString, towed);
        QFETCH(QString, released);
        QFETCH(QString, fee);
        QFETCH(QString, storageFee);
        QFETCH(QString, tax);
        QFETCH(QString, taxRate);
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        const QString absent = QStringLiteral("<absent>");
        if (storageFee != absent)
            QVERIFY(settings.write("Fee", "Storage Fee", storageFee));
        if (tax != absent)
            QVERIFY(settings.write("Tow Fee", "Tax", tax));
        if (taxRate != absent)
            QVERIFY(settings.write("Tow Fee", "Taxrate", taxRate));

        const auto f =
            ChargeFigures::compute(record(towed, released, fee), settings, QDate(2026, 12, 6));
        QTEST(f.daysText(), "days");
        QTEST(f.rateText(), "rate");
        QTEST(f.storageText(), "storage");
        QTEST(f.grandTotalText(), "grand");
    }

    void noReleaseUsesTodaysShortDate()
    {
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        const auto f =
            ChargeFigures::compute(record("12/1/2026", "", "1"), settings, QDate(2026, 12, 6));
        QCOMPARE(f.dateOut, QString("12/6/2026"));
        QCOMPARE(f.dateTowed, QString("12/1/2026"));
    }
};

QTEST_GUILESS_MAIN(ChargeFiguresTest)
#include "ChargeFigures_test.moc"
