#include <QElapsedTimer>
#include <QLocale>
#include <QSqlQuery>
#include <QTest>

#include "StoreFixture.h"
#include "StoreFolder.h"
#include "TowRecordEditor.h"

using namespace tarnvale;
using tarnvale::test::ShownBox;

namespace {

// A fresh program folder with an open database; counts the tree rebuilds.
struct Fixture : test::StoreFixture
{
    TowRecordEditor editor{store, db, settings, dialogs};

    Fixture() { db.OpenDatabaseFile(); }
    qint64 addRecord(const QString &year)
    {
        TowRecord r;
        r.set(TowField::vehyear, year);
        return store.addTowRecord(r).value_or(-1);
    }
};

const QString kDbError =
    QStringLiteral("Notice Critical Ok|Database Error!|Unknown database error: \r\n\r\n");
const QString kRemoved = QStringLiteral("This vehicle was removed on another workstation");

// A summary of the whole database: the groups, then each record's make and group.
QString yard(RecordStore &store)
{
    QStringList parts;
    for (const GroupRecord &group : store.groups().value_or(QList<GroupRecord>{}))
        parts << group.name;
    for (const TowRecord &r : store.towRecords().value_or(QList<TowRecord>{}))
        parts << r.value(TowField::vehmake) + u'/' + r.value(TowField::groupname);
    return parts.join(u'|');
}

} // namespace

class TowRecordEditorTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Add and Apply: the checks before saving, the group named in the box, the figures counted.
    void saving_data()
    {
        QTest::addColumn<bool>("add");  // Add a new record, else Apply to the stored one
        QTest::addColumn<int>("field"); // set to value before saving
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("answer"); // to the one question; -1: none asked
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message"); // part of the one box shown; "" for none
        QTest::addColumn<QString>("stored");  // the field, tow fee and group; "" for no record
        using O = TowRecordEditor::Outcome;
        auto row = [](const char *name, bool add, TowField field, const char *value,
                      const QString &box, int answer, O outcome, const QString &message,
                      const char *stored) {
            QTest::newRow(name) << add << int(field) << QString::fromUtf8(value) << box << answer
                                << int(outcome) << message << QString::fromUtf8(stored);
        };
        const TowField year = TowField::vehyear, towed = TowField::toweddate;
        const TowField released = TowField::towedrelease, hookup = TowField::cost1;
        const QString police = QStringLiteral("Police");
        const int yes = int(Answer::Yes), no = int(Answer::No);
        const QString dollar = QStringLiteral(
            "These charges are not plain amounts:\r\n\"Towing Hookup\" holds \"$100\", "
            "which counts as 0.00.\r\n\r\nSave them counted like this?");
        auto asks = [](const QString &box) {
            return "Question Exclamation YesNo|Could not find group|The group '" + box +
                   "' does not exist, Would you like to create it now?";
        };
        // Add needs a year (a blank counts) and stamps a blank tow date with today.
        // clang-format off
        row("add, no year", true, year, "", police, -1, O::YearMissing, "", "");
        row("add, a blank is a year", true, year, " ", police, -1, O::Saved, "", " |120.50|Police");
        row("add, blank date gets today", true, towed, " ", police, -1, O::Saved, "", "12/6/2026|120.50|Police");
        row("stale tow fee is recomputed", false, TowField::vehmake, "Ford", police, -1, O::Saved, "", "Ford|120.50|Police");
        row("no 31st in November", false, towed, "11/31/2026", police, -1, O::Failed,
            "The \"Date Towed:\" box holds \"11/31/2026\", which is not a date. Type a date such as 12/6/2026.",
            "3/1/2026|5.00|Police");
        row("year 206", false, towed, "1/5/0206", police, -1, O::Failed,
            "The \"Date Towed:\" box holds \"1/5/0206\", a date in the year 206. Type a date from 1900 to 2027, such as 12/6/2026.",
            "3/1/2026|5.00|Police");
        row("released after next year", false, released, "1/1/2028", police, -1, O::Failed,
            "The \"Date Released:\" box holds \"1/1/2028\", a date in the year 2028. Type a date from 1900 to 2027, such as 12/6/2026.",
            "|5.00|Police");
        row("release before the tow", false, released, "2/28/2026", police, -1, O::Failed,
            "The vehicle cannot be released (2/28/2026) before it was towed (3/1/2026). "
            "Correct \"Date Released:\" or \"Date Towed:\".", "|5.00|Police");
        row("released the day of the tow", false, released, "3/1/2026", police, -1, O::Saved, "", "3/1/2026|120.50|Police");
        row("charge with a dollar sign, No", false, hookup, "$100", police, no, O::Failed, dollar, "100|5.00|Police");
        row("charge with a dollar sign, Yes", false, hookup, "$100", police, yes, O::Saved, dollar, "$100|20.50|Police");
        row("charges below zero", false, hookup, "-100", police, -1, O::Failed,
            "The charges add up to -79.50: a tow fee cannot be below zero.", "100|5.00|Police");
        row("unknown group, Yes creates it", false, year, "1999", "Impound", yes, O::Saved, asks("Impound"), "1999|120.50|Impound");
        row("unknown group, No: no group", false, year, "1999", "Impound", no, O::Saved, asks("Impound"), "1999|120.50|");
        row("group case matters", false, year, "1999", "police", no, O::Saved, asks("police"), "1999|120.50|");
        row("<None> inside other text", false, year, "1999", "<None> lot", yes, O::Saved, asks("<None> lot"), "1999|120.50|<None> lot");
        row("add, <None> in any case", true, year, "1999", " <nONe> ", -1, O::Saved, "", "1999|120.50|");
        row("blank box asks nothing", false, year, "1999", "   ", -1, O::Saved, "", "1999|120.50|");
        // clang-format on
    }
    void saving()
    {
        QFETCH(bool, add);
        QFETCH(int, field);
        QFETCH(QString, value);
        QFETCH(QString, box);
        QFETCH(int, answer);
        QFETCH(QString, message);
        Fixture f;
        QVERIFY(f.store.addGroup("Police"));
        TowRecord r;
        r.set(TowField::vehyear, "1999");
        r.set(TowField::toweddate, "3/1/2026");
        r.set(TowField::cost1, "100");
        r.set(TowField::cost8, "20.50");
        r.set(TowField::towedfee, "5.00");
        r.set(TowField::groupname, "Police");
        if (!add)
            r.id = *f.store.addTowRecord(r);
        f.refreshes = 0;
        r.set(TowField(field), value);
        if (answer >= 0)
            f.dialogs.queueAnswer(Answer(answer));
        const QDate today(2026, 12, 6);
        const auto outcome = add ? f.editor.add(r, box, today) : f.editor.apply(r, box, today);
        QTEST(int(outcome), "outcome");
        QCOMPARE(f.dialogs.count(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(f.dialogs.last().line().contains(message),
                     qPrintable(f.dialogs.last().line()));
        const std::optional<TowRecord> now = f.store.towRecord(r.id);
        const QString group = now ? now->value(TowField::groupname) : QString();
        const QStringList stored = {now ? now->value(TowField(field)) : QString(),
                                    now ? now->value(TowField::towedfee) : QString(), group};
        QTEST(now ? stored.join(u'|') : QString(), "stored");
        // A new group is made only for the record that goes into it.
        const bool created =
            box != "Police" && !box.trimmed().isEmpty() && f.store.groupExists(box);
        QCOMPARE(created, !group.isEmpty() && group != "Police");
        QCOMPARE(f.refreshes, outcome == TowRecordEditor::Outcome::Saved ? 1 + int(created) : 0);
        if (outcome == TowRecordEditor::Outcome::Failed)
            QCOMPARE(f.editor.problemField(), std::optional<TowField>(TowField(field)));
    }

    // A save the database refuses is reported and makes nothing.
    void databaseFailuresAreReported()
    {
        Fixture f;
        const qint64 other = f.addRecord("2005");
        f.refreshes = 0;
        QVERIFY(QSqlQuery(f.store.database())
                    .exec("CREATE TRIGGER refuse BEFORE INSERT ON wrecker "
                          "BEGIN SELECT RAISE(ABORT, 'disk is full'); END"));
        TowRecord fresh;
        fresh.set(TowField::vehyear, "2001");
        QCOMPARE(f.editor.add(fresh, "<None>", QDate(2026, 12, 6)),
                 TowRecordEditor::Outcome::Failed);
        QVERIFY2(f.dialogs.last().line().startsWith(kDbError + "disk is full"),
                 qPrintable(f.dialogs.last().line()));
        QCOMPARE((QList<int>{int(f.dialogs.count()), f.refreshes, int(f.store.towRecordCount())}),
                 (QList<int>{1, 0, 1}));
        QCOMPARE(f.store.towRecord(other)->value(TowField::vehyear), QString("2005"));
    }

    // Another workstation saved the vehicle after it was read here: the user chooses, and a
    // record removed there meanwhile is reported, never made again.
    void applyAfterAnotherUsersSave_data()
    {
        QTest::addColumn<int>("answer"); // -1: removed elsewhere while the question is shown
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("returned");
        using O = TowRecordEditor::Outcome;
        // clang-format off
        QTest::newRow("yes shows theirs") << int(Answer::Yes) << int(O::Reloaded) << "Dodge" << "Dodge";
        QTest::newRow("no keeps mine") << int(Answer::No) << int(O::Saved) << "Chevrolet" << "Chevrolet";
        QTest::newRow("cancel goes back") << int(Answer::Cancel) << int(O::Failed) << "Dodge" << "Chevrolet";
        QTest::newRow("removed elsewhere") << -1 << int(O::Failed) << "" << "Chevrolet";
        // clang-format on
    }
    void applyAfterAnotherUsersSave()
    {
        QFETCH(int, answer);
        QFETCH(QString, stored);
        Fixture f;
        const qint64 id = f.addRecord("1999");
        TowRecord mine = *f.store.towRecord(id);
        RecordStore other;
        QVERIFY(other.open(f.store.path(), RecordStore::OpenMode::ExistingOnly));
        TowRecord theirs = *other.towRecord(id);
        theirs.set(TowField::vehmake, "Dodge");
        QVERIFY(other.updateTowRecord(theirs));
        if (answer < 0)
            f.dialogs.onShow = [&](const ShownBox &) { QVERIFY(other.removeTowRecord(id)); };
        f.dialogs.queueAnswer(answer < 0 ? Answer::No : Answer(answer));
        f.refreshes = 0;

        mine.set(TowField::vehmake, "Chevrolet");
        QTEST(int(f.editor.apply(mine, "<None>")), "outcome");
        QTEST(mine.value(TowField::vehmake), "returned");
        QCOMPARE(
            f.dialogs.shown().first().line(),
            "Question Exclamation YesNoCancel||Another user saved this vehicle after you opened it "
            "(now: 1999 Dodge , ).\r\n\r\nYes: show their version (your changes are dropped).\r\n"
            "No: keep mine (your version is saved over theirs).\r\nCancel: go back to your changes "
            "without saving.");
        const std::optional<TowRecord> now = f.store.towRecord(id);
        QCOMPARE(now ? now->value(TowField::vehmake) : QString(), stored);
        if (answer < 0) {
            QVERIFY(f.dialogs.last().text.startsWith(kRemoved));
            return;
        }
        QVERIFY(f.dialogs.count() == 1 && f.refreshes == (answer == int(Answer::No) ? 1 : 0));
        // What comes back saves again as it stands.
        if (answer != int(Answer::Cancel))
            QCOMPARE(now->version, mine.version);
    }

    // Another workstation removed the group with the vehicle open here: the save says so first,
    // and the group is made again only together with the record, never by a save that fails.
    void saveOfARecordRemovedMeanwhile_data()
    {
        QTest::addColumn<QString>("answers"); // Y or N to each question, in order
        QTest::addColumn<bool>("busy"); // the other workstation writes while the group is asked
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("stored");
        using O = TowRecordEditor::Outcome;
        QTest::newRow("No goes back") << "N" << false << int(O::Failed) << "Dock";
        QTest::newRow("as new, no group") << "YN" << false << int(O::Saved) << "Dock|Kia/";
        QTest::newRow("as new, group made") << "YY" << false << int(O::Saved) << "Dock|Lot 9|Kia/Lot 9";
        QTest::newRow("busy: nothing made") << "YY" << true << int(O::Failed) << "Dock";
    }
    void saveOfARecordRemovedMeanwhile()
    {
        SKIP_WITHOUT_ENGINE();
        QFETCH(QString, answers);
        QFETCH(bool, busy);
        Fixture f;
        test::StoreFolder folder;
        RecordStore other;
        QVERIFY(f.store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing) &&
                other.open(f.store.path(), RecordStore::OpenMode::ExistingOnly) &&
                other.addGroup("Lot 9") && other.addGroup("Dock"));
        const qint64 id = test::addVehicle(other, "Lot 9");
        TowRecord mine = *f.store.towRecord(id);
        QCOMPARE(other.removeGroupWithVehicles("Lot 9"), RecordStore::RemoveGroupResult::Removed);
        for (const QChar answer : answers)
            f.dialogs.queueAnswer(answer == u'Y' ? Answer::Yes : Answer::No);
        std::optional<TransactionGuard> held;
        f.dialogs.onShow = [&](const test::ShownBox &box) {
            if (busy && box.title == "Could not find group")
                held.emplace(other.database(), TransactionGuard::Lock::Writing);
        };
        mine.set(TowField::vehmake, "Kia");
        QElapsedTimer waited;
        waited.start();
        QTEST(int(f.editor.apply(mine, "Lot 9")), "outcome");
        QVERIFY(!busy || (held->begun() && waited.elapsed() < RecordStore::kBusyTimeoutMs + 2000));
        held.reset();
        QTEST(yard(f.store), "stored");
        QVERIFY(f.dialogs.shown().first().line().startsWith(
            "Question Exclamation YesNo||" + kRemoved + " after you opened it.\r\n\r\nSave what "
            "you typed as a new record? No goes back to the form without saving."));
        QCOMPARE(f.dialogs.count(), answers.size() + int(busy));
        if (busy)
            QCOMPARE(f.dialogs.last().line(),
                     "Notice Exclamation Ok|Database Error!|Another workstation is busy writing "
                     "to the database: this one waited 5 seconds for it. Nothing was saved; try "
                     "again in a moment.\r\n\r\nWhat you typed is kept in the form.");
        else if (answers.size() > 1)
            QCOMPARE(*other.towRecord(mine.id), mine);
        QCOMPARE(mine.id != id, answers.size() > 1 && !busy);
    }

    // The server ended the connection: the save says so and keeps the form; the next save
    // connects again and goes through. Nothing is taken for "not there" meanwhile.
    void saveAfterTheConnectionWasLost()
    {
        SKIP_WITHOUT_ENGINE();
        if (!test::onServer())
            QSKIP("a file has no connection to lose");
        Fixture f;
        test::StoreFolder folder;
        RecordStore other;
        QVERIFY(f.store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing) &&
                other.open(f.store.path(), RecordStore::OpenMode::ExistingOnly) &&
                f.store.addGroup("Lot 9"));
        TowRecord mine = *f.store.towRecord(test::addVehicle(f.store, "Lot 9"));
        QVERIFY(QSqlQuery(other.database())
                    .exec("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE "
                          "datname = current_database() AND pid <> pg_backend_pid()"));
        mine.set(TowField::vehmake, "Kia");
        QCOMPARE(f.editor.apply(mine, "Lot 9"), TowRecordEditor::Outcome::Failed);
        QCOMPARE(f.dialogs.count(), 1);
        QVERIFY2(f.dialogs.last().line().startsWith("Notice Critical Ok|Connection lost|The "
                                                    "connection to the database server was lost"),
                 qPrintable(f.dialogs.last().line()));
        QVERIFY(f.dialogs.last().text.contains("Nothing was saved; what you typed is kept in the form."));
        QCOMPARE(yard(other), "Lot 9|Ford/Lot 9");
        QCOMPARE(f.editor.apply(mine, "Lot 9"), TowRecordEditor::Outcome::Saved);
        QCOMPARE(QString::number(f.dialogs.count()) + ' ' + yard(other), "1 Lot 9|Kia/Lot 9");
    }
};

QTEST_GUILESS_MAIN(TowRecordEditorTest)
#include "TowRecordEditor_test.moc"
