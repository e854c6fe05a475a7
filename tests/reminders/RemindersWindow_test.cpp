#include <QAction>
#include <QListWidget>
#include <QPointer>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include "DateText.h"
#include "RecordStore.h"
#include "ReminderList.h"
#include "RemindersWindow.h"
#include "ScriptedDialogs.h"
#include "TestFolder.h"

using namespace tarnvale;
using test::ShownBox;

namespace {

// Also keeps the default text each input box was opened with.
class DialogsWithDefaults : public test::ScriptedDialogs
{
  public:
    std::optional<QString> inputText(const QString &title, const QString &prompt,
                                     const QString &initial) override
    {
        defaults << initial;
        return ScriptedDialogs::inputText(title, prompt, initial);
    }
    QStringList defaults;
};

} // namespace

class RemindersWindowTest : public QObject
{
    Q_OBJECT

  private:
    test::TestFolder m_folder;
    RecordStore m_store;
    std::unique_ptr<DialogsWithDefaults> m_dialogs;

    void addRow(const QString &item, bool done = false)
    {
        ReminderList list(m_store);
        QCOMPARE(list.add(item, "1/1/2027"), ReminderList::AddResult::Added);
        QVERIFY(!done || list.setDone(list.items()->last().id, true));
    }

    static QListWidget *list(RemindersWindow &w)
    {
        return w.findChild<QListWidget *>(QStringLiteral("lstReminders"));
    }
    // The entries' item texts (what they show before their due date) and check marks, then
    // the status bar.
    static QStringList entries(RemindersWindow &w)
    {
        QStringList texts;
        for (int i = 0; i < list(w)->count(); ++i)
            texts << list(w)->item(i)->text().section(QStringLiteral(" \u2014 due "), 0, 0) +
                         (list(w)->item(i)->checkState() == Qt::Checked ? "[x]" : "[ ]");
        return texts << w.findChild<QStatusBar *>("sbReminders")->currentMessage();
    }

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init()
    {
        QFile::remove(m_folder.databasePath());
        QVERIFY(m_store.open(m_folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        m_dialogs = std::make_unique<DialogsWithDefaults>();
    }

    void cleanup() { m_store.close(); }

    // Filled from the table (done rows come up ticked, unasked), ticked with the mouse: the
    // entry is deleted and the list rebuilt while the click is still being handled.
    void fillTickAndClose()
    {
        addRow(QStringLiteral("Sweep the yard"));
        addRow(QStringLiteral("Release title for the Buick"), true);
        addRow(QStringLiteral("Sweep the yard"));
        QPointer<RemindersWindow> w = new RemindersWindow(m_store, *m_dialogs);
        QCOMPARE(entries(*w), QStringList({"Sweep the yard[ ]", "Release title for the Buick[x]",
                                           "Sweep the yard[ ]", "3 items"}));
        QVERIFY(w->listReady() && m_dialogs->count() == 0);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        m_dialogs->queueAnswer(Answer::Yes);
        const QRect cell = list(*w)->visualItemRect(list(*w)->item(2));
        QTest::mouseClick(list(*w)->viewport(), Qt::LeftButton, {},
                          QPoint(cell.left() + 10, cell.center().y()));
        QCOMPARE(m_dialogs->last().title, QStringLiteral("Item Done"));
        QCOMPARE(entries(*w),
                 QStringList({"Sweep the yard[ ]", "Release title for the Buick[x]", "2 items"}));
        // The toolbar button asks for the item first; closing deletes the window.
        w->findChild<QToolBar *>(QStringLiteral("tbReminders"))->actions().first()->trigger();
        QCOMPARE(m_dialogs->shown()[1].title, QStringLiteral("New Item"));
        w->close();
        QTRY_VERIFY(w.isNull());
    }

    void addReminder()
    {
        RemindersWindow w(m_store, *m_dialogs);
        for (const char *typed : {"Pick up the Ford", "12/32/2026", "1/5/0206", "12/31/2026"})
            m_dialogs->queueInput(QString::fromUtf8(typed));
        const QString today = DateText::shortForm(QDate::currentDate());
        w.AddReminder();
        // The hint is the form of the date offered (en_US); a due date that is not a date is
        // refused, and asked for again as typed.
        QStringList shown;
        for (const ShownBox &box : m_dialogs->shown())
            shown << box.line();
        QCOMPARE(shown.mid(0, 5),
                 (QStringList{"Input None Ok|New Item|Enter To Do Item:",
                              "Input None Ok|Date Due|Enter Due Date: ( M/D/YYYY )",
                              "Notice Exclamation Ok|Date Due|\"12/32/2026\" is not a date.\r\n"
                              "Please enter the due date as M/D/YYYY.",
                              "Input None Ok|Date Due|Enter Due Date: ( M/D/YYYY )",
                              "Notice Exclamation Ok|Date Due|\"1/5/0206\" is in the year 206.\r\n"
                              "Please enter the due date as M/D/YYYY, from 1900 to "
                                  + QString::number(QDate::currentDate().year() + 1) + "."}));
        QCOMPARE(m_dialogs->count(), 6);
        QCOMPARE(m_dialogs->defaults, QStringList({QString(), today, "12/32/2026", "1/5/0206"}));
        const auto rows = ReminderList(m_store).items().value_or(QList<ReminderItem>{});
        QCOMPARE(rows, (QList<ReminderItem>{
                           {rows.value(0).id, "Pick up the Ford", "12/31/2026", false, today}}));
        QCOMPARE(entries(w), QStringList({"Pick up the Ford[ ]", "1 items"}));
    }

    // The date box is shown even when the item box was cancelled; nothing is added. A table
    // that cannot be written: the message.
    void addCancelledOrFailed()
    {
        addRow(QStringLiteral("Existing"));
        RemindersWindow w(m_store, *m_dialogs);
        m_dialogs->queueInput(std::nullopt);
        m_dialogs->queueInput(QStringLiteral("1/2/2027"));
        w.AddReminder();
        QCOMPARE(m_dialogs->count(), 2);
        QCOMPARE(m_dialogs->shown()[1].title, QStringLiteral("Date Due"));
        QCOMPARE(entries(w), QStringList({"Existing[ ]", "1 items"}));

        QVERIFY(QSqlQuery(m_store.database()).exec(QStringLiteral("DROP TABLE reminders")));
        m_dialogs->queueInput(QStringLiteral("Lost?"));
        m_dialogs->queueInput(QStringLiteral("1/1/2027"));
        w.AddReminder();
        QCOMPARE(m_dialogs->count(), 5);
        QVERIFY(m_dialogs->last().line().startsWith("Notice Critical Ok|Database Error!|Unknown "
                                                    "database error: \r\n\r\n"));
    }
};

QTEST_MAIN(RemindersWindowTest)
#include "RemindersWindow_test.moc"
