#include "ChargeSheet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

#include <sys/stat.h>

#include "ProgramFolder.h"
#include "SettingsFile.h"
#include "TestFolder.h"
#include "TestFiles.h"

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

    void templatePath()
    {
        QCOMPARE(ChargeSheet::templatePath(ProgramFolder(QStringLiteral("/opt/tow"))),
                 QStringLiteral("/opt/tow/Reports/report.rtf"));
    }

    void filled()
    {
        test::TestFolder folder;
        test::writeFile(folder.reportPath(),
                        "{\\rtf1\\ansi caf\\'e9 ::custname:: ::companyname:: ::GRAND::\\par}");
        SettingsFile settings(folder.settingsPath());
        settings.write(QStringLiteral("Company"), QStringLiteral("Name"), QStringLiteral("Tow Co"));
        const ChargeSheet::Outcome outcome =
            ChargeSheet::build(ProgramFolder(folder.path()), settings,
                               record(QStringLiteral("2001")), QDate(2026, 1, 9));
        QVERIFY(outcome.ok);
        QVERIFY(outcome.message.isEmpty());
        // The template's own bytes come through untouched.
        QCOMPARE(
            outcome.rtf,
            QByteArray(
                "{\\rtf1\\ansi caf\\'e9 \\tab \\tab JANE DOE \\tab Tow Co \\tab $50.00\\par}"));
    }

    void missingTemplate()
    {
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        settings.write(QStringLiteral("Company"), QStringLiteral("Name"), QStringLiteral("Tow Co"));
        const ChargeSheet::Outcome outcome =
            ChargeSheet::build(ProgramFolder(folder.path()), settings,
                               record(QStringLiteral("2001")), QDate(2026, 1, 9));
        QVERIFY(!outcome.ok);
        QVERIFY(outcome.rtf.isEmpty());
        QCOMPARE(outcome.title, QCoreApplication::applicationName());
        QCOMPARE(outcome.message,
                 QStringLiteral(
                     "Some Error Occured: 53 File not found\r\n\r\nProgram May Not Work Properly"));
    }

    // What stands at the template's path and cannot be read as one: refused at once with a
    // message, never read forever, never blocked on.
    void refusedTemplate_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a folder") << "folder" << "is Open, Please Close It";
        QTest::newRow("a link to an endless device") << "device" << "is not a regular file";
        QTest::newRow("a FIFO nobody writes to") << "fifo" << "is not a regular file";
        QTest::newRow("larger than any template")
            << "large" << "is larger than 16 MB, more than any document of this kind";
    }
    void refusedTemplate()
    {
        QFETCH(QString, kind);
        test::TestFolder folder;
        const QString path = folder.reportPath();
        QDir(folder.path()).mkpath(QStringLiteral("Reports"));
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == QLatin1String("device")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write("{\\rtf1 ") == 7 && file.resize(16 * 1024 * 1024 + 1));
        }
        SettingsFile settings(folder.settingsPath());
        settings.write(QStringLiteral("Company"), QStringLiteral("Name"), QStringLiteral("Tow Co"));
        const ChargeSheet::Outcome outcome =
            ChargeSheet::build(ProgramFolder(folder.path()), settings,
                               record(QStringLiteral("2001")), QDate(2026, 1, 9));
        QVERIFY(!outcome.ok);
        QVERIFY(outcome.rtf.isEmpty());
        QCOMPARE(outcome.title, QStringLiteral("Tow Co"));
        QFETCH(QString, reason);
        QCOMPARE(outcome.message, QStringLiteral("File: ") + path + QLatin1Char(' ') + reason);
    }

    void plainTextTemplate()
    {
        test::TestFolder folder;
        test::writeFile(folder.reportPath(), "Customer: ::custname::\nTotal {due}: ::GRAND::\n");
        SettingsFile settings(folder.settingsPath());
        const ChargeSheet::Outcome outcome =
            ChargeSheet::build(ProgramFolder(folder.path()), settings,
                               record(QStringLiteral("2001")), QDate(2026, 1, 9));
        QVERIFY(outcome.ok);
        QVERIFY(outcome.rtf.startsWith("{\\rtf1"));
        QCOMPARE(outcome.rtf, QByteArray("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 "
                                         "Customer: \\tab \\tab JANE DOE\\par\n"
                                         "Total \\{due\\}: \\tab $50.00\\par\n\\par}"));
    }

    void canPrint_data()
    {
        QTest::addColumn<bool>("hasRecord");
        QTest::addColumn<QString>("year");
        QTest::addColumn<bool>("expected");
        QTest::newRow("nothing shown yet") << false << "" << false;
        QTest::newRow("shown, with a year") << true << "1999" << true;
        QTest::newRow("shown, no year") << true << "" << false;
        QTest::newRow("stale year without a record") << false << "1999" << false;
    }

    void canPrint()
    {
        QFETCH(bool, hasRecord);
        QFETCH(QString, year);
        PrintSnapshot s = record(year);
        s.hasRecord = hasRecord;
        QTEST(ChargeSheet::canPrint(s), "expected");
    }
};

QTEST_MAIN(ChargeSheetTest)
#include "ChargeSheet_test.moc"
