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
#include "TestFiles.h"
#include "TestFolder.h"
#include "clsHuffman.h"

using namespace tarnvale;
using test::ScriptedDialogs;
using test::ShownBox;

using tarnvale::test::readFile;
using tarnvale::test::writeFile;

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
    void backupEndToEnd();
    void restoreEndToEnd();
    void restoreDeclinedOrFailed_data();
    void restoreDeclinedOrFailed();
};

void BackupWindowTest::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
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

void BackupWindowTest::restoreDeclinedOrFailed_data()
{
    QTest::addColumn<QString>("file");   // "" cancels the chooser
    QTest::addColumn<QByteArray>("bytes"); // content of the chosen file
    QTest::addColumn<int>("boxes");
    QTest::addColumn<QString>("says");
    QTest::newRow("chooser cancelled") << QString() << QByteArray() << 1 << QString();
    QTest::newRow("answer No") << QStringLiteral("good.tow") << QByteArray() << 2 << QString();
    QTest::newRow("not a backup") << QStringLiteral("junk.tow") << QByteArray("HE5\rjunk") << 2
                                  << QStringLiteral("identification string not found");
}

void BackupWindowTest::restoreDeclinedOrFailed()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(int, boxes);
    QFETCH(QString, says);
    Fixture f;
    const QStringList rows = test::allRows(f.store);
    const QByteArray before = readFile(f.folder.databasePath());
    QString path;
    if (!file.isEmpty()) {
        path = f.folder.file(file);
        if (bytes.isEmpty()) { // a good backup of another database, declined
            const QString other = f.folder.file(QStringLiteral("other.db"));
            RecordStore store;
            QVERIFY(store.open(other, RecordStore::OpenMode::CreateIfMissing));
            QVERIFY(test::fillSampleDatabase(store, 3, QStringLiteral("other")));
            store.close();
            clsHuffman().EncodeFile(other.toStdString(), path.toStdString());
            QFile::remove(other);
        } else {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(bytes);
        }
    }
    f.dialogs.queueFile(path);
    f.dialogs.queueAnswer(Answer::No);
    QTest::mouseClick(f.child<QPushButton>("Command3"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.dialogs.count(), boxes, 30000);
    QTRY_VERIFY(!f.window->isBusy());
    QTest::qWait(50);
    QCOMPARE(f.dialogs.count(), boxes);
    if (!says.isEmpty()) {
        QCOMPARE(f.dialogs.last().kind, ShownBox::Kind::Notice);
        QCOMPARE(f.dialogs.last().icon, MessageIcon::Exclamation);
        QVERIFY2(f.dialogs.last().text.contains(says), qPrintable(f.dialogs.last().text));
        QVERIFY(f.dialogs.last().text.endsWith(QStringLiteral("Your database was not changed.")));
    }
    QCOMPARE(f.resets, 0);
    QCOMPARE(readFile(f.folder.databasePath()), before);
    QCOMPARE(test::allRows(f.store), rows);
    QVERIFY(f.window->isVisible());
    QVERIFY(f.child<QPushButton>("Command1")->isEnabled());
    // No unpacked file is left beside the database.
    QVERIFY(QDir(f.folder.path()).entryList({QStringLiteral("*.restore-*")}, QDir::Files).isEmpty());
}

QTEST_MAIN(BackupWindowTest)
#include "BackupWindow_test.moc"
