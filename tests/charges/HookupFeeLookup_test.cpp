#include <QLocale>
#include <QTest>

#include "HookupFeeLookup.h"
#include "SettingsFile.h"
#include "TestFolder.h"

using namespace tarnvale;

class HookupFeeLookupTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void lookup_data()
    {
        QTest::addColumn<QString>("hookup");
        QTest::addColumn<bool>("changes");
        QTest::addColumn<QString>("charge");
        QTest::addColumn<bool>("editable");
        QTest::newRow("Light") << "Light" << true << "45.00" << false;
        QTest::newRow("Medium") << "Medium" << true << "$65" << false;
        QTest::newRow("Heavy absent gives empty") << "Heavy" << true << "" << false;
        QTest::newRow("Other") << "Other" << true << "" << true;
        QTest::newRow("lower case is not a class") << "light" << false << "" << false;
        QTest::newRow("blank around is not a class") << " Light" << false << "" << false;
        QTest::newRow("empty") << "" << false << "" << false;
    }
    void lookup()
    {
        QFETCH(QString, hookup);
        QFETCH(bool, changes);
        QFETCH(QString, charge);
        QFETCH(bool, editable);
        test::TestFolder folder;
        SettingsFile settings(folder.settingsPath());
        QVERIFY(settings.write("Tow Fee", "Light", "45.00"));
        QVERIFY(settings.write("Tow Fee", "Medium", "$65"));
        const auto fee = HookupFeeLookup(hookup, settings);
        QCOMPARE(fee.has_value(), changes);
        if (changes)
            QCOMPARE(*fee, (HookupFee{charge, editable}));
    }
};

QTEST_GUILESS_MAIN(HookupFeeLookupTest)
#include "HookupFeeLookup_test.moc"
