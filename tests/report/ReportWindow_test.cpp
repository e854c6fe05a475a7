#include "ReportWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPointer>
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
        const ShownBox box = f.dialogs.last();
        QCOMPARE(box.kind, ShownBox::Kind::Notice);
        QCOMPARE(box.icon, MessageIcon::Critical);
        QCOMPARE(box.text,
                 QStringLiteral(
                     "Some Error Occured: 53 File not found\r\n\r\nProgram May Not Work Properly"));
        QTRY_VERIFY(w.isNull()); // closed and gone; the program goes on
        QCOMPARE(f.dialogs.count(), 1);
    }

    void lockedTemplateMessage()
    {
        Fixture f;
        QDir(f.folder.path()).mkpath(QStringLiteral("Reports/report.rtf"));
        QPointer<ReportWindow> w = f.window();
        QVERIFY(!w->show_selling());
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.dialogs.last().title, QStringLiteral("Tow Co"));
        QCOMPARE(f.dialogs.last().text,
                 QStringLiteral("File: ") + f.folder.path() +
                     QStringLiteral("/Reports/report.rtf is Open, Please Close It"));
        QTRY_VERIFY(w.isNull());
    }

    void cancelledPrintIsSilent()
    {
        Fixture f;
        test::writeFile(f.folder.reportPath(), kTemplate);
        std::unique_ptr<ReportWindow> w(f.window());
        QVERIFY(w->show_selling());
        f.dialogs.queuePrinter(false);
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("cmdprint")), Qt::LeftButton);
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.dialogs.last().kind, ShownBox::Kind::Printer);
        QVERIFY(f.dialogs.allAnswersUsed());
    }

    // The path a printout takes, with a printer that writes a PDF file and cannot make
    // copies itself: every copy is sent.
    void printsOnAPrinter_data()
    {
        QTest::addColumn<int>("copies");
        QTest::newRow("one copy") << 1;
        QTest::newRow("three copies") << 3;
    }
    void printsOnAPrinter()
    {
        QFETCH(int, copies);
        Fixture f;
        test::writeFile(f.folder.reportPath(), kTemplate);
        std::unique_ptr<ReportWindow> w(f.window());
        QVERIFY(w->show_selling());
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(f.folder.file(QStringLiteral("printed.pdf")));
        printer.setCopyCount(copies);
        QVERIFY(!printer.supportsMultipleCopies());
        QVERIFY(w->report().print(printer, printer.copyCount()));
        const QString bytes = QString::fromLatin1(test::readFile(printer.outputFileName()));
        QCOMPARE(int(bytes.count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]")))),
                 copies);
    }

    void saveAsPdf_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("with suffix") << "sheet.pdf" << "sheet.pdf";
        QTest::newRow("suffix added") << "sheet" << "sheet.pdf";
    }
    void saveAsPdf()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        Fixture f;
        test::writeFile(f.folder.reportPath(), kTemplate);
        std::unique_ptr<ReportWindow> w(f.window());
        QVERIFY(w->show_selling());
        f.dialogs.queueFile(f.folder.file(chosen));
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("cmdpdf")), Qt::LeftButton);
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.dialogs.last().kind, ShownBox::Kind::SaveFile);
        QVERIFY(test::readFile(f.folder.file(written)).startsWith("%PDF-"));
    }

    void saveAsPdfCancelled()
    {
        Fixture f;
        test::writeFile(f.folder.reportPath(), kTemplate);
        std::unique_ptr<ReportWindow> w(f.window());
        QVERIFY(w->show_selling());
        w->saveAsPdf(); // the chooser answers "cancelled"
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(QDir(f.folder.path()).entryList(QStringList{QStringLiteral("*.pdf")}).size(), 0);
    }

    void saveAsPdfFails()
    {
        Fixture f;
        test::writeFile(f.folder.reportPath(), kTemplate);
        std::unique_ptr<ReportWindow> w(f.window());
        QVERIFY(w->show_selling());
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
