#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "FaultSeam.h"
#include "SafeOutput.h"
#include "TestFiles.h"

using namespace tarnvale;

namespace {

std::string local(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

bool replace(const QString &path, const QByteArray &bytes, std::string *error = nullptr)
{
    SafeOutput out(local(path));
    const bool ok =
        out.open() && out.write(bytes.constData(), std::size_t(bytes.size())) && out.commit();
    if (error)
        *error = out.errorText();
    return ok;
}

unsigned modeOf(const QString &path)
{
    struct stat st = {};
    return ::stat(local(path).c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
}

} // namespace

class SafeOutputTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void init() { ::umask(022); }
    void cleanup() { FaultSeam::disarm(); }

    // Killed at any step: the old file or the new one, whole; the next replacement of the same
    // file removes what the killed one left, but not a temporary file its process still holds.
    void crashAtEachStep()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath("backup.tow");
        const QByteArray fresh(200000, 'n');
        int leftovers = 0;
        for (int n = 1; n <= 5; ++n) {
            test::writeFile(out, "old");
            const test::ChildEnd end = test::runInChild([&] {
                FaultSeam::killAt(n);
                return replace(out, fresh) ? 0 : 1;
            });
            QVERIFY2(end.killed, qPrintable(QString("step %1").arg(n)));
            QVERIFY(test::readFile(out) == "old" || test::readFile(out) == fresh);
            leftovers += filesIn(dir.path()).size() - 1;
            QVERIFY(replace(out, "next") && filesIn(dir.path()) == QStringList{"backup.tow"});
        }
        QCOMPARE(leftovers, 3); // killed while writing, flushing and renaming
        std::string held;
        const int fd = SafeOutput::createTemporary(local(out), "tmp", held);
        QCOMPARE(modeOf(QString::fromStdString(held)), 0600u);
        QCOMPARE(SafeOutput::removeLeftovers(local(out)), 0);
        ::close(fd);
        QCOMPARE(SafeOutput::removeLeftovers(local(out)), 1);
    }

    void destinations_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<unsigned>("mode"); // of the file written; 0: refused
        QTest::addColumn<QString>("message");
        // clang-format off
        QTest::newRow("absent: 0666 less the umask") << "absent" << 0644u << QString();
        QTest::newRow("symbolic link: its file written") << "link" << 0640u << QString();
        QTest::newRow("link to nothing") << "dangling" << 0u << "symbolic link";
        QTest::newRow("FIFO") << "fifo" << 0u << "not a regular file";
        // clang-format on
    }
    void destinations()
    {
        QFETCH(QString, kind);
        QFETCH(unsigned, mode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString out = dir.filePath("out"), target = dir.filePath("target");
        test::writeFile(target, "old");
        ::chmod(local(target).c_str(), 0640);
        if (kind == u"link" || kind == u"dangling")
            QVERIFY(QFile::link(kind == u"link" ? target : dir.filePath("gone"), out));
        else if (kind == u"fifo")
            QCOMPARE(::mkfifo(local(out).c_str(), 0644), 0);
        const qsizetype before = filesIn(dir.path()).size();
        std::string error;
        QCOMPARE(replace(out, "new", &error), mode != 0);
        QVERIFY2(QString::fromStdString(error).contains(message), error.c_str());
        if (mode != 0) {
            QCOMPARE(test::readFile(out), QByteArray("new"));
            QCOMPARE(modeOf(kind == u"link" ? target : out), mode);
            QCOMPARE(QFileInfo(out).isSymLink(), kind == u"link");
        }
        QCOMPARE(filesIn(dir.path()).size(), before + (kind == u"absent" ? 1 : 0));
    }

    // Root writing through a link in a folder all may write: the kernel's protected links rule.
    void linksInSharedFolders_data()
    {
        QTest::addColumn<unsigned>("folderMode");
        QTest::addColumn<bool>("folderOfNobody");
        QTest::addColumn<bool>("linkOfNobody");
        QTest::addColumn<bool>("followed");
        QTest::newRow("another user's link, sticky") << 01777u << false << true << false;
        QTest::newRow("own link, sticky") << 01777u << false << false << true;
        QTest::newRow("the folder owner's link") << 01777u << true << true << true;
        QTest::newRow("another user's link, not sticky") << 0777u << false << true << true;
    }
    void linksInSharedFolders()
    {
        QFETCH(unsigned, folderMode);
        QFETCH(bool, folderOfNobody);
        QFETCH(bool, linkOfNobody);
        QFETCH(bool, followed);
        if (::geteuid() != 0)
            QSKIP("needs root, and another user to plant the link");
        QTemporaryDir dir;
        const QString shared = dir.filePath("shared"), secret = dir.filePath("secret");
        QVERIFY(QDir().mkdir(shared));
        QVERIFY(::chown(local(shared).c_str(), folderOfNobody ? test::kUnprivileged : 0, 0) == 0 &&
                ::chmod(local(shared).c_str(), folderMode) == 0);
        ::chmod(local(dir.path()).c_str(), 0755);
        test::writeFile(secret, "root's");
        ::chmod(local(secret).c_str(), 0600);
        const QString out = shared + "/out";
        const auto plant = [&] { return QFile::link("../secret", out) ? 0 : 1; };
        QCOMPARE((linkOfNobody ? test::runInChild(plant, true).status : plant()), 0);
        std::string error;
        QCOMPARE(replace(out, "new", &error), followed);
        QCOMPARE(test::readFile(secret), QByteArray(followed ? "new" : "root's"));
        QVERIFY2(followed || error == out.toStdString() + " is a symbolic link another user made in "
                             "the shared folder " + local(shared) + "; it is not followed. Remove "
                             "the link or write to another file.", error.c_str());
        QVERIFY(QFileInfo(out).isSymLink());
    }

    // Step n fails: the old file stays whole, nothing is left beside it, the failure is told.
    void eachStepFailing()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath("settings.ini");
        test::writeFile(out, "old");
        int failures = 0;
        for (int n = 1;; ++n) {
            FaultSeam::failAt(n, ENOSPC);
            std::string text;
            const bool ok = replace(out, "new contents", &text);
            const bool reached = FaultSeam::steps() >= n;
            FaultSeam::disarm();
            if (!reached) {
                QVERIFY(ok);
                break;
            }
            ++failures;
            QVERIFY2(!ok, qPrintable(QString("step %1 failed unnoticed").arg(n)));
            QVERIFY2(text.find(std::strerror(ENOSPC)) != std::string::npos, text.c_str());
            // Only the last step, flushing the folder, comes after the rename.
            const QByteArray now = test::readFile(out);
            QVERIFY2(now == "old" ||
                         (now == "new contents" && text.find("folder") != std::string::npos),
                     now.constData());
            QCOMPARE(filesIn(dir.path()), QStringList{"settings.ini"});
            test::writeFile(out, "old");
        }
        QCOMPARE(failures, 5); // create, write, flush the file, rename, flush the folder
    }

    // As a normal user: a file the user may not write, and a folder the user may not write in.
    void unprivilegedUser()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to own the files a normal user may not write");
        QTemporaryDir dir;
        ::chmod(local(dir.path()).c_str(), 0755);
        const QString foreign = dir.filePath("foreign.tow");
        test::writeFile(foreign, "old");
        ::chmod(local(foreign).c_str(), 0644);
        const QString fresh = dir.filePath("new.tow");
        const test::ChildEnd end = test::runInChild(
            [&] {
                std::string refused, denied;
                replace(foreign, "new", &refused);
                replace(fresh, "new", &denied);
                return int(refused.find("read-only") == std::string::npos ||
                           denied.find("Permission denied") == std::string::npos);
            },
            true);
        QVERIFY(end.status == 0 && test::readFile(foreign) == QByteArray("old"));
        QVERIFY(!QFile::exists(fresh));
    }
};

QTEST_GUILESS_MAIN(SafeOutputTest)
#include "SafeOutput_test.moc"
