#include "ChargeSheet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

#include <sys/stat.h>

#include "FolderFixture.h"
#include "SampleSheet.h"
#include "TestFiles.h"

using namespace tarnvale;

class ChargeSheetTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // What stands at the template's path, and the sheet or the message it gives. What cannot
    // be read as a template is refused at once, never read forever, never blocked on.
    void build_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("title");  // empty: built; "app": the program's name
        QTest::addColumn<QString>("result"); // the sheet, or the message after "File: PATH "
        // clang-format off
        QTest::newRow("template bytes kept") << "rtf" << "" << "{\\rtf1\\ansi caf\\'e9 \\tab \\tab MARIA GONZ{\\uc1\\u193?}LEZ \\tab Tow Co \\tab $437.40\\par}";
        QTest::newRow("plain text made a document") << "plain" << ""
            << "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Customer: \\tab \\tab MARIA GONZ{\\uc1\\u193?}LEZ\\par\nTotal \\{due\\}: \\tab $437.40\\par\n\\par}";
        QTest::newRow("missing") << "missing" << "app" << "Some Error Occured: 53 File not found\r\n\r\nProgram May Not Work Properly";
        QTest::newRow("a folder") << "folder" << "Tow Co" << "is Open, Please Close It";
        QTest::newRow("a FIFO nobody writes to") << "fifo" << "Tow Co" << "is not a regular file";
        QTest::newRow("larger than any template") << "large" << "Tow Co" << "is larger than 16 MB, more than any document of this kind";
        // clang-format on
    }
    void build()
    {
        QFETCH(QString, kind);
        QFETCH(QString, title);
        QFETCH(QString, result);
        test::FolderFixture f;
        const QString path = f.dir.reportPath();
        QDir(f.dir.path()).mkpath("Reports");
        if (kind == u"rtf")
            test::writeFile(path,
                            "{\\rtf1\\ansi caf\\'e9 ::custname:: ::companyname:: ::GRAND::\\par}");
        else if (kind == u"plain")
            test::writeFile(path, "Customer: ::custname::\nTotal {due}: ::GRAND::\n");
        else if (kind == u"folder")
            QVERIFY(QDir().mkpath(path));
        else if (kind == u"fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == u"large")
            test::writeFile(path, QByteArray("{\\rtf1 ").leftJustified(16 * 1024 * 1024 + 1, ' '));
        f.settings.write("Company", "Name", "Tow Co");
        const ChargeSheet::Outcome outcome =
            ChargeSheet::build(f.folder, f.settings, test::sampleSheet(), QDate(2026, 1, 9));
        QCOMPARE(outcome.ok, title.isEmpty());
        QCOMPARE(QString::fromLatin1(outcome.rtf), outcome.ok ? result : QString());
        const QString shown = kind == u"missing" ? result : "File: " + path + u' ' + result;
        QCOMPARE(outcome.message, outcome.ok ? QString() : shown);
        if (!outcome.ok)
            QCOMPARE(outcome.title, title == u"app" ? QCoreApplication::applicationName() : title);
    }

    // Printable once a record with a year is shown; a year left from before is not enough.
    void canPrint()
    {
        PrintSnapshot s = test::sampleSheet();
        QVERIFY(ChargeSheet::canPrint(s));
        s.hasRecord = false;
        QVERIFY(!ChargeSheet::canPrint(s));
        s.hasRecord = true;
        s.txtprint[6].clear(); // no year
        QVERIFY(!ChargeSheet::canPrint(s));
    }
};

QTEST_MAIN(ChargeSheetTest)
#include "ChargeSheet_test.moc"
