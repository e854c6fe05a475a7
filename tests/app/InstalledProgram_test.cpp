// The program as installed: `cmake --install` into a fresh prefix, then the installed program
// started offscreen by an unprivileged user with a fresh home folder, whose bin folder it
// cannot write. Its files must appear in that user's data folder.
#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "TestFiles.h"

using namespace tarnvale::test;

class InstalledProgramTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void installedProgramKeepsItsFilesInTheUsersDataFolder()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QFile::setPermissions(root.path(), QFile::permissions(root.path()) | QFileDevice::ExeOther |
                                               QFileDevice::ReadOther);
        const QDir prefix(root.filePath("prefix"));
        QProcess install;
        install.start(QStringLiteral(CMAKE_COMMAND),
                      {"--install", QStringLiteral(TARNVALE_BUILD_DIR), "--prefix", prefix.path()});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
        for (const char *file : {"share/icons/hicolor/scalable/apps/tarnvale.svg",
                                 "share/icons/hicolor/48x48/apps/tarnvale.png",
                                 "share/icons/hicolor/256x256/apps/tarnvale.png",
                                 "share/tarnvale/Reports/report.rtf", "share/tarnvale/quorvel.tip"})
            QVERIFY2(QFileInfo::exists(prefix.filePath(file)), file);
        QVERIFY(readFile(prefix.filePath("share/applications/tarnvale.desktop"))
                    .contains("\nExec=tarnvale\n"));

        // A fresh home for the user who starts the program.
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

        // Started as "nobody" when the test runs as root (root can write anywhere); otherwise the
        // bin folder is read-only.
        QProcess program;
        QProcessEnvironment env;
        for (const char *name : {"HOME", "XDG_RUNTIME_DIR"})
            env.insert(name, home);
        env.insert("PATH", "/usr/bin:/bin");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("LC_ALL", "C.UTF-8");
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
        QVERIFY(QFileInfo(data.filePath("quorvel.tip")).size() > 0);
        if (asRoot) // the files are the unprivileged user's own
            QCOMPARE(QFileInfo(data.filePath("data.dll")).ownerId(), kUnprivileged);
        QCOMPARE(QDir(bin).entryList(QDir::Files),
                 (QStringList{"tarnvale", "tarnvale-export", "tarnvale-pack"}));
    }
};

QTEST_GUILESS_MAIN(InstalledProgramTest)
#include "InstalledProgram_test.moc"
