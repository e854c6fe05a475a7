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
        QTest::addColumn<QString>("note"); // the start of the note; "" for none
        QTest::addColumn<QLocale>("locale");
        const QString absent = QStringLiteral("<absent>");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);

        QTest::newRow("worked example, tax on") << "3/1/2026" << "3/4/2026" << "100.00" << "10"
            << absent << ".08" << "3" << "$10.00" << "$30.00" << "$140.40" << "" << us;
        QTest::newRow("worked example under de_DE") << "01.03.2026" << "04.03.2026" << "100.00"
            << "10" << absent << ".08" << "3" << "$10.00" << "$30.00" << "$140.40" << "" << de;
        QTest::newRow("de_DE, hand-typed comma rate") << "01.03.2026" << "04.03.2026"
            << "1234567.50" << "0" << absent << "0,5" << "3" << "$.00" << "$.00"
            << "$1851851.25" << "" << de;
        QTest::newRow("Tax No") << "3/1/2026" << "3/4/2026" << "100.00" << "10" << "No" << ".08"
            << "3" << "$10.00" << "$30.00" << "$130.00" << "" << us;
        QTest::newRow("Tax no in lower case still taxes") << "3/1/2026" << "3/4/2026" << "100.00"
            << "10" << "no" << ".08" << "3" << "$10.00" << "$30.00" << "$140.40" << "" << us;
        QTest::newRow("released the day of towing") << "3/1/2026" << "3/1/2026" << "100.00" << "10"
            << "No" << absent << "0" << "$10.00" << "$.00" << "$100.00" << "" << us;
        QTest::newRow("times of day count by the day") << "3/1/2026 10:30" << "3/4/2026 8:15 AM"
            << "100.00" << "10" << "No" << absent << "3" << "$10.00" << "$30.00" << "$130.00"
            << "" << us;
        QTest::newRow("release before towing: 0 days, says why") << "3/4/2026" << "3/1/2026"
            << "100.00" << "10" << "No" << absent << "0" << "$10.00" << "$.00" << "$100.00"
            << "Released (3/1/2026) before towed (3/4/2026): 0 days counted." << us;
        QTest::newRow("no release: counted to today") << "12/1/2026" << "" << "100.00" << "10"
            << "No" << absent << "5" << "$10.00" << "$50.00" << "$150.00" << "" << us;
        QTest::newRow("blank release: counted to today") << "12/1/2026" << "  " << "100.00"
            << "10" << "No" << absent << "5" << "$10.00" << "$50.00" << "$150.00" << "" << us;
        QTest::newRow("two-digit years read in this century") << "3/1/26" << "3/4/26" << "100.00"
            << "10" << "No" << absent << "3" << "$10.00" << "$30.00" << "$130.00" << "" << us;
        QTest::newRow("across a year end") << "12/30/2025" << "1/2/2026" << "0" << "1.5" << "No"
            << absent << "3" << "$1.50" << "$4.50" << "$4.50" << "" << us;
        QTest::newRow("no such day: 0 days, says why") << "11/31/2026" << "12/4/2026" << "100.00"
            << "10" << "No" << absent << "0" << "$10.00" << "$.00" << "$100.00"
            << "Date towed \"11/31/2026\" is not a date" << us;
        QTest::newRow("unreadable release") << "3/1/2026" << "soon" << "100.00" << "10" << "No"
            << absent << "0" << "$10.00" << "$.00" << "$100.00"
            << "Date released \"soon\" is not a date" << us;
        QTest::newRow("absent storage fee") << "3/1/2026" << "3/4/2026" << "100.00" << absent
            << "No" << absent << "3" << "$.00" << "$.00" << "$100.00" << "" << us;
        QTest::newRow("storage fee with dollar sign reads 0") << "3/1/2026" << "3/4/2026"
            << "100.00" << "$10" << "No" << absent << "3" << "$.00" << "$.00" << "$100.00" << ""
            << us;
        QTest::newRow("negative storage fee: no storage") << "3/1/2026" << "3/4/2026" << "100.00"
            << "-10" << "No" << absent << "3" << "$.00" << "$.00" << "$100.00"
            << "The storage fee in the settings is below zero" << us;
        QTest::newRow("absent tax rate adds no tax") << "3/1/2026" << "3/4/2026" << "100.00" << "10"
            << absent << absent << "3" << "$10.00" << "$30.00" << "$130.00" << "" << us;
        QTest::newRow("unreadable tax rate adds no tax") << "3/1/2026" << "3/4/2026" << "100.00"
            << "10" << absent << "eight" << "3" << "$10.00" << "$30.00" << "$130.00" << "" << us;
        QTest::newRow("negative tax rate adds no tax") << "3/1/2026" << "3/4/2026" << "100.00"
            << "10" << absent << "-2" << "3" << "$10.00" << "$30.00" << "$130.00"
            << "The tax rate in the settings is below zero" << us;
        QTest::newRow("tow fee with currency sign and grouping") << "3/1/2026" << "3/1/2026"
            << "$1,000.00" << "10" << "No" << absent << "0" << "$10.00" << "$.00" << "$1000.00"
            << "" << us;
        QTest::newRow("empty tow fee: grand total 0") << "3/1/2026" << "3/4/2026" << "" << "10"
            << "No" << absent << "3" << "$10.00" << "$30.00" << "$.00" << "No tow fee" << us;
        QTest::newRow("unreadable tow fee: grand total 0") << "3/1/2026" << "3/4/2026" << "N/A"
            << "10" << absent << ".08" << "3" << "$10.00" << "$30.00" << "$.00"
            << "Tow fee \"N/A\" is not an amount" << us;
        QTest::newRow("negative tow fee: grand total 0") << "3/1/2026" << "3/4/2026" << "-50.00"
            << "10" << "No" << absent << "3" << "$10.00" << "$30.00" << "$.00"
            << "Tow fee -50.00 is below zero" << us;
    }
    void figures()
    {
        QFETCH(QString, towed);
        QFETCH(QString, released);
        QFETCH(QString, fee);
        QFETCH(QString, storageFee);
        QFETCH(QString, tax);
        QFETCH(QString, taxRate);
        QFETCH(QString, note);
        QFETCH(QLocale, locale);
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        const QString absent = QStringLiteral("<absent>");
        if (storageFee != absent)
            QVERIFY(settings.write("Fee", "Storage Fee", storageFee));
        if (tax != absent)
            QVERIFY(settings.write("Tow Fee", "Tax", tax));
        if (taxRate != absent)
            QVERIFY(settings.write("Tow Fee", "Taxrate", taxRate));

        const auto f = ChargeFigures::compute(record(towed, released, fee), settings,
                                              QDate(2026, 12, 6), locale);
        QTEST(f.daysText(), "days");
        QTEST(f.rateText(), "rate");
        QTEST(f.storageText(), "storage");
        QTEST(f.grandTotalText(), "grand");
        QVERIFY2(note.isEmpty() ? f.note.isEmpty() : f.note.startsWith(note), qPrintable(f.note));
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
