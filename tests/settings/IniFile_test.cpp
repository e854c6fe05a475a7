#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "FaultSeam.h"
#include "IniFile.h"
#include "TestFiles.h"
#include "TestFolder.h"

using namespace tarnvale;

class IniFileTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QByteArray company = "[Company]\r\nName=Harbor Towing\r\nAddress=12 Dock St\r\n";
        // clang-format off
        QTest::newRow("plain") << company << "Company" << "Name" << "Harbor Towing";
        QTest::newRow("no file, never made") << QByteArray() << "Company" << "Name" << "<default>";
        QTest::newRow("key in other case") << company << "company" << "address" << "12 Dock St";
        QTest::newRow("missing section") << QByteArray("[Fee]\r\nStorage Fee=20\r\n") << "Company" << "Name" << "<default>";
        QTest::newRow("missing key") << company << "Company" << "Zip" << "<default>";
        QTest::newRow("present but empty") << QByteArray("[Notes]\r\nnotes=\r\n") << "Notes" << "notes" << "";
        QTest::newRow("key with a blank") << QByteArray("[Fee]\r\nStorage Fee = 25.50 \r\n") << "fee" << "storage fee" << "25.50";
        QTest::newRow("same key in another section") << QByteArray("[A]\nName=first\n[B]\nName=second\n") << "B" << "Name" << "second";
        QTest::newRow("comment lines skipped") << QByteArray("; by hand\n[Tow Fee]\n# light\nLight=75\n") << "Tow Fee" << "Light" << "75";
        QTest::newRow("Windows path keeps backslashes") << QByteArray("[Database]\r\nPath=C:\\new\\towing\\data.dll\r\n") << "Database" << "Path" << "C:\\new\\towing\\data.dll";
        QTest::newRow("quoted value with escapes") << QByteArray("[Notes]\nnotes=\"line one\\r\\nline \\\"two\\\"\"\n") << "Notes" << "notes" << "line one\r\nline \"two\"";
        QTest::newRow("Windows-1252 file") << QByteArray("[Company]\r\nName=Caf\xe9 \x80 Towing\r\n") << "Company" << "Name" << QString::fromUtf8("Café € Towing");
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xef\xbb\xbf[Company]\nName=Caf\xc3\xa9\n") << "Company" << "Name" << QString::fromUtf8("Café");
        QTest::newRow("equals sign inside the value") << QByteArray("[X]\nk=a=b\n") << "X" << "k" << "a=b";
        // Quotes typed by hand: only what the writer itself produces is decoded.
        QTest::newRow("inches: a quote at the end only") << QByteArray("[Fee]\nWheel=15\"\n") << "Fee" << "Wheel" << "15\"";
        QTest::newRow("a quote alone") << QByteArray("[Fee]\nMark=\"\n") << "Fee" << "Mark" << "\"";
        QTest::newRow("hand-quoted Windows path") << QByteArray("[Database]\r\nPath=\"C:\\new\\data.dll\"\r\n") << "Database" << "Path" << "C:\\new\\data.dll";
        // clang-format on
    }

    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        test::TestFolder folder;
        if (!content.isNull())
            test::writeFile(folder.settingsPath(), content);
        QTEST(IniFile::read(folder.settingsPath(), section, key, QStringLiteral("<default>")),
              "expected");
        QCOMPARE(QFile::exists(folder.settingsPath()), !content.isNull());
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("after");
        const QByteArray two = "[Company]\r\nName=A\r\n\r\n[Tow Fee]\r\nLight=75\r\n";
        // clang-format off
        QTest::newRow("new file") << QByteArray() << "Company" << "Name" << QByteArray("[Company]\r\nName=v\r\n");
        QTest::newRow("new section after a blank line") << QByteArray("[Company]\r\nName=A\r\n") << "Fee" << "Storage Fee" << QByteArray("[Company]\r\nName=A\r\n\r\n[Fee]\r\nStorage Fee=v\r\n");
        QTest::newRow("new key at its section's end") << two << "Company" << "Zip" << QByteArray("[Company]\r\nName=A\r\nZip=v\r\n\r\n[Tow Fee]\r\nLight=75\r\n");
        QTest::newRow("replaced in place, its spelling kept") << QByteArray("; kept\r\n[Company]\r\nNAME = Old\r\nCity=Salem\r\n") << "company" << "name" << QByteArray("; kept\r\n[Company]\r\nNAME=v\r\nCity=Salem\r\n");
        // clang-format on
    }

    void write()
    {
        QFETCH(QByteArray, before);
        test::TestFolder folder;
        if (!before.isNull())
            test::writeFile(folder.settingsPath(), before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QVERIFY(IniFile::write(folder.settingsPath(), section, key, "v"));
        QTEST(test::readFile(folder.settingsPath()), "after");
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("notes with breaks") << "Type what you need here \r\nand press save.\r\n";
        QTest::newRow("lone LF and CR") << "a\nb\rc";
        QTest::newRow("leading and trailing blanks") << "  padded  ";
        QTest::newRow("wrapped in quotes") << "\"quoted\"";
        QTest::newRow("backslashes") << "C:\\data\\n\\data.dll";
        QTest::newRow("quoted with backslashes and breaks") << "\"x\\\"\r\n\\";
        QTest::newRow("non-ASCII") << QString::fromUtf8("Müller Abschlepp — 24h ✓");
        QTest::newRow("injected section") << "x\r\n[Database]\r\nPath=/tmp/evil.dll\r\nName=y";
    }

    void roundTrip()
    {
        QFETCH(QString, value);
        test::TestFolder folder;
        QVERIFY(IniFile::write(folder.settingsPath(), "Notes", "notes", value));
        QVERIFY(IniFile::write(folder.settingsPath(), "Company", "Name", "after"));
        QCOMPARE(IniFile::read(folder.settingsPath(), "Notes", "notes", "<default>"), value);
        QCOMPARE(IniFile::read(folder.settingsPath(), "Database", "Path", "<none>"),
                 QString("<none>"));
        // Every value stays on its own line, and a plain one stands in the file as typed, for
        // people and programs reading it; writing a value again over itself gives the same file.
        const QByteArray before = test::readFile(folder.settingsPath());
        QVERIFY(before.endsWith("\r\n\r\n[Company]\r\nName=after\r\n") && before.count('\n') == 5);
        QVERIFY(IniFile::write(folder.settingsPath(), "Notes", "notes", value));
        QCOMPARE(test::readFile(folder.settingsPath()), before);
    }

    void unusableFileIsNeverReplaced_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        // clang-format off
        QTest::newRow("FIFO: never waited on") << "fifo" << "is not a regular file";
        QTest::newRow("larger than 16 MB") << "huge" << "is larger than 16 MB";
        QTest::newRow("unreadable for the user") << "unreadable" << "cannot be read: Permission denied";
        // clang-format on
    }

    void unusableFileIsNeverReplaced()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        test::TestFolder folder;
        const QString path = folder.settingsPath();
        const QByteArray name = QFile::encodeName(path);
        const QByteArray old =
            "[Company]\r\nName=Harbor Towing\r\n[Database]\r\nPath=/yard/data.dll\r\n";
        if (kind == u"fifo")
            QCOMPARE(::mkfifo(name.constData(), 0644), 0);
        else
            test::writeFile(path, old);
        if (kind == u"huge")
            QVERIFY(QFile::resize(path, IniFile::kMaxFileSize + 1)); // sparse: quick to make
        const bool unprivileged = kind == u"unreadable";
        if (unprivileged) {
            // Readable by nobody but its owner, who may only write it: as that user.
            QVERIFY(::chmod(QFile::encodeName(folder.path()).constData(), 0777) == 0);
            QVERIFY(::chmod(name.constData(), 0200) == 0);
            if (::geteuid() == 0)
                QVERIFY(::chown(name.constData(), test::kUnprivileged, test::kUnprivileged) == 0);
        }
        const qint64 size = QFileInfo(path).size();

        const test::ChildEnd end = test::runInChild(
            [&] {
                QString error;
                const bool refused =
                    IniFile::read(path, "Company", "Name", "<default>") == u"<default>" &&
                    IniFile::load(path).error.contains(message) &&
                    !IniFile::write(path, "Notes", "notes", "typed", &error) &&
                    error.contains(message);
                return refused ? 0 : 1;
            },
            unprivileged);
        QCOMPARE(end.status, 0);
        QCOMPARE(QFileInfo(path).size(), size);
        if (kind != u"fifo")
            QCOMPARE(test::readFile(path).left(old.size()), old);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::System).size(), 1);
    }

    void writeAllIsOneReplacement()
    {
        // Several values go in with one rename: a failure at any step leaves all the old ones.
        test::TestFolder folder;
        const QString path = folder.settingsPath();
        const QList<IniEntry> entries = {
            {"Company", "Name", "New"}, {"Tow Fee", "Light", "80"}, {"Company", "Zip", "44101"}};
        test::writeFile(path, "[Company]\r\nName=Old\r\n");
        FaultSeam::failAt(4, ENOSPC); // the rename
        QVERIFY(!IniFile::writeAll(path, entries));
        FaultSeam::disarm();
        QCOMPARE(test::readFile(path), QByteArray("[Company]\r\nName=Old\r\n"));
        QVERIFY(IniFile::writeAll(path, entries));
        QCOMPARE(test::readFile(path), QByteArray("[Company]\r\nName=New\r\nZip=44101\r\n\r\n"
                                                  "[Tow Fee]\r\nLight=80\r\n"));
    }
};

QTEST_GUILESS_MAIN(IniFileTest)
#include "IniFile_test.moc"
