#include "PrintCommand.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <QTest>
#include <QTextEdit>

#include "ReportWindow.h"
#include "ScriptedDialogs.h"
#include "TestFolder.h"
#include "TestFiles.h"

using namespace tarnvale;
using test::ShownBox;

namespace {

PrintSnapshot record(const QString &name, const QString &year)
{
    PrintSnapshot s;
    s.txtprint[0] = name;
    s.txtprint[6] = year;
    s.dateTowed = QStringLiteral("1/2/2026");
    s.dateReleased = QStringLiteral("1/4/2026");
    s.hasRecord = true;
    return s;
}

int reportWindows()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmprint") && w->isVisible())
            ++n;
    return n;
}

} // namespace

class PrintCommandTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("frmprint"))
                delete w;
    }

    void nothingToPrint_data()
    {
        QTest::addColumn<bool>("hasRecord");
        QTest::addColumn<QString>("year");
        QTest::newRow("no record shown") << false << "";
        QTest::newRow("record without a year") << true << "";
    }
    void nothingToPrint()
    {
        QFETCH(bool, hasRecord);
        QFETCH(QString, year);
        test::TestFolder folder;
        test::writeFile(folder.reportPath(), "{\\rtf1 Customer ::custname::\\par}");
        test::ScriptedDialogs dialogs;
        SettingsFile settings(folder.settingsPath());
        settings.write(QStringLiteral("Company"), QStringLiteral("Name"), QStringLiteral("Tow Co"));
        PrintCommand command(settings, ProgramFolder(folder.path()), dialogs, nullptr);
        PrintSnapshot s = record(QStringLiteral("x"), year);
        s.hasRecord = hasRecord;
        QVERIFY(!command.run(s));
        QCOMPARE(dialogs.count(), 1);
        QCOMPARE(dialogs.last().kind, ShownBox::Kind::Notice);
        QCOMPARE(dialogs.last().title, QStringLiteral("Tow Co"));
        QCOMPARE(dialogs.last().text, QStringLiteral("Please Select A Record To Print"));
        QCOMPARE(dialogs.last().icon, MessageIcon::None);
        QCOMPARE(dialogs.last().buttons, MessageButtons::Ok);
        QCOMPARE(reportWindows(), 0);
    }

    void oneWindowForTheRecordSelectedNow()
    {
        test::TestFolder folder;
        test::writeFile(folder.reportPath(), "{\\rtf1 Customer ::custname::\\par}");
        test::ScriptedDialogs dialogs;
        SettingsFile settings(folder.settingsPath());
        PrintCommand command(settings, ProgramFolder(folder.path()), dialogs, nullptr);
        QPointer<ReportWindow> first =
            command.run(record(QStringLiteral("ann"), QStringLiteral("1990")));
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->preview()->toPlainText(), QStringLiteral("Customer \t\tANN"));
        // The same record again brings the same window forward.
        QCOMPARE(command.run(record(QStringLiteral("ann"), QStringLiteral("1990"))), first.data());
        QCOMPARE(reportWindows(), 1);
        // Another record selected since: its sheet, never the one shown before.
        ReportWindow *next = command.run(record(QStringLiteral("bob"), QStringLiteral("1991")));
        QVERIFY(next);
        QCOMPARE(next->preview()->toPlainText(), QStringLiteral("Customer \t\tBOB"));
        QTRY_VERIFY(first.isNull());
        QCOMPARE(reportWindows(), 1);
        QCOMPARE(command.window(), next);
        QCOMPARE(dialogs.count(), 0);
    }

    void missingTemplateThenFixed()
    {
        test::TestFolder folder;
        test::ScriptedDialogs dialogs;
        SettingsFile settings(folder.settingsPath());
        PrintCommand command(settings, ProgramFolder(folder.path()), dialogs, nullptr);
        QVERIFY(!command.run(record(QStringLiteral("ann"), QStringLiteral("1990"))));
        QCOMPARE(dialogs.count(), 1);
        QVERIFY(dialogs.last().text.startsWith(QStringLiteral("Some Error Occured: ")));
        QTRY_COMPARE(reportWindows(), 0);
        // The program keeps running: once the template is there, printing works.
        test::writeFile(folder.reportPath(), "{\\rtf1 Customer ::custname::\\par}");
        QVERIFY(command.run(record(QStringLiteral("ann"), QStringLiteral("1990"))));
        QCOMPARE(dialogs.count(), 1);
    }
};

QTEST_MAIN(PrintCommandTest)
#include "PrintCommand_test.moc"
