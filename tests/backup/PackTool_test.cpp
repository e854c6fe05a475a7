#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result
{
    int exitCode = -1;
    QString err;
};

Result pack(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(TARNVALE_PACK_PATH), args);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class PackToolTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip();
    void failures_data();
    void failures();
};

void PackToolTest::roundTrip()
{
    QTemporaryDir dir;
    QByteArray data;
    for (int i = 0; i < 20000; ++i)
        data += QByteArray::number(i * 37 % 1009) + (i % 7 ? " Ford " : " Chevrolet\r\n");
    const QString in = dir.filePath(QStringLiteral("data.dll"));
    const QString packed = dir.filePath(QStringLiteral("backup.tow"));
    const QString out = dir.filePath(QStringLiteral("restored.dll"));
    writeFile(in, data);
    Result r = pack({QStringLiteral("encode"), in, packed});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty());
    QCOMPARE(readFile(packed).left(4), QByteArray("HE3\r"));
    QVERIFY(readFile(packed).size() < data.size() * 3 / 4);
    r = pack({QStringLiteral("decode"), packed, out});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(readFile(out), data);
}

void PackToolTest::failures_data()
{
    QTest::addColumn<QStringList>("args"); // IN and OUT are names in the test folder
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("no arguments") << QStringList{} << QByteArray() << 2 << QStringLiteral("usage:");
    QTest::newRow("unknown command") << QStringList{QStringLiteral("pack"), QStringLiteral("in"),
                                                    QStringLiteral("out")}
                                     << QByteArray("x") << 2 << QStringLiteral("usage:");
    QTest::newRow("missing input") << QStringList{QStringLiteral("encode"), QStringLiteral("none"),
                                                  QStringLiteral("out")}
                                   << QByteArray() << 1
                                   << QStringLiteral("Source file does not exist");
    QTest::newRow("not a stream") << QStringList{QStringLiteral("decode"), QStringLiteral("in"),
                                                 QStringLiteral("out")}
                                  << QByteArray("HE7\rnot really") << 1
                                  << QStringLiteral("identification string not found");
    QByteArray badChecksum = QByteArray::fromHex("48 45 33 0d 07 02 00 00 00 02 00 61 01 62 01 02 02");
    QTest::newRow("bad checksum") << QStringList{QStringLiteral("decode"), QStringLiteral("in"),
                                                 QStringLiteral("out")}
                                  << badChecksum << 1 << QStringLiteral("checksum did not match");
    QTest::newRow("missing folder") << QStringList{QStringLiteral("encode"), QStringLiteral("in"),
                                                   QStringLiteral("gone/out")}
                                    << QByteArray("abcabc") << 1 << QStringLiteral("Path not found");
}

void PackToolTest::failures()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    QTemporaryDir dir;
    if (!input.isEmpty())
        writeFile(dir.filePath(QStringLiteral("in")), input);
    writeFile(dir.filePath(QStringLiteral("out")), "earlier result");
    for (int i = 1; i < args.size(); ++i)
        args[i] = dir.filePath(args[i]);

    const Result r = pack(args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    // The destination is written only after success.
    QCOMPARE(readFile(dir.filePath(QStringLiteral("out"))), QByteArray("earlier result"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), input.isEmpty() ? 1 : 2);
}

QTEST_GUILESS_MAIN(PackToolTest)
#include "PackTool_test.moc"
