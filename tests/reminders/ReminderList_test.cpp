#include <QSqlQuery>
#include <QTest>

#include "DateText.h"
#include "RecordStore.h"
#include "ReminderList.h"
#include "ReminderTicks.h"
#include "ScriptedDialogs.h"
#include "StoreFolder.h"

using namespace tarnvale;

class ReminderListTest : public QObject
{
    Q_OBJECT

  private:
    std::optional<test::StoreFolder> m_folder;
    RecordStore m_store;

    QList<ReminderItem> rows() { return ReminderList(m_store).items().value(); }

    // A row as another program may write it: any non-zero number stands for done.
    void addRow(const QString &item, bool done)
    {
        QSqlQuery query(m_store.database());
        query.prepare(QStringLiteral("INSERT INTO reminders (item, DateFor, Done, Date) "
                                     "VALUES (?, '1/1/2027', ?, '12/1/2026')"));
        query.addBindValue(item);
        query.addBindValue(done ? -1 : 0);
        QVERIFY(query.exec());
    }

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init()
    {
        SKIP_WITHOUT_ENGINE();
        m_folder.emplace();
        QVERIFY(m_store.open(m_folder->databasePath(), RecordStore::OpenMode::CreateIfMissing));
    }

    void cleanup()
    {
        m_store.close();
        m_folder.reset();
    }

    // The due-date prompt's hint names the locale's short form, its year widened to four digits.
    void dateHint()
    {
        QCOMPARE(DateText::shortFormHint(QLocale(QLocale::German, QLocale::Germany)), "DD.MM.YYYY");
    }

    void add_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("due");
        QTest::addColumn<ReminderList::AddResult>("result");
        using R = ReminderList::AddResult;
        // clang-format off
        QTest::newRow("a date is kept as typed") << "Renew lot permit" << " 1/5/27 " << R::Added;
        QTest::newRow("quotes and SQL stay text") << "O'Hara's '; DROP TABLE reminders; --" << "1/1/2027" << R::Added;
        QTest::newRow("no such day") << "Renew lot permit" << "2/30/2027" << R::NotADate;
        QTest::newRow("empty item") << "" << "12/24/2026" << R::Refused;
        QTest::newRow("empty due date") << "Fuel the flatbed" << "" << R::Refused;
        // clang-format on
    }

    void add()
    {
        QFETCH(QString, item);
        QFETCH(QString, due);
        QFETCH(ReminderList::AddResult, result);
        ReminderList list(m_store);
        QVERIFY(list.add(item, due, QDate(2026, 3, 9)) == result && !list.lastError().isError());
        const QList<ReminderItem> stored = rows();
        QList<ReminderItem> expected;
        if (result == ReminderList::AddResult::Added)
            expected << ReminderItem{stored.value(0).id, item, due, false, "3/9/2026"};
        QCOMPARE(stored, expected);
    }

    void setDoneAndRemove()
    {
        ReminderList list(m_store);
        for (const char *item : {"Zeta", "Alpha"})
            QCOMPARE(list.add(item, QStringLiteral("1/2/2027")), ReminderList::AddResult::Added);
        const QList<ReminderItem> before = rows();
        // In table order, not sorted.
        QCOMPARE(before.value(1).item, QStringLiteral("Alpha"));
        QCOMPARE(list.count(), std::optional<qint64>(2));

        // A row that is gone is not an error and changes nothing.
        QVERIFY(list.setDone(9999, true) && list.remove(9999) && rows() == before);

        QVERIFY(list.remove(before[0].id) && rows() == QList<ReminderItem>{before[1]});
    }

    // Rows 1..3 read "Wash truck 2", "Invoice Dale" (done), "Wash truck 2": each tick acts on
    // its own row, never on the first with the same text.
    void tickAndUntick_data()
    {
        QTest::addColumn<bool>("tick");
        QTest::addColumn<qint64>("id");
        QTest::addColumn<int>("answer"); // -1: no question expected
        QTest::addColumn<ReminderTicks::Outcome>("outcome");
        QTest::addColumn<QString>("after"); // the rows' ids, each done one marked "x"
        using O = ReminderTicks::Outcome;
        const int yes = int(Answer::Yes), no = int(Answer::No);
        // clang-format off
        QTest::newRow("tick, yes deletes") << true << qint64(3) << yes << O::Changed << "1 2x";
        QTest::newRow("tick, no keeps it done") << true << qint64(3) << no << O::Kept << "1 2x 3x";
        QTest::newRow("untick") << false << qint64(2) << -1 << O::Changed << "1 2 3";
        // The list and the table disagree: still asked, nothing deleted, the list refilled.
        QTest::newRow("tick a row that is gone") << true << qint64(9) << yes << O::Changed << "1 2x 3";
        // clang-format on
    }
    void tickAndUntick()
    {
        QFETCH(bool, tick);
        QFETCH(qint64, id);
        QFETCH(int, answer);
        addRow(QStringLiteral("Wash truck 2"), false);
        addRow(QStringLiteral("Invoice Dale"), true);
        addRow(QStringLiteral("Wash truck 2"), false);
        ReminderList list(m_store);
        test::ScriptedDialogs dialogs;
        if (answer >= 0)
            dialogs.queueAnswer(Answer(answer));
        ReminderTicks ticks(list, dialogs);
        const QString shown = QStringLiteral("Wash truck 2 \u2014 due 1/1/2027");
        QTEST(tick ? ticks.tick(id, shown) : ticks.untick(id), "outcome");

        QCOMPARE(dialogs.count(), answer >= 0 ? 1 : 0);
        if (answer >= 0)
            QCOMPARE(dialogs.last().line(),
                     "Question Question YesNo|Item Done|Delete From List?\r\n" + shown);
        QStringList after;
        for (const ReminderItem &row : rows())
            after << QString::number(row.id) + (row.done ? "x" : "");
        QTEST(after.join(u' '), "after");
    }

    // An empty table: nothing asked, nothing to show. A table that cannot be read: Failed,
    // with the reason left in the list.
    void ticksOnAnEmptyOrBrokenTable()
    {
        ReminderList list(m_store);
        test::ScriptedDialogs dialogs;
        ReminderTicks ticks(list, dialogs);
        QCOMPARE(ticks.tick(1, QStringLiteral("x")), ReminderTicks::Outcome::Kept);
        QCOMPARE(ticks.untick(1), ReminderTicks::Outcome::Kept);
        QVERIFY(QSqlQuery(m_store.database()).exec(QStringLiteral("DROP TABLE reminders")));
        QCOMPARE(ticks.tick(1, QStringLiteral("x")), ReminderTicks::Outcome::Failed);
        QCOMPARE(ticks.untick(1), ReminderTicks::Outcome::Failed);
        QVERIFY(!list.lastError().description.isEmpty() && dialogs.count() == 0);
    }
};

QTEST_GUILESS_MAIN(ReminderListTest)
#include "ReminderList_test.moc"
