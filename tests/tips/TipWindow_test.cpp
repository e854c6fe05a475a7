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
using test::ShownBox;

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
        const ShownBox box = m_fx->dialogs.last();
        QCOMPARE(box.text, QStringLiteral("Can't find the tips file."));
        QCOMPARE(box.icon, MessageIcon::Exclamation);
    }

    void unreadableFile()
    {
        QVERIFY(QFile::remove(m_fx->folder.tipsPath()));
        QVERIFY(QDir(m_fx->dir.path()).mkdir(QStringLiteral("quorvel.tip")));
        TipWindow w(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w.load());
        QCOMPARE(label(w), QStringLiteral("That this installation might have been messed up? "
                                          "The tips file could not be found!"));
        QVERIFY(!pushButton(w, "cmdNextTip")->isEnabled());
        QVERIFY(!startupBox(w)->isEnabled());
        QCOMPARE(m_fx->dialogs.count(), 0);
    }

    void startupBoxWritesItsSetting()
    {
        TipWindow w(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w.load());
        QVERIFY(!startupBox(w)->isChecked());
        QVERIFY(!QFile::exists(m_fx->settings.path())); // loading wrote nothing
        startupBox(w)->click();
        QCOMPARE(m_fx->settings.read(QStringLiteral("Tips"), QStringLiteral("StartupTips")),
                 QStringLiteral("1"));
        QVERIFY(TipSettings::showAtStartup(m_fx->settings));
        startupBox(w)->click();
        QCOMPARE(m_fx->settings.read(QStringLiteral("Tips"), QStringLiteral("StartupTips")),
                 QStringLiteral("0"));
    }

    void closesItselfWhenItsTimerRunsOut()
    {
        test::writeFile(m_fx->settings.path(), "[Quorvel]\nStartupTips=1\n");
        QPointer<TipWindow> w = TipWindow::open(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w);
        QVERIFY(timer(*w)->isActive());
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
        const QList<std::pair<QByteArray, QString>> cases = {
            {"[Quorvel]\nDisplayFont=" + present.toUtf8() + "\n", present},
            {"[Quorvel]\nDisplayFont=No Such Font Anywhere\n", QStringLiteral("MS Sans Serif")},
        };
        for (const auto &[file, family] : cases) {
            test::writeFile(m_fx->settings.path(), file);
            TipWindow w(m_fx->settings, m_fx->folder, m_fx->dialogs);
            QVERIFY(w.load());
            for (QWidget *control : w.findChildren<QWidget *>())
                QCOMPARE(control->font().family(), family);
        }
    }

    void windowParts()
    {
        QPointer<TipWindow> w = TipWindow::open(m_fx->settings, m_fx->folder, m_fx->dialogs);
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
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
        QCOMPARE(w.currentTip(), 0);
        QCOMPARE(label(w), QString());
        QVERIFY(pushButton(w, "cmdNextTip")->isEnabled());
        QCOMPARE(m_fx->dialogs.count(), 0);
    }
};

QTEST_MAIN(TipWindowTest)
#include "TipWindow_test.moc"
