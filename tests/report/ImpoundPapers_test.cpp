// The figures the shipped papers print, worked by hand: the charge sheet and the lien notice
// print the rate, storage, tax and total as whole cents whose lines add up.
#include "ImpoundPapers.h"

#include <QLocale>
#include <QTest>
#include <QTextDocument>

#include "DetailPanel.h"
#include "ReportFiller.h"
#include "RtfReader.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "TestFolder.h"
#include "TowRecord.h"

using namespace tarnvale;

class ImpoundPapersTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Fee 100.00, towed 3/1, 3 days to 3/4, tax .0825, $40.00 paid: 130 x .0825 = 10.725
    // prints $10.73 and the total is the sum of the printed lines. A rate of 10.005 prints
    // $10.01 and storage is 3 x $10.01.
    void figures_data()
    {
        QTest::addColumn<QString>("paper");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QStringList>("printed");
        // clang-format off
        QTest::newRow("sheet") << "report" << "10" << QStringList{"$10.00", "$30.00", "Tax\n\t$10.73", "$140.73"};
        QTest::newRow("sheet, rate below a cent") << "report" << "10.005" << QStringList{"$10.01", "$30.03", "Tax\n\t$10.73", "$140.76"};
        QTest::newRow("notice") << "notice" << "10" << QStringList{"First notice", "March 06, 2026", "Amount Owed to Date\n$100.73", "Daily Storage Rate\n$10.00"};
        QTest::newRow("notice, rate below a cent") << "notice" << "10.005" << QStringList{"Amount Owed to Date\n$100.76", "Daily Storage Rate\n$10.01"};
        // clang-format on
    }
    void figures()
    {
        QFETCH(QString, paper);
        QFETCH(QString, rate);
        test::TestFolder folder;
        const SettingsFile settings(folder.settingsPath());
        QVERIFY(settings.write("Fee", "Storage Fee", rate) && settings.write("Tow Fee", "Taxrate", ".0825"));
        TowRecord r;
        r.set(TowField::toweddate, "3/1/2026");
        r.set(TowField::towedfee, "100.00");
        const QDate today(2026, 3, 4);
        ImpoundState state;
        state.payments.append(Payment());
        state.payments.last().cents = 4000;
        const QString source = QString::fromLatin1(test::readFile(TARNVALE_RESOURCES_DIR "/Reports/" + paper + ".rtf"));
        const QString filled = paper == u"notice"
            ? ImpoundPapers::fillNotice(source, r, state, LienDeadline{"First notice", QDate(2026, 3, 6), {}}, settings, today)
            : ReportFiller::fill(source, DetailPanel::vehicleSheet(r, settings, today).snapshot, {}, today);
        QTextDocument doc;
        QVERIFY(RtfReader::read(filled.toLatin1(), doc, 96).ok);
        const QString text = doc.toPlainText();
        QFETCH(QStringList, printed);
        for (const QString &line : printed)
            QVERIFY2(text.contains(line), qPrintable(line + " not in:\n" + text));
    }
};

QTEST_MAIN(ImpoundPapersTest)
#include "ImpoundPapers_test.moc"
