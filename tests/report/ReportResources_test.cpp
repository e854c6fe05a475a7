// The documents shipped beside the program, the figures they print worked by hand, and
// documents as a word processor writes them.
#include <QLocale>
#include <QTest>
#include <QTextDocument>

#include "RecordSheets.h"
#include "DrawnText.h"
#include "ImpoundPapers.h"
#include "ReportDocument.h"
#include "ReportFiller.h"
#include "RtfReader.h"
#include "SampleSheet.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "TestFolder.h"
#include "TowRecord.h"

using namespace tarnvale;

namespace {

QByteArray resource(const QString &name)
{
    const bool shipped = name.startsWith(u"Reports/");
    return test::readFile((shipped ? TARNVALE_RESOURCES_DIR "/" : TARNVALE_TEST_DATA_DIR "/") +
                          name);
}

const QStringList kPlaceholders =
    QStringLiteral(
        "::FROM.DATE::|::TO.DATE::|::custname::|::custaddress::|::custcity:|::address::|"
        "::companyname::|::vehyear::|::vehmake::|::vehmodel::|::vehcolor::|::vehvin::|::vehtag::|"
        "::vehstyle::|::towedfrom::|::towedto::|::towedfee::|::storagedays::|::storagerate::|"
        "::GRAND::|::cost1::|::cost2::|::cost3::|::cost4::|::cost5::|::cost6::|::cost7::|::cost8::|"
        "::mile1::|::mile2::|::Customer2::|::DATE2::|::CALC2::|::invoice::|::custphone::|"
        "::storagecharge::|::tax::")
        .split(u'|');

} // namespace

class ReportResourcesTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Every placeholder stands in the shipped template, the customer's city with the one
    // colon its search text has.
    void templateHasEveryPlaceholder()
    {
        const QString source = QString::fromLatin1(resource(QStringLiteral("Reports/report.rtf")));
        for (const QString &p : kPlaceholders)
            QVERIFY2(source.contains(p), qPrintable(p));
        QVERIFY(!source.contains(QStringLiteral("::custcity::")));
    }

    // Our template, the same after a word processor saved it again, and templates a yard
    // would make in its word processor (tests/report/data/templates, with their sources):
    // every value prints, in the body, a header or footer, a text box or a table, no
    // placeholder is left, and the sheet keeps to one page. "xN" after a value: N times.
    void templatesFill_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("values"); // separated by "|"
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("longest"); // filled with the longest amounts
        const QString customer = QString::fromUtf8("MARIA GONZÁLEZ|2011|SUBARU|$437.40|");
        const QString every = QString::fromUtf8(
            "Bay Tow x2|9 Pier St,Portland,ME,04102 x2|MARIA GONZÁLEZ|77 HARBOR RD|PORTLAND ,ME "
            "04101|"
            "7XK-221|2011|SUBARU|OUTBACK|GREEN|WAGON|4S4BRBCC1B3312345|I-295 EXIT 7|LOT B|265.00|"
            "125.00|88120|88131|February 01, 2026|February 05, 2026|$35.00|$437.40");
        const QString longest = "$99,999,999.99|$9,999,999.99 x3|";
        // clang-format off
        // Ours also shows the invoice number, the phone, the storage charge and the tax.
        QTest::newRow("shipped template") << "Reports/report.rtf" << every + "|Invoice No.|1207|207-555-0142|$140.00|$32.40" << 1 << false;
        QTest::newRow("shipped template, longest amounts") << "Reports/report.rtf" << longest + "Invoice No." << 1 << true;
        QTest::newRow("saved again by a word processor") << "writer-saved-template.rtf" << every << 1 << false;
        QTest::newRow("letterhead in header and footer") << "templates/letterhead.rtf" << customer + "Bay Tow x2|9 Pier St,Portland,ME,04102|77 HARBOR RD|"
            "PORTLAND ,ME 04101|OUTBACK|February 01, 2026|February 05, 2026|265.00|$35.00|125.00|40.00|\u2022|\u2192" << 1 << false;
        QTest::newRow("letterhead, longest amounts") << "templates/letterhead.rtf" << longest + "Bay Tow x2" << 1 << true;
        QTest::newRow("invoice first written as HTML") << "templates/invoice.rtf"
            << customer + "77 HARBOR RD|PORTLAND ,ME 04101|GREEN|7XK-221|265.00|125.00|40.00|88120|88131" << 1 << false;
        QTest::newRow("invoice, longest amounts") << "templates/invoice.rtf" << longest + "GREEN" << 1 << true;
        QTest::newRow("amounts at the right edge, longest") << "templates/pages.rtf" << longest + "Bay Tow x2|I-295 EXIT 7|Page 1 of 2|Page 2 of 2|page 2 of 2." << 2 << true;
        QTest::newRow("a table in a cell, longest") << "templates/nested.rtf" << "$99,999,999.99|$9,999,999.99 x2|Charge|Amount|MARIA GONZÁLEZ|SUBARU" << 1 << true;
        QTest::newRow("split placeholders") << "templates/split.rtf" << QString() << 1 << true;
        QTest::newRow("sessions") << "templates/sessions.rtf" << QString() << 1 << true;
        // clang-format on
    }
    void templatesFill()
    {
        QFETCH(QString, file);
        QFETCH(QString, values);
        QFETCH(bool, longest);
        const ReportFiller::Company company{"Bay Tow", "9 Pier St", "Portland", "ME", "04102"};
        PrintSnapshot sheet = test::sampleSheet();
        if (longest) {
            std::fill(sheet.txtprint.begin() + 14, sheet.txtprint.begin() + 23, "$9,999,999.99");
            sheet.grandTotal = "$99,999,999.99";
        }
        const QByteArray filled =
            ReportFiller::fill(QString::fromLatin1(resource(file)), sheet, company, QDate(2026, 2, 9))
                .toLatin1();
        QTextDocument doc;
        const RtfReader::Result result = RtfReader::read(filled, doc, 96);
        QVERIFY(result.ok);
        QString text = doc.toPlainText();
        for (const auto &part : {result.header, result.footer})
            if (part)
                text += QLatin1Char('\n') + part->toPlainText();
        QVERIFY2(!text.contains(QStringLiteral("::")), qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("Template notes")));
        ReportDocument report;
        QVERIFY(report.setRtf(filled));
        QTEST(report.pageCount(), "pages");
        // Every value is drawn, on its page, and no run of text is cut by a clip or the sheet's edge.
        const test::DrawnText drawn(report);
        QString all;
        for (const test::DrawnRun &run : drawn.runs) {
            QVERIFY2(run.whole(), qPrintable(QStringLiteral("\"%1\" on page %2 at %3-%4 cut at %5-%6")
                                                 .arg(run.text).arg(run.page + 1).arg(run.box.left())
                                                 .arg(run.box.right()).arg(run.clip.left()).arg(run.clip.right())));
            all += run.shown() ? run.text : QString();
        }
        all.remove(u' ');
        for (const QString &entry : values.split(u'|', Qt::SkipEmptyParts)) {
            const qsizetype times = entry.indexOf(QLatin1String(" x"));
            const QString value = times > 0 ? entry.left(times) : entry;
            const int expected = times > 0 ? entry.mid(times + 2).toInt() : 1;
            QVERIFY2(all.count(QString(value).remove(u' ')) >= expected, qPrintable(entry + " drawn in " + all));
        }
    }

    // Fee 100.00, towed 3/1, 3 days to 3/4, tax .0825, $40.00 paid: 130 x .0825 = 10.725
    // prints $10.73 and the total is the sum of the printed lines. A rate of 10.005 prints
    // $10.01 and storage is 3 x $10.01.
    void figures_data()
    {
        QTest::addColumn<QString>("paper");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QStringList>("printed");
        // clang-format off
        QTest::newRow("sheet") << "report" << "10" << QStringList{"$10.00", "$30.00", "Tax\n\t$10.73", "$140.73"};
        QTest::newRow("sheet, rate below a cent") << "report" << "10.005" << QStringList{"$10.01", "$30.03", "Tax\n\t$10.73", "$140.76"};
        QTest::newRow("notice") << "notice" << "10" << QStringList{"First notice", "March 06, 2026", "Amount Owed to Date\n$100.73", "Daily Storage Rate\n$10.00"};
        QTest::newRow("notice, rate below a cent") << "notice" << "10.005" << QStringList{"Amount Owed to Date\n$100.76", "Daily Storage Rate\n$10.01"};
        // clang-format on
    }
    void figures()
    {
        QFETCH(QString, paper);
        QFETCH(QString, rate);
        test::TestFolder folder;
        const SettingsFile settings(folder.settingsPath());
        QVERIFY(settings.write("Fee", "Storage Fee", rate) && settings.write("Tow Fee", "Taxrate", ".0825"));
        TowRecord r;
        r.set(TowField::toweddate, "3/1/2026");
        r.set(TowField::towedfee, "100.00");
        const QDate today(2026, 3, 4);
        ImpoundState state;
        state.payments = {Payment{4000, "Cash", "", today}};
        const QString source = QString::fromLatin1(resource("Reports/" + paper + ".rtf"));
        const QString filled = paper == u"notice"
            ? ImpoundPapers::fillNotice(source, r, state, LienDeadline{"First notice", QDate(2026, 3, 6), {}}, settings, today)
            : ReportFiller::fill(source, RecordSheets::vehicleSheet(r, settings, today).snapshot, {}, today);
        QTextDocument doc;
        QVERIFY(RtfReader::read(filled.toLatin1(), doc, 96).ok);
        const QString text = doc.toPlainText();
        QFETCH(QStringList, printed);
        for (const QString &line : printed)
            QVERIFY2(text.contains(line), qPrintable(line + " not in:\n" + text));
    }

    void helpDocuments_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("mentions");
        // clang-format off
        QTest::newRow("report help") << "help.rtf" << kPlaceholders + QStringList{"::dailyrate::", "::grandtotal::", "::charges.lines::", "(NUMPAGES)", "SECTIONPAGES", "Page 1 of 2"};
        QTest::newRow("config help") << "confighelp.rtf" << QStringLiteral("Company Name|Company Address|City, State, Zip|Vehicle Storage Fee|Light|Medium|"
            "Heavy|Tax %|Check to Add Tax to Totals|Expand At Startup|Database File|settings.ini|Storage Fee|Taxrate|Expanded|Path").split(u'|');
        QTest::newRow("pricing help") << "pricing.rtf"
            << QStringLiteral("Calculate Total|Storage Days|Storage Fee|Tax|Total Cost|$140.40|$130.00|68.00|$10.73|$140.73|"
                              "before 1900|tax rate 725 % in settings.ini|Group default plan|released, sold or disposed of keeps the bill").split(u'|');
        // clang-format on
    }
    void helpDocuments()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, mentions);
        QTextDocument doc;
        const RtfReader::Result result = RtfReader::read(resource("Reports/" + file), doc, 96);
        QVERIFY(result.ok && result.tables > 0);
        const QString text = doc.toPlainText();
        for (const QString &m : mentions)
            QVERIFY2(text.contains(m), qPrintable(m));
    }
};

QTEST_MAIN(ReportResourcesTest)
#include "ReportResources_test.moc"
