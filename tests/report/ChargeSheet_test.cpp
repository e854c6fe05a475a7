#include "ChargeSheet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

#include <sys/stat.h>

#include "ProgramFolder.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "TestFolder.h"

using namespace tarnvale;

namespace {

PrintSnapshot record(const QString &year)
{
    PrintSnapshot s;
    s.txtprint[0] = QStringLiteral("jane doe");
    s.txtprint[6] = year;
    s.dateTowed = QStringLiteral("1/2/2026");
    s.dateReleased = QStringLiteral("1/4/2026");
    s.grandTotal = QStringLiteral("$50.00");
    s.hasRecord = true;
    return s;
}

} // namespace

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
        QTest::newRow("template bytes kept") << "rtf" << "" << "{\\rtf1\\ansi caf\\'e9 \\tab \\tab JANE DOE \\tab Tow Co \\tab $50.00\\par}";
        QTest::newRow("plain text made a document") << "plain" << ""
            << "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Customer: \\tab \\tab JANE DOE\\par\nTotal \\{due\\}: \\tab $50.00\\par\n\\par}";
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
        test::TestFolder folder;
        const QString path = folder.reportPath();
        QDir(folder.path()).mkpath(QStringLiteral("Reports"));
        if (kind == QLatin1String("rtf")) {
            test::writeFile(path,
                            "{\\rtf1\\ansi caf\\'e9 ::custname:: ::companyname:: ::GRAND::\\par}");
        } else if (kind == QLatin1String("plain")) {
            test::writeFile(path, "Customer: ::custname::\nTotal {due}: ::GRAND::\n");
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == QLatin1String("large")) {
            test::writeFile(path, "{\\rtf1 ");
            QVERIFY(QFile::resize(path, 16 * 1024 * 1024 + 1));
        }
        SettingsFile settings(folder.settingsPath());
        settings.write(QStringLiteral("Company"), QStringLiteral("Name"), QStringLiteral("Tow Co"));
        const ChargeSheet::Outcome outcome =
            ChargeSheet::build(ProgramFolder(folder.path()), settings,
                               record(QStringLiteral("2001")), QDate(2026, 1, 9));
        QCOMPARE(outcome.ok, title.isEmpty());
        if (outcome.ok) {
            QVERIFY(outcome.message.isEmpty());
            QCOMPARE(QString::fromLatin1(outcome.rtf), result);
            return;
        }
        QVERIFY(outcome.rtf.isEmpty());
        QCOMPARE(outcome.title, title == u"app" ? QCoreApplication::applicationName() : title);
        QCOMPARE(outcome.message,
                 kind == u"missing" ? result : QStringLiteral("File: ") + path + u' ' + result);
    }

    // Printable once a record with a year is shown; a year left from before is not enough.
    void canPrint()
    {
        PrintSnapshot s = record(QStringLiteral("1999"));
        QVERIFY(ChargeSheet::canPrint(s));
        QVERIFY(!ChargeSheet::canPrint(record(QString())));
        s.hasRecord = false;
        QVERIFY(!ChargeSheet::canPrint(s));
    }
};

QTEST_MAIN(ChargeSheetTest)
#include "ChargeSheet_test.moc"
