#include "ReportWindow.h"

#include <QDir>
#include <QLocale>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "TestFolder.h"

using namespace tarnvale;
using test::ShownBox;

namespace {

// A template with a part nested past the reader's limit, which is left out and named.
const QByteArray kTemplate = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 {\\b ::companyname::}\\par "
                             "Customer ::custname::\\par Vehicle ::vehyear:: ::vehmake::\\par "
                             "Towed ::FROM.DATE::\\par Total ::GRAND::" +
                             QByteArray(300, '{') + "deep" + QByteArray(300, '}') + "\\par}";

struct Fixture
{
    test::TestFolder folder;
    test::ScriptedDialogs dialogs;
    SettingsFile settings{folder.settingsPath()};

    Fixture()
    {
        settings.write(QStringLiteral("Company"), QStringLiteral("Name"), QStringLiteral("Tow Co"));
    }
    std::unique_ptr<ReportWindow> window(const QByteArray &rtf = kTemplate)
    {
        test::writeFile(folder.reportPath(), rtf);
        PrintSnapshot s;
        s.txtprint[0] = s.customerName = QStringLiteral("jane doe");
        s.txtprint[6] = QStringLiteral("2001");
        s.txtprint[7] = QStringLiteral("toyota");
        s.dateTowed = QStringLiteral("1/2/2026");
        s.dateReleased = QStringLiteral("1/4/2026");
        s.grandTotal = QStringLiteral("$50.00");
        s.hasRecord = true;
        return std::make_unique<ReportWindow>(s, settings, ProgramFolder(folder.path()), dialogs);
    }
    void click(ReportWindow &w, const char *button)
    {
        QTest::mouseClick(w.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
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
        QCOMPARE(w->objectName(), QStringLiteral("frmprint"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Print Preview"));
        auto *print = w->findChild<QPushButton *>(QStringLiteral("cmdprint"));
        QVERIFY(!print->isEnabled());
        QVERIFY(w->show_selling());
        QCOMPARE(print->text(), QStringLiteral("Print"));
        QVERIFY(print->isEnabled());
        QCOMPARE(w->findChild<PageView *>(QStringLiteral("rpt1"))->pageCount(), 1);
        QCOMPARE(w->report().document().toPlainText(),
                 QStringLiteral("\tTow Co\nCustomer \t\tJANE DOE\nVehicle \t2001 \tTOYOTA\n"
                                "Towed January 02, 2026\nTotal \t$50.00"));
        // Whatever the reader left out for passing a limit is named once.
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.dialogs.last().title, QStringLiteral("Tow Co"));
        QCOMPARE(f.dialogs.last().icon, MessageIcon::Exclamation);
        QCOMPARE(f.dialogs.last().text,
                 QStringLiteral("Parts of the report template are not shown:\r\n"
                                "Parts nested deeper than 200 levels were left out."));
    }

    // Print as the user sets it in the print dialog: to a file, with copies and a range of
    // pages of a three-page sheet; every copy is sent by a printer that cannot make copies.
    void printsWhatTheDialogAsks_data()
    {
        QTest::addColumn<int>("copies");
        QTest::addColumn<QString>("range");
        QTest::addColumn<int>("pages");
        QTest::newRow("cancelled") << 0 << "" << 0;
        QTest::newRow("one copy, every page") << 1 << "" << 3;
        QTest::newRow("three copies") << 3 << "" << 9;
        QTest::newRow("pages 2 to 3") << 1 << "2-3" << 2;
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
        const QString file = f.folder.file(QStringLiteral("printed.pdf"));
        f.dialogs.queuePrinter(copies > 0); // none: the dialog is cancelled, silently
        f.dialogs.onPrinter = [&](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(file);
            printer.setCopyCount(copies);
            if (!range.isEmpty()) {
                printer.setPrintRange(QPrinter::PageRange);
                printer.setPageRanges(QPageRanges::fromString(range));
            }
        };
        f.click(*w, "cmdprint");
        QCOMPARE(f.dialogs.shown().first().kind, ShownBox::Kind::Printer);
        QCOMPARE(f.dialogs.count(), copies > 0 && pages == 0 ? 2 : 1);
        if (copies > 0 && pages == 0)
            QCOMPARE(f.dialogs.last().text,
                     QStringLiteral("Nothing was printed: the charge sheet has 3 page(s), none "
                                    "of them in the pages asked for (5-6)."));
        const QString bytes = QString::fromLatin1(test::readFile(file));
        QCOMPARE(int(bytes.count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]")))), pages);
    }

    // The preview opens over the window, not modal, and draws the sheet's pages.
    void printPreview()
    {
        Fixture f;
        const auto w = f.window("{\\rtf1 one page}");
        QVERIFY(w->show_selling());
        w->show();
        f.click(*w, "cmdpreview");
        auto *preview = w->findChild<QPrintPreviewDialog *>(QStringLiteral("dlgPreview"));
        QVERIFY(preview);
        QTRY_VERIFY(preview->isVisible());
        QVERIFY(!preview->isModal() || preview->windowModality() != Qt::ApplicationModal);
        QTRY_COMPARE(preview->findChild<QPrintPreviewWidget *>()->pageCount(), 1);
        preview->close();
        QCOMPARE(f.dialogs.count(), 0);
    }

    void saveAsPdf_data()
    {
        QTest::addColumn<QString>("chosen"); // empty: the chooser is cancelled
        QTest::addColumn<QString>("written");
        QTest::newRow("with suffix") << "sheet.pdf"
                                     << "sheet.pdf";
        QTest::newRow("suffix added") << "sheet"
                                      << "sheet.pdf";
        QTest::newRow("cancelled") << ""
                                   << "";
        QTest::newRow("no such folder") << "missing folder/sheet.pdf"
                                        << "";
    }
    void saveAsPdf()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        Fixture f;
        const auto w = f.window("{\\rtf1 one page}");
        QVERIFY(w->show_selling());
        const QString path = f.folder.file(chosen);
        if (!chosen.isEmpty())
            f.dialogs.queueFile(path);
        f.click(*w, "cmdpdf");
        QCOMPARE(f.dialogs.shown().first().kind, ShownBox::Kind::SaveFile);
        const QStringList pdfs = QDir(f.folder.path()).entryList({QStringLiteral("*.pdf")});
        QCOMPARE(pdfs, written.isEmpty() ? QStringList() : QStringList{written});
        if (!written.isEmpty())
            QVERIFY(test::readFile(f.folder.file(written)).startsWith("%PDF-"));
        const bool fails = chosen.contains(u'/');
        QCOMPARE(f.dialogs.count(), fails ? 2 : 1);
        if (fails) {
            QCOMPARE(f.dialogs.last().icon, MessageIcon::Critical);
            QCOMPARE(f.dialogs.last().title, QStringLiteral("Tow Co"));
            QVERIFY(f.dialogs.last().text.startsWith(
                QStringLiteral("The PDF file could not be written: ") + path));
        }
    }
};

QTEST_MAIN(ReportWindowTest)
#include "ReportWindow_test.moc"
