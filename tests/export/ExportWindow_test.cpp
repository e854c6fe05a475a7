// The export command of the main window: the three choices, the file chooser and the message.
#include <QAction>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "AppProgram.h"
#include "CsvRows.h"
#include "ExportWindow.h"
#include "FindWindow.h"
#include "TestFiles.h"

using namespace tarnvale;
using namespace tarnvale::test;

class ExportWindowTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void exportChoice_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("years"); // of the vehicles exported

        // clang-format off
        QTest::newRow("every record") << "optAll" << "&Every record" << QStringList{"1999", "2005", "2011"};
        QTest::newRow("selected group") << "optGroup" << "The selected &group: North" << QStringList{"1999", "2011"};
        QTest::newRow("search results") << "optResults" << "The current &search results (1 found)" << QStringList{"2005"};
        // clang-format on
    }

    void exportChoice()
    {
        QFETCH(QString, choice);
        QFETCH(QString, caption);
        QFETCH(QStringList, years);
        AppProgram p;
        p.start();
        const qint64 north = p.context->store.addGroup("North").value_or(-1);
        p.context->store.addGroup("South");
        p.vehicle("North", "1999");
        p.vehicle("South", "2005");
        p.vehicle("North", "2011");
        p.browser()->RefContactList();
        if (choice == "optGroup")
            p.browser()->nodeClick(p.model()->groupIndex(north), Qt::LeftButton);
        if (choice == "optResults") {
            p.window->openFind();
            auto *find = p.window->findChild<FindWindow *>();
            QSignalSpy searched(find, &FindWindow::searchFinished);
            find->Search("<All>", "<All>", "2005", false, false);
            QVERIFY(searched.wait(10000));
        }

        p.window->command("mnuExport")->trigger();
        auto *window = p.window->findChild<ExportWindow *>();
        QVERIFY(window && window->isVisible());
        auto *option = window->findChild<QRadioButton *>(choice);
        QCOMPARE(option->text(), caption);
        option->setChecked(true);

        const QString out = p.dir.file("month.csv");
        p.dialogs.queueFile(out);
        QSignalSpy ended(window, &ExportWindow::exportEnded);
        auto *run = window->findChild<QPushButton *>("cmdExport");
        QTest::mouseClick(run, Qt::LeftButton);
        auto *bar = window->findChild<QProgressBar *>("prgExport");
        QVERIFY(!run->isEnabled() && bar->isVisible() && bar->maximum() == 0); // busy until counted
        QVERIFY(ended.wait(10000) && p.dialogs.last().title == "Harbor Towing");
        QCOMPARE(p.dialogs.last().text,
                 QStringLiteral("%1 vehicle(s) exported to %2.").arg(years.size()).arg(out));
        QCOMPARE(csvColumn(csvRows(readFile(out)), "vehyear"), years);
        QTRY_VERIFY(!p.window->findChild<ExportWindow *>()); // closed when done
    }
};

QTEST_MAIN(ExportWindowTest)
#include "ExportWindow_test.moc"
