#include <QSqlQuery>
#include <QTest>

#include "RecordStore.h"
#include "ReminderList.h"
#include "DateText.h"
#include "StoreFolder.h"

using namespace tarnvale;

class ReminderListTest : public QObject
{
    Q_OBJECT

private:
    std::optional<test::StoreFolder> m_folder;
    RecordStore m_store;

    QList<ReminderItem> rows()
    {
        ReminderList list(m_store);
        const auto items = list.items();
        if (!items)
            qFatal("reading reminders failed");
        return *items;
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
        QCOMPARE(list.add(item, due, QDate(2026, 3, 9)), result);
        QVERIFY(!list.lastError().isError());
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

        QVERIFY(list.setDone(before[1].id, true));
        QCOMPARE((QList<bool>{rows()[0].done, rows()[1].done}), (QList<bool>{false, true}));
        QVERIFY(list.setDone(before[1].id, false));
        QCOMPARE(rows()[1].done, false);

        // A row that is gone is not an error and changes nothing.
        QVERIFY(list.setDone(9999, true));
        QVERIFY(list.remove(9999));
        QCOMPARE(rows(), before);

        QVERIFY(list.remove(before[0].id));
        QCOMPARE(rows(), QList<ReminderItem>{before[1]});
    }

    void readsDoneWrittenByOthers()
    {
        // Rows may come from another program writing any non-zero number for true.
        QSqlQuery query(m_store.database());
        QVERIFY(query.exec(QStringLiteral("INSERT INTO reminders (item, DateFor, Done, Date) "
                                          "VALUES ('Old', '1/1/2020', -1, '1/1/2020')")));
        QCOMPARE(rows().value(0).done, true);
    }
};

QTEST_GUILESS_MAIN(ReminderListTest)
#include "ReminderList_test.moc"
