#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include "CodecFiles.h"
#include "TestFiles.h"
#include "clsHuffman.h"

using tarnvale::test::readFile;
using tarnvale::test::writeFile;

namespace {

struct Result
{
    int exitCode = -1;
    QString err;
};

Result pack(const QStringList &args, const QByteArray &input = {})
{
    QProcess process;
    process.start(TARNVALE_PACK_PATH, args);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}
} // namespace

class PackToolTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void failures_data()
    {
        QTest::addColumn<QStringList>("args"); // IN and OUT are names in the test folder
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");

        // clang-format off
        QTest::newRow("no arguments") << QStringList{} << QByteArray() << 2 << "usage:";
        QTest::newRow("unknown command") << QStringList{"pack", "in", "out"} << QByteArray("x") << 2 << "usage:";
        QTest::newRow("missing input") << QStringList{"encode", "none", "out"} << QByteArray() << 3 << "Source file does not exist";
        QTest::newRow("input is a folder") << QStringList{"encode", "/", "out"} << QByteArray() << 3 << "Source file / is a folder, not a file";
        QTest::newRow("input is a link loop") << QStringList{"encode", "loop", "out"} << QByteArray() << 3 << "loop of symbolic links";
        QTest::newRow("input out of reach") << QStringList{"encode", "out/in", "out"} << QByteArray() << 3 << "cannot be reached (Not a directory)";
        QTest::newRow("input is a device") << QStringList{"encode", "/dev/zero", "out"} << QByteArray() << 3 << "is a device, not a file";
        QTest::newRow("not a stream") << QStringList{"decode", "in", "out"} << QByteArray("HE7\rnot really") << 5 << "identification string not found";
        QTest::newRow("a zip file") << QStringList{"decode", "in", "out"} << QByteArray::fromHex("504b0304140000000000") + "lot4.txt" << 5 << "The data is corrupt";
        // A backup whose "HE3" became "HE0": its check refuses the bytes a stored stream would give.
        const std::vector<std::uint8_t> saved{'a', 'b'};
        std::vector<std::uint8_t> changed = tarnvale::clsHuffman().encode(saved);
        const auto check = tarnvale::clsHuffman::checkOf(saved);
        changed.insert(changed.end(), check.begin(), check.end());
        changed[2] = '0';
        QTest::newRow("a changed backup") << QStringList{"decode", "in", "out"} << QByteArray(reinterpret_cast<const char *>(changed.data()), qsizetype(changed.size())) << 5 << "SHA-256";
        // The other destinations refused: SafeOutput's own test.
        QTest::newRow("output is read-only") << QStringList{"encode", "in", "readonly"} << QByteArray("abcabc") << 4 << "is read-only";
        // clang-format on
    }

    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QString, message);

        QTemporaryDir dir;
        if (!input.isEmpty())
            writeFile(dir.filePath("in"), input);
        for (const char *name : {"out", "readonly"})
            writeFile(dir.filePath(name), "earlier result");
        QVERIFY(QFile::setPermissions(dir.filePath("readonly"), QFile::ReadOwner));
        QVERIFY(QFile::link("loop", dir.filePath("loop")));
        for (int i = 1; i < args.size(); ++i)
            if (!args[i].startsWith(u'/'))
                args[i] = dir.filePath(args[i]);

        const Result r = pack(args);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        // The destination is written only after success; nothing else is left behind.
        QCOMPARE(readFile(dir.filePath("out")), QByteArray("earlier result"));
        QCOMPARE(readFile(dir.filePath("readonly")), QByteArray("earlier result"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(),
                 input.isEmpty() ? 3 : 4);
    }

    void inputsAndOutputs()
    {
        QTemporaryDir dir;
        const QString packed = dir.filePath("backup.tow"), restored = dir.filePath("restored.dll");
        const QByteArray data = QByteArray("Harbor Towing, lot 4, 1998 Ford\r\n").repeated(3000);
        // A pipe is read to its end: "cat data.dll | tarnvale-pack encode /dev/stdin OUT".
        QCOMPARE(pack({"encode", "/dev/stdin", packed}, data).exitCode, 0);
        QVERIFY(pack({"decode", packed, restored}).exitCode == 0 && readFile(restored) == data);
        QVERIFY(readFile(packed).size() < data.size() * 3 / 4);
    }

    // A database in use: encode refuses it while its log holds saves; backup takes them all.
    void databaseInUse()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath("data.dll"), packed = dir.filePath("backup.tow"),
                      restored = dir.filePath("restored.dll");
        {
            QSqlDatabase yard = QSqlDatabase::addDatabase("QSQLITE", "yard");
            yard.setDatabaseName(db);
            QVERIFY(yard.open());
            QSqlQuery query(yard);
            for (const char *sql : {"PRAGMA journal_mode = WAL", "CREATE TABLE wrecker (custname)",
                                    "INSERT INTO wrecker VALUES ('Saved today')"})
                QVERIFY2(query.exec(sql), sql);
            const Result refused = pack({"encode", db, packed});
            QVERIFY2(refused.exitCode == 3 &&
                         refused.err.contains(db + "-wal beside " + db + " is not empty") &&
                         refused.err.contains("\"tarnvale-pack backup " + db + ' ' + packed + '"'),
                     qPrintable(refused.err));
            QVERIFY(!QFile::exists(packed) && pack({"backup", db, packed}).exitCode == 0);
        }
        QSqlDatabase::removeDatabase("yard");
        QCOMPARE(pack({"decode", packed, restored}).exitCode, 0);
        writeFile(db + "-wal", QByteArray()); // an empty log holds no saves
        QCOMPARE(pack({"encode", db, dir.filePath("again.tow")}).exitCode, 0);
        QCOMPARE(readFile(restored).mid(18, 2), QByteArray("\x01\x01")); // one file, no log
        QSqlDatabase copy = QSqlDatabase::addDatabase("QSQLITE", "copy");
        copy.setDatabaseName(restored);
        QSqlQuery saved(copy.open() ? copy : QSqlDatabase());
        QVERIFY(saved.exec("SELECT group_concat(custname) FROM wrecker") && saved.next());
        QCOMPARE(saved.value(0).toString(), "Saved today");
    }

    void silentFifoIsGivenUp()
    {
        // A FIFO nobody writes to: given up after the idle time (60 s for the tool), not waited
        // on for ever, and not taken for an empty input.
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath(QString("fifo")));
        QCOMPARE(::mkfifo(fifo.constData(), 0644), 0);
        try {
            tarnvale::CodecFiles::readAll(fifo.toStdString(), "test", 0, 100);
            QFAIL("a silent FIFO was read as empty");
        } catch (const tarnvale::CodecError &error) {
            QCOMPARE(error.side(), tarnvale::CodecError::Side::Input);
            QVERIFY2(
                QByteArray::fromStdString(error.description()).contains("Nothing to read from"),
                error.what());
        }
    }
};

QTEST_GUILESS_MAIN(PackToolTest)
#include "PackTool_test.moc"
