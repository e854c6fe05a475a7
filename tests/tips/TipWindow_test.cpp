#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "FolderFixture.h"
#include "TestFiles.h"
#include "TipSettings.h"
#include "TipWindow.h"

using namespace tarnvale;

class TipWindowTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // A tip on top until the user closes it (only the program's own switch closes it by
    // itself); opening writes nothing, the startup box writes its setting. A missing tips file
    // is told and no window opens; one that cannot be read says so in the window.
    void showsATipUntilClosed()
    {
        test::FolderFixture f;
        test::writeFile(f.folder.tipsPath(), "Right-click a group to add a vehicle to it.\n");
        QPointer<TipWindow> w = TipWindow::open(f.settings, f.folder, f.dialogs);
        QVERIFY(w && w->isVisible() && (w->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(!w->findChild<QTimer *>("tmUnload")->isActive());
        QCOMPARE(w->findChild<QLabel *>("lblTipText")->text(),
                 QStringLiteral("Right-click a group to add a vehicle to it."));
        QVERIFY(!QFile::exists(f.settings.path()));
        w->findChild<QCheckBox *>("chkLoadTipsAtStartup")->click();
        QVERIFY(TipSettings::showAtStartup(f.settings));
        w->findChild<QCheckBox *>("chkLoadTipsAtStartup")->click();
        QCOMPARE(f.settings.read("Tips", "StartupTips"), QString("0"));
        QTest::mouseClick(w->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
        QTRY_VERIFY(w.isNull());

        test::writeFile(f.settings.path(), "[Quorvel]\nStartupTips=1\n");
        w = TipWindow::open(f.settings, f.folder, f.dialogs);
        QTimer *timer = w ? w->findChild<QTimer *>("tmUnload") : nullptr;
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 7500);
        QCOMPARE(timer->timerType(), Qt::PreciseTimer); // a coarse timer may fire 5% early
        timer->setInterval(20); // a shortened run proves the timeout closes the window
        QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 2000);
        QCOMPARE(f.dialogs.count(), 0);

        QVERIFY(QFile::remove(f.folder.tipsPath()));
        QVERIFY(TipWindow::open(f.settings, f.folder, f.dialogs) == nullptr);
        QCOMPARE(f.dialogs.last().line(),
                 "Notice Exclamation Ok|Tarnvale|Can't find the tips file.");
        QVERIFY(QDir(f.dir.path()).mkdir("quorvel.tip"));
        TipWindow unreadable(f.settings, f.folder, f.dialogs);
        QVERIFY(unreadable.load());
        QCOMPARE(unreadable.findChild<QLabel *>("lblTipText")->text(),
                 QStringLiteral("That this installation might have been messed up? The tips file "
                                "could not be found!"));
        QCOMPARE(f.dialogs.count(), 1);
    }
};

QTEST_MAIN(TipWindowTest)
#include "TipWindow_test.moc"
