#include "ReportDocument.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QRegularExpression>
#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "TestFolder.h"
#include "TestFiles.h"

using namespace tarnvale;

namespace {

int pagesInPdf(const QByteArray &pdf)
{
    return int(QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))));
}

QByteArray longDocument(int paragraphs)
{
    QByteArray rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 ";
    for (int i = 0; i < paragraphs; ++i)
        rtf += "Paragraph " + QByteArray::number(i) + " of the long document.\\par ";
    return rtf + "}";
}

} // namespace

class ReportDocumentTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // A document read again is not laid out piece by piece while it is read (which made a
    // wide table row or a very long value freeze the window): its old layout is dropped
    // and the new one lays the whole document out once.
    void readingDoesNotLayOutPieceByPiece()
    {
        ReportDocument report;
        QVERIFY(report.setRtf(longDocument(5)));
        QCOMPARE(report.pageCount(), 1);
        QSignalSpy laidOut(report.document().documentLayout(),
                           &QAbstractTextDocumentLayout::documentSizeChanged);
        QVERIFY(report.setRtf(longDocument(200)));
        QCOMPARE(laidOut.count(), 0);
        QVERIFY(report.pageCount() > 1);
    }

    // A page as it prints: the header in the top margin, the footer in the bottom one, the
    // body between them with the paragraph shading and borders the layout does not draw.
    void pagePaintsHeaderFooterAndRules()
    {
        ReportDocument report;
        QVERIFY(report.setRtf("{\\rtf1{\\colortbl;\\red200\\green0\\blue0;}\\paperw12240\\paperh15840"
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
        QVERIFY(!redBetween(0, 700));         // above the header
        QVERIFY(redBetween(720, 2880));       // the header's shading
        QVERIFY(redBetween(2880, 3600));      // the rule under the first paragraph
        QVERIFY(!redBetween(3600, 12960));    // nothing else on the page
        QVERIFY(redBetween(12960, 15120));    // the footer's shading
        QVERIFY(!redBetween(15140, 15840));   // below the footer
    }

    // The pages, the paper of the document and its pictures go into the PDF file.
    void pdfPages_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QByteArray>("holds");
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        QByteArray png;
        QBuffer buffer(&png);
        image.save(&buffer, "PNG");
        QTest::newRow("short") << QByteArray("{\\rtf1 One line.\\par}") << 1 << QByteArray();
        QTest::newRow("empty") << QByteArray("{\\rtf1}") << 1 << QByteArray();
        // Several pages, as the fonts make it.
        QTest::newRow("long") << longDocument(200) << -1 << QByteArray();
        QTest::newRow("page break") << QByteArray("{\\rtf1 one\\page two\\par}") << 2 << QByteArray();
        QTest::newRow("A4 paper")
            << QByteArray("{\\rtf1\\paperw11906\\paperh16838\\margl720\\margr720 A4 sheet\\par}") << 1
            << QByteArray("/MediaBox [0 0 595");
        QTest::newRow("picture")
            << "{\\rtf1 Logo: {\\pict\\pngblip\\picwgoal720\\pichgoal720 " + png.toHex() + "}\\par}"
            << 1 << QByteArray("/Subtype /Image");
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
        QVERIFY2(report.writePdf(path, &error), qPrintable(error));
        const QByteArray pdf = test::readFile(path);
        QVERIFY(pdf.startsWith("%PDF-"));
        QVERIFY(pdf.contains(holds));
        const int counted = report.pageCount(report.pageLayout());
        QVERIFY2(pages > 0 ? counted == pages : counted >= 3, qPrintable(QString::number(counted)));
        QCOMPARE(pagesInPdf(pdf), counted);
    }

    void notRtfShownAsText()
    {
        ReportDocument report;
        QVERIFY(!report.setRtf(QByteArray("Plain words\nsecond line")));
        QCOMPARE(report.document().toPlainText(), QStringLiteral("Plain words\nsecond line"));
        QVERIFY(!report.setRtf(QByteArray("caf\xe9")));
        QCOMPARE(report.document().toPlainText(), QString::fromUtf8("café"));
    }

    void message()
    {
        ReportDocument report;
        report.setRtf("{\\rtf1 old}");
        report.setMessage(QStringLiteral("Nothing to show."));
        QCOMPARE(report.document().toPlainText(), QStringLiteral("Nothing to show."));
        test::TestFolder folder;
        QVERIFY(report.writePdf(folder.file(QStringLiteral("m.pdf"))));
    }
};

QTEST_MAIN(ReportDocumentTest)
#include "ReportDocument_test.moc"
