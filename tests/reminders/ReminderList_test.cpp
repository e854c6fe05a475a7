#include <QSqlQuery>
#include <QTest>

#include "RecordStore.h"
#include "ReminderList.h"
#include "DateText.h"
#include "TestFolder.h"

using namespace tarnvale;

class ReminderListTest : public QObject
{
    Q_OBJECT

private:
    test::TestFolder m_folder;
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
        QFile::remove(m_folder.databasePath());
        QVERIFY(m_store.open(m_folder.databasePath(), RecordStore::OpenMode::CreateIfMissing));
    }

    void cleanup() { m_store.close(); }

    void shortDate_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("text");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale gb(QLocale::English, QLocale::UnitedKingdom);
        const QLocale de(QLocale::German, QLocale::Germany);
        QTest::newRow("en_US") << us << QDate(2026, 3, 9) << "3/9/2026";
        QTest::newRow("en_US two-digit day and month") << us << QDate(2026, 12, 25) << "12/25/2026";
        QTest::newRow("en_US year 2005, not 05") << us << QDate(2005, 1, 2) << "1/2/2005";
        QTest::newRow("en_GB") << gb << QDate(2026, 3, 9) << "09/03/2026";
        QTest::newRow("de_DE two-digit pattern widened") << de << QDate(2026, 3, 9) << "09.03.2026";
    }

    void shortDate()
    {
        QFETCH(QLocale, locale);
        QFETCH(QDate, date);
        QTEST(DateText::shortForm(date, locale), "text");
    }

    void add_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("due");
        QTest::addColumn<bool>("added");
        QTest::newRow("plain") << "Call the body shop" << "12/24/2026" << true;
        QTest::newRow("free-form due text kept as typed") << "Renew lot permit"
                                                          << "next Tuesday-ish" << true;
        QTest::newRow("quotes and SQL stay text") << "O'Hara's '; DROP TABLE reminders; --"
                                                  << "1/1/2027" << true;
        QTest::newRow("accents") << "Relevé du compteur" << "3/3/2027" << true;
        QTest::newRow("empty item") << "" << "12/24/2026" << false;
        QTest::newRow("empty due date") << "Fuel the flatbed" << "" << false;
        QTest::newRow("both empty") << "" << "" << false;
    }

    void add()
    {
        QFETCH(QString, item);
        QFETCH(QString, due);
        QFETCH(bool, added);
        ReminderList list(m_store);
        const auto result = list.add(item, due, QDate(2026, 3, 9));
        QCOMPARE(result, added ? ReminderList::AddResult::Added : ReminderList::AddResult::Refused);
        QVERIFY(!list.lastError().isError());
        const QList<ReminderItem> stored = rows();
        if (!added) {
            QVERIFY(stored.isEmpty());
            return;
        }
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored[0].item, item);
        QCOMPARE(stored[0].dateFor, due);
        QCOMPARE(stored[0].done, false);
        QCOMPARE(stored[0].date, QStringLiteral("3/9/2026"));
    }

    void itemsInTableOrder()
    {
        ReminderList list(m_store);
        for (const char *text : {"Zeta", "Alpha", "Mid"})
            QCOMPARE(list.add(QString::fromLatin1(text), QStringLiteral("x")),
                     ReminderList::AddResult::Added);
        QStringList texts;
        qint64 lastId = 0;
        for (const ReminderItem &row : rows()) {
            QVERIFY(row.id > lastId);
            lastId = row.id;
            texts << row.item;
        }
        QCOMPARE(texts, QStringList({"Zeta", "Alpha", "Mid"}));
        QCOMPARE(list.count(), std::optional<qint64>(3));
    }

    void firstIdByText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expectedRow"); // index into the rows added below, -1 for none
        QTest::newRow("first of two equal texts") << "Tow Smith's van" << 1;
        QTest::newRow("unique") << "Pay insurance" << 0;
        QTest::newRow("case matters") << "pay insurance" << 3;
        QTest::newRow("trailing blank matters") << "Pay insurance " << -1;
        QTest::newRow("prefix is not a match") << "Pay" << -1;
        QTest::newRow("empty") << "" << -1;
    }

    void firstIdByText()
    {
        QFETCH(QString, text);
        QFETCH(int, expectedRow);
        ReminderList list(m_store);
        for (const char *item :
             {"Pay insurance", "Tow Smith's van", "Tow Smith's van", "pay insurance"})
            QCOMPARE(list.add(QString::fromUtf8(item), QStringLiteral("soon")),
                     ReminderList::AddResult::Added);
        const QList<ReminderItem> stored = rows();
        const auto id = list.firstIdByText(text);
        QVERIFY(id.has_value());
        QCOMPARE(*id, expectedRow < 0 ? qint64(-1) : stored[expectedRow].id);
    }

    void setDoneAndRemove()
    {
        ReminderList list(m_store);
        QCOMPARE(list.add(QStringLiteral("A"), QStringLiteral("1")),
                 ReminderList::AddResult::Added);
        QCOMPARE(list.add(QStringLiteral("B"), QStringLiteral("2")),
                 ReminderList::AddResult::Added);
        const QList<ReminderItem> before = rows();

        QVERIFY(list.setDone(before[1].id, true));
        QList<ReminderItem> after = rows();
        QCOMPARE(after[0].done, false);
        QCOMPARE(after[1].done, true);
        QVERIFY(list.setDone(before[1].id, false));
        QCOMPARE(rows()[1].done, false);

        // A row that is gone is not an error and changes nothing.
        QVERIFY(list.setDone(9999, true));
        QVERIFY(list.remove(9999));
        QCOMPARE(rows(), before);

        QVERIFY(list.remove(before[0].id));
        after = rows();
        QCOMPARE(after.size(), 1);
        QCOMPARE(after[0], before[1]);
    }

    void readsDoneWrittenByOthers()
    {
        // Rows may come from another program writing any non-zero number for true.
        QSqlQuery query(m_store.database());
        QVERIFY(query.exec(QStringLiteral("INSERT INTO reminders (item, DateFor, Done, Date) "
                                          "VALUES ('Old', '1/1/2020', -1, '1/1/2020')")));
        QCOMPARE(rows().value(0).done, true);
    }

    void failureLeavesError()
    {
        QSqlQuery query(m_store.database());
        QVERIFY(query.exec(QStringLiteral("DROP TABLE reminders")));
        query = QSqlQuery();
        ReminderList list(m_store);
        QVERIFY(!list.items().has_value());
        QVERIFY(list.lastError().isError());
        QVERIFY(list.lastError().description.contains(QLatin1String("reminders")));
        QCOMPARE(list.add(QStringLiteral("x"), QStringLiteral("y")),
                 ReminderList::AddResult::Failed);
        QVERIFY(list.lastError().isError());
        QVERIFY(!list.firstIdByText(QStringLiteral("x")).has_value());
        QVERIFY(!list.setDone(1, true));
        QVERIFY(!list.count().has_value());
    }
};

QTEST_GUILESS_MAIN(ReminderListTest)
#include "ReminderList_test.moc"
