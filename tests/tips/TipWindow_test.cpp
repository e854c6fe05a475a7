#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <optional>

#include "FolderFixture.h"
#include "TestFiles.h"
#include "TipSettings.h"
#include "TipWindow.h"

using namespace tarnvale;

class TipWindowTest : public QObject
{
    Q_OBJECT

  private:
    std::optional<test::FolderFixture> m_fx;

  private Q_SLOTS:
    void init()
    {
        m_fx.emplace();
        test::writeFile(m_fx->folder.tipsPath(), "Right-click a group to add a vehicle to it.\n");
    }
    void cleanup() { m_fx.reset(); }

    // A missing tips file is told and no window opens; one that cannot be read says so in
    // the window.
    void missingOrUnreadableFile()
    {
        QVERIFY(QFile::remove(m_fx->folder.tipsPath()));
        QVERIFY(TipWindow::open(m_fx->settings, m_fx->folder, m_fx->dialogs) == nullptr);
        const QString line = m_fx->dialogs.last().line();
        QVERIFY2(line.startsWith("Notice Exclamation Ok|") &&
                     line.endsWith("|Can't find the tips file."),
                 qPrintable(line));
        QVERIFY(QDir(m_fx->dir.path()).mkdir("quorvel.tip"));
        TipWindow w(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w.load());
        QCOMPARE(w.findChild<QLabel *>("lblTipText")->text(),
                 QStringLiteral("That this installation might have been messed up? The tips file "
                                "could not be found!"));
        QCOMPARE(m_fx->dialogs.count(), 1);
    }

    // A tip on top until the user closes it (only the program's own switch closes it by
    // itself); opening writes nothing, the startup box writes its setting.
    void showsATipUntilClosed()
    {
        QPointer<TipWindow> w = TipWindow::open(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w && w->isVisible() && (w->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(!w->findChild<QTimer *>("tmUnload")->isActive());
        QCOMPARE(w->findChild<QLabel *>("lblTipText")->text(),
                 QStringLiteral("Right-click a group to add a vehicle to it."));
        QVERIFY(!QFile::exists(m_fx->settings.path()));
        w->findChild<QCheckBox *>("chkLoadTipsAtStartup")->click();
        QVERIFY(TipSettings::showAtStartup(m_fx->settings));
        w->findChild<QCheckBox *>("chkLoadTipsAtStartup")->click();
        QCOMPARE(m_fx->settings.read("Tips", "StartupTips"), QString("0"));
        QTest::mouseClick(w->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
        QCOMPARE(m_fx->dialogs.count(), 0);
    }

    void closesItselfWhenItsTimerRunsOut()
    {
        test::writeFile(m_fx->settings.path(), "[Quorvel]\nStartupTips=1\n");
        QPointer<TipWindow> w = TipWindow::open(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QTimer *timer = w ? w->findChild<QTimer *>("tmUnload") : nullptr;
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 7500);
        QCOMPARE(timer->timerType(), Qt::PreciseTimer); // a coarse timer may fire 5% early
        timer->setInterval(20); // a shortened run proves the timeout closes the window
        QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 2000);
    }
};

QTEST_MAIN(TipWindowTest)
#include "TipWindow_test.moc"
