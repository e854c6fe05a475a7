#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "BackupWindow.h"
#include "DatabaseBackup.h"
#include "SampleDatabase.h"
#include "ScriptedDialogs.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "TestFolder.h"

using namespace tarnvale;
using test::ScriptedDialogs;
using test::ShownBox;

namespace {

const QString kCompany = QStringLiteral("Quorvel Towing & Recovery");

// One program folder with a settings file, a filled database in use and the window on it.
struct Fixture
{
    test::TestFolder folder;
    SettingsFile settings{folder.settingsPath()};
    RecordStore store;
    ScriptedDialogs dialogs;
    int resets = 0; // the store's announcements that every view must read again
    std::unique_ptr<BackupWindow> window;

    Fixture()
    {
        settings.write("Company", "Name", kCompany);
        store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing);
        test::fillSampleDatabase(store, 1500);
        QObject::connect(&store, &RecordStore::changed,
                         [this](const StoreChange &change) { resets += change.reset ? 1 : 0; });
        window = std::make_unique<BackupWindow>(store, settings, dialogs);
        window->show();
    }
    template <class T> T *child(const char *name) { return window->findChild<T *>(name); }
    QString status() { return child<QLabel>("Panel1")->text(); }
};

} // namespace

class BackupWindowTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // No destination keeps the window open; one that is not there is told and closes it. Then a
    // backup, work goes on, and the restore brings the saved state back.
    void refusedBackupAndRestore()
    {
        Fixture f;
        const QStringList savedRows = test::rowsOf(f.store);
        f.dialogs.queueFile("/media/ann/STICK"); // the browse button fills the box
        QTest::mouseClick(f.child<QPushButton>("cmdBrowse"), Qt::LeftButton);
        QCOMPARE(f.child<QComboBox>("Combo1")->currentText(), QString("/media/ann/STICK"));
        f.child<QComboBox>("Combo1")->setEditText(QString());
        QTest::mouseClick(f.child<QPushButton>("Command1"), Qt::LeftButton);
        QCOMPARE(f.dialogs.last().line(),
                 "Notice None Ok|" + kCompany + "|Please Select Destination from the box below");
        QVERIFY(f.window->isVisible());

        const QString unplugged = f.folder.file("unplugged");
        f.child<QComboBox>("Combo1")->setEditText(unplugged);
        QTest::mouseClick(f.child<QPushButton>("Command1"), Qt::LeftButton);
        QTRY_COMPARE(f.dialogs.count(), 3);
        QVERIFY(f.dialogs.last().line().startsWith("Notice Exclamation Ok|" + kCompany +
                                                   "|There is no disc in " + unplugged));
        QVERIFY(!f.window->isVisible());

        f.window->show();
        const QString destination = f.folder.file("stick");
        QVERIFY(QDir().mkpath(destination));
        auto *bar = f.child<QProgressBar>("ProgressBar1");
        f.child<QComboBox>("Combo1")->setEditText(destination);
        auto state = [&] { return QString::number(bar->value()) + u' ' + f.status(); };
        QString atMessage;
        f.dialogs.onShow = [&](const ShownBox &) { atMessage = state(); };

        QTest::mouseClick(f.child<QPushButton>("Command1"), Qt::LeftButton);
        // Running, the window does not close.
        f.window->close();
        QTest::keyClick(f.window.get(), Qt::Key_Escape);
        QVERIFY(f.window->isVisible());

        QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.count(), 4, 60000);
        QCOMPARE(f.dialogs.last().line(), "Notice Information Ok|" + kCompany +
                                              "|Your database is now Backed up and saved.");
        QCOMPARE(atMessage, "100 Saving to " + destination + " Drive.");
        QVERIFY(state() == QString("0 ") && !f.window->isVisible());

        // Its rows: DatabaseBackup's test.
        QVERIFY(test::fillSampleDatabase(f.store, 7, "later"));
        QVERIFY(test::rowsOf(f.store) != savedRows);
        const QString tow = destination + "/backup.tow";
        f.window->show();
        f.dialogs.queueFile(tow);
        f.dialogs.queueAnswer(Answer::Yes);
        QTest::mouseClick(f.child<QPushButton>("Command3"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.count(), 7, 60000);
        const QList<ShownBox> &shown = f.dialogs.shown();
        QCOMPARE(shown[4].kind, ShownBox::Kind::OpenFile);
        QCOMPARE(shown[4].text, QString("Backup files (*.tow)"));
        QVERIFY(shown[5].line().startsWith("Question ") && shown[5].title == kCompany &&
                shown[5].text.contains(tow));
        QVERIFY2(shown[6].line().startsWith("Notice Information Ok|" + kCompany +
                                            "|Your database has been restored."),
                 qPrintable(shown[6].line()));
        QCOMPARE(f.resets, 2); // closed, then the restored file opened in its place
        QVERIFY(f.store.path() == f.folder.databasePath() && test::rowsOf(f.store) == savedRows);
        QVERIFY(!f.window->isVisible());
    }

    // Cancel stops a running backup, and the earlier backup file stays as it was; the bar moves
    // while the database is copied.
    void cancelStopsTheBackup()
    {
        Fixture f;
        const QString destination = f.folder.file("stick");
        QVERIFY(QDir().mkpath(destination));
        test::writeFile(destination + "/backup.tow", "an older backup");
        f.child<QComboBox>("Combo1")->setEditText(destination);
        auto *cancel = f.child<QPushButton>("Command2");
        QStringList shown;
        QObject::connect(
            f.window->findChild<DatabaseBackup *>(), &DatabaseBackup::copying, [&](int p) {
                shown << QString::number(f.child<QProgressBar>("ProgressBar1")->value() - p) +
                             u' ' + f.status();
            });
        QTest::mouseClick(f.child<QPushButton>("Command1"), Qt::LeftButton);
        QVERIFY(cancel->isEnabled() && !f.child<QPushButton>("Command1")->isEnabled());
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(!cancel->isEnabled() && f.status() == "Stopping..." && f.window->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.count(), 1, 60000);
        QCOMPARE(f.dialogs.last().line(),
                 "Notice Information Ok|" + kCompany +
                     "|The backup was stopped. The backup file was not changed.");
        QCOMPARE(test::readFile(destination + "/backup.tow"), QByteArray("an older backup"));
        QVERIFY(!f.window->isVisible());

        f.window->show();
        shown.clear();
        QTest::mouseClick(f.child<QPushButton>("Command1"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.count(), 2, 60000);
        QVERIFY(f.dialogs.last().text == "Your database is now Backed up and saved." &&
                !shown.isEmpty() && shown.count("0 Copying Database") == shown.size());
    }
};

QTEST_MAIN(BackupWindowTest)
#include "BackupWindow_test.moc"
