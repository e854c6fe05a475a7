#include <QLocale>
#include <QPalette>
#include <QSqlQuery>
#include <QTest>

#include "RecordSheets.h"
#include "ReadableColor.h"
#include "RecordStore.h"
#include "SettingsFile.h"
#include "TestFolder.h"

using namespace tarnvale;

namespace {

// Every field in the order of TowField; total and the named charges stay empty.
TowRecord fullRecord()
{
    const QStringList values =
        QStringLiteral(
            "John Smith|12 Elm St|Springfield|il|62701|555-1234|'99a|Ford|Taurus|sedan|red|abc123|"
            "1m8gdm9axkp042788|dent left|100.00|main st|our lot|3/1/2026|3/4/2026|Police|45.00|"
            "0.00|12.5|0.00|0.00|0.00|0.00|10.5||||100|112|||||10:15 am")
            .split(u'|');
    TowRecord r;
    for (int i = 0; i < kTowFieldCount; ++i)
        r.set(TowField(i), values.at(i));
    return r;
}

// A settings file and a store in a fresh folder, and the sheet of a record on 12/6/2026.
struct Sheets
{
    test::TestFolder folder;
    SettingsFile settings{folder.settingsPath()};
    RecordStore store;
    const QDate today{2026, 12, 6};
    explicit Sheets(bool taxed = true)
    {
        settings.write("Fee", "Storage Fee", "10");
        settings.write("Tow Fee", taxed ? "Taxrate" : "Tax", taxed ? ".08" : "No");
    }
    VehicleSheet of(const TowRecord &r) const
    {
        return RecordSheets::vehicleSheet(r, settings, today);
    }
};

// The rows as "label=value".
QStringList pairs(const SheetContents &s)
{
    QStringList out;
    for (const QStringList &row : s.rows)
        out << row.join(u'=');
    return out;
}

} // namespace

class RecordSheetsTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // 3 days at $10 and a $100 fee, $45 hookup, 12.5 mileage and 10.5 other, with 8 % tax; the
    // print holds the stored values, untouched, untaxed here.
    void fullSheetAndItsPrint()
    {
        const VehicleSheet v = Sheets().of(fullRecord());
        QCOMPARE(
            pairs(v.sheet),
            QStringLiteral("Name:=JOHN SMITH;Address:=12 ELM ST; =SPRINGFIELD; =IL; =62701;=;=;"
                           "Vehicle Year:='99a;Vehicle Make:=FORD;Vehicle Model:=TAURUS;"
                           "Vehicle Body:=SEDAN;Vehicle Vin:=1M8GDM9AXKP042788;"
                           "Vehicle Tag:=ABC123;Vehicle Color:=RED;Vehicle Notes:=DENT LEFT;=;=;"
                           "Towed From:=MAIN ST;Towed To:=OUR LOT;Tow Fee:=100.00;"
                           "Date Towed:=3/1/2026;Time Towed:=10:15 am;Date Released:=3/4/2026;=;=;"
                           "Hookup:=45.00;Type:=0.00;Mileage:=12.5;Recovery:=0.00;Tow Reason:=0.00;"
                           "Standby Time:=0.00;Roadway Cleanup:=0.00;Other Charges:=10.5;=;=;"
                           "Days In Storage:=3;Total Storage:=$30.00")
                .split(u';'));
        QCOMPARE((QStringList{v.label3, v.label5, v.label7, v.label1}),
                 (QStringList{"3", "$10.00", "100.00", "$140.40"}));

        const PrintSnapshot p = Sheets(false).of(fullRecord()).snapshot;
        QCOMPARE(
            QStringList(p.txtprint.begin(), p.txtprint.end()).join(u'|'),
            QString("John Smith|12 Elm St|Springfield|il|62701|abc123|'99a|Ford|Taurus|red|sedan|"
                    "1m8gdm9axkp042788|main st|our lot|100.00|45.00|0.00|12.5|0.00|0.00|0.00|"
                    "0.00|10.5|100|112"));
        QCOMPARE((QStringList{p.dateTowed, p.dateReleased, p.towFee, p.customerName, p.storageDays,
                              p.storageRate, p.grandTotal, p.chargeLines}),
                 (QStringList{"3/1/2026", "3/4/2026", "100.00", "John Smith", "3", "$10.00",
                              "$130.00",
                              "Tow fee\t$100.00\nStorage, 3 days x $10.00\t$30.00\nTax\t$0.00"}));
        QVERIFY(p.hasRecord);

        // A field without a value is empty, never the previous vehicle's.
        TowRecord bare;
        bare.set(TowField::vehyear, "2001");
        const VehicleSheet second = Sheets().of(bare);
        const auto &bareText = second.snapshot.txtprint;
        QCOMPARE(QStringList(bareText.begin(), bareText.end()).join(u'|'),
                 "||||||2001" + QString(18, u'|'));
        QCOMPARE(second.snapshot.towFee + second.label7, QString());
    }

    // An empty field hides its row (the address pieces with their blank rows), except the rows
    // always shown, which stay with an empty value; a note tells why no days are counted.
    void emptyFieldsHideTheirRows()
    {
        TowRecord r = fullRecord();
        for (const char *field :
             {"custcity", "custstate", "custzip", "vehvin", "vehnotes", "towedfrom", "towedto",
              "towedfee", "toweddate", "Time", "towedrelease", "cost1", "cost8", "custname",
              "custaddress", "vehyear", "vehtag", "vehstyle"})
            QVERIFY(r.setField(QString::fromLatin1(field), QString()));
        QCOMPARE(
            pairs(Sheets(false).of(r).sheet),
            QStringLiteral(
                "Name:=;Address:=;=;=;Vehicle Year:=;Vehicle Make:=FORD;Vehicle Model:=TAURUS;"
                "Vehicle Body:=;Vehicle Tag:=;Vehicle Color:=RED;=;=;=;=;Type:=0.00;Mileage:=12.5;"
                "Recovery:=0.00;Tow Reason:=0.00;Standby Time:=0.00;Roadway Cleanup:=0.00;=;=;"
                "Days In Storage:=0;Total Storage:=$.00;Note:=No date towed: 0 days counted. No "
                "tow fee: no total.")
                .split(u';'));
    }

    void groupListingIsExactAndUpperCased()
    {
        Sheets sheets;
        RecordStore &store = sheets.store;
        QVERIFY(store.open(sheets.folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        // Police, police, a second Police one without a readable tow date, "Police ".
        for (const char *change :
             {"", "groupname=police",
              "custname=Jane Roe;vehyear=2001x;toweddate=someday;vehtag=", "groupname=Police "}) {
            TowRecord r = fullRecord();
            for (const QString &assignment : QString(change).split(u';', Qt::SkipEmptyParts))
                QVERIFY(r.setField(assignment.section(u'=', 0, 0), assignment.section(u'=', 1)));
            QVERIFY(store.addTowRecord(r));
        }
        const auto s = RecordSheets::groupListing(store, "Police", sheets.settings, sheets.today);
        QVERIFY(s);
        // 3 days at 10 on a fee of 100, 8 % tax: 140.40; no readable tow date: 108.00.
        QCOMPARE(s->rows, (QList<QStringList>{{"JOHN SMITH", "'99A", "FORD", "TAURUS", "RED",
                                               "3/1/2026", "ABC123", "3", "$140.40"},
                                              {"JANE ROE", "2001X", "FORD", "TAURUS", "RED",
                                               "SOMEDAY", "", "0", "$108.00"}}));
        // Numbers and dates sort as such; the rest as text.
        QCOMPARE((QVariantList{s->sortKeys[0][1], s->sortKeys[0][5], s->sortKeys[1][5],
                               s->sortKeys[0][7]}),
                 (QVariantList{"'99a", double(QDate(2026, 3, 1).toJulianDay()), "someday", 3.0}));
        QVERIFY(qAbs(s->sortKeys.at(0).at(8).toDouble() - 140.4) < 1e-9);
        TowRecord a = fullRecord();
        a.set(TowField::vehyear, " 1999 ");
        const auto one = RecordSheets::groupListing({a}, "Police", sheets.settings, sheets.today);
        QCOMPARE(one.sortKeys.at(0).at(1), QVariant(1999.0));
        // No such id.
        QVERIFY(!RecordSheets::vehicleSheet(store, "x", sheets.settings, sheets.today));
        // Once a vehicle has a status of its own, every listing shows the status last; one
        // without follows its release date.
        QVERIFY(QSqlQuery(store.database())
                    .exec("INSERT INTO impound_status (vehicle_id, status) VALUES (1, 'sold')"));
        const auto kept = RecordSheets::groupListing(store, "Police", sheets.settings, sheets.today);
        QCOMPARE(
            (QStringList{kept->columns.last(), kept->rows.at(0).last(), kept->rows.at(1).last()}),
            (QStringList{"Status", "Sold", "Released"}));
        const auto sheet = RecordSheets::vehicleSheet(store, "1", sheets.settings, sheets.today);
        QCOMPARE(sheet ? pairs(sheet->sheet).first() + ";" + pairs(sheet->sheet).last() : QString(),
                 QString("Name:=JOHN SMITH;Status:=Sold"));
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
    }
    void sortsBefore()
    {
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        QTEST(SheetContents::sortsBefore(a, b), "before");
        QVERIFY(!SheetContents::sortsBefore(b, a));
    }

    // The program's colours (the tree's vehicles, a total, an overdue step, an unreadable charge)
    // are kept on a light palette; on a dark one they keep their hue and read (contrast >= 4.5).
    void coloursReadUnderEitherPalette()
    {
        QCOMPARE(qRound(ReadableColor::contrast(Qt::black, Qt::white)), 21);
        const QPalette light(QColor(239, 239, 239)), dark(QColor(53, 53, 53));
        QVERIFY(!ReadableColor::isDark(light) && ReadableColor::isDark(dark));
        const auto reads = [](const QColor &shown, const QColor &wanted, const QColor &on) {
            return ReadableColor::contrast(shown, on) >= 4.5
                   && qAbs(shown.hslHue() - wanted.hslHue()) <= 2;
        };
        for (const QColor wanted : {QColor(100, 100, 130), QColor(Qt::red), QColor(176, 0, 0)})
            for (const QPalette::ColorRole on : {QPalette::Base, QPalette::Window}) {
                QCOMPARE(ReadableColor::text(wanted, light, on), wanted);
                QVERIFY(reads(ReadableColor::text(wanted, dark, on), wanted, dark.color(on)));
            }
        const QColor pink(255, 214, 214);
        QCOMPARE(ReadableColor::background(pink, light), pink);
        QVERIFY(reads(ReadableColor::background(pink, dark), pink, dark.color(QPalette::Text)));
    }
};

QTEST_MAIN(RecordSheetsTest)
#include "RecordSheets_test.moc"
