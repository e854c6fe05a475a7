#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <cerrno>

#include <optional>

#include "ConfigWindow.h"
#include "FaultSeam.h"
#include "FolderFixture.h"
#include "FormText.h"
#include "TestFiles.h"

using namespace tarnvale;
using test::ShownBox;

namespace {

const QByteArray kStored =
    "[Company]\nName=Lakeside Recovery\nAddress=9 Dock St\nCity=Fairhaven\n"
    "State=MA\nZip=02719\n[Fee]\nStorage Fee=40\n[Tow Fee]\nLight=85\n"
    "Medium=140\nHeavy=300\nTaxrate=.0625\nTax=Yes\n[Program]\nExpanded=yes\n"
    "[Database]\nPath=/data/tow.dll\n";

} // namespace

class ConfigWindowTest : public QObject
{
    Q_OBJECT

  private:
    std::optional<test::FolderFixture> m_fx;

    static QLineEdit *box(QWidget &w, const char *name)
    {
        return w.findChild<QLineEdit *>(QString::fromLatin1(name));
    }
    static QCheckBox *check(QWidget &w, const char *name)
    {
        return w.findChild<QCheckBox *>(QString::fromLatin1(name));
    }
    static QAction *button(QWidget &w, const QString &text)
    {
        for (QAction *action : w.findChild<QToolBar *>(QStringLiteral("Toolbar1"))->actions())
            if (action->text() == text)
                return action;
        qFatal("no toolbar button %s", qPrintable(text));
    }
    // The stored values of "Section/Key" names.
    QStringList read(const QStringList &keys)
    {
        QStringList values;
        for (const QString &key : keys)
            values << m_fx->settings.read(key.section('/', 0, 0), key.section('/', 1));
        return values;
    }

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init()
    {
        m_fx.emplace();
        test::writeFile(m_fx->settings.path(), kStored);
    }
    void cleanup() { m_fx.reset(); }

    void applyStoresHidesAndRenames()
    {
        ConfigWindow w(m_fx->settings, m_fx->dialogs);
        QSignalSpy names(&w, &ConfigWindow::companyNameChanged);
        QSignalSpy main(&w, &ConfigWindow::mainWindowRequested);
        w.show();
        box(w, "Text1")->setText(QStringLiteral("Lakeside Recovery & Storage"));
        box(w, "Text8")->setText(QStringLiteral("90"));
        check(w, "Check1")->setChecked(false);
        check(w, "Check2")->setChecked(true);
        // The file chooser: cancelled it keeps the box, a file chosen goes in it.
        auto *browse = w.findChild<QPushButton *>(QStringLiteral("Command1"));
        m_fx->dialogs.queueFile(QString());
        QTest::mouseClick(browse, Qt::LeftButton);
        QCOMPARE(box(w, "Text3")->text(), QStringLiteral("/data/tow.dll"));
        m_fx->dialogs.queueFile(QStringLiteral("/mnt/office/tow.dll"));
        QTest::mouseClick(browse, Qt::LeftButton);
        QCOMPARE(m_fx->dialogs.last().kind, ShownBox::Kind::OpenFile);
        button(w, QStringLiteral("Apply"))->trigger();

        QCOMPARE(
            read({"Company/Name", "Tow Fee/Light", "Tow Fee/Tax", "Program/Expanded",
                  "Database/Path"}),
            (QStringList{"Lakeside Recovery & Storage", "90", "No", "Yes", "/mnt/office/tow.dll"}));
        QCOMPARE(names, QList<QVariantList>{{QStringLiteral("Lakeside Recovery & Storage")}});
        QVERIFY(main.size() == 1 && !w.isVisible());
        QCOMPARE(m_fx->dialogs.count(), 2); // the two choosers, no message
    }

    void applyFailureIsReported()
    {
        ConfigWindow w(m_fx->settings, m_fx->dialogs);
        QSignalSpy names(&w, &ConfigWindow::companyNameChanged);
        w.show();
        box(w, "Text1")->setText(QStringLiteral("Typed Name"));
        FaultSeam::failAt(2, EIO); // writing the new file
        button(w, QStringLiteral("Apply"))->trigger();
        FaultSeam::disarm();

        QCOMPARE(m_fx->dialogs.count(), 1);
        QVERIFY(m_fx->dialogs.last().line().startsWith(
            "Notice Exclamation Ok|Lakeside Recovery|The settings could not be saved.\r\nCannot "
            "write "));
        // Nothing stored, nothing typed lost: the window stays open with the edit.
        QCOMPARE(test::readFile(m_fx->settings.path()), kStored);
        QVERIFY(w.isVisible() && names.isEmpty());
        QCOMPARE(box(w, "Text1")->text(), QStringLiteral("Typed Name"));
    }

    // A fee the check refuses is told and stores nothing; a rate it asks about is stored only
    // on Yes, as the percent meant.
    void applyChecksFeesAndTaxRate()
    {
        ConfigWindow w(m_fx->settings, m_fx->dialogs);
        w.show();
        box(w, "Text2")->setText(QStringLiteral("$10"));
        QVERIFY(!w.apply());
        QVERIFY(m_fx->dialogs.last().line().startsWith("Notice Exclamation Ok|Lakeside Recovery|"));
        box(w, "Text2")->setText(QStringLiteral("40"));
        box(w, "Text11")->setText(QStringLiteral("7.25"));
        m_fx->dialogs.queueAnswer(Answer::No);
        QVERIFY(!w.apply());
        QVERIFY(m_fx->dialogs.last().line().startsWith("Question ") && w.isVisible());
        QCOMPARE(test::readFile(m_fx->dir.settingsPath()), kStored);
        m_fx->dialogs.queueAnswer(Answer::Yes);
        QVERIFY(w.apply());
        QCOMPARE(read({"Tow Fee/Taxrate"}), QStringList{"0.0725"});
        QVERIFY(!w.isVisible());
    }

    void taxMeaningFollowsTheBox()
    {
        ConfigWindow w(m_fx->settings, m_fx->dialogs);
        auto *meaning = w.findChild<QLabel *>(QStringLiteral("lblTaxMeaning"));
        QCOMPARE(meaning->text(), QStringLiteral("= 6.25 %"));
        box(w, "Text11")->setText(QStringLiteral("7.25"));
        QCOMPARE(meaning->text(), QStringLiteral("= 725 % (or 7.25 %?)"));
    }

    // Opening shows what is stored; Cancel stores nothing and shows it again next time.
    void everyOpeningShowsTheStoredValues()
    {
        ConfigWindow w(m_fx->settings, m_fx->dialogs);
        QCOMPARE(test::texts(&w, {"Text1", "Text4", "Text5", "Text6", "Text7", "Text2", "Text8",
                                  "Text9", "Text10", "Text11", "Text3"}),
                 (QStringList{"Lakeside Recovery", "9 Dock St", "Fairhaven", "MA", "02719", "40",
                              "85", "140", "300", ".0625", "/data/tow.dll"}));
        // "yes" in small letters is not "Yes".
        QVERIFY(check(w, "Check1")->isChecked() && !check(w, "Check2")->isChecked());
        QSignalSpy main(&w, &ConfigWindow::mainWindowRequested);
        w.show();
        box(w, "Text2")->setText(QStringLiteral("55"));
        const QByteArray before = test::readFile(m_fx->dir.settingsPath());
        button(w, QStringLiteral("Cancel"))->trigger();
        QCOMPARE(test::readFile(m_fx->dir.settingsPath()), before);
        QVERIFY(!w.isVisible() && main.size() == 1);

        QVERIFY(m_fx->settings.write("Company", "Zip", "02720")); // changed meanwhile
        w.show();
        QCOMPARE(test::texts(&w, {"Text2", "Text7"}), (QStringList{"40", "02720"}));
    }
};

QTEST_MAIN(ConfigWindowTest)
#include "ConfigWindow_test.moc"
