#include "ReportFiller.h"

#include <QLocale>
#include <QTest>

using namespace tarnvale;

namespace {

PrintSnapshot sampleSnapshot()
{
    PrintSnapshot s;
    const QStringList values =
        QStringLiteral("john smith|12 oak st|dover|de|19901|abc123|1999|ford|f-150|red|pickup|"
                       "1ftrx18w1xkb12345|main st|yard|100.00|c1v|c2v|c3v|c4v|c5v|c6v|c7v|c8v|"
                       "1000|1010")
            .split(u'|');
    std::copy(values.begin(), values.end(), s.txtprint.begin());
    s.dateTowed = QStringLiteral("3/5/2005");
    s.dateReleased = QStringLiteral("3/8/2005");
    s.storageDays = QStringLiteral("3");
    s.storageRate = QStringLiteral("$10.00");
    s.grandTotal = QStringLiteral("$140.40");
    s.recordId = 1207;
    s.phone = QStringLiteral("302-555-0199");
    s.dailyRate = 10;
    s.storageCharge = 30;
    s.tax = 10.4;
    s.total = 140.4;
    return s;
}

// A company name keeps its case, and is escaped like every value.
const ReportFiller::Company kCompany{QStringLiteral("McTow {North}"), QStringLiteral("1 Main St"),
                                     QStringLiteral("Dover"), QStringLiteral("DE"),
                                     QStringLiteral("19901")};

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
            "{\\rtf1 F=March 05, 2005 T=March 08, 2005 N=\\tab \\tab JOHN SMITH A=\\tab 12 OAK ST "
            "C=\\tab DOVER ,DE 19901: AD=\\tab 1 Main St,Dover,DE,19901 CO=\\tab McTow \\{North\\} "
            "Y=\\tab 1999 MK=\\tab FORD MD=\\tab F-150 CL=\\tab RED V=\\tab 1FTRX18W1XKB12345 "
            "TG=\\tab ABC123 ST=\\tab PICKUP FR=\\tab MAIN ST TO=\\tab YARD FEE=\\tab 100.00 "
            "D=\\tab 3 R=$10.00 G=\\tab $140.40 c1=\\tab C1V c2=\\tab C2V c3=\\tab C3V "
            "c4=\\tab C4V c5=\\tab C6V c6=\\tab C7V c7=\\tab C8V c8=\\tab C5V m1=\\tab 1000 "
            "m2=\\tab 1010\\del x\\del y \\del z}");
        QCOMPARE(ReportFiller::fill(source, sampleSnapshot(), kCompany, kToday), expected);
    }

    void counts_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("second customer name gets the first's value") << "::custname::|::custname::" << "\\tab \\tab JOHN SMITH|\\tab \\tab JOHN SMITH";
        QTest::newRow("company in a header and twice in the body")
            << "{\\header ::companyname::}::companyname::|::companyname::" << "{\\header \\tab McTow \\{North\\}}\\tab McTow \\{North\\}|\\tab McTow \\{North\\}";
        QTest::newRow("first total filled, the rest emptied") << "::GRAND::|::GRAND::|::GRAND::" << "\\tab $140.40||";
        QTest::newRow("dates everywhere") << "::FROM.DATE::/::FROM.DATE::/::TO.DATE::" << "March 05, 2005/March 05, 2005/March 08, 2005";
        QTest::newRow("city with one closing colon") << "::custcity:." << "\\tab DOVER ,DE 19901.";
        QTest::newRow("capitals are not placeholders") << "::CUSTNAME:: ::Vehyear::" << "::CUSTNAME:: ::Vehyear::";
        // Placeholders a word processor wrote in pieces: the value goes where the first
        // character stood, in its formatting; what lay between stays.
        QTest::newRow("split by bold") << "{\\b ::cust}name::" << "{\\b \\tab \\tab JOHN SMITH}";
        QTest::newRow("split by a group") << "::cust{\\b name}::" << "\\tab \\tab JOHN SMITH{\\b }";
        QTest::newRow("edit-session marks") << "{\\insrsid1 ::veh}{\\lang1031\\noproof\\insrsid2 year}{\\insrsid3 ::}"
                                            << "{\\insrsid1 \\tab 1999}{\\lang1031\\noproof\\insrsid2 }{\\insrsid3 }";
        QTest::newRow("control word without a blank before a piece") << "{\\b ::veh}\\b0year:: ::vehmake\\i::" << "{\\b \\tab 1999}\\b0  \\tab FORD\\i ";
        QTest::newRow("line breaks the writer wrapped in") << "::cust\r\nname::" << "\\tab \\tab JOHN SMITH\r\n";
        QTest::newRow("a paragraph mark is no part of one") << "::cust\\par name::" << "::cust\\par name::";
        QTest::newRow("hidden groups are not read") << "{\\*\\fldinst ::cust}name::" << "{\\*\\fldinst ::cust}name::";
        QTest::newRow("split total keeps its rule") << "{\\b ::GR}AND::|::GRAND::" << "{\\b \\tab $140.40}|";
        QTest::newRow("unknown names are joined but not filled") << "::un{\\b known}::" << "::unknown::{\\b }";
        QTest::newRow("DATE2 without a paragraph mark") << "::DATE2::" << "::DATE2::";
        QTest::newRow("all Customer2") << "::Customer2::a::Customer2::" << "\\del a\\del ";
        QTest::newRow("added placeholders, every one")
            << "#::invoice:: ::custphone:: ::dailyrate:: ::storagecharge:: ::tax:: ::grandtotal::|::invoice::|::GRAND::"
            << "#1207 302-555-0199 $10.00 $30.00 $10.40 $140.40|1207|\\tab $140.40";
        // clang-format on
    }

    void money()
    {
        QCOMPARE(ReportFiller::money(140.404), QStringLiteral("$140.40"));
        QCOMPARE(ReportFiller::money(-0.001), QStringLiteral("$0.00"));
        QCOMPARE(ReportFiller::money(-5.0), QStringLiteral("-$5.00"));
    }
    void counts()
    {
        QFETCH(QString, source);
        QTEST(ReportFiller::fill(source, sampleSnapshot(), kCompany, kToday), "expected");
    }

    // No release date: today; a date that cannot be read prints as typed; no tow date, none.
    void releaseDate()
    {
        const auto dates = [](const QString &towed, const QString &released) {
            PrintSnapshot s = sampleSnapshot();
            s.dateTowed = towed;
            s.dateReleased = released;
            return ReportFiller::fill(QStringLiteral("::FROM.DATE::|::TO.DATE::"), s, kCompany,
                                      kToday);
        };
        QCOMPARE(dates("3/5/2005", ""), QStringLiteral("March 05, 2005|December 06, 2026"));
        QCOMPARE(dates("soon", "n/a"), QStringLiteral("soon|n/a"));
        QCOMPARE(dates("", "3/8/2005"), QStringLiteral("|March 08, 2005"));
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
