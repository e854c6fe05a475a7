#include <QSqlQuery>
#include <QTest>

#include "RecordStore.h"
#include "ReminderList.h"
#include "ReminderTicks.h"
#include "ScriptedDialogs.h"
#include "TestFolder.h"

using namespace tarnvale;
using test::ShownBox;

class ReminderTicksTest : public QObject
{
    Q_OBJECT

  private:
    test::TestFolder m_folder;
    RecordStore m_store;

    void addRow(const QString &item, bool done)
    {
        QSqlQuery query(m_store.database());
        query.prepare(QStringLiteral("INSERT INTO reminders (item, DateFor, Done, Date) "
                                     "VALUES (?, '1/1/2027', ?, '12/1/2026')"));
        query.addBindValue(item);
        query.addBindValue(done ? 1 : 0);
        QVERIFY(query.exec());
    }

  private Q_SLOTS:
    void init()
    {
        QFile::remove(m_folder.databasePath());
        QVERIFY(m_store.open(m_folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
    }
    void cleanup() { m_store.close(); }

    // Rows 1..3 read "Wash truck 2", "Invoice Dale", "Wash truck 2": each tick acts on its
    // own row, never on the first with the same text.
    void tickAndUntick_data()
    {
        QTest::addColumn<bool>("tick");
        QTest::addColumn<qint64>("id");
        QTest::addColumn<int>("answer"); // -1: no question expected
        QTest::addColumn<ReminderTicks::Outcome>("outcome");
        QTest::addColumn<QList<qint64>>("idsAfter");
        QTest::addColumn<QList<bool>>("doneAfter");
        using O = ReminderTicks::Outcome;
        const int yes = int(Answer::Yes), no = int(Answer::No);
        using I = QList<qint64>;
        using D = QList<bool>;
        // clang-format off
        QTest::newRow("tick, yes deletes") << true << qint64(3) << yes << O::Changed << I{1, 2} << D{false, true};
        QTest::newRow("tick, no keeps it done") << true << qint64(3) << no << O::Kept << I{1, 2, 3} << D{false, true, true};
        QTest::newRow("untick") << false << qint64(2) << -1 << O::Changed << I{1, 2, 3} << D{false, false, false};
        // The list and the table disagree: still asked, nothing deleted, the list refilled.
        QTest::newRow("tick a row that is gone") << true << qint64(9) << yes << O::Changed << I{1, 2, 3} << D{false, true, false};
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
            QCOMPARE(dialogs.last().line(), "Question Question YesNo|Item Done|Delete From List?\r\n" + shown);
        QList<qint64> ids;
        QList<bool> done;
        const QList<ReminderItem> rows = list.items().value();
        for (const ReminderItem &row : rows) {
            ids << row.id;
            done << row.done;
        }
        QTEST(ids, "idsAfter");
        QTEST(done, "doneAfter");
    }

    // An empty table: nothing asked, nothing to show. A table that cannot be read: Failed,
    // with the reason left in the list.
    void emptyOrBrokenTable()
    {
        ReminderList list(m_store);
        test::ScriptedDialogs dialogs;
        ReminderTicks ticks(list, dialogs);
        QCOMPARE(ticks.tick(1, QStringLiteral("x")), ReminderTicks::Outcome::Kept);
        QCOMPARE(ticks.untick(1), ReminderTicks::Outcome::Kept);
        QVERIFY(QSqlQuery(m_store.database()).exec(QStringLiteral("DROP TABLE reminders")));
        QCOMPARE(ticks.tick(1, QStringLiteral("x")), ReminderTicks::Outcome::Failed);
        QCOMPARE(ticks.untick(1), ReminderTicks::Outcome::Failed);
        QVERIFY(!list.lastError().description.isEmpty());
        QCOMPARE(dialogs.count(), 0);
    }
};

QTEST_GUILESS_MAIN(ReminderTicksTest)
#include "ReminderTicks_test.moc"
