#include "ReportWindow.h"

#include <QLabel>
#include <QLocale>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "FolderFixture.h"
#include "SampleSheet.h"
#include "TestFiles.h"

using namespace tarnvale;

namespace {

// A template with a part nested past the reader's limit, which is left out and named.
const QByteArray kTemplate = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 {\\b ::companyname::}\\par "
                             "Customer ::custname::\\par Vehicle ::vehyear:: ::vehmake::\\par "
                             "Towed ::FROM.DATE::\\par Total ::GRAND::" +
                             QByteArray(300, '{') + "deep" + QByteArray(300, '}') + "\\par}";

struct Fixture : test::FolderFixture
{
    Fixture() { settings.write("Company", "Name", "Tow Co"); }
    std::unique_ptr<ReportWindow> window(const QByteArray &rtf = kTemplate)
    {
        test::writeFile(dir.reportPath(), rtf);
        return std::make_unique<ReportWindow>(test::sampleSheet(), settings, folder, dialogs);
    }
};

} // namespace

class ReportWindowTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void previewShowsTheFilledSheet()
    {
        Fixture f;
        const auto w = f.window();
        QVERIFY(w->show_selling());
        QCOMPARE(w->findChild<PageView *>(QStringLiteral("rpt1"))->pageCount(), 1);
        QCOMPARE(
            w->report().document().toPlainText(),
            QString::fromUtf8("\tTow Co\nCustomer \t\tMARIA GONZÁLEZ\nVehicle \t2011 \tSUBARU\n"
                              "Towed February 01, 2026\nTotal \t$437.40"));
        // Whatever the reader left out for passing a limit is named once.
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.dialogs.last().line(),
                 QStringLiteral(
                     "Notice Exclamation Ok|Tow Co|Parts of the report template are not shown:\r\n"
                     "Parts nested deeper than 200 levels were left out."));

        // Saved as PDF off the window's thread, with the suffix added, the button off and the
        // progress shown meanwhile; a folder that is not there is told.
        const QString failing = f.dir.file(QStringLiteral("missing folder/sheet.pdf"));
        f.dialogs.queueFile(f.dir.file(QStringLiteral("sheet")));
        f.dialogs.queueFile(failing);
        auto *pdf = w->findChild<QPushButton *>("cmdpdf");
        QSignalSpy finished(w.get(), &ReportWindow::pdfFinished);
        for (const bool saved : {true, false}) {
            QTest::mouseClick(pdf, Qt::LeftButton);
            QVERIFY(!pdf->isEnabled() && !w->findChild<QWidget *>("pdfprogress")->isHidden());
            QVERIFY(finished.wait() && pdf->isEnabled());
            QCOMPARE(finished.last(), QVariantList{saved});
            QCOMPARE(w->findChild<QLabel *>("lblpdf")->text(),
                     saved ? "Saved as PDF: " + f.dir.file("sheet.pdf") : "");
        }
        QCOMPARE(QDir(f.dir.path()).entryList({"*.pdf"}), QStringList{"sheet.pdf"});
        QVERIFY(test::readFile(f.dir.file(QStringLiteral("sheet.pdf"))).startsWith("%PDF-"));
        QCOMPARE(f.dialogs.count(), 4);
        QCOMPARE(f.dialogs.shown()[1].text, QDir::home().filePath("charge sheet maria gonzlez.pdf|PDF files (*.pdf)"));
        QVERIFY(f.dialogs.last().line().startsWith(
            "Notice Critical Ok|Tow Co|The PDF file could not be written: " + failing));
    }

    // Print as the user sets it in the print dialog: to a file, with copies and a range of
    // pages of a three-page sheet; every copy is sent by a printer that cannot make copies.
    void printsWhatTheDialogAsks_data()
    {
        QTest::addColumn<int>("copies");
        QTest::addColumn<QString>("range");
        QTest::addColumn<int>("pages");
        QTest::newRow("cancelled") << 0 << "" << 0;
        QTest::newRow("page 1 and 3, twice") << 2 << "1,3" << 4;
        QTest::newRow("no page in the range") << 1 << "5-6" << 0;
    }
    void printsWhatTheDialogAsks()
    {
        QFETCH(int, copies);
        QFETCH(QString, range);
        QFETCH(int, pages);
        Fixture f;
        const auto w = f.window("{\\rtf1\\ansi ::custname::\\page two\\page three\\par}");
        QVERIFY(w->show_selling());
        const QString file = f.dir.file(QStringLiteral("printed.pdf"));
        f.dialogs.queuePrinter(copies > 0); // none: the dialog is cancelled, silently
        f.dialogs.onPrinter = [&](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(file);
            printer.setCopyCount(copies);
            printer.setPrintRange(range.isEmpty() ? QPrinter::AllPages : QPrinter::PageRange);
            printer.setPageRanges(QPageRanges::fromString(range));
        };
        QTest::mouseClick(w->findChild<QPushButton *>("cmdprint"), Qt::LeftButton);
        QCOMPARE(f.dialogs.shown().first().kind, test::ShownBox::Kind::Printer);
        QCOMPARE(f.dialogs.count(), copies > 0 && pages == 0 ? 2 : 1);
        if (copies > 0 && pages == 0)
            QCOMPARE(f.dialogs.last().text,
                     QStringLiteral("Nothing was printed: the charge sheet has 3 page(s), none of "
                                    "them in the pages asked for (5-6)."));
        const QString bytes = QString::fromLatin1(test::readFile(file));
        QCOMPARE(int(bytes.count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]")))), pages);
    }

    // The print preview shows the header (in red) as strong as the body (in blue): a preview
    // washes out what is drawn in a printer's margins, where a header stands.
    void printPreviewShowsTheHeaderAsItPrints()
    {
        Fixture f;
        const auto w = f.window("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\\headery360{\\header\\cf1\\fs64 H\\par}\\cf2\\fs96 B\\par}");
        QVERIFY(w->show_selling());
        QTest::mouseClick(w->findChild<QPushButton *>("cmdpreview"), Qt::LeftButton);
        auto *preview = w->findChild<QPrintPreviewWidget *>();
        QVERIFY(preview);
        preview->resize(900, 1200);
        preview->fitToWidth();
        const QImage image = preview->grab().toImage();
        int red = 0, blue = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                red += image.pixelColor(x, y) == QColor(Qt::red);
                blue += image.pixelColor(x, y) == QColor(Qt::blue);
            }
        QVERIFY2(red > 20 && blue > 20, qPrintable(QStringLiteral("%1 red, %2 blue").arg(red).arg(blue)));
    }
};

QTEST_MAIN(ReportWindowTest)
#include "ReportWindow_test.moc"
