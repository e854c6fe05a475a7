#include <QLocale>
#include <QTest>

#include "ChargeFigures.h"
#include "SettingsFile.h"
#include "TestFolder.h"
#include "TowRecord.h"

using namespace tarnvale;

class ChargeFiguresTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void figures_data()
    {
        QTest::addColumn<QString>("record");   // date towed|date released|tow fee
        QTest::addColumn<QString>("settings"); // storage fee|Tax|Taxrate, "-" for a key not written
        QTest::addColumn<QString>("figures");  // days, rate, storage, grand total
        QTest::addColumn<QString>("note");     // the start of the note; "" for none
        QTest::addColumn<bool>("german");
        auto row = [](const char *name, const char *record, const char *settings,
                      const char *figures, const char *note = "", bool german = false) {
            QTest::newRow(name) << QString(record) << QString(settings) << QString(figures)
                                << QString(note) << german;
        };
        // clang-format off
        row("worked example, tax on", "3/1/2026|3/4/2026|100.00", "10|-|.08", "3 $10.00 $30.00 $140.40");
        row("worked example, de_DE", "01.03.2026|04.03.2026|100.00", "10|-|.08", "3 $10.00 $30.00 $140.40", "", true);
        row("de_DE, comma rate", "01.03.2026|04.03.2026|1234567.50", "0|-|0,5", "3 $.00 $.00 $1851851.25", "", true);
        row("Tax No", "3/1/2026|3/4/2026|100.00", "10|No|.08", "3 $10.00 $30.00 $130.00");
        row("Tax no in lower case still taxes", "3/1/2026|3/4/2026|100.00", "10|no|.08", "3 $10.00 $30.00 $140.40");
        row("released the day of towing", "3/1/2026|3/1/2026|100.00", "10|No|-", "0 $10.00 $.00 $100.00");
        row("released before towed", "3/4/2026|3/1/2026|100.00", "10|No|-", "0 $10.00 $.00 $100.00",
            "Released (3/1/2026) before towed (3/4/2026): 0 days counted.");
        row("blank release: to today", "12/1/2026|  |100.00", "10|No|-", "5 $10.00 $50.00 $150.00");
        row("no such day towed", "11/31/2026|12/4/2026|100.00", "10|No|-", "0 $10.00 $.00 $100.00",
            "Date towed \"11/31/2026\" is not a date");
        row("unreadable release", "3/1/2026|soon|100.00", "10|No|-", "0 $10.00 $.00 $100.00",
            "Date released \"soon\" is not a date");
        row("absent storage fee", "3/1/2026|3/4/2026|100.00", "-|No|-", "3 $.00 $.00 $100.00");
        row("negative storage fee", "3/1/2026|3/4/2026|100.00", "-10|No|-", "3 $.00 $.00 $100.00",
            "The storage fee in the settings is below zero");
        row("unreadable tax rate", "3/1/2026|3/4/2026|100.00", "10|-|eight", "3 $10.00 $30.00 $130.00");
        row("negative tax rate", "3/1/2026|3/4/2026|100.00", "10|-|-2", "3 $10.00 $30.00 $130.00",
            "The tax rate in the settings is below zero");
        row("tow fee with sign and grouping", "3/1/2026|3/1/2026|$1,000.00", "10|No|-", "0 $10.00 $.00 $1000.00");
        row("empty tow fee", "3/1/2026|3/4/2026|", "10|No|-", "3 $10.00 $30.00 $.00", "No tow fee");
        row("unreadable tow fee", "3/1/2026|3/4/2026|N/A", "10|-|.08", "3 $10.00 $30.00 $.00",
            "Tow fee \"N/A\" is not an amount");
        row("negative tow fee", "3/1/2026|3/4/2026|-50.00", "10|No|-", "3 $10.00 $30.00 $.00",
            "Tow fee -50.00 is below zero");
        // clang-format on
    }
    void figures()
    {
        QFETCH(QString, record);
        QFETCH(QString, settings);
        QFETCH(QString, note);
        QFETCH(bool, german);
        test::TestFolder folder;
        SettingsFile file(folder.settingsPath());
        const QStringList values = settings.split(u'|');
        const char *const keys[][2] = {
            {"Fee", "Storage Fee"}, {"Tow Fee", "Tax"}, {"Tow Fee", "Taxrate"}};
        for (int i = 0; i < 3; ++i)
            if (values[i] != "-")
                QVERIFY(file.write(keys[i][0], keys[i][1], values[i]));
        const QStringList parts = record.split(u'|');
        TowRecord r;
        r.set(TowField::toweddate, parts[0]);
        r.set(TowField::towedrelease, parts[1]);
        r.set(TowField::towedfee, parts[2]);
        const QLocale locale = german ? QLocale(QLocale::German, QLocale::Germany) : QLocale();
        const auto f = ChargeFigures::compute(r, file, QDate(2026, 12, 6), locale);
        QTEST(QStringList({f.daysText(), f.rateText(), f.storageText(), f.grandTotalText()})
                  .join(u' '),
              "figures");
        QVERIFY2(note.isEmpty() ? f.note.isEmpty() : f.note.startsWith(note), qPrintable(f.note));
        if (parts[1].trimmed().isEmpty()) // no release yet: today's short date stands in
            QCOMPARE(f.dateOut + " " + f.dateTowed, "12/6/2026 12/1/2026");
    }
};

QTEST_GUILESS_MAIN(ChargeFiguresTest)
#include "ChargeFigures_test.moc"
