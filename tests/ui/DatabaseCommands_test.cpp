#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTest>

#include "DatabaseCommands.h"
#include "StoreFixture.h"
#include "TestFiles.h"

#include <sys/mount.h>
#include <unistd.h>

using namespace tarnvale;

namespace {

struct Fixture : test::StoreFixture
{
    Fixture() { settings.write("Company", "Name", "Harbor Towing"); }
    bool open() { return db.OpenDatabaseFile(); }
    qint64 addVehicle(const QString &group, const QString &year = "1999")
    {
        return test::addVehicle(store, group, year);
    }
};

} // namespace

class DatabaseCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openFailures_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("descriptionPart");
        QTest::newRow("configured path missing") << "missing" << "Could not find file";
        QTest::newRow("empty default file") << "zero" << "The database file is empty (0 bytes)";
        QTest::newRow("server down") << "down" << "connection to server on socket";
        QTest::newRow("full disk")
            << "full" << "is full (0 KB free), so the database cannot be opened; nothing";
    }

    void openFailures()
    {
        QFETCH(QString, setup);
        QFETCH(QString, descriptionPart);
        Fixture f;
        const bool atDefault = setup == "zero";
        QString path = atDefault ? f.folder.defaultDatabasePath() : f.dir.file("elsewhere.dll");
        if (setup == "down")
            path = "postgresql://clerk:hunter2@/yard?host=" + f.dir.path() + "&port=5";
        if (setup == "full") { // the engine's text was "disk I/O error"
            const QByteArray disk = QFile::encodeName(f.dir.file("disk"));
            if (::geteuid() != 0 || !QDir().mkdir(disk) ||
                ::mount("tmpfs", disk, "tmpfs", 0, "size=1m") != 0)
                QSKIP("needs root, to make a small disk");
            path = disk + "/data.dll";
            QVERIFY(RecordStore().open(path, RecordStore::OpenMode::CreateIfMissing));
            QFile filler(disk + "/filler");
            QVERIFY(filler.open(QIODevice::WriteOnly) && filler.write(QByteArray(2 << 20, 'x')));
        }
        const auto unmount =
            qScopeGuard([&] { ::umount2(QFile::encodeName(f.dir.file("disk")), MNT_DETACH); });
        if (atDefault)
            test::writeFile(path, QByteArray());
        else
            f.settings.write("Database", "Path", path);
        QVERIFY(!f.open());
        // A password in settings.ini is warned about once, never shown.
        QVERIFY(setup != "down" || (!f.open() && f.dialogs.shown().first().line().startsWith(
            "Notice Exclamation Ok|Password in settings.ini|The database path in settings.ini "
            "holds the password") && f.dialogs.shown().first().text.endsWith(
            "(chmod 600 ~/.pgpass); then remove the password from the path (" +
            RecordStore::shownPath(path) + ").")));
        QCOMPARE(f.dialogs.count(), setup == "down" ? 3 : 1);
        for (const test::ShownBox &box : f.dialogs.shown())
            QVERIFY(!box.text.contains("hunter2"));
        const QString prefix = "Notice Critical Ok|Database Error!|Error while initializing database: " +
                               RecordStore::shownPath(path) + "\r\n\r\n";
        const QString shown = f.dialogs.last().line();
        QVERIFY(!shown.contains("hunter2"));
        QVERIFY2(shown.startsWith(prefix) && shown.mid(prefix.size()).contains(descriptionPart), qPrintable(shown));
        // No stand-in database was made, and an empty file stays as it was.
        QCOMPARE(QFileInfo(f.folder.defaultDatabasePath()).exists(), atDefault);
        QCOMPARE(QFileInfo::exists(path), atDefault || setup == "full");
        // What the user does next is told that no database is open.
        QCOMPARE(f.db.AddGroup("Lot A"), -1);
        QCOMPARE(f.dialogs.last().text, QString("Unknown database error: \r\n\r\nThe database is not open."));
    }

    void foreignDatabaseOpensReadOnly()
    {
        Fixture f;
        QVERIFY(f.open());
        f.addVehicle("Lot A");
        QVERIFY(QSqlQuery(f.store.database())
                    .exec("CREATE TRIGGER wipe AFTER INSERT ON groups BEGIN DELETE FROM wrecker; END"));
        f.db.CloseDatabaseFile();

        QVERIFY(f.open());
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.dialogs.last().line(),
                 "Notice Exclamation Ok|Database Error!|The database " + f.folder.defaultDatabasePath()
                     + " holds objects this program does not create: trigger \"wipe\" on \"groups\""
                       "\r\n\r\nIt is open read-only: its records can be viewed and printed, but no "
                       "change can be saved. Remove those objects, or restore a backup, to work with "
                       "it again.");
        QCOMPARE(f.store.towRecordCount(), 1);
    }

    void removeVehicleAsksFirst()
    {
        Fixture f;
        QVERIFY(f.open());
        const qint64 id = f.addVehicle("Lot A");
        f.refreshes = 0;
        f.dialogs.queueAnswer(Answer::No);
        f.db.RemoveVehicle(QString::number(id));
        QCOMPARE(f.dialogs.count(), 1);
        QVERIFY(f.dialogs.last().line().endsWith(
            " YesNoDefaultNo|Harbor Towing|Are you sure you want to remove this Vehicle?\r\n\r\n1999 Ford Taurus"));
        QCOMPARE((QList<int>{int(f.store.towRecordCount()), f.refreshes}), (QList<int>{1, 0}));
        f.db.RemoveVehicle("42"); // an unknown id passes quietly
        QCOMPARE(f.dialogs.count(), 1);
    }

    // Refused names are told, and nothing is announced.
    void addGroupRefusals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        // clang-format off
        QTest::newRow("duplicate") << "Lot A" << "Notice Exclamation Ok|Duplicate Group|The group 'Lot A' Exists!\r\n\r\nPlease choose a unique group name";
        QTest::newRow("blank") << " \t " << "Notice Exclamation Ok|Group name|Please type a name for the group: a name that is empty or only blanks is not accepted.";
    QTest::newRow("engine refuses") << "Lot B" << "Notice Critical Ok|Database Error!|Unknown database error: \r\n\r\ngroups are locked";
        // clang-format on
    }

    void addGroupRefusals()
    {
        QFETCH(QString, name);
        Fixture f;
        QVERIFY(f.open());
        QCOMPARE(f.db.AddGroup("Lot A"), 1);
        QCOMPARE(f.refreshes, 1);
        QVERIFY(QSqlQuery(f.store.database())
                    .exec("CREATE TRIGGER nope BEFORE INSERT ON groups WHEN new.groupname = 'Lot B' "
                          "BEGIN SELECT RAISE(ABORT, 'groups are locked'); END"));
        QCOMPARE(f.db.AddGroup(name), -1);
        QTEST(f.dialogs.last().line(), "shown");
        QCOMPARE(f.refreshes, 1);
    }

    void removeGroupQuestionAndAnswers()
    {
        Fixture f;
        QVERIFY(f.open());
        QCOMPARE(f.db.AddGroup("Lot A"), 1);
        for (int i = 0; i < 3; ++i)
            f.addVehicle("Lot A");
        f.addVehicle("Lot B");
        f.refreshes = 0;

        f.dialogs.queueAnswer(Answer::No);
        QCOMPARE(f.db.RemoveGroup("Lot A"), std::nullopt);
        QCOMPARE(f.dialogs.last().line(),
                 QString("Question Exclamation YesNoDefaultNo|Vehicles in group|There are 3 vehicles(s) in this group, this "
                         "action will also remove these vehicles entries, are you sure you want to delete the group 'Lot A' ?"));
        // Vehicles, whether the group is there, announcements.
        auto state = [&] { return QList<int>{int(f.store.towRecordCount()), f.store.groupExists("Lot A"), f.refreshes}; };
        QCOMPARE(state(), (QList<int>{4, 1, 0}));
        f.dialogs.queueAnswer(Answer::Yes);
        QCOMPARE(f.db.RemoveGroup("Lot A"), 1);
        QCOMPARE(state(), (QList<int>{1, 0, 1}));

        // An empty group goes without a question; a name with no group row answers -1.
        QCOMPARE(f.db.AddGroup("Empty"), 1);
        const int shown = f.dialogs.count();
        QCOMPARE(f.db.RemoveGroup("Empty"), 1);
        QCOMPARE(f.db.RemoveGroup("  "), std::nullopt); // a blank name is no group
        QCOMPARE(f.dialogs.count(), shown);
        QCOMPARE(f.db.RemoveGroup("Never existed"), -1);

        // A removal the engine refuses is reported, and nothing is half done.
        QVERIFY(QSqlQuery(f.store.database())
                    .exec("CREATE TRIGGER hold BEFORE DELETE ON wrecker BEGIN SELECT RAISE(ABORT, 'on hold'); END"));
        QCOMPARE(f.db.AddGroup("Lot B"), 1);
        f.dialogs.queueAnswer(Answer::Yes);
        QCOMPARE(f.db.RemoveGroup("Lot B"), std::nullopt);
        QVERIFY(f.dialogs.last().line().endsWith("|Database Error!|Database error: \r\n\r\non hold"));
        QCOMPARE(f.store.towRecordCount(), 1);
    }

};

QTEST_GUILESS_MAIN(DatabaseCommandsTest)
#include "DatabaseCommands_test.moc"
