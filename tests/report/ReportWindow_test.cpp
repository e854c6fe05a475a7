#include "ReportWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "ScriptedDialogs.h"
#include "TestFolder.h"
#include "TestFiles.h"

using namespace tarnvale;
using test::ShownBox;

namespace {

PrintSnapshot record()
{
    PrintSnapshot s;
    s.txtprint[0] = QStringLiteral("jane doe");
    s.txtprint[6] = QStringLiteral("2001");
    s.txtprint[7] = QStringLiteral("toyota");
    s.dateTowed = QStringLiteral("1/2/2026");
    s.dateReleased = QStringLiteral("1/4/2026");
    s.customerName = QStringLiteral("jane doe");
    s.grandTotal = QStringLiteral("$50.00");
    s.hasRecord = true;
    return s;
}

const QByteArray kTemplate = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 {\\b ::companyname::}\\par "
                             "Customer ::custname::\\par Vehicle ::vehyear:: ::vehmake::\\par "
                             "Towed ::FROM.DATE::\\par Total ::GRAND::\\par}";

struct Fixture
{
    test::TestFolder folder;
    test::ScriptedDialogs dialogs;
    SettingsFile settings{folder.settingsPath()};

    Fixture()
    {
        settings.write(QStringLiteral("Company"), QStringLiteral("Name"), QStringLiteral("Tow Co"));
    }
    ReportWindow *window()
    {
        return new ReportWindow(record(), settings, ProgramFolder(folder.path()), dialogs);
    }
    // A window showing the sheet filled from the template; null when it could not.
    std::unique_ptr<ReportWindow> shown(const QByteArray &rtf = kTemplate)
    {
        test::writeFile(folder.reportPath(), rtf);
        std::unique_ptr<ReportWindow> w(window());
        return w->show_selling() ? std::move(w) : nullptr;
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
        test::writeFile(f.folder.reportPath(), kTemplate);
        QPointer<ReportWindow> w = f.window();
        QCOMPARE(w->objectName(), QStringLiteral("frmprint"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Print Preview"));
        auto *print = w->findChild<QPushButton *>(QStringLiteral("cmdprint"));
        QVERIFY(print);
        QVERIFY(!print->isEnabled());
        QVERIFY(w->show_selling());
        QCOMPARE(print->text(), QStringLiteral("Print"));
        QVERIFY(print->isEnabled());
        auto *preview = w->findChild<PageView *>(QStringLiteral("rpt1"));
        QVERIFY(preview);
        QCOMPARE(preview->pageCount(), 1);
        QCOMPARE(w->report().document().toPlainText(),
                 QStringLiteral("\tTow Co\nCustomer \t\tJANE DOE\nVehicle \t2001 \tTOYOTA\n"
                                "Towed January 02, 2026\nTotal \t$50.00"));
        QCOMPARE(f.dialogs.count(), 0);
        delete w;
    }

    // Whatever the reader left out for passing a limit is named once; the rest is shown.
    void limitsAreNamed()
    {
        Fixture f;
        test::writeFile(f.folder.reportPath(), "{\\rtf1 Customer ::custname::" +
                                                   QByteArray(300, '{') + "deep" +
                                                   QByteArray(300, '}') + "\\par}");
        std::unique_ptr<ReportWindow> w(f.window());
        QVERIFY(w->show_selling());
        QCOMPARE(w->report().document().toPlainText(), QStringLiteral("Customer \t\tJANE DOE"));
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.dialogs.last().title, QStringLiteral("Tow Co"));
        QCOMPARE(f.dialogs.last().icon, MessageIcon::Exclamation);
        QCOMPARE(f.dialogs.last().text,
                 QStringLiteral("Parts of the report template are not shown:\r\n"
                                "Parts nested deeper than 200 levels were left out."));
    }

    void missingTemplateClosesTheWindow()
    {
        Fixture f;
        QPointer<ReportWindow> w = f.window();
        w->show();
        QVERIFY(!w->show_selling());
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.dialogs.last().icon, MessageIcon::Critical); // its text: ChargeSheet's test
        QTRY_VERIFY(w.isNull()); // closed and gone; the program goes on
        QCOMPARE(f.dialogs.count(), 1);
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
        const auto w = f.shown("{\\rtf1\\ansi ::custname::\\page two\\page three\\par}");
        QVERIFY(w);
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
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("cmdprint")), Qt::LeftButton);
        QCOMPARE(f.dialogs.shown().first().kind, ShownBox::Kind::Printer);
        if (copies == 0) {
            QCOMPARE(f.dialogs.count(), 1);
            QVERIFY(f.dialogs.allAnswersUsed());
            return;
        }
        if (pages == 0) {
            QVERIFY(!QFile::exists(file));
            QCOMPARE(f.dialogs.count(), 2);
            QCOMPARE(f.dialogs.last().text,
                     QStringLiteral("Nothing was printed: the charge sheet has 3 page(s), none "
                                    "of them in the pages asked for (5-6)."));
            return;
        }
        QCOMPARE(f.dialogs.count(), 1);
        const QString bytes = QString::fromLatin1(test::readFile(file));
        QCOMPARE(int(bytes.count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]")))),
                 pages);
    }

    // The preview opens over the window, not modal, and draws the sheet's pages.
    void printPreview()
    {
        Fixture f;
        const auto w = f.shown();
        QVERIFY(w);
        w->show();
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("cmdpreview")),
                          Qt::LeftButton);
        auto *preview = w->findChild<QPrintPreviewDialog *>(QStringLiteral("dlgPreview"));
        QVERIFY(preview);
        QTRY_VERIFY(preview->isVisible());
        QVERIFY(!preview->isModal() || preview->windowModality() != Qt::ApplicationModal);
        auto *pages = preview->findChild<QPrintPreviewWidget *>();
        QVERIFY(pages);
        QTRY_COMPARE(pages->pageCount(), 1);
        preview->close();
        QCOMPARE(f.dialogs.count(), 0);
    }

    void saveAsPdf_data()
    {
        QTest::addColumn<QString>("chosen"); // empty: the chooser is cancelled
        QTest::addColumn<QString>("written");
        QTest::newRow("with suffix") << "sheet.pdf" << "sheet.pdf";
        QTest::newRow("suffix added") << "sheet" << "sheet.pdf";
        QTest::newRow("cancelled") << "" << "";
    }
    void saveAsPdf()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        Fixture f;
        const auto w = f.shown();
        QVERIFY(w);
        if (!chosen.isEmpty())
            f.dialogs.queueFile(f.folder.file(chosen));
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("cmdpdf")), Qt::LeftButton);
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.dialogs.last().kind, ShownBox::Kind::SaveFile);
        const QStringList pdfs = QDir(f.folder.path()).entryList({QStringLiteral("*.pdf")});
        QCOMPARE(pdfs, written.isEmpty() ? QStringList() : QStringList{written});
        if (!written.isEmpty())
            QVERIFY(test::readFile(f.folder.file(written)).startsWith("%PDF-"));
    }

    void saveAsPdfFails()
    {
        Fixture f;
        const auto w = f.shown();
        QVERIFY(w);
        const QString path = f.folder.file(QStringLiteral("missing folder/sheet.pdf"));
        f.dialogs.queueFile(path);
        w->saveAsPdf();
        QCOMPARE(f.dialogs.count(), 2);
        QCOMPARE(f.dialogs.last().icon, MessageIcon::Critical);
        QCOMPARE(f.dialogs.last().title, QStringLiteral("Tow Co"));
        QVERIFY(f.dialogs.last().text.startsWith(
            QStringLiteral("The PDF file could not be written: ") + path));
    }
};

QTEST_MAIN(ReportWindowTest)
#include "ReportWindow_test.moc"
