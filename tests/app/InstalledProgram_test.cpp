// The program as installed: `cmake --install` into a fresh prefix, its files and what the
// distribution's checkers say of them, then the installed program started offscreen by an
// unprivileged user with a fresh home folder, whose bin folder it cannot write. Its files must
// appear in that user's data folder.
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "TestFiles.h"

using namespace tarnvale::test;

namespace {
int mode(const QString &path) // file type and permissions
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0170777) : -1;
}

struct Run
{
    int status = -1;
    QByteArray out, err;
};

Run run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(120000))
        return {-1, {}, process.errorString().toUtf8()};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}
} // namespace

class InstalledProgramTest : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    const QDir prefix{root.filePath("prefix")};

  private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        QFile::setPermissions(root.path(), QFile::permissions(root.path()) | QFileDevice::ExeOther |
                                               QFileDevice::ReadOther);
        const Run install = run(QStringLiteral(CMAKE_COMMAND), {"--install", TARNVALE_BUILD_DIR,
                                                                "--prefix", prefix.path()});
        QVERIFY2(install.status == 0, install.err.constData());
    }

    void installedFilesPassTheDistributionsChecks()
    {
        QStringList files; // programs and folders 0755, every other file 0644
        for (QDirIterator it(prefix.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            const QFileInfo file(it.next());
            const int expected = file.isDir() ? S_IFDIR | 0755
                                 : file.path() == prefix.filePath("bin") ? S_IFREG | 0755
                                                                         : S_IFREG | 0644;
            QVERIFY2(mode(file.filePath()) == expected, qPrintable(file.filePath()));
            files << prefix.relativeFilePath(file.filePath());
        }
        for (const char *file : {"share/icons/hicolor/scalable/apps/tarnvale.svg",
                                 "share/icons/hicolor/48x48/apps/tarnvale.png",
                                 "share/icons/hicolor/256x256/apps/tarnvale.png",
                                 "share/tarnvale/Reports/report.rtf", "share/tarnvale/quorvel.tip",
                                 "share/doc/tarnvale/copyright", "share/doc/tarnvale/changelog.gz"})
            QVERIFY2(files.contains(file), file);
        QVERIFY(readFile(prefix.filePath("share/applications/tarnvale.desktop"))
                    .contains("\nExec=tarnvale\n"));
        const Run desktop =
            run("desktop-file-validate", {prefix.filePath("share/applications/tarnvale.desktop")});
        QVERIFY2(desktop.status == 0 && desktop.out.isEmpty(), desktop.out + desktop.err);
        const QString metainfo = prefix.filePath("share/metainfo/org.tarnvale.tarnvale.metainfo.xml");
        const Run appstream = run("appstreamcli", {"validate", "--no-net", metainfo});
        QVERIFY2(appstream.status == 0, appstream.out + appstream.err);
        QVERIFY(readFile(metainfo).contains("<release version=\"" TARNVALE_VERSION "\""));

        // Each program: its manual page, --help, --version and a wrong option.
        for (const QString program : {"tarnvale", "tarnvale-pack", "tarnvale-export"}) {
            const QString page = prefix.filePath("share/man/man1/" + program + ".1.gz");
            const Run man = run("man", {"--warnings", "-l", page});
            QVERIFY2(man.status == 0 && man.err.isEmpty(), man.err.constData());
            QVERIFY2(man.out.contains("NAME\n       " + program.toUtf8() + " - ") &&
                         man.out.contains("Tarnvale " TARNVALE_VERSION),
                     man.out.constData());
            const QString bin = prefix.filePath("bin/" + program);
            const Run help = run(bin, {"--help"}), version = run(bin, {"-v"}), wrong = run(bin, {"-z"});
            QVERIFY2(help.status == 0 && help.out.startsWith("Usage: " + QFile::encodeName(bin)) &&
                         help.err.isEmpty(),
                     help.out + help.err);
            QCOMPARE(version.status, 0);
            QCOMPARE(version.out, program.toUtf8() + " " TARNVALE_VERSION "\n");
            QVERIFY2(wrong.status == 2 && wrong.out.isEmpty() &&
                         wrong.err.startsWith(program.toUtf8() + ": Unknown option 'z'."),
                     wrong.err.constData());
        }
        QVERIFY(run(prefix.filePath("bin/tarnvale"), {"-h"}).out.contains("\n  --move-to-server "));
    }

    void installedProgramKeepsItsFilesInTheUsersDataFolder()
    {
        // A fresh home for the user who starts the program: "nobody" when the test runs as root
        // (root can write anywhere); otherwise the bin folder is made read-only.
        const QString home = root.filePath("home");
        QVERIFY(QDir().mkpath(home));
        const bool asRoot = ::geteuid() == 0;
        const QString bin = prefix.filePath("bin");
        if (asRoot)
            QCOMPARE(::chown(QFile::encodeName(home).constData(), kUnprivileged, kUnprivileged), 0);
        else
            QVERIFY(::chmod(QFile::encodeName(bin).constData(), 0555) == 0);
        const auto restore =
            qScopeGuard([&] { ::chmod(QFile::encodeName(bin).constData(), 0755); });

        QProcess program;
        QProcessEnvironment env;
        for (const QString &entry :
             QStringList{"HOME=" + home, "XDG_RUNTIME_DIR=" + home, "PATH=/usr/bin:/bin",
                         "QT_QPA_PLATFORM=offscreen", "LC_ALL=C.UTF-8"})
            env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        program.setProcessEnvironment(env);
        program.setChildProcessModifier([] {
            if (!becomeUnprivileged())
                ::_exit(127);
        });
        program.start(prefix.filePath("bin/tarnvale"));
        QVERIFY(program.waitForStarted());
        const QDir data(QDir(home).filePath(".local/share/Tarnvale"));
        // The tables are made in one transaction: it has ended when its journal is gone.
        QTRY_VERIFY2_WITH_TIMEOUT(QFileInfo(data.filePath("data.dll")).size() > 0 &&
                                      !QFileInfo::exists(data.filePath("data.dll-journal")),
                                  program.readAllStandardError().constData(), 30000);
        program.kill();
        program.waitForFinished();
        QCOMPARE(readFile(data.filePath("Reports/report.rtf")),
                 readFile(prefix.filePath("share/tarnvale/Reports/report.rtf")));
        // Help and tips are read where installed; settings go to the config folder.
        QVERIFY(!QFileInfo::exists(data.filePath("quorvel.tip")) &&
                !QFileInfo::exists(data.filePath("Reports/help.rtf")));
        // Customer data is the user's alone.
        QCOMPARE(mode(data.path()) + mode(home + "/.config/Tarnvale"), 2 * (S_IFDIR | 0700));
        QCOMPARE(mode(data.filePath("data.dll")), S_IFREG | 0600);
        if (asRoot) // the files are the unprivileged user's own
            QCOMPARE(QFileInfo(data.filePath("data.dll")).ownerId(), kUnprivileged);
        QCOMPARE(QDir(bin).entryList(QDir::Files),
                 (QStringList{"tarnvale", "tarnvale-export", "tarnvale-pack"}));
    }
};

QTEST_GUILESS_MAIN(InstalledProgramTest)
#include "InstalledProgram_test.moc"
