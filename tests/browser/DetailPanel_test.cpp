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
    using F = TowField;
    const QList<QPair<TowField, const char *>> values = {
        {F::custname, "John Smith"}, {F::custaddress, "12 Elm St"}, {F::custcity, "Springfield"},
        {F::custstate, "il"}, {F::custzip, "62701"}, {F::custphone, "555-1234"}, {F::vehyear, "'99a"},
        {F::vehmake, "Ford"}, {F::vehmodel, "Taurus"}, {F::vehstyle, "sedan"}, {F::vehcolor, "red"},
        {F::vehtag, "abc123"}, {F::vehvin, "1m8gdm9axkp042788"}, {F::vehnotes, "dent left"},
        {F::towedfrom, "main st"}, {F::towedto, "our lot"}, {F::towedfee, "100.00"},
        {F::toweddate, "3/1/2026"}, {F::towedrelease, "3/4/2026"}, {F::Time, "10:15 am"},
        {F::groupname, "Police"}, {F::cost1, "45.00"}, {F::cost2, "0.00"}, {F::cost3, "12.5"},
        {F::cost4, "0.00"}, {F::cost5, "0.00"}, {F::cost6, "0.00"}, {F::cost7, "0.00"},
        {F::cost8, "10.5"}, {F::milestart, "100"}, {F::milestop, "112"}};
    for (const auto &[field, value] : values)
        r.set(field, QString::fromUtf8(value));
    return r;
}

// A settings file in a fresh folder, and the sheet of a record on 12/6/2026.
struct Sheets
{
    test::TestFolder folder;
    SettingsFile settings{folder.settingsPath()};
    explicit Sheets(const QList<QStringList> &values = {})
    {
        for (const QStringList &v : values)
            settings.write(v[0], v[1], v[2]);
    }
    VehicleSheet of(const TowRecord &r) const { return DetailPanel::vehicleSheet(r, settings, QDate(2026, 12, 6)); }
};
const QList<QStringList> kTaxed = {{"Fee", "Storage Fee", "10"}, {"Tow Fee", "Taxrate", ".08"}};
const QList<QStringList> kUntaxed = {{"Fee", "Storage Fee", "10"}, {"Tow Fee", "Tax", "No"}};

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
        const VehicleSheet v = Sheets(kTaxed).of(fullRecord());

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

        QCOMPARE((QStringList{v.label3, v.label5, v.label7, v.label1}),
                 (QStringList{"3", "$10.00", "100.00", "$140.40"}));
    }

    void printSnapshotHoldsStoredValues()
    {
        const PrintSnapshot p = Sheets(kUntaxed).of(fullRecord()).snapshot;
        QCOMPARE(QStringList(p.txtprint.begin(), p.txtprint.end()),
                 (QStringList{"John Smith", "12 Elm St", "Springfield", "il", "62701", "abc123", "'99a",
                              "Ford", "Taurus", "red", "sedan", "1m8gdm9axkp042788", "main st",
                              "our lot", "100.00", "45.00", "0.00", "12.5", "0.00", "0.00", "0.00",
                              "0.00", "10.5", "100", "112"}));
        QCOMPARE((QStringList{p.dateTowed, p.dateReleased, p.towFee, p.customerName, p.storageDays,
                              p.storageRate, p.grandTotal}),
                 (QStringList{"3/1/2026", "3/4/2026", "100.00", "John Smith", "3", "$10.00", "$130.00"}));
        QVERIFY(p.hasRecord);
    }

    void ifAnyRows_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("alwaysShown");
        using F = TowField;
        const QList<QPair<TowField, const char *>> hidden = {
            {F::custcity, " "}, {F::vehvin, "Vehicle Vin:"}, {F::vehnotes, "Vehicle Notes:"},
            {F::towedfrom, "Towed From:"}, {F::towedto, "Towed To:"}, {F::towedfee, "Tow Fee:"},
            {F::toweddate, "Date Towed:"}, {F::Time, "Time Towed:"}, {F::towedrelease, "Date Released:"},
            {F::cost1, "Hookup:"}, {F::cost8, "Other Charges:"}};
        const QList<QPair<TowField, const char *>> shown = {
            {F::custname, "Name:"}, {F::custaddress, "Address:"}, {F::vehyear, "Vehicle Year:"},
            {F::vehtag, "Vehicle Tag:"}, {F::vehstyle, "Vehicle Body:"}};
        for (const auto &[field, label] : hidden)
            QTest::addRow("%d %s", int(field), label) << int(field) << label << false;
        for (const auto &[field, label] : shown)
            QTest::addRow("%d %s", int(field), label) << int(field) << label << true;
    }
    void ifAnyRows()
    {
        QFETCH(int, field);
        QFETCH(QString, label);
        QFETCH(bool, alwaysShown);
        Sheets sheets;
        TowRecord r = fullRecord();
        const int before = int(labels(sheets.of(r).sheet).count(label));
        r.set(TowField(field), QString());
        const SheetContents s = sheets.of(r).sheet;
        const int after = int(labels(s).count(label));
        QCOMPARE(after, alwaysShown ? before : before - 1);
        if (alwaysShown)
            QCOMPARE(valueOf(s, label), QString());
    }

    void noAddressPiecesNoBlankRows()
    {
        TowRecord r = fullRecord();
        for (TowField field : {TowField::custcity, TowField::custstate, TowField::custzip})
            r.set(field, "");
        const SheetContents s = Sheets().of(r).sheet;
        QCOMPARE(labels(s).count(" "), 0);
        QCOMPARE(s.rows.at(2), (QStringList{"", ""}));
    }

    void releaseBeforeTowShowsItsNote()
    {
        TowRecord r = fullRecord();
        r.set(TowField::toweddate, "3/4/2026");
        r.set(TowField::towedrelease, "3/1/2026");
        const VehicleSheet v = Sheets(kUntaxed).of(r);
        QCOMPARE(v.sheet.rows.mid(v.sheet.rows.size() - 3),
                 (QList<QStringList>{{"Days In Storage:", "0"},
                                     {"Total Storage:", "$.00"},
                                     {"Note:", "Released (3/1/2026) before towed (3/4/2026): 0 "
                                               "days counted."}}));
    }

    void vehicleFromStoreByIdText()
    {
        Sheets sheets;
        RecordStore store;
        QVERIFY(store.open(sheets.folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        const QString id = QString::number(store.addTowRecord(fullRecord()).value_or(-1));
        const auto v = DetailPanel::vehicleSheet(store, id, sheets.settings, QDate(2026, 12, 6));
        QCOMPARE(v ? valueOf(v->sheet, "Name:") : QString(), QString("JOHN SMITH"));
        // How an id text reads is the store's rule; here only that a miss gives no sheet.
        QVERIFY(!DetailPanel::vehicleSheet(store, "x", sheets.settings, QDate(2026, 12, 6)));
    }

    void groupListingIsExactAndUpperCased()
    {
        const Sheets sheets(kTaxed);
        const SettingsFile &settings = sheets.settings;
        RecordStore store;
        QVERIFY(store.open(sheets.folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
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
        for (const TowRecord &r : {a, b, c, d})
            QVERIFY(store.addTowRecord(r));

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
        QCOMPARE((QVariantList{s->sortKeys[0][1], s->sortKeys[0][5], s->sortKeys[1][5], s->sortKeys[0][7]}),
                 (QVariantList{"'99a", double(QDate(2026, 3, 1).toJulianDay()), "someday", 3.0}));
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
        QCOMPARE((QStringList{kept->columns.last(), kept->rows.at(0).last(), kept->rows.at(1).last()}),
                 (QStringList{"Status", "Sold", "Released"}));
        QCOMPARE(DetailPanel::vehicleSheet(store, "1", settings, today)->sheet.rows.last(),
                 (QStringList{"Status:", "Sold"}));
    }

    void sortsBefore_data()
    {
        QTest::addColumn<QVariant>("a");
        QTest::addColumn<QVariant>("b");
        QTest::addColumn<bool>("before");
        // Each pair in order: the first sorts before the second, never the other way round.
        QTest::newRow("9 before 10") << QVariant(9.0) << QVariant(10.0) << true;
        QTest::newRow("text without case") << QVariant("apple") << QVariant("Banana") << true;
        QTest::newRow("numbers before text") << QVariant(5000.0) << QVariant("'99") << true;
        QTest::newRow("empty key first") << QVariant() << QVariant(0.0) << true;
        QTest::newRow("equal numbers") << QVariant(2.0) << QVariant(2.0) << false;
        QTest::newRow("empty keys tie") << QVariant() << QVariant() << false;
    }
    void sortsBefore()
    {
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        QTEST(SheetContents::sortsBefore(a, b), "before");
        QVERIFY(!SheetContents::sortsBefore(b, a));
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
        Sheets sheets;
        QVERIFY(!sheets.of(fullRecord()).snapshot.txtprint[0].isEmpty());
        TowRecord bare;
        bare.set(TowField::vehyear, "2001");
        const VehicleSheet second = sheets.of(bare);
        QStringList expected(int(second.snapshot.txtprint.size()), QString());
        expected[6] = "2001";
        QCOMPARE(QStringList(second.snapshot.txtprint.begin(), second.snapshot.txtprint.end()), expected);
        QCOMPARE(second.snapshot.towFee, QString());
        QCOMPARE(second.label7, QString());
    }
};

QTEST_MAIN(DetailPanelTest)
#include "DetailPanel_test.moc"
