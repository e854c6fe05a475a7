#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "BackupWindow.h"
#include "RecordStore.h"
#include "SampleDatabase.h"
#include "ScriptedDialogs.h"
#include "SettingsFile.h"
#include "TestFolder.h"
#include "clsHuffman.h"

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
        settings.write(QStringLiteral("Company"), QStringLiteral("Name"), kCompany);
        store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing);
        test::fillSampleDatabase(store, 1500);
        QObject::connect(&store, &RecordStore::changed,
                         [this](const StoreChange &change) { resets += change.reset ? 1 : 0; });
        window = std::make_unique<BackupWindow>(store, settings, dialogs);
        window->show();
    }
    template <class T> T *child(const char *name) { return window->findChild<T *>(QLatin1String(name)); }
    QString status() { return child<QLabel>("Panel1")->text(); }
};

} // namespace

class BackupWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void browseAndCancel();
    void emptyDestination();
    void backupEndToEnd();
    void missingDestination();
    void restoreEndToEnd();
};

void BackupWindowTest::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

// The browse button puts the chosen folder in the box; Cancel closes.
void BackupWindowTest::browseAndCancel()
{
    Fixture f;
    f.dialogs.queueFile(QStringLiteral("/media/ann/STICK"));
    QTest::mouseClick(f.child<QPushButton>("cmdBrowse"), Qt::LeftButton);
    QCOMPARE(f.dialogs.last().kind, ShownBox::Kind::Folder);
    QCOMPARE(f.child<QComboBox>("Combo1")->currentText(), QStringLiteral("/media/ann/STICK"));
    QTest::mouseClick(f.child<QPushButton>("Command2"), Qt::LeftButton);
    QVERIFY(!f.window->isVisible());
}

void BackupWindowTest::emptyDestination()
{
    Fixture f;
    QTest::mouseClick(f.child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(f.dialogs.count(), 1);
    QCOMPARE(f.dialogs.last().kind, ShownBox::Kind::Notice);
    QCOMPARE(f.dialogs.last().title, kCompany);
    QCOMPARE(f.dialogs.last().text, QStringLiteral("Please Select Destination from the box below"));
    QCOMPARE(f.dialogs.last().icon, MessageIcon::None);
    QVERIFY(f.window->isVisible());
    QVERIFY(!f.child<QProgressBar>("ProgressBar1")->isVisible());
    QVERIFY(f.child<QPushButton>("Command1")->isEnabled());
}

void BackupWindowTest::backupEndToEnd()
{
    Fixture f;
    const QString destination = f.folder.file(QStringLiteral("stick"));
    QVERIFY(QDir().mkpath(destination));
    auto *bar = f.child<QProgressBar>("ProgressBar1");
    auto *combo = f.child<QComboBox>("Combo1");
    combo->setEditText(destination);

    QList<QPair<int, QString>> seen; // progress value and status text as each value arrives
    connect(bar, &QProgressBar::valueChanged, this,
            [&](int value) { seen.append({value, f.status()}); });
    QString statusAtMessage;
    int valueAtMessage = -1;
    f.dialogs.onShow = [&](const ShownBox &) {
        statusAtMessage = f.status();
        valueAtMessage = bar->value();
    };

    QTest::mouseClick(f.child<QPushButton>("Command1"), Qt::LeftButton);
    // Running: everything is disabled and the window does not close.
    QVERIFY(f.window->isBusy());
    QVERIFY(bar->isVisible());
    for (const char *name : {"Command1", "Command2", "Command3", "Combo1", "cmdBrowse"})
        QVERIFY2(!f.window->findChild<QWidget *>(QLatin1String(name))->isEnabled(), name);
    f.window->close();
    QVERIFY(f.window->isVisible());
    QTest::keyClick(f.window.get(), Qt::Key_Escape);
    QVERIFY(f.window->isVisible());

    QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.count(), 1, 60000);
    const ShownBox box = f.dialogs.last();
    QCOMPARE(box.title, kCompany);
    QCOMPARE(box.text, QStringLiteral("Your database is now Backed up and saved."));
    QCOMPARE(box.icon, MessageIcon::Information);
    QCOMPARE(valueAtMessage, 100);
    QCOMPARE(statusAtMessage, QStringLiteral("Saving to ") + destination + QStringLiteral(" Drive."));
    QVERIFY(seen.size() > 3);
    for (const auto &[value, status] : seen)
        if (value != 0)
            QCOMPARE(status, QStringLiteral("Compressing Database"));
    // Afterwards: reset and closed.
    QCOMPARE(bar->value(), 0);
    QCOMPARE(f.status(), QString());
    QVERIFY(!f.window->isVisible());
    QVERIFY(QFile::exists(destination + QStringLiteral("/backup.tow"))); // its rows: DatabaseBackup's test
}

void BackupWindowTest::missingDestination()
{
    Fixture f;
    const QString destination = f.folder.file(QStringLiteral("unplugged"));
    f.child<QComboBox>("Combo1")->setEditText(destination);
    QTest::mouseClick(f.child<QPushButton>("Command1"), Qt::LeftButton);
    QTRY_COMPARE(f.dialogs.count(), 1);
    QCOMPARE(f.dialogs.last().title, kCompany);
    QCOMPARE(f.dialogs.last().icon, MessageIcon::Exclamation);
    QCOMPARE(f.dialogs.last().text, QStringLiteral("There is no disc in ") + destination
                                        + QStringLiteral("\r\nPlease insert a disk to backup your "
                                                         "data\r\nThe folder does not exist or is "
                                                         "not mounted."));
    QVERIFY(!f.window->isVisible());
    QVERIFY(!f.window->isBusy());
}

void BackupWindowTest::restoreEndToEnd()
{
    Fixture f;
    const QStringList savedRows = test::allRows(f.store);
    const QString snapshot = f.folder.file(QStringLiteral("snapshot.db"));
    const QString tow = f.folder.file(QStringLiteral("backup.tow"));
    QVERIFY(f.store.backupTo(snapshot));
    clsHuffman().EncodeFile(snapshot.toStdString(), tow.toStdString());
    QFile::remove(snapshot);

    // Work goes on after the backup; the restore brings the saved state back.
    QVERIFY(test::fillSampleDatabase(f.store, 7, QStringLiteral("later")));
    const QStringList laterRows = test::allRows(f.store);
    QVERIFY(laterRows != savedRows);

    f.dialogs.queueFile(tow);
    f.dialogs.queueAnswer(Answer::Yes);
    QTest::mouseClick(f.child<QPushButton>("Command3"), Qt::LeftButton);
    QVERIFY(f.window->isBusy());
    QVERIFY(!f.child<QPushButton>("Command1")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.count(), 3, 60000);

    const QList<ShownBox> &shown = f.dialogs.shown();
    QCOMPARE(shown[0].kind, ShownBox::Kind::OpenFile);
    QCOMPARE(shown[0].text, QStringLiteral("Backup files (*.tow)"));
    QCOMPARE(shown[1].kind, ShownBox::Kind::Question);
    QCOMPARE(shown[1].title, kCompany);
    QVERIFY(shown[1].text.contains(tow));
    QCOMPARE(shown[2].kind, ShownBox::Kind::Notice);
    QCOMPARE(shown[2].icon, MessageIcon::Information);
    QVERIFY2(shown[2].text.startsWith(QStringLiteral("Your database has been restored.")),
             qPrintable(shown[2].text));
    QCOMPARE(f.resets, 2); // closed, then the restored file opened in its place
    QVERIFY(f.store.isOpen());
    QCOMPARE(f.store.path(), f.folder.databasePath());
    QCOMPARE(test::allRows(f.store), savedRows);
    QVERIFY(!f.window->isVisible());
}

QTEST_MAIN(BackupWindowTest)
#include "BackupWindow_test.moc"
