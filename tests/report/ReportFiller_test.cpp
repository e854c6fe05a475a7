#include "ReportFiller.h"

#include <QLocale>
#include <QTest>

#include "SampleSheet.h"

using namespace tarnvale;

namespace {

// A company name keeps its case, and is escaped like every value.
const ReportFiller::Company kCompany{"McTow {North}", "1 Main St", "Dover", "DE", "19901"};

const QDate kToday(2026, 12, 6);

} // namespace

class ReportFillerTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Every placeholder once, in the order of the replacements.
    void everyPlaceholder()
    {
        const QString source = QStringLiteral(
            "{\\rtf1 F=::FROM.DATE:: T=::TO.DATE:: N=::custname:: A=::custaddress:: C=::custcity:: "
            "AD=::address:: CO=::companyname:: Y=::vehyear:: MK=::vehmake:: MD=::vehmodel:: "
            "CL=::vehcolor:: V=::vehvin:: TG=::vehtag:: ST=::vehstyle:: FR=::towedfrom:: "
            "TO=::towedto:: FEE=::towedfee:: D=::storagedays:: R=::storagerate:: G=::GRAND:: "
            "c1=::cost1:: c2=::cost2:: c3=::cost3:: c4=::cost4:: c5=::cost5:: c6=::cost6:: "
            "c7=::cost7:: c8=::cost8:: m1=::mile1:: m2=::mile2::\\par ::DATE2::x\\par ::CALC2::y "
            "::Customer2::z}");
        const QString expected = QStringLiteral(
            "{\\rtf1 F=February 01, 2026 T=February 05, 2026 N=\\tab \\tab MARIA "
            "GONZ{\\uc1\\u193?}LEZ A=\\tab 77 HARBOR RD C=\\tab PORTLAND ,ME 04101: AD=\\tab 1 "
            "Main St,Dover,DE,19901 CO=\\tab McTow \\{North\\} Y=\\tab 2011 MK=\\tab SUBARU "
            "MD=\\tab OUTBACK CL=\\tab GREEN V=\\tab 4S4BRBCC1B3312345 TG=\\tab 7XK-221 ST=\\tab "
            "WAGON FR=\\tab I-295 EXIT 7 TO=\\tab LOT B FEE=\\tab 265.00 D=\\tab 4 R=$35.00 "
            "G=\\tab $437.40 c1=\\tab 125.00 c2=\\tab 40.00 c3=\\tab 30.00 c4=\\tab 20.00 c5=\\tab "
            "25.00 c6=\\tab 5.00 c7=\\tab 7.50 c8=\\tab 15.00 m1=\\tab 88120 m2=\\tab 88131\\del "
            "x\\del y \\del z}");
        QCOMPARE(ReportFiller::fill(source, test::sampleSheet(), kCompany, kToday), expected);
    }

    void counts_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("second customer name gets the first's value") << "::custname::|::custname::" << "\\tab \\tab MARIA GONZ{\\uc1\\u193?}LEZ|\\tab \\tab MARIA GONZ{\\uc1\\u193?}LEZ";
        QTest::newRow("company in a header and twice in the body")
            << "{\\header ::companyname::}::companyname::|::companyname::" << "{\\header \\tab McTow \\{North\\}}\\tab McTow \\{North\\}|\\tab McTow \\{North\\}";
        QTest::newRow("first total filled, the rest emptied") << "::GRAND::|::GRAND::|::GRAND::" << "\\tab $437.40||";
        QTest::newRow("dates everywhere") << "::FROM.DATE::/::FROM.DATE::/::TO.DATE::" << "February 01, 2026/February 01, 2026/February 05, 2026";
        QTest::newRow("city with one closing colon") << "::custcity:." << "\\tab PORTLAND ,ME 04101.";
        QTest::newRow("capitals are not placeholders") << "::CUSTNAME:: ::Vehyear::" << "::CUSTNAME:: ::Vehyear::";
        // Placeholders a word processor wrote in pieces: the value goes where the first
        // character stood, in its formatting; what lay between stays.
        QTest::newRow("split by bold") << "{\\b ::cust}name::" << "{\\b \\tab \\tab MARIA GONZ{\\uc1\\u193?}LEZ}";
        QTest::newRow("split by a group") << "::cust{\\b name}::" << "\\tab \\tab MARIA GONZ{\\uc1\\u193?}LEZ{\\b }";
        QTest::newRow("edit-session marks") << "{\\insrsid1 ::veh}{\\lang1031\\noproof\\insrsid2 year}{\\insrsid3 ::}"
                                            << "{\\insrsid1 \\tab 2011}{\\lang1031\\noproof\\insrsid2 }{\\insrsid3 }";
        QTest::newRow("control word without a blank before a piece") << "{\\b ::veh}\\b0year:: ::vehmake\\i::" << "{\\b \\tab 2011}\\b0  \\tab SUBARU\\i ";
        QTest::newRow("line breaks the writer wrapped in") << "::cust\r\nname::" << "\\tab \\tab MARIA GONZ{\\uc1\\u193?}LEZ\r\n";
        QTest::newRow("a paragraph mark is no part of one") << "::cust\\par name::" << "::cust\\par name::";
        QTest::newRow("hidden groups are not read") << "{\\*\\fldinst ::cust}name::" << "{\\*\\fldinst ::cust}name::";
        QTest::newRow("split total keeps its rule") << "{\\b ::GR}AND::|::GRAND::" << "{\\b \\tab $437.40}|";
        QTest::newRow("unknown names are joined but not filled") << "::un{\\b known}::" << "::unknown::{\\b }";
        QTest::newRow("DATE2 without a paragraph mark") << "::DATE2::" << "::DATE2::";
        QTest::newRow("all Customer2") << "::Customer2::a::Customer2::" << "\\del a\\del ";
        QTest::newRow("added placeholders, every one")
            << "#::invoice:: ::custphone:: ::dailyrate:: ::storagecharge:: ::tax:: ::grandtotal::|::invoice::|::GRAND::|::charges.lines::"
            << "#1207 207-555-0142 $35.00 $140.00 $32.40 $437.40|1207|\\tab $437.40|Storage\\tab $140.00\\line Tax\\tab $32.40";
        // clang-format on
    }

    void money()
    {
        QCOMPARE(ReportFiller::money(140.404) + ReportFiller::money(-0.001) + ReportFiller::money(-5.0) +
                     ReportFiller::money(10.725) + ReportFiller::money(0.5),
                 "$140.40$0.00-$5.00$10.73$0.50");
    }
    void counts()
    {
        QFETCH(QString, source);
        PrintSnapshot sheet = test::sampleSheet();
        sheet.chargeLines = "Storage\t$140.00\nTax\t$32.40";
        QTEST(ReportFiller::fill(source, sheet, kCompany, kToday), "expected");
    }

    // No release date: today; a date that cannot be read prints as typed; no tow date, none.
    void releaseDate()
    {
        const auto dates = [](const QString &towed, const QString &released) {
            PrintSnapshot s = test::sampleSheet();
            s.dateTowed = towed;
            s.dateReleased = released;
            return ReportFiller::fill("::FROM.DATE::|::TO.DATE::", s, kCompany, kToday);
        };
        QCOMPARE(dates("3/5/2005", "") + "/" + dates("soon", "n/a") + "/" + dates("", "3/8/2005"),
                 "March 05, 2005|December 06, 2026/soon|n/a/|March 08, 2005");
    }

    void escape_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("braces and backslash") << "a{b}c\\d" << "a\\{b\\}c\\\\d";
        QTest::newRow("colons") << "::GRAND::" << "\\'3a\\'3aGRAND\\'3a\\'3a";
        QTest::newRow("beyond 32767") << QString::fromUtf8("\uFB01") << "{\\uc1\\u-1279?}";
        QTest::newRow("outside the basic plane")
            << QString::fromUtf8("\xF0\x9F\x98\x80") << "{\\uc1\\u-10179?}{\\uc1\\u-8704?}";
        QTest::newRow("line breaks and tabs") << "a\r\nb\tc\x01" << "a\\line b\\tab c";
        // clang-format on
    }
    void escape()
    {
        QFETCH(QString, value);
        QTEST(ReportFiller::escape(value), "expected");
    }
};

QTEST_MAIN(ReportFillerTest)
#include "ReportFiller_test.moc"
