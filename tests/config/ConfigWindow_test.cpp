#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <cerrno>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>

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
        auto *found = w.findChild<QLineEdit *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no box %s", name);
        return found;
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
        button(w, QStringLiteral("Apply"))->trigger();

        QCOMPARE(read({"Company/Name", "Tow Fee/Light", "Tow Fee/Tax", "Program/Expanded", "Database/Path"}),
                 (QStringList{"Lakeside Recovery & Storage", "90", "No", "Yes", "/data/tow.dll"}));
        QCOMPARE(names, QList<QVariantList>{{QStringLiteral("Lakeside Recovery & Storage")}});
        QCOMPARE(main.size(), 1);
        QVERIFY(!w.isVisible());
        QCOMPARE(m_fx->dialogs.count(), 0);
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
            "Notice Exclamation Ok|Lakeside Recovery|The settings could not be saved.\r\nCannot write "));
        // Nothing stored, nothing typed lost: the window stays open with the edit.
        QCOMPARE(test::readFile(m_fx->settings.path()), kStored);
        QVERIFY(w.isVisible() && names.isEmpty());
        QCOMPARE(box(w, "Text1")->text(), QStringLiteral("Typed Name"));
    }

    void applyChecksFeesAndTaxRate_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer"); // to a question; -1: a notice, nothing is asked
        QTest::addColumn<QString>("stored"); // "<none>": nothing written
        QTest::newRow("7.25, Yes: stored as 7.25 %") << "Text11" << "7.25" << int(Answer::Yes)
                                                   << "0.0725";
        QTest::newRow("7.25, No: nothing stored") << "Text11" << "7.25" << int(Answer::No)
                                                << "<none>";
        QTest::newRow("a rate that is no number") << "Text11" << "eight" << -1 << "<none>";
        QTest::newRow("a fee with a dollar sign") << "Text2" << "$10" << -1 << "<none>";
    }
    void applyChecksFeesAndTaxRate()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(QString, stored);
        ConfigWindow w(m_fx->settings, m_fx->dialogs);
        w.show();
        auto *edit = w.findChild<QLineEdit *>(box);
        edit->setText(typed);
        if (answer >= 0)
            m_fx->dialogs.queueAnswer(Answer(answer));
        const QByteArray before = test::readFile(m_fx->dir.settingsPath());
        QCOMPARE(w.apply(), stored != "<none>");

        QCOMPARE(m_fx->dialogs.count(), 1);
        QVERIFY(m_fx->dialogs.last().line().startsWith(answer >= 0 ? "Question" : "Notice"));
        QCOMPARE(m_fx->dialogs.last().title, QStringLiteral("Lakeside Recovery"));
        if (stored == "<none>")
            QCOMPARE(test::readFile(m_fx->dir.settingsPath()), before);
        else
            QCOMPARE(read({"Tow Fee/Taxrate"}), QStringList{stored});
        QCOMPARE(w.isVisible(), stored == "<none>");
        QCOMPARE(edit->text(), typed);
    }

    void taxMeaningFollowsTheBox()
    {
        ConfigWindow w(m_fx->settings, m_fx->dialogs);
        auto *meaning = w.findChild<QLabel *>(QStringLiteral("lblTaxMeaning"));
        QCOMPARE(meaning->text(), QStringLiteral("= 6.25 %"));
        box(w, "Text11")->setText(QStringLiteral("7.25"));
        QCOMPARE(meaning->text(), QStringLiteral("= 725 % (or 7.25 %?)"));
    }

    void browse_data()
    {
        QTest::addColumn<QString>("answer"); // "" is a cancelled dialog
        QTest::addColumn<QString>("shown");
        QTest::newRow("chosen") << "/mnt/office/tow.dll" << "/mnt/office/tow.dll";
        QTest::newRow("cancelled keeps the box") << "" << "/data/tow.dll";
    }

    void browse()
    {
        QFETCH(QString, answer);
        QFETCH(QString, shown);
        ConfigWindow w(m_fx->settings, m_fx->dialogs);
        m_fx->dialogs.queueFile(answer);
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);

        QCOMPARE(m_fx->dialogs.last().kind, ShownBox::Kind::OpenFile);
        QCOMPARE(box(w, "Text3")->text(), shown);

        button(w, QStringLiteral("Apply"))->trigger();
        QCOMPARE(read({"Database/Path"}), QStringList{shown});
    }

    void everyOpeningShowsTheStoredValues()
    {
        QPointer<ConfigWindow> w = new ConfigWindow(m_fx->settings, m_fx->dialogs);
        QCOMPARE(test::texts(w, {"Text1", "Text4", "Text5", "Text6", "Text7", "Text2", "Text8",
                                 "Text9", "Text10", "Text11", "Text3"}),
                 (QStringList{"Lakeside Recovery", "9 Dock St", "Fairhaven", "MA", "02719", "40",
                              "85", "140", "300", ".0625", "/data/tow.dll"}));
        // "yes" in small letters is not "Yes".
        QVERIFY(check(*w, "Check1")->isChecked() && !check(*w, "Check2")->isChecked());
        QSignalSpy names(w.data(), &ConfigWindow::companyNameChanged);
        QSignalSpy main(w.data(), &ConfigWindow::mainWindowRequested);
        w->show();
        box(*w, "Text2")->setText(QStringLiteral("55"));
        box(*w, "Text1")->setText(QStringLiteral("Typed but not applied"));
        const QByteArray before = test::readFile(m_fx->dir.settingsPath());
        button(*w, QStringLiteral("Cancel"))->trigger();

        QCOMPARE(test::readFile(m_fx->dir.settingsPath()), before);
        QCOMPARE(names, QList<QVariantList>{{QStringLiteral("Lakeside Recovery")}});
        QCOMPARE(main.size(), 1);
        QVERIFY(!w->isVisible());
        QCoreApplication::processEvents();
        QVERIFY(!w.isNull()); // hidden, not discarded

        // Shown again it holds what is stored; a later Apply stores nothing cancelled.
        QVERIFY(m_fx->settings.write("Company", "Zip", "02720")); // changed meanwhile
        w->show();
        QCOMPARE(test::texts(w, {"Text2", "Text7"}), (QStringList{"40", "02720"}));
        QVERIFY(w->apply());
        QCOMPARE(read({"Fee/Storage Fee", "Company/Name", "Company/Zip"}),
                 (QStringList{"40", "Lakeside Recovery", "02720"}));
        w->close();
    }
};

QTEST_MAIN(ConfigWindowTest)
#include "ConfigWindow_test.moc"
