#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <optional>

#include "FolderFixture.h"
#include "TipSettings.h"
#include "TipWindow.h"
#include "TestFiles.h"

using namespace tarnvale;

class TipWindowTest : public QObject
{
    Q_OBJECT

private:
    std::optional<test::FolderFixture> m_fx;

    static QString label(QWidget &w)
    {
        return w.findChild<QLabel *>(QStringLiteral("lblTipText"))->text();
    }
    static QPushButton *pushButton(QWidget &w, const char *name)
    {
        return w.findChild<QPushButton *>(QString::fromLatin1(name));
    }
    static QCheckBox *startupBox(QWidget &w)
    {
        return w.findChild<QCheckBox *>(QStringLiteral("chkLoadTipsAtStartup"));
    }
    static QTimer *timer(QWidget &w) { return w.findChild<QTimer *>(QStringLiteral("tmUnload")); }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init()
    {
        m_fx.emplace();
        test::writeFile(m_fx->folder.tipsPath(), "Right-click a group to add a vehicle to it.\n");
    }
    void cleanup() { m_fx.reset(); }

    void missingFile()
    {
        QVERIFY(QFile::remove(m_fx->folder.tipsPath()));
        TipWindow *w = TipWindow::open(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w == nullptr);
        QCOMPARE(m_fx->dialogs.count(), 1);
        QVERIFY(m_fx->dialogs.last().line().startsWith("Notice Exclamation Ok|"));
        QVERIFY(m_fx->dialogs.last().line().endsWith("|Can't find the tips file."));
    }

    void unreadableFile()
    {
        QVERIFY(QFile::remove(m_fx->folder.tipsPath()));
        QVERIFY(QDir(m_fx->dir.path()).mkdir(QStringLiteral("quorvel.tip")));
        TipWindow w(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w.load());
        QCOMPARE(label(w), QStringLiteral("That this installation might have been messed up? "
                                          "The tips file could not be found!"));
        QVERIFY(!pushButton(w, "cmdNextTip")->isEnabled() && !startupBox(w)->isEnabled());
        QCOMPARE(m_fx->dialogs.count(), 0);
    }

    // How the setting is written is the settings' own test; here the box's wiring.
    void startupBoxWritesItsSetting()
    {
        TipWindow w(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w.load());
        QVERIFY(!startupBox(w)->isChecked());
        QVERIFY(!QFile::exists(m_fx->settings.path())); // loading wrote nothing
        startupBox(w)->click();
        QVERIFY(TipSettings::showAtStartup(m_fx->settings));
        startupBox(w)->click();
        QVERIFY(!TipSettings::showAtStartup(m_fx->settings));
    }

    void closesItselfWhenItsTimerRunsOut()
    {
        test::writeFile(m_fx->settings.path(), "[Quorvel]\nStartupTips=1\n");
        QPointer<TipWindow> w = TipWindow::open(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w && timer(*w)->isActive());
        QCOMPARE(timer(*w)->interval(), 7500);
        QCOMPARE(timer(*w)->timerType(), Qt::PreciseTimer); // a coarse timer may fire 5% early
        // A shortened run proves the timeout closes the window.
        timer(*w)->setInterval(20);
        QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 2000);
    }


    void displayFont()
    {
        // A font the system has is used by every control; one it lacks gives the fallback.
        const QString present = QFontInfo(QFont()).family();
        for (const QString &family : {present, QStringLiteral("No Such Font Anywhere")}) {
            test::writeFile(m_fx->settings.path(), "[Quorvel]\nDisplayFont=" + family.toUtf8() + "\n");
            TipWindow w(m_fx->settings, m_fx->folder, m_fx->dialogs);
            QVERIFY(w.load());
            for (QWidget *control : w.findChildren<QWidget *>())
                QCOMPARE(control->font().family(), family == present ? present : "MS Sans Serif");
        }
    }

    void windowParts()
    {
        QPointer<TipWindow> w = TipWindow::open(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w && w->isVisible() && (w->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(!timer(*w)->isActive()); // only the other section's switch closes it
        QCOMPARE(label(*w), QStringLiteral("Right-click a group to add a vehicle to it."));
        QCOMPARE(m_fx->dialogs.count(), 0);

        QTest::mouseClick(pushButton(*w, "cmdOK"), Qt::LeftButton);
        QTRY_VERIFY(w.isNull());
    }

    void onlyEmptyLines()
    {
        test::writeFile(m_fx->folder.tipsPath(), "\n\n\n");
        TipWindow w(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w.load());
        QCOMPARE(label(w), QString());
        w.nextTip();
        QCOMPARE(label(w) + QString::number(w.currentTip()), QString("0"));
        QVERIFY(pushButton(w, "cmdNextTip")->isEnabled());
        QCOMPARE(m_fx->dialogs.count(), 0);
    }
};

QTEST_MAIN(TipWindowTest)
#include "TipWindow_test.moc"
