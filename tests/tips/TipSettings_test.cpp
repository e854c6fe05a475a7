#include <QTest>

#include "SettingsFile.h"
#include "TestFiles.h"
#include "TestFolder.h"
#include "TipSettings.h"

using namespace tarnvale;

class TipSettingsTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // The switch the tips window offers, in its own section; the same key in the program's
    // section makes the window close itself, read as a number.
    void startupSwitches_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("show");
        QTest::addColumn<bool>("closes");
        // clang-format off
        QTest::newRow("section and key in other case") << QByteArray("[tips]\nstartuptips=1\n") << true << false;
        QTest::newRow("0") << QByteArray("[Tips]\nStartupTips=0\n") << false << false;
        QTest::newRow("01 is not 1") << QByteArray("[Tips]\nStartupTips=01\n") << false << false;
        QTest::newRow("no entry") << QByteArray("[Company]\nName=X\n") << false << false;
        QTest::newRow("only the other section") << QByteArray("[Quorvel]\nStartupTips=1\n") << false << true;
        QTest::newRow("other section, 01 reads as one") << QByteArray("[Quorvel]\nStartupTips=01\n") << false << true;
        QTest::newRow("other section, 0") << QByteArray("[Quorvel]\nStartupTips=0\n") << false << false;
        QTest::newRow("other section, 1.5") << QByteArray("[Quorvel]\nStartupTips=1.5\n") << false << false;
        QTest::newRow("other section, number then text") << QByteArray("[Quorvel]\nStartupTips=1abc\n") << false << false;
        // clang-format on
    }
    void startupSwitches()
    {
        QFETCH(QByteArray, file);
        test::TestFolder folder;
        test::writeFile(folder.settingsPath(), file);
        const SettingsFile settings(folder.settingsPath());
        QTEST(TipSettings::showAtStartup(settings), "show");
        QTEST(TipSettings::closesItself(settings), "closes");
    }

    // The font asked for when the system reports it (in any case), else the fallback.
    void fontOrFallback()
    {
        QCOMPARE(TipSettings::fontOrFallback("dejavu sans", "DejaVu Sans"), QString("dejavu sans"));
        QCOMPARE(TipSettings::fontOrFallback("Tahoma", "DejaVu Sans"), QString("MS Sans Serif"));
        QCOMPARE(TipSettings::fontOrFallback("", ""), QString("MS Sans Serif"));
    }
};

QTEST_GUILESS_MAIN(TipSettingsTest)
#include "TipSettings_test.moc"
