#include <QFile>
#include <QTest>
#include <cerrno>

#include "ConfigSettings.h"
#include "FaultSeam.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "TestFolder.h"

using namespace tarnvale;

namespace {

ConfigValues sample()
{
    ConfigValues v;
    v.name = QStringLiteral("Harbor Road Towing");
    v.address = QStringLiteral("14 Harbor Rd");
    v.city = QStringLiteral("Port Elm");
    v.state = QStringLiteral("OR");
    v.zip = QStringLiteral("97001");
    v.storageFee = QStringLiteral("35");
    v.light = QStringLiteral("95");
    v.medium = QStringLiteral("150");
    v.heavy = QStringLiteral("325.50");
    v.taxRate = QStringLiteral(".065");
    v.tax = true;
    v.expanded = false;
    v.databasePath = QStringLiteral("/srv/tow/data.dll");
    return v;
}

} // namespace

class ConfigSettingsTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void switches_data()
    {
        QTest::addColumn<QByteArray>("line"); // "" for no entry at all
        QTest::addColumn<bool>("taxOn");      // on unless exactly "No", as the figures read it
        QTest::addColumn<bool>("expandedOn"); // on only for exactly "Yes"
        QTest::newRow("Yes") << QByteArray("Yes") << true << true;
        QTest::newRow("yes in small letters") << QByteArray("yes") << true << false;
        QTest::newRow("No") << QByteArray("No") << false << false;
        QTest::newRow("no in small letters") << QByteArray("no") << true << false;
        QTest::newRow("present but empty") << QByteArray("<empty>") << true << false;
        QTest::newRow("no entry") << QByteArray() << true << false;
    }

    void switches()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, taxOn);
        QFETCH(bool, expandedOn);
        test::TestFolder folder;
        QByteArray text = "[Company]\nName=X\n";
        if (!line.isNull()) {
            const QByteArray value = line == "<empty>" ? QByteArray() : line;
            text += "[Tow Fee]\nTax=" + value + "\n[Program]\nExpanded=" + value + "\n";
        }
        test::writeFile(folder.settingsPath(), text);
        const SettingsFile settings(folder.settingsPath());
        const ConfigValues loaded = ConfigSettings::load(settings);
        QCOMPARE(loaded.tax, taxOn);
        QCOMPARE(loaded.expanded, expandedOn);

        // Applying what was loaded stores the switches in their one form.
        ConfigSettings::apply(settings, loaded, {});
        QCOMPARE(settings.read(QStringLiteral("Tow Fee"), QStringLiteral("Tax")),
                 QString::fromLatin1(taxOn ? "Yes" : "No"));
        QCOMPARE(settings.read(QStringLiteral("Program"), QStringLiteral("Expanded")),
                 QString::fromLatin1(expandedOn ? "Yes" : "No"));
    }

    void loadsEveryValue()
    {
        test::TestFolder folder;
        // Another writer may have used other capitalisation of sections and keys.
        test::writeFile(
            folder.settingsPath(),
            "[company]\nname=Harbor Road Towing\naddress=14 Harbor Rd\ncity=Port Elm\n"
            "STATE=OR\nzip=97001\n[FEE]\nstorage fee=35\n[tow fee]\nlight=95\nmedium=150\n"
            "heavy=325.50\ntaxrate=.065\ntax=Yes\n[program]\nexpanded=No\n"
            "[database]\npath=/srv/tow/data.dll\n");
        QCOMPARE(ConfigSettings::load(SettingsFile(folder.settingsPath())), sample());
        QVERIFY(QFile::remove(folder.settingsPath())); // no file: every value empty
        QCOMPARE(ConfigSettings::load(SettingsFile(folder.settingsPath())), ConfigValues());
    }

    void applyIsOneReplacement()
    {
        test::TestFolder folder;
        const QByteArray old = "[Company]\nName=Old Name\n[Program]\nExpanded=Yes\n"
                               "[Notes]\nnotes=keep me\n";
        test::writeFile(folder.settingsPath(), old);
        const SettingsFile settings(folder.settingsPath());
        ConfigValues v = sample(); // values stored as typed, whatever they hold
        v.expanded = false;
        v.address = QStringLiteral("  12 Elm St  ");
        v.city = QStringLiteral("Saint-Rémi");
        v.storageFee = QStringLiteral("thirty");
        v.taxRate = QStringLiteral("7%");
        QStringList seen;
        const auto caption = [&](const QString &name) {
            seen << name << settings.read(QStringLiteral("Program"), QStringLiteral("Expanded"));
        };

        // All thirteen values go in with one replacement of the file, then the caption.
        FaultSeam::disarm();
        QVERIFY(ConfigSettings::apply(settings, v, caption));
        QCOMPARE(FaultSeam::steps(), 5); // create, write, flush, rename, flush the folder
        QCOMPARE(seen, QStringList({"Harbor Road Towing", "No"}));
        QCOMPARE(ConfigSettings::load(settings), v);
        QCOMPARE(settings.read(QStringLiteral("Notes"), QStringLiteral("notes")),
                 QStringLiteral("keep me"));
        // The report reads the company keys in small letters.
        QCOMPARE(settings.read(QStringLiteral("company"), QStringLiteral("address")), v.address);
    }
};

QTEST_GUILESS_MAIN(ConfigSettingsTest)
#include "ConfigSettings_test.moc"
