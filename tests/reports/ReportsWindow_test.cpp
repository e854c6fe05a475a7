#include <QAction>
#include <QBarCategoryAxis>
#include <QCategoryAxis>
#include <QChartView>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QValueAxis>

#include "AppProgram.h"
#include "ReportView.h"
#include "ReportsWindow.h"
#include "TestFiles.h"

using namespace tarnvale;
using namespace tarnvale::test;

class ReportsWindowTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Ctrl+R opens the window on the lot; its tables sort; the report is saved as CSV (the
    // report's own rows) and as PDF, and printed; the money tab gives the drawer close-out.
    // Under a chart of many days or months, a label every few of them, each whole, from the
    // first on; under a few, every one.
    void chartLabels_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("days");
        QTest::addColumn<QStringList>("labels");
        const auto bars = int(ReportChart::Kind::Bars), lines = int(ReportChart::Kind::Lines);
        QTest::newRow("a few bars") << bars << 3 << QStringList{"01", "02", "03"};
        QTest::newRow("a few points") << lines << 3 << QStringList{"01", "02", "03"};
        QTest::newRow("12 bars") << bars << 12 << QStringList{"01", "02", "03", "04", "05", "06",
                                                             "07", "08", "09", "10", "11", "12"};
        QTest::newRow("40 bars") << bars << 40 << QStringList{"01", "05", "09", "13", "17", "21",
                                                             "25", "29", "33", "37"};
        QTest::newRow("24 points") << lines << 24 << QStringList{"01", "03", "05", "07", "09",
                                                                "11", "13", "15", "17", "19",
                                                                "21", "23"};
        QTest::newRow("25 points") << lines << 25 << QStringList{"01", "04", "07", "10", "13",
                                                                "16", "19", "22", "25"};
    }
    void chartLabels()
    {
        QFETCH(int, kind);
        QFETCH(int, days);
        QFETCH(QStringList, labels);
        ReportChart chart{ReportChart::Kind(kind), "Title", "Day", "Vehicles", {}, {{"One", {}}}};
        for (int d = 1; d <= days; ++d) {
            chart.categories << QString("%1").arg(d, 2, 10, QChar('0'));
            chart.series[0].second << double(d);
        }
        Report report;
        report.title = "Charted";
        report.chart = chart;
        ReportView view;
        view.setReport(report);
        QAbstractAxis *x = view.chartView()->chart()->axes(Qt::Horizontal).value(0);
        QStringList shown;
        if (auto *named = qobject_cast<QBarCategoryAxis *>(x))
            shown = named->categories();
        else if (auto *every = qobject_cast<QCategoryAxis *>(x)) {
            shown = every->categoriesLabels();
            // Every bar whole, from the first to the last; a line from its first point to its
            // last.
            const bool bars = kind == int(ReportChart::Kind::Bars);
            QCOMPARE(std::pair(every->min(), every->max()),
                     bars ? std::pair(-0.5, days - 0.5) : std::pair(0.0, days - 1.0));
        }
        QCOMPARE(shown, labels);
        QCOMPARE(x->titleText(), QString("Day"));
    }

    void openSortSaveAndPrint()
    {
        AppProgram app([](const SettingsFile &s) { s.write("Fee", "Storage Fee", "10"); });
        app.start();
        const QDate today = QDate::currentDate();
        for (const auto &[group, days] : {std::pair{"Lot B", 3}, {"Lot A", 40}, {"Lot C", 100}}) {
            TowRecord r = vehicleRecord(group);
            r.set(TowField::toweddate, today.addDays(-days).toString("M/d/yyyy"));
            r.set(TowField::towedfee, "100");
            QVERIFY(app.context->store.addTowRecord(r));
        }
        QAction *command = app.window->command("mnuReports");
        QCOMPARE(command->shortcut(), QKeySequence("Ctrl+R"));
        command->trigger();
        auto *window = app.window->findChild<ReportsWindow *>("frmReports");
        QVERIFY(window && window->isVisible());
        QTRY_VERIFY(window->view(0)->report());
        QCOMPARE(window->findChild<QLabel *>("lblTotals_0")->text(),
                 "Total - 0-7 days: 1, 8-30 days: 0, 31-60 days: 1, 61-90 days: 0, Over 90 days: 1, "
                 "No usable tow date: 0, Vehicles: 3, Storage: $1430.00, Balance owed: $1730.00");
        QTableView *groups = window->view(0)->tables().at(0);
        const auto firstGroup = [groups] { return groups->model()->index(0, 0).data().toString(); };
        QCOMPARE(firstGroup(), "Lot A");
        groups->horizontalHeader()->setSortIndicator(8, Qt::DescendingOrder); // storage
        QCOMPARE(firstGroup(), "Lot C");
        // One vehicle a band at most: a tick on 0, 1 and 2 alone.
        const auto *axis = qobject_cast<QValueAxis *>(
            window->view(0)->chartView()->chart()->axes(Qt::Vertical).value(0));
        QVERIFY(axis && axis->max() == 2 && axis->tickCount() == 3);

        const QString csv = app.dir.file("lot.csv"), pdf = app.dir.file("lot.pdf");
        app.dialogs.queueFile(csv);
        app.dialogs.queueFile(pdf);
        window->findChild<QPushButton *>("cmdCsv")->click();
        window->findChild<QPushButton *>("cmdPdf")->click();
        QCOMPARE(readFile(csv), window->view(0)->report()->csv());
        QVERIFY(readFile(pdf).startsWith("%PDF") && readFile(pdf).size() > 20000);
        const QString printed = app.dir.file("printed.pdf");
        app.dialogs.queuePrinter(true);
        app.dialogs.onPrinter = [&](QPrinter &p) { p.setOutputFileName(printed); };
        window->findChild<QPushButton *>("cmdPrint")->click();
        QVERIFY(readFile(printed).startsWith("%PDF"));

        // Money: a first day after the last is refused; the cash counted must be an amount.
        window->tabs()->setCurrentIndex(1);
        QTRY_VERIFY(window->view(1)->report());
        window->findChild<QDateEdit *>("dtFrom")->setDate(today.addDays(1));
        window->findChild<QPushButton *>("cmdRefresh")->click();
        QCOMPARE(app.dialogs.last().text, "The first day comes after the last day.");
        window->findChild<QLineEdit *>("txtCounted")->setText("12,x");
        window->findChild<QPushButton *>("cmdDrawer")->click();
        QCOMPARE(app.dialogs.last().text, "The cash counted is not an amount: type it as 125.50.");
        // A report without a chart prints its tables alone.
        window->findChild<QDateEdit *>("dtFrom")->setDate(today);
        window->tabs()->setCurrentIndex(2);
        QTRY_VERIFY(window->view(2)->report());
        QVERIFY(!window->view(2)->chartView());
        app.dialogs.queuePrinter(true);
        window->findChild<QPushButton *>("cmdPrint")->click();
        QVERIFY(readFile(printed).startsWith("%PDF"));
        QCOMPARE(app.dialogs.count(), 6);

        // A report being figured and cancelled never shows, and nothing is said; a quick one
        // shows without the progress bar.
        auto *bar = window->findChild<QProgressBar *>("prgReport");
        QVERIFY(window->refresh(3) && window->isFiguring());
        window->cancelRefresh();
        QTest::qWait(300);
        QVERIFY(!window->isFiguring() && !window->view(3)->report() && bar->isHidden());
        QVERIFY(window->refresh(3));
        QTRY_VERIFY(window->view(3)->report());
        QVERIFY(!window->isFiguring() && bar->isHidden() && app.dialogs.count() == 6);
    }
};

QTEST_MAIN(ReportsWindowTest)
#include "ReportsWindow_test.moc"
