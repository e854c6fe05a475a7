#include <QFile>
#include <QTest>

#include "SettingsFile.h"
#include "TestFolder.h"
#include "TipSettings.h"
#include "TestFiles.h"

using namespace tarnvale;

class TipSettingsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showAtStartup_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("show");
        QTest::newRow("1") << QByteArray("[Tips]\nStartupTips=1\n") << true;
        QTest::newRow("section and key in other case")
            << QByteArray("[tips]\nstartuptips=1\n") << true;
        QTest::newRow("0") << QByteArray("[Tips]\nStartupTips=0\n") << false;
        QTest::newRow("01 is not 1") << QByteArray("[Tips]\nStartupTips=01\n") << false;
        QTest::newRow("Yes is not 1") << QByteArray("[Tips]\nStartupTips=Yes\n") << false;
        QTest::newRow("empty") << QByteArray("[Tips]\nStartupTips=\n") << false;
        QTest::newRow("no entry") << QByteArray("[Company]\nName=X\n") << false;
        QTest::newRow("only the other section")
            << QByteArray("[Quorvel]\nStartupTips=1\n") << false;
    }

    void showAtStartup()
    {
        QFETCH(QByteArray, file);
        test::TestFolder folder;
        test::writeFile(folder.settingsPath(), file);
        QTEST(TipSettings::showAtStartup(SettingsFile(folder.settingsPath())), "show");
    }

    void setShowAtStartup()
    {
        test::TestFolder folder;
        const SettingsFile settings(folder.settingsPath());
        TipSettings::setShowAtStartup(settings, true);
        QCOMPARE(settings.read(QStringLiteral("Tips"), QStringLiteral("StartupTips")),
                 QStringLiteral("1"));
        QVERIFY(TipSettings::showAtStartup(settings));
        TipSettings::setShowAtStartup(settings, false);
        QCOMPARE(settings.read(QStringLiteral("Tips"), QStringLiteral("StartupTips")),
                 QStringLiteral("0"));
        QVERIFY(!TipSettings::showAtStartup(settings));
    }

    void readsAsOne_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("one");
        QTest::newRow("1") << "1" << true;
        QTest::newRow("01") << "01" << true;
        QTest::newRow("1.0") << "1.0" << true;
        QTest::newRow("blanks") << " 1 " << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("2") << "2" << false;
        QTest::newRow("1.5") << "1.5" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("word") << "Yes" << false;
        QTest::newRow("number then text") << "1abc" << false;
    }

    void readsAsOne()
    {
        QFETCH(QString, text);
        QTEST(TipSettings::readsAsOne(text), "one");
    }

    void closesItselfReadsItsOwnSection()
    {
        test::TestFolder folder;
        const SettingsFile settings(folder.settingsPath());
        test::writeFile(folder.settingsPath(), "[Tips]\nStartupTips=1\n");
        QVERIFY(!TipSettings::closesItself(settings));
        test::writeFile(folder.settingsPath(), "[Quorvel]\nStartupTips=1\n");
        QVERIFY(TipSettings::closesItself(settings));
        test::writeFile(folder.settingsPath(), "[Quorvel]\nStartupTips=0\n");
        QVERIFY(!TipSettings::closesItself(settings));
    }

    void displayFont()
    {
        test::TestFolder folder;
        const SettingsFile settings(folder.settingsPath());
        QCOMPARE(TipSettings::displayFont(settings), QStringLiteral("Tahoma"));
        test::writeFile(folder.settingsPath(), "[Quorvel]\nDisplayFont=DejaVu Serif\n");
        QCOMPARE(TipSettings::displayFont(settings), QStringLiteral("DejaVu Serif"));
    }

    void fontOrFallback_data()
    {
        QTest::addColumn<QString>("requested");
        QTest::addColumn<QString>("reported");
        QTest::addColumn<QString>("font");
        QTest::newRow("present") << "DejaVu Sans" << "DejaVu Sans" << "DejaVu Sans";
        QTest::newRow("reported in other case") << "dejavu sans" << "DejaVu Sans" << "dejavu sans";
        QTest::newRow("substituted") << "Tahoma" << "DejaVu Sans" << "MS Sans Serif";
        QTest::newRow("empty name") << "" << "" << "MS Sans Serif";
    }

    void fontOrFallback()
    {
        QFETCH(QString, requested);
        QFETCH(QString, reported);
        QTEST(TipSettings::fontOrFallback(requested, reported), "font");
    }
};

QTEST_GUILESS_MAIN(TipSettingsTest)
#include "TipSettings_test.moc"
