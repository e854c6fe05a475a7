#include "PrintCommand.h"

#include <QApplication>
#include <QLocale>
#include <QPointer>
#include <QTest>

#include "FolderFixture.h"
#include "ReportWindow.h"
#include "SampleSheet.h"
#include "TestFiles.h"

using namespace tarnvale;

namespace {

PrintSnapshot record(const QString &name, const QString &year = "1990")
{
    PrintSnapshot s = test::sampleSheet();
    s.txtprint[0] = name;
    s.txtprint[6] = year;
    return s;
}

struct Fixture : test::FolderFixture
{
    PrintCommand command{settings, folder, dialogs, nullptr};
    ~Fixture() { delete command.window(); }
};

} // namespace

class PrintCommandTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Told why nothing prints (the texts: ChargeSheet's test), no window opens and the program
    // keeps running; with the template there, one window shows the record selected now.
    void oneWindowForTheRecordSelectedNow()
    {
        Fixture f;
        f.settings.write("Company", "Name", "Tow Co");
        QVERIFY(!f.command.run(record("x", QString())));
        QCOMPARE(f.dialogs.last().line(), "Notice None Ok|Tow Co|Please Select A Record To Print");
        QVERIFY(!f.command.run(record("ann")));
        QVERIFY(f.dialogs.last().line().startsWith(
            "Notice Critical Ok|" + QApplication::applicationName() + "|Some Error Occured: "));
        QVERIFY(!f.command.window());
        test::writeFile(f.dir.reportPath(), "{\\rtf1 Customer ::custname::}");
        QPointer<ReportWindow> first = f.command.run(record("ann"));
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->report().document().toPlainText(), QStringLiteral("Customer \t\tANN"));
        // The same record again brings the same window forward.
        QCOMPARE(f.command.run(record("ann")), first.data());
        // Another record selected since: its sheet, never the one shown before.
        ReportWindow *next = f.command.run(record("bob", "1991"));
        QVERIFY(next);
        QCOMPARE(next->report().document().toPlainText(), QStringLiteral("Customer \t\tBOB"));
        QTRY_VERIFY(first.isNull());
        QVERIFY(f.command.window() == next && f.dialogs.count() == 2);
    }
};

QTEST_MAIN(PrintCommandTest)
#include "PrintCommand_test.moc"
