#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>
#include <QSqlQuery>
#include <QTest>

#include "DetailPanel.h"
#include "RecordStore.h"
#include "SettingsFile.h"
#include "TestFolder.h"

using namespace tarnvale;

namespace {

TowRecord fullRecord()
{
    TowRecord r;
    r.set(TowField::custname, "John Smith");
    r.set(TowField::custaddress, "12 Elm St");
    r.set(TowField::custcity, "Springfield");
    r.set(TowField::custstate, "il");
    r.set(TowField::custzip, "62701");
    r.set(TowField::custphone, "555-1234");
    r.set(TowField::vehyear, "'99a");
    r.set(TowField::vehmake, "Ford");
    r.set(TowField::vehmodel, "Taurus");
    r.set(TowField::vehstyle, "sedan");
    r.set(TowField::vehcolor, "red");
    r.set(TowField::vehtag, "abc123");
    r.set(TowField::vehvin, "1m8gdm9axkp042788");
    r.set(TowField::vehnotes, "dent left");
    r.set(TowField::towedfrom, "main st");
    r.set(TowField::towedto, "our lot");
    r.set(TowField::towedfee, "100.00");
    r.set(TowField::toweddate, "3/1/2026");
    r.set(TowField::towedrelease, "3/4/2026");
    r.set(TowField::Time, "10:15 am");
    r.set(TowField::groupname, "Police");
    const char *costs[8] = {"45.00", "0.00", "12.5", "0.00", "0.00", "0.00", "0.00", "10.5"};
    for (int i = 0; i < 8; ++i)
        r.set(TowField(int(TowField::cost1) + i), costs[i]);
    r.set(TowField::milestart, "100");
    r.set(TowField::milestop, "112");
    return r;
}

QStringList labels(const SheetContents &s)
{
    QStringList out;
    for (const QStringList &row : s.rows)
        out << row.at(0);
    return out;
}

QString valueOf(const SheetContents &s, const QString &label)
{
    for (const QStringList &row : s.rows)
        if (row.at(0) == label)
            return row.at(1);
    return QStringLiteral("<no row>");
}

} // namespace

class DetailPanelTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void fullSheetRowsInOrder()
    {
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        QVERIFY(settings.write("Fee", "Storage Fee", "10"));
        QVERIFY(settings.write("Tow Fee", "Taxrate", ".08"));
        const VehicleSheet v =
            DetailPanel::vehicleSheet(fullRecord(), settings, QDate(2026, 12, 6));

        QCOMPARE(v.sheet.columns, (QStringList{"Field", "Value"}));
        const QList<QStringList> expected = {
            {"Name:", "JOHN SMITH"}, {"Address:", "12 ELM ST"}, {" ", "SPRINGFIELD"}, {" ", "IL"},
            {" ", "62701"}, {"", ""}, {"", ""}, {"Vehicle Year:", "'99a"},
            {"Vehicle Make:", "FORD"}, {"Vehicle Model:", "TAURUS"}, {"Vehicle Body:", "SEDAN"},
            {"Vehicle Vin:", "1M8GDM9AXKP042788"}, {"Vehicle Tag:", "ABC123"},
            {"Vehicle Color:", "RED"}, {"Vehicle Notes:", "DENT LEFT"}, {"", ""}, {"", ""},
            {"Towed From:", "MAIN ST"}, {"Towed To:", "OUR LOT"}, {"Tow Fee:", "100.00"},
            {"Date Towed:", "3/1/2026"}, {"Time Towed:", "10:15 am"},
            {"Date Released:", "3/4/2026"}, {"", ""}, {"", ""}, {"Hookup:", "45.00"},
            {"Type:", "0.00"}, {"Mileage:", "12.5"}, {"Recovery:", "0.00"}, {"Tow Reason:", "0.00"},
            {"Standby Time:", "0.00"}, {"Roadway Cleanup:", "0.00"}, {"Other Charges:", "10.5"},
            {"", ""}, {"", ""}, {"Days In Storage:", "3"}, {"Total Storage:", "$30.00"},
        };
        QCOMPARE(v.sheet.rows, expected);

        QCOMPARE(v.label3, QString("3"));
        QCOMPARE(v.label5, QString("$10.00"));
        QCOMPARE(v.label7, QString("100.00"));
        QCOMPARE(v.label1, QString("$140.40"));
    }

    void printSnapshotHoldsStoredValues()
    {
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        QVERIFY(settings.write("Fee", "Storage Fee", "10"));
        QVERIFY(settings.write("Tow Fee", "Tax", "No"));
        const VehicleSheet v =
            DetailPanel::vehicleSheet(fullRecord(), settings, QDate(2026, 12, 6));
        const PrintSnapshot &p = v.snapshot;
        const std::array<QString, 25> expected = {
            "John Smith", "12 Elm St", "Springfield", "il",    "62701", "abc123",
            "'99a",       "Ford",      "Taurus",      "red",   "sedan", "1m8gdm9axkp042788",
            "main st",    "our lot",   "100.00",      "45.00", "0.00",  "12.5",
            "0.00",       "0.00",      "0.00",        "0.00",  "10.5",  "100",
            "112"};
        for (size_t i = 0; i < expected.size(); ++i)
            QCOMPARE(p.txtprint[i], expected[i]);
        QCOMPARE(p.dateTowed, QString("3/1/2026"));
        QCOMPARE(p.dateReleased, QString("3/4/2026"));
        QCOMPARE(p.towFee, QString("100.00"));
        QCOMPARE(p.customerName, QString("John Smith"));
        QCOMPARE(p.storageDays, QString("3"));
        QCOMPARE(p.storageRate, QString("$10.00"));
        QCOMPARE(p.grandTotal, QString("$130.00"));
        QVERIFY(p.hasRecord);
    }

    void ifAnyRows_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("alwaysShown");
        QTest::newRow("city") << int(TowField::custcity) << " " << false;
        QTest::newRow("vin") << int(TowField::vehvin) << "Vehicle Vin:" << false;
        QTest::newRow("notes") << int(TowField::vehnotes) << "Vehicle Notes:" << false;
        QTest::newRow("towed from") << int(TowField::towedfrom) << "Towed From:" << false;
        QTest::newRow("towed to") << int(TowField::towedto) << "Towed To:" << false;
        QTest::newRow("tow fee") << int(TowField::towedfee) << "Tow Fee:" << false;
        QTest::newRow("date towed") << int(TowField::toweddate) << "Date Towed:" << false;
        QTest::newRow("time") << int(TowField::Time) << "Time Towed:" << false;
        QTest::newRow("release") << int(TowField::towedrelease) << "Date Released:" << false;
        QTest::newRow("hookup") << int(TowField::cost1) << "Hookup:" << false;
        QTest::newRow("other charges") << int(TowField::cost8) << "Other Charges:" << false;
        QTest::newRow("name") << int(TowField::custname) << "Name:" << true;
        QTest::newRow("address") << int(TowField::custaddress) << "Address:" << true;
        QTest::newRow("year") << int(TowField::vehyear) << "Vehicle Year:" << true;
        QTest::newRow("tag") << int(TowField::vehtag) << "Vehicle Tag:" << true;
        QTest::newRow("body") << int(TowField::vehstyle) << "Vehicle Body:" << true;
    }
    void ifAnyRows()
    {
        QFETCH(int, field);
        QFETCH(QString, label);
        QFETCH(bool, alwaysShown);
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        TowRecord r = fullRecord();
        const int before = int(
            labels(DetailPanel::vehicleSheet(r, settings, QDate(2026, 12, 6)).sheet).count(label));
        r.set(TowField(field), QString());
        const SheetContents s = DetailPanel::vehicleSheet(r, settings, QDate(2026, 12, 6)).sheet;
        const int after = int(labels(s).count(label));
        QCOMPARE(after, alwaysShown ? before : before - 1);
        if (alwaysShown)
            QCOMPARE(valueOf(s, label), QString());
    }

    void noAddressPiecesNoBlankRows()
    {
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        TowRecord r = fullRecord();
        r.set(TowField::custcity, "");
        r.set(TowField::custstate, "");
        r.set(TowField::custzip, "");
        const SheetContents s = DetailPanel::vehicleSheet(r, settings, QDate(2026, 12, 6)).sheet;
        QCOMPARE(labels(s).count(" "), 0);
        QCOMPARE(s.rows.at(2), (QStringList{"", ""}));
    }

    void releaseBeforeTowShowsItsNote()
    {
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        QVERIFY(settings.write("Fee", "Storage Fee", "10"));
        QVERIFY(settings.write("Tow Fee", "Tax", "No"));
        TowRecord r = fullRecord();
        r.set(TowField::toweddate, "3/4/2026");
        r.set(TowField::towedrelease, "3/1/2026");
        const VehicleSheet v = DetailPanel::vehicleSheet(r, settings, QDate(2026, 12, 6));
        QCOMPARE(v.sheet.rows.mid(v.sheet.rows.size() - 3),
                 (QList<QStringList>{{"Days In Storage:", "0"},
                                     {"Total Storage:", "$.00"},
                                     {"Note:", "Released (3/1/2026) before towed (3/4/2026): 0 "
                                               "days counted."}}));
    }

    void vehicleFromStoreByIdText()
    {
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        RecordStore store;
        QVERIFY(store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        const auto id = store.addTowRecord(fullRecord());
        QVERIFY(id);
        const QString idText = QString::number(*id);
        const auto v = DetailPanel::vehicleSheet(store, idText, settings, QDate(2026, 12, 6));
        QVERIFY(v);
        QCOMPARE(valueOf(v->sheet, "Name:"), QString("JOHN SMITH"));
        // How an id text reads is the store's rule; here only that a miss gives no sheet.
        QVERIFY(!DetailPanel::vehicleSheet(store, "x", settings, QDate(2026, 12, 6)));
    }

    void groupListingIsExactAndUpperCased()
    {
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        QVERIFY(settings.write("Fee", "Storage Fee", "10"));
        QVERIFY(settings.write("Tow Fee", "Taxrate", ".08"));
        RecordStore store;
        QVERIFY(store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        TowRecord a = fullRecord();
        TowRecord b = fullRecord();
        b.set(TowField::groupname, "police");
        b.set(TowField::custname, "lower");
        TowRecord c = fullRecord();
        c.set(TowField::custname, "Jane Roe");
        c.set(TowField::vehyear, "2001x");
        c.set(TowField::toweddate, "someday");
        c.set(TowField::vehtag, "");
        TowRecord d = fullRecord();
        d.set(TowField::groupname, "Police ");
        QVERIFY(store.addTowRecord(a));
        QVERIFY(store.addTowRecord(b));
        QVERIFY(store.addTowRecord(c));
        QVERIFY(store.addTowRecord(d));

        const QDate today(2026, 12, 6);
        const auto s = DetailPanel::groupListing(store, "Police", settings, today);
        QVERIFY(s);
        QCOMPARE(s->columns, (QStringList{"Name", "Year", "Make", "Model", "Color", "Towed",
                                          "Plate", "Days", "Amount Due"}));
        // 3 days at 10 on a fee of 100, 8 % tax: 140.40; no readable tow date: 108.00.
        const QList<QStringList> expected = {
            {"JOHN SMITH", "'99A", "FORD", "TAURUS", "RED", "3/1/2026", "ABC123", "3", "$140.40"},
            {"JANE ROE", "2001X", "FORD", "TAURUS", "RED", "SOMEDAY", "", "0", "$108.00"},
        };
        QCOMPARE(s->rows, expected);
        // Numbers and dates sort as such; the rest as text.
        QCOMPARE(s->sortKeys.size(), 2);
        QCOMPARE(s->sortKeys.at(0).at(1), QVariant("'99a"));
        QCOMPARE(s->sortKeys.at(0).at(5), QVariant(double(QDate(2026, 3, 1).toJulianDay())));
        QCOMPARE(s->sortKeys.at(1).at(5), QVariant("someday"));
        QCOMPARE(s->sortKeys.at(0).at(7), QVariant(3.0));
        QVERIFY(qAbs(s->sortKeys.at(0).at(8).toDouble() - 140.4) < 1e-9);
        a.set(TowField::vehyear, " 1999 ");
        QCOMPARE(DetailPanel::groupListing({a}, "Police", settings, today).sortKeys.at(0).at(1),
                 QVariant(1999.0));
        QCOMPARE(DetailPanel::groupListing(store, "police", settings, today)->rows.size(), 1);
        QCOMPARE(DetailPanel::groupListing(store, "Nobody", settings, today)->rows.size(), 0);

        // Once a vehicle has a status of its own, every listing shows the status last; one
        // without follows its release date.
        QVERIFY(QSqlQuery(store.database())
                    .exec("INSERT INTO impound_status (vehicle_id, status) VALUES (1, 'sold')"));
        const auto kept = DetailPanel::groupListing(store, "Police", settings, today);
        QCOMPARE(kept->columns.last(), "Status");
        QCOMPARE(kept->rows.at(0).last(), "Sold");
        QCOMPARE(kept->rows.at(1).last(), "Released");
        QCOMPARE(DetailPanel::vehicleSheet(store, "1", settings, today)->sheet.rows.last(),
                 (QStringList{"Status:", "Sold"}));
    }

    void sortsBefore_data()
    {
        QTest::addColumn<QVariant>("a");
        QTest::addColumn<QVariant>("b");
        QTest::addColumn<bool>("before");
        QTest::newRow("9 before 10") << QVariant(9.0) << QVariant(10.0) << true;
        QTest::newRow("10 after 9") << QVariant(10.0) << QVariant(9.0) << false;
        QTest::newRow("equal numbers") << QVariant(2.0) << QVariant(2.0) << false;
        QTest::newRow("text without case") << QVariant("apple") << QVariant("Banana") << true;
        QTest::newRow("text without case, reversed") << QVariant("Banana") << QVariant("apple") << false;
        QTest::newRow("numbers before text") << QVariant(5000.0) << QVariant("'99") << true;
        QTest::newRow("text after numbers") << QVariant("'99") << QVariant(1.0) << false;
        QTest::newRow("empty key first") << QVariant() << QVariant(0.0) << true;
        QTest::newRow("empty keys tie") << QVariant() << QVariant() << false;
    }
    void sortsBefore()
    {
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        QTEST(SheetContents::sortsBefore(a, b), "before");
    }


    void columnWidths()
    {
        const QFont font(QStringLiteral("Sans"), 10);
        const QFontMetrics metrics(font);
        SheetContents s;
        s.columns = {"Field", "Value", "Third"};
        s.rows = {{"a", "WWW", ""}, {"b", "iiiiii", "x"}, {"c", "WWWWWW", ""}};
        const QList<int> widths = DetailPanel::columnWidths(s, metrics, 96);
        QCOMPARE(widths.size(), 3);
        QCOMPARE(widths.at(0), -1);
        // The first of the equally long texts ("iiiiii", not "WWWWWW") is measured.
        QCOMPARE(widths.at(1), metrics.horizontalAdvance("iiiiii") + 20);
        QCOMPARE(widths.at(2), metrics.horizontalAdvance("x") + 20);

        SheetContents empty;
        empty.columns = {"Name", "Year"};
        QCOMPARE(DetailPanel::columnWidths(empty, metrics, 96), (QList<int>{-1, 20}));
        QCOMPARE(DetailPanel::twipsToPixels(300, 144), 30);
    }

    // A field without a value is empty, never the previous vehicle's.
    void secondVehicleLeavesNothingOfTheFirst()
    {
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        const VehicleSheet first =
            DetailPanel::vehicleSheet(fullRecord(), settings, QDate(2026, 12, 6));
        QVERIFY(!first.snapshot.txtprint[0].isEmpty());
        TowRecord bare;
        bare.set(TowField::vehyear, "2001");
        const VehicleSheet second = DetailPanel::vehicleSheet(bare, settings, QDate(2026, 12, 6));
        for (size_t i = 0; i < second.snapshot.txtprint.size(); ++i)
            QVERIFY2(second.snapshot.txtprint[i] == (i == 6 ? QString("2001") : QString()),
                     qPrintable(QString::number(i)));
        QCOMPARE(second.snapshot.towFee, QString());
        QCOMPARE(second.label7, QString());
    }
};

QTEST_MAIN(DetailPanelTest)
#include "DetailPanel_test.moc"
