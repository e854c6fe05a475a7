#include "ReportDocument.h"

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>

#include "DrawnText.h"
#include "TestFiles.h"
#include "TestFolder.h"

using namespace tarnvale;

namespace {
const QByteArray red = "89504e470d0a1a0a0000000d4948445200000001000000010802000000907753de0000000c49444154789c63f8cfc0000003010100c9fe92ef0000000049454e44ae426082";

// How many pixels of the colour page `page` of the report shows.
int pixelsOf(const ReportDocument &report, int page, QColor colour)
{
    QImage image(report.paperSize().toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    report.paintPage(painter, page);
    painter.end();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == colour;
    return count;
}
} // namespace

class ReportDocumentTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // A page as it prints: the header in the top margin, the footer in the bottom one, the
    // body between them with the paragraph shading and borders the layout does not draw.
    void pagePaintsHeaderFooterAndRules()
    {
        ReportDocument report;
        QVERIFY(
            report.setRtf("{\\rtf1{\\colortbl;\\red200\\green0\\blue0;}\\paperw12240\\paperh15840"
                          "\\margt2880\\margb2880\\headery720\\footery720"
                          "{\\header\\pard\\cbpat1 Letterhead\\par}"
                          "{\\footer\\pard\\cbpat1 Thank you\\par}"
                          "\\pard\\brdrb\\brdrs\\brdrw40\\brdrcf1 Body\\par}"));
        QImage page(report.paperSize().toSize(), QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        report.paintPage(painter, 0);
        painter.end();
        const qreal perTwip = page.width() / 12240.0;
        auto redBetween = [&](int fromTwips, int toTwips) {
            for (int y = qRound(fromTwips * perTwip); y < qRound(toTwips * perTwip); ++y)
                for (int x = 0; x < page.width(); ++x)
                    if (page.pixelColor(x, y) == QColor(200, 0, 0))
                        return true;
            return false;
        };
        // Above the header, its shading, the rule under the first paragraph, nothing else on the
        // page, the footer's shading, below the footer.
        QCOMPARE(QList<bool>({redBetween(0, 700), redBetween(720, 2880), redBetween(2880, 3600),
                              redBetween(3600, 12960), redBetween(12960, 15120),
                              redBetween(15140, 15840)}),
                 QList<bool>({false, true, true, false, true, false}));
    }

    // Nothing is cut at the margins: a table as wide as the text keeps its outer border inside
    // it; a justified line that filled-in values made longer wraps; a word too long for its
    // line and a picture too wide for its cell show in the margin. Ink: where the table's right border stands, past the right margin in red.
    void nothingCutAtTheMargins()
    {
        ReportDocument report;
        QVERIFY(report.setRtf("{\\rtf1\\paperw12240\\margl1440\\margr1440 \\trowd\\clbrdrl\\brdrs\\brdrw30"
                              "\\clbrdrr\\brdrs\\brdrw30\\cellx7776\\clbrdrr\\brdrs\\brdrw30\\clpadr0\\cellx9360\\pard\\intbl"
                              " Towing\\cell $768.90\\cell\\row\\pard " + QByteArray(60, 'W') + "\\par\\qj\\tx1440\\tx5000 Customer"
                              "\\tab\\tab MARIA GONZALEZ DE LA CRUZ Y SANCHEZ, 77 HARBOR RD,\\tab PORTLAND ,ME 04101 AND MORE\\par"
                              "\\trowd\\cellx4680\\cellx9360\\pard\\intbl a\\cell{\\pict\\pngblip\\picwgoal5760\\pichgoal720 " + red + "}\\cell\\row}"));
        QImage page(report.paperSize().toSize(), QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        report.paintPage(painter, 0);
        painter.end();
        const int right = 96 + 624;
        auto inkIn = [&](int fromX, int toX, int fromY, int toY, bool redOnly) {
            int count = 0;
            for (int y = fromY; y < toY; ++y)
                for (int x = fromX; x < toX; ++x)
                    count += redOnly ? page.pixelColor(x, y) == QColor(Qt::red) : qGray(page.pixel(x, y)) < 128;
            return count;
        };
        const test::DrawnText drawn(report);
        QCOMPARE(QList<int>({inkIn(right - 3, right, 96, 110, false) >= 14, inkIn(right, page.width(), 96, 110, false),
                             int(std::count_if(drawn.runs.begin(), drawn.runs.end(), [&](const test::DrawnRun &r) { return !r.whole() || (r.text.startsWith(u"PORTLAND") && r.box.right() > right); })),
                             inkIn(right, page.width(), 0, page.height(), true) > 0}),
                 QList<int>({true, 0, 0, true}));
    }

    // An amount after a dot-leader tab that wrapped onto a line of its own stands at its stop.
    void wrappedAmountStaysAtItsStop()
    {
        ReportDocument report;
        QVERIFY(report.setRtf("{\\rtf1\\paperw12240\\margl1440\\margr1440\\pard\\tldot\\tqr\\tx9360 Storage, 4 days at $35.00 a day, "
                              "for MARIA GONZALEZ DE LA CRUZ\\tab $9,999,999.99\\par}"));
        const test::DrawnText drawn(report);
        const QList<test::DrawnRun> &runs = drawn.runs;
        const auto amount = std::find_if(runs.begin(), runs.end(), [](const test::DrawnRun &r) { return r.text.endsWith(u"$9,999,999.99"); });
        QVERIFY(amount != runs.end());
        QVERIFY2(qAbs(amount->box.right() - 720) < 2 && amount->box.top() > runs.first().box.bottom() - 1,
                 qPrintable(QStringLiteral("%1: %2-%3").arg(amount->text).arg(amount->box.left()).arg(amount->box.right())));
    }

    // The pages, the paper of the document and its pictures go into the PDF file.
    void pdfPages_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QByteArray>("holds");
        // clang-format off
        QTest::newRow("page break") << QByteArray("{\\rtf1 one\\page two\\par}") << 2 << QByteArray();
        QTest::newRow("absurd margins: letter") << QByteArray("{\\rtf1\\margl20000\\margr20000 x}") << 1 << QByteArray("/MediaBox [0 0 612");
        QTest::newRow("A4 paper") << QByteArray("{\\rtf1\\paperw11906\\paperh16838\\margl720\\margr720 A4 sheet\\par}") << 1 << QByteArray("/MediaBox [0 0 595.000000 842");
        QTest::newRow("picture: a PNG of one pixel") << QByteArray("{\\rtf1 Logo: {\\pict\\pngblip\\picwgoal720\\pichgoal720 89504e470d0a1a0a0000000d4948445200000001000000010802000000907753de0000000c49444154789c63604861000000cc0065af9028bb0000000049454e44ae426082}\\par}") << 1 << QByteArray("/Subtype /Image");
        // clang-format on
    }
    void pdfPages()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(int, pages);
        QFETCH(QByteArray, holds);
        test::TestFolder folder;
        ReportDocument report;
        QVERIFY(report.setRtf(rtf));
        const QString path = folder.file(QStringLiteral("sheet.pdf"));
        QString error;
        QStringList done; // the progress of each page written
        QVERIFY2(report.writePdf(path, &error, [&done](int n, int total) {
            return done << QString("%1/%2").arg(n).arg(total), true;
        }), qPrintable(error));
        QCOMPARE(done.join(u' '), pages == 1 ? QString("0/0 1/1") : QString("0/0 1/2 2/2")); // 0/0: laid out
        const QByteArray pdf = test::readFile(path);
        QVERIFY2(pdf.startsWith("%PDF-") && pdf.contains(holds), pdf.mid(pdf.indexOf("/MediaBox"), 30).constData());
        QCOMPARE(report.pageCount(report.pageLayout()), pages);
        QCOMPARE(int(QString::fromLatin1(pdf).count(QRegularExpression("/Type\\s*/Page[^s]"))),
                 pages);
    }

    // Page fields show the page they are drawn on, in a header, a footer and the body, with
    // their numbering, also with no result in the file; \\chpgn is one; other fields keep the
    // result the file holds. The header's logo, a shape, is drawn on every page.
    void pageFieldsAndHeaderPictures()
    {
        ReportDocument report;
        QVERIFY(report.setRtf("{\\rtf1{\\header {\\field{\\*\\fldinst SHAPE}{\\fldrslt{\\shp{\\*\\shpinst\\shpright720\\shpbottom360{\\sp{\\sn posrelh}"
                              "{\\sv 3}}{\\sp{\\sn pib}{\\sv {\\pict\\pngblip " + red + "}}}}}}}Sheet \\chpgn\\par}{\\footer Page {\\field{\\*\\fldinst PAGE \\\\* ROMAN}{\\fldrslt 9}} of "
                              "{\\field{\\*\\fldinst {\\b NUMPAGES }}{\\fldrslt 9}} {\\field{\\*\\fldinst SECTIONPAGES \\\\* alphabetic}{\\fldrslt }}\\par}"
                              "one {\\field{\\*\\fldinst DATE}{\\fldrslt 1/1/2020}}\\par\\pagebb two {\\field{\\*\\fldinst PAGE}{\\fldrslt {1}{\\b 0}}}\\par}"));
        const test::DrawnText drawn(report);
        QStringList pages(2);
        for (const test::DrawnRun &run : drawn.runs)
            pages[run.page] += run.shown() ? run.text : QString();
        QCOMPARE(pages, QStringList({"Sheet 1Page I of 2 bone 1/1/2020", "Sheet 2Page II of 2 btwo 2"}));
        QCOMPARE(QList<int>({pixelsOf(report, 0, Qt::red), pixelsOf(report, 1, Qt::red)}), QList<int>({48 * 24, 48 * 24}));
    }

    void notRtfShownAsText()
    {
        ReportDocument report;
        QVERIFY(!report.setRtf(QByteArray("Plain words\nsecond line")));
        QCOMPARE(report.document().toPlainText(), QStringLiteral("Plain words\nsecond line"));
        QVERIFY(!report.setRtf(QByteArray("caf\xe9")));
        QCOMPARE(report.document().toPlainText(), QString::fromUtf8("café"));
    }
};

QTEST_MAIN(ReportDocumentTest)
#include "ReportDocument_test.moc"
