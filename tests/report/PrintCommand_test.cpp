#include "PrintCommand.h"

#include <QApplication>
#include <QLocale>
#include <QPointer>
#include <QTest>

#include "ReportWindow.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "TestFolder.h"

using namespace tarnvale;
using test::ShownBox;

namespace {

PrintSnapshot record(const QString &name, const QString &year = QStringLiteral("1990"))
{
    PrintSnapshot s;
    s.txtprint[0] = name;
    s.txtprint[6] = year;
    s.dateTowed = QStringLiteral("1/2/2026");
    s.hasRecord = true;
    return s;
}

int reportWindows()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += w->objectName() == QLatin1String("frmprint") && w->isVisible();
    return n;
}

struct Fixture
{
    test::TestFolder folder;
    test::ScriptedDialogs dialogs;
    SettingsFile settings{folder.settingsPath()};
    PrintCommand command{settings, ProgramFolder(folder.path()), dialogs, nullptr};
    void writeTemplate() { test::writeFile(folder.reportPath(), "{\\rtf1 Customer ::custname::}"); }
};

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

    // Which records can print is ChargeSheet's rule; here, what the user is told.
    void nothingToPrint()
    {
        Fixture f;
        f.writeTemplate();
        f.settings.write(QStringLiteral("Company"), QStringLiteral("Name"),
                         QStringLiteral("Tow Co"));
        QVERIFY(!f.command.run(record(QStringLiteral("x"), QString())));
        QCOMPARE(f.dialogs.count(), 1);
        const ShownBox box = f.dialogs.last();
        QCOMPARE(box.kind, ShownBox::Kind::Notice);
        QCOMPARE(box.title, QStringLiteral("Tow Co"));
        QCOMPARE(box.text, QStringLiteral("Please Select A Record To Print"));
        QCOMPARE(box.icon, MessageIcon::None);
        QCOMPARE(box.buttons, MessageButtons::Ok);
        QCOMPARE(reportWindows(), 0);
    }

    void oneWindowForTheRecordSelectedNow()
    {
        Fixture f;
        f.writeTemplate();
        QPointer<ReportWindow> first = f.command.run(record(QStringLiteral("ann")));
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->report().document().toPlainText(), QStringLiteral("Customer \t\tANN"));
        // The same record again brings the same window forward.
        QCOMPARE(f.command.run(record(QStringLiteral("ann"))), first.data());
        QCOMPARE(reportWindows(), 1);
        // Another record selected since: its sheet, never the one shown before.
        ReportWindow *next = f.command.run(record(QStringLiteral("bob"), QStringLiteral("1991")));
        QVERIFY(next);
        QCOMPARE(next->report().document().toPlainText(), QStringLiteral("Customer \t\tBOB"));
        QTRY_VERIFY(first.isNull());
        QCOMPARE(reportWindows(), 1);
        QCOMPARE(f.command.window(), next);
        QCOMPARE(f.dialogs.count(), 0);
    }

    // The window closes with the message (its text: ChargeSheet's test); the program keeps
    // running, and once the template is there printing works.
    void missingTemplateThenFixed()
    {
        Fixture f;
        QVERIFY(!f.command.run(record(QStringLiteral("ann"))));
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.dialogs.last().icon, MessageIcon::Critical);
        QVERIFY(f.dialogs.last().text.startsWith(QStringLiteral("Some Error Occured: ")));
        QTRY_COMPARE(reportWindows(), 0);
        f.writeTemplate();
        QVERIFY(f.command.run(record(QStringLiteral("ann"))));
        QCOMPARE(f.dialogs.count(), 1);
    }
};

QTEST_MAIN(PrintCommandTest)
#include "PrintCommand_test.moc"
