#include <QTest>

#include "ProgramFolder.h"
#include "TestFiles.h"
#include "TestFolder.h"

using tarnvale::ProgramFolder;
namespace test = tarnvale::test;

class ProgramFolderTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void locate_data()
    {
        QTest::addColumn<QStringList>("besideProgram"); // files in the executable's folder
        QTest::addColumn<QStringList>("userFiles");     // files already in the user's data folder
        QTest::addColumn<bool>("installed");            // installed files exist
        QTest::addColumn<bool>("expectBeside");
        QTest::addColumn<QString>("expectReport"); // Reports/report.rtf in the folder used

        // clang-format off
        QTest::newRow("build folder: beside itself") << QStringList{"tarnvale", "Reports/report.rtf", "quorvel.tip"} << QStringList{} << true << true << "beside";
        QTest::newRow("settings beside: beside itself") << QStringList{"tarnvale", "settings.ini"} << QStringList{} << true << true << "";
        QTest::newRow("installed: user folder, seeded") << QStringList{"tarnvale"} << QStringList{} << true << false << "installed";
        QTest::newRow("seeding keeps the user's own files") << QStringList{"tarnvale"} << QStringList{"Reports/report.rtf"} << true << false << "user";
        QTest::newRow("nothing installed: an empty user folder") << QStringList{"tarnvale"} << QStringList{} << false << false << "";
        // clang-format on
    }

    void locate()
    {
        QFETCH(QStringList, besideProgram);
        QFETCH(QStringList, userFiles);
        QFETCH(bool, installed);
        QFETCH(bool, expectBeside);
        test::TestFolder root;
        const QString bin = root.file("bin"), user = root.file("home/data/Tarnvale"),
                      share = root.file("share/tarnvale");
        for (const QString &name : besideProgram)
            test::writeFile(QDir(bin).filePath(name), "beside");
        for (const QString &name : userFiles)
            test::writeFile(QDir(user).filePath(name), "user");
        for (const char *name : {"Reports/report.rtf", "quorvel.tip"})
            if (installed)
                test::writeFile(QDir(share).filePath(name), "installed");

        QString error;
        const ProgramFolder folder = ProgramFolder::locate(bin, user, user, share, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(folder.path(), expectBeside ? bin : user);
        QTEST(QString::fromUtf8(test::readFile(folder.reportsPath("report.rtf"))), "expectReport");
        QCOMPARE(QFileInfo::exists(folder.tipsPath()),
                 expectBeside ? besideProgram.contains("quorvel.tip") : installed);
        QCOMPARE(QFileInfo::exists(user), !expectBeside);
        if (!expectBeside && installed) // the user's copies can be changed
            QVERIFY(QFileInfo(folder.reportsPath("report.rtf")).permissions() & QFileDevice::WriteOwner);

        // A user folder that cannot be made is reported; the folder is answered all the same.
        if (!expectBeside) {
            test::writeFile(root.file("blocker"), "a file");
            const QString blocked = root.file("blocker/Tarnvale");
            QCOMPARE(ProgramFolder::locate(bin, blocked, user, share, &error).path(), blocked);
            QVERIFY2(error.contains(blocked), qPrintable(error));
        }
    }

    // Installed and upgraded: settings move to the config folder, help and tips are read where
    // installed; a template the yard never changed takes the new default, one it changed is
    // kept, the new default beside it and the user told once.
    void upgradeKeepsTheYardsTemplates()
    {
        test::TestFolder root;
        const QString bin = root.file("bin"), user = root.file("data"),
                      config = root.file("config"), share = root.file("share");
        test::writeFile(QDir(bin).filePath("tarnvale"), "");
        for (const char *name : {"Reports/report.rtf", "Reports/receipt.rtf", "Reports/help.rtf",
                                 "quorvel.tip"})
            test::writeFile(QDir(share).filePath(name), "v1");
        test::writeFile(QDir(user).filePath("settings.ini"), "[Company]\nName=Ace\n");
        QStringList notes;
        ProgramFolder folder = ProgramFolder::locate(bin, user, config, share, nullptr, &notes);
        QCOMPARE((QStringList{folder.settingsPath(), QString(test::readFile(folder.settingsPath())),
                              folder.helpPath("help.rtf"), folder.tipsPath()}),
                 (QStringList{config + "/settings.ini", "[Company]\nName=Ace\n",
                              share + "/Reports/help.rtf", share + "/quorvel.tip"}));
        QVERIFY(!QFileInfo::exists(user + "/Reports/help.rtf"));
        test::writeFile(folder.reportsPath("receipt.rtf"), "ours");
        for (const char *name : {"Reports/report.rtf", "Reports/receipt.rtf"})
            test::writeFile(QDir(share).filePath(name), "v2");
        for (int start = 0; start < 2; ++start)
            folder = ProgramFolder::locate(bin, user, config, share, nullptr, &notes);
        QStringList templates;
        for (const char *name : {"report.rtf", "receipt.rtf", "receipt (new default).rtf"})
            templates << test::readFile(folder.reportsPath(name));
        QCOMPARE(templates, (QStringList{"v2", "ours", "v2"}));
        QCOMPARE(notes, QStringList{"A new receipt.rtf came with this version of the program. "
                                    "Yours is kept as you changed it; the new one is beside it "
                                    "as receipt (new default).rtf."});
    }
};

QTEST_GUILESS_MAIN(ProgramFolderTest)
#include "ProgramFolder_test.moc"
