#include <QFile>
#include <QTest>

#include "ConfigSettings.h"
#include "FaultSeam.h"
#include "FolderFixture.h"
#include "TestFiles.h"

using namespace tarnvale;

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
        test::FolderFixture f;
        QByteArray text = "[Company]\nName=X\n";
        if (!line.isNull()) {
            const QByteArray value = line == "<empty>" ? QByteArray() : line;
            text += "[Tow Fee]\nTax=" + value + "\n[Program]\nExpanded=" + value + "\n";
        }
        test::writeFile(f.settings.path(), text);
        const ConfigValues loaded = ConfigSettings::load(f.settings);
        QTEST(loaded.tax, "taxOn");
        QTEST(loaded.expanded, "expandedOn");

        // Applying what was loaded stores the switches in their one form.
        ConfigSettings::apply(f.settings, loaded, {});
        QCOMPARE(f.settings.read("Tow Fee", "Tax"), loaded.tax ? "Yes" : "No");
        QCOMPARE(f.settings.read("Program", "Expanded"), loaded.expanded ? "Yes" : "No");
    }

    void loadsEveryValue()
    {
        test::FolderFixture f;
        // Another writer may have used other capitalisation of sections and keys.
        test::writeFile(
            f.settings.path(),
            "[company]\nname=Harbor Road Towing\naddress=14 Harbor Rd\ncity=Port Elm\n"
            "STATE=OR\nzip=97001\n[FEE]\nstorage fee=35\n[tow fee]\nlight=95\nmedium=150\n"
            "heavy=325.50\ntaxrate=.065\ntax=Yes\n[program]\nexpanded=No\n"
            "[database]\npath=/srv/tow/data.dll\n");
        QCOMPARE(ConfigSettings::load(f.settings),
                 ConfigValues("Harbor Road Towing", "14 Harbor Rd", "Port Elm", "OR", "97001", "35",
                              "95", "150", "325.50", ".065", true, false, "/srv/tow/data.dll"));
        QVERIFY(QFile::remove(f.settings.path())); // no file: every value empty
        QCOMPARE(ConfigSettings::load(f.settings), ConfigValues());
    }

    void applyIsOneReplacement()
    {
        test::FolderFixture f;
        test::writeFile(
            f.settings.path(),
            "[Company]\nName=Old Name\n[Program]\nExpanded=Yes\n[Notes]\nnotes=keep me\n");
        // Values are stored as typed, whatever they hold.
        const ConfigValues v("Harbor Road Towing", "  12 Elm St  ", "Saint-Rémi", "OR", "97001",
                             "thirty", "95", "150", "325.50", "7%", true, false,
                             "/srv/tow/data.dll");
        QStringList seen;
        const auto caption = [&](const QString &name) {
            seen << name << f.settings.read("Program", "Expanded");
        };

        // All thirteen values go in with one replacement of the file, then the caption.
        FaultSeam::disarm();
        QVERIFY(ConfigSettings::apply(f.settings, v, caption));
        QCOMPARE(FaultSeam::steps(), 5); // create, write, flush, rename, flush the folder
        QCOMPARE(seen, QStringList({"Harbor Road Towing", "No"}));
        QCOMPARE(ConfigSettings::load(f.settings), v);
        // Other keys kept; the report reads the company keys in small letters.
        QCOMPARE(f.settings.read("Notes", "notes") + "|" + f.settings.read("company", "address"), "keep me|" + v.address);
    }
};

QTEST_GUILESS_MAIN(ConfigSettingsTest)
#include "ConfigSettings_test.moc"
