#include "ChargeSheet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

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

    void unreadableTemplate()
    {
        // A folder where the file should be cannot be opened as the template.
        test::TestFolder folder;
        QDir(folder.path()).mkpath(QStringLiteral("Reports/report.rtf"));
        SettingsFile settings(folder.settingsPath());
        settings.write(QStringLiteral("Company"), QStringLiteral("Name"), QStringLiteral("Tow Co"));
        const ChargeSheet::Outcome outcome =
            ChargeSheet::build(ProgramFolder(folder.path()), settings,
                               record(QStringLiteral("2001")), QDate(2026, 1, 9));
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.title, QStringLiteral("Tow Co"));
        QCOMPARE(outcome.message,
                 QStringLiteral("File: ") + folder.path() +
                     QStringLiteral("/Reports/report.rtf is Open, Please Close It"));
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
};

QTEST_MAIN(ChargeSheetTest)
#include "ChargeSheet_test.moc"
