#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QTest>

#include "IniFile.h"
#include "TestFolder.h"
#include "TestFiles.h"

using tarnvale::IniFile;
namespace test = tarnvale::test;

class IniFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void read_data();
    void read();
    void readMissingFileGivesDefault();
    void writeCreatesFileSectionAndKey();
    void writeReplacesInPlaceAndKeepsEverythingElse();
    void writeAddsKeyToExistingSection();
    void roundTrip_data();
    void roundTrip();
    void valueCannotInjectLines();
    void writeFailureLeavesOldFile();
};

void IniFileTest::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray company = "[Company]\r\nName=Harbor Towing\r\nAddress=12 Dock St\r\n";
    QTest::newRow("plain") << company << "Company" << "Name" << "Harbor Towing";
    QTest::newRow("key in other case") << company << "company" << "address" << "12 Dock St";
    QTest::newRow("missing section") << QByteArray("[Fee]\r\nStorage Fee=20\r\n") << "Company"
                                     << "Name" << "<default>";
    QTest::newRow("missing key") << company << "Company" << "Zip" << "<default>";
    QTest::newRow("present but empty") << QByteArray("[Notes]\r\nnotes=\r\n") << "Notes" << "notes" << "";
    QTest::newRow("key with a blank") << QByteArray("[Fee]\r\nStorage Fee = 25.50 \r\n") << "fee"
                                      << "storage fee" << "25.50";
    QTest::newRow("same key in another section")
        << QByteArray("[A]\nName=first\n[B]\nName=second\n") << "B" << "Name" << "second";
    QTest::newRow("comment lines skipped")
        << QByteArray("; made by hand\n[Tow Fee]\n# light tows\nLight=75\n") << "Tow Fee" << "Light" << "75";
    QTest::newRow("value longer than 199 characters")
        << QByteArray("[Notes]\nnotes=") + QByteArray(250, 'x') + "\n" << "Notes" << "notes"
        << QString(250, u'x');
    QTest::newRow("Windows path keeps backslashes")
        << QByteArray("[Database]\r\nPath=C:\\new\\towing\\data.dll\r\n") << "Database" << "Path"
        << "C:\\new\\towing\\data.dll";
    QTest::newRow("quoted value with escapes")
        << QByteArray("[Notes]\nnotes=\"line one\\r\\nline \\\"two\\\"\"\n") << "Notes" << "notes"
        << "line one\r\nline \"two\"";
    QTest::newRow("Windows-1252 file") << QByteArray("[Company]\r\nName=Caf\xe9 \x80 Towing\r\n")
                                       << "Company" << "Name" << QString::fromUtf8("Café € Towing");
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xef\xbb\xbf[Company]\nName=Caf\xc3\xa9\n")
                                    << "Company" << "Name" << QString::fromUtf8("Café");
    QTest::newRow("equals sign inside the value") << QByteArray("[X]\nk=a=b\n") << "X" << "k" << "a=b";
}

void IniFileTest::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    tarnvale::test::TestFolder folder;
    test::writeFile(folder.settingsPath(), content);
    QTEST(IniFile::read(folder.settingsPath(), section, key, QStringLiteral("<default>")), "expected");
}

void IniFileTest::readMissingFileGivesDefault()
{
    tarnvale::test::TestFolder folder;
    QCOMPARE(IniFile::read(folder.settingsPath(), "Company", "Name"), QString());
    QCOMPARE(IniFile::read(folder.settingsPath(), "Quorvel", "DisplayFont", "Tahoma"), QString("Tahoma"));
    QVERIFY(!QFile::exists(folder.settingsPath()));
}

void IniFileTest::writeCreatesFileSectionAndKey()
{
    tarnvale::test::TestFolder folder;
    QVERIFY(IniFile::write(folder.settingsPath(), "Company", "Name", "Harbor Towing"));
    QCOMPARE(test::readFile(folder.settingsPath()), QByteArray("[Company]\r\nName=Harbor Towing\r\n"));
    QVERIFY(IniFile::write(folder.settingsPath(), "Fee", "Storage Fee", "20"));
    QCOMPARE(test::readFile(folder.settingsPath()),
             QByteArray("[Company]\r\nName=Harbor Towing\r\n\r\n[Fee]\r\nStorage Fee=20\r\n"));
}

void IniFileTest::writeReplacesInPlaceAndKeepsEverythingElse()
{
    tarnvale::test::TestFolder folder;
    test::writeFile(folder.settingsPath(),
               "; kept\r\n[Company]\r\nNAME = Old Name\r\nCity=Salem\r\n\r\n[Tow Fee]\r\nLight=75\r\n");
    QVERIFY(IniFile::write(folder.settingsPath(), "company", "name", "New Name"));
    QCOMPARE(test::readFile(folder.settingsPath()),
             QByteArray("; kept\r\n[Company]\r\nNAME=New Name\r\nCity=Salem\r\n\r\n[Tow Fee]\r\nLight=75\r\n"));
}

void IniFileTest::writeAddsKeyToExistingSection()
{
    tarnvale::test::TestFolder folder;
    test::writeFile(folder.settingsPath(), "[Company]\r\nName=A\r\n\r\n[Tow Fee]\r\nLight=75\r\n");
    QVERIFY(IniFile::write(folder.settingsPath(), "Company", "Zip", "44101"));
    QCOMPARE(test::readFile(folder.settingsPath()),
             QByteArray("[Company]\r\nName=A\r\nZip=44101\r\n\r\n[Tow Fee]\r\nLight=75\r\n"));
    QCOMPARE(IniFile::read(folder.settingsPath(), "Tow Fee", "Light"), QString("75"));
}

void IniFileTest::roundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("empty") << "";
    QTest::newRow("notes with line breaks") << "Type what you need here \r\nand press save.\r\n";
    QTest::newRow("lone LF and CR") << "a\nb\rc";
    QTest::newRow("leading and trailing blanks") << "  padded  ";
    QTest::newRow("wrapped in quotes") << "\"quoted\"";
    QTest::newRow("backslashes") << "C:\\data\\n\\data.dll";
    QTest::newRow("quoted with backslashes and breaks") << "\"x\\\"\r\n\\";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Müller Abschlepp — 24h ✓");
    QTest::newRow("long") << QString(5000, u'n');
    QTest::newRow("tab") << "a\tb";
}

void IniFileTest::roundTrip()
{
    QFETCH(QString, value);
    tarnvale::test::TestFolder folder;
    QVERIFY(IniFile::write(folder.settingsPath(), "Notes", "notes", value));
    QVERIFY(IniFile::write(folder.settingsPath(), "Company", "Name", "after"));
    QCOMPARE(IniFile::read(folder.settingsPath(), "Notes", "notes", "<default>"), value);
    QCOMPARE(IniFile::read(folder.settingsPath(), "Company", "Name"), QString("after"));
    // Writing it again over itself gives the same file.
    const QByteArray before = test::readFile(folder.settingsPath());
    QVERIFY(IniFile::write(folder.settingsPath(), "Notes", "notes", value));
    QCOMPARE(test::readFile(folder.settingsPath()), before);
}

void IniFileTest::valueCannotInjectLines()
{
    tarnvale::test::TestFolder folder;
    const QString hostile = QStringLiteral("x\r\n[Database]\r\nPath=/tmp/evil.dll\r\nName=y");
    QVERIFY(IniFile::write(folder.settingsPath(), "Company", "Name", hostile));
    QCOMPARE(IniFile::read(folder.settingsPath(), "Database", "Path", "<none>"), QString("<none>"));
    QCOMPARE(IniFile::read(folder.settingsPath(), "Company", "Name"), hostile);
    QCOMPARE(test::readFile(folder.settingsPath()).count("\n"), 2); // header line and one entry line
}

void IniFileTest::writeFailureLeavesOldFile()
{
    tarnvale::test::TestFolder folder;
    const QString missingDir = folder.file("no/such/folder/settings.ini");
    QVERIFY(!IniFile::write(missingDir, "Company", "Name", "x"));

    // A path that is a folder cannot be replaced; nothing is left behind beside it.
    QVERIFY(QDir(folder.path()).mkdir("settings.ini"));
    QVERIFY(!IniFile::write(folder.settingsPath(), "Company", "Name", "x"));
    QVERIFY(QFileInfo(folder.settingsPath()).isDir());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

QTEST_GUILESS_MAIN(IniFileTest)
#include "IniFile_test.moc"
