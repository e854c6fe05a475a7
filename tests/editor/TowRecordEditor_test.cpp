#include <QLocale>
#include <QSqlQuery>
#include <QTest>

#include "StoreFixture.h"
#include "TowRecordEditor.h"

using namespace tarnvale;
using tarnvale::test::ScriptedDialogs;
using tarnvale::test::ShownBox;

namespace {

// A fresh program folder with an open database; counts the tree rebuilds.
struct Fixture : test::StoreFixture
{
    TowRecordEditor editor{store, db, settings, dialogs};

    Fixture() { db.OpenDatabaseFile(); }
    qint64 addRecord(const QString &year, const QString &group = {})
    {
        TowRecord r;
        r.set(TowField::vehyear, year);
        r.set(TowField::groupname, group);
        return store.addTowRecord(r).value_or(-1);
    }
};

const QString kDbError = QStringLiteral("Notice Critical Ok|Database Error!|Unknown database error: \r\n\r\n");

} // namespace

class TowRecordEditorTest : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void groupList()
    {
        Fixture f;
        QVERIFY(f.store.isOpen());
        QCOMPARE(f.editor.LoadGroupList(), QStringList{"<None>"});
        QVERIFY(f.store.addGroup("Police"));
        QVERIFY(f.store.addGroup("Abandoned"));
        // A blank name, no longer accepted, from an older file.
        QVERIFY(QSqlQuery(f.store.database()).exec("INSERT INTO groups (groupname) VALUES ('  ')"));
        QCOMPARE(f.editor.LoadGroupList(), (QStringList{"Police", "Abandoned", "  ", "<None>"}));
        QCOMPARE(f.dialogs.count(), 0);

        // A table that cannot be read is told once; with no database there is nothing to tell.
        QVERIFY(QSqlQuery(f.store.database()).exec("DROP TABLE groups"));
        QCOMPARE(f.editor.LoadGroupList(), QStringList());
        QCOMPARE(f.dialogs.count(), 1);
        QVERIFY(f.dialogs.last().line().startsWith(kDbError));
        f.store.close();
        QCOMPARE(f.editor.LoadGroupList(), QStringList{"<None>"});
        QCOMPARE(f.dialogs.count(), 1);
    }

    void groupNameFromBox_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("group");
        QTest::newRow("none") << "<None>" << "";
        QTest::newRow("none, any case, blanks") << "  <nONe> " << "";
        QTest::newRow("a group as typed") << " Police " << " Police ";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("none inside other text") << "<None> lot" << "<None> lot";
    }
    void groupNameFromBox()
    {
        QFETCH(QString, box);
        QTEST(TowRecordEditor::groupNameFromBox(box), "group");
    }

    // Add needs a year (a blank counts) and stamps an empty tow date with today.
    void addChecksTheYearAndStampsTheDate_data()
    {
        QTest::addColumn<QString>("year");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // "" when nothing is saved
        QTest::newRow("no year") << "" << "11/30/2026" << "";
        QTest::newRow("a single blank counts as a year") << " " << "" << "12/6/2026";
        QTest::newRow("typed date kept") << "1999" << "11/30/2026" << "11/30/2026";
        QTest::newRow("blank date gets today") << "1999" << " " << "12/6/2026";
    }
    void addChecksTheYearAndStampsTheDate()
    {
        QFETCH(QString, year);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        Fixture f;
        TowRecord r;
        r.set(TowField::vehyear, year);
        r.set(TowField::toweddate, typed);
        QCOMPARE(f.editor.add(r, "<None>", QDate(2026, 12, 6)),
                 stored.isEmpty() ? TowRecordEditor::Outcome::YearMissing
                                  : TowRecordEditor::Outcome::Saved);
        QCOMPARE((QList<int>{int(f.store.towRecordCount()), f.refreshes}), QList<int>(2, stored.isEmpty() ? 0 : 1));
        QCOMPARE(f.dialogs.count(), 0);
        if (!stored.isEmpty())
            QCOMPARE(f.store.towRecord(r.id)->value(TowField::toweddate), stored);
    }

    void addStoresEveryFieldAndTheGroup_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("answer"); // to "Could not find group"; -1: not asked
        QTest::addColumn<QString>("group");
        QTest::newRow("none") << " <none> " << -1 << "";
        QTest::newRow("a name no group has, Yes: created") << "Nowhere " << int(Answer::Yes)
                                                            << "Nowhere ";
    }
    void addStoresEveryFieldAndTheGroup()
    {
        QFETCH(QString, box);
        QFETCH(int, answer);
        QFETCH(QString, group);
        Fixture f;
        QVERIFY(f.store.addGroup("Police"));
        TowRecord r;
        for (int i = 0; i < kTowFieldCount; ++i)
            r.values[size_t(i)] = QStringLiteral(" value %1 ").arg(i);
        r.set(TowField::toweddate, "3/1/2026");
        r.set(TowField::towedrelease, "3/4/2026 10:30");
        for (int i = 0; i < 8; ++i)
            r.set(TowField(int(TowField::cost1) + i), QStringLiteral("%1.25").arg(i));
        if (answer >= 0)
            f.dialogs.queueAnswer(Answer(answer));
        QVERIFY(f.editor.add(r, box, QDate(2026, 12, 6)) == TowRecordEditor::Outcome::Saved);
        TowRecord expected = r;
        expected.set(TowField::groupname, group);
        expected.set(TowField::total, "30"); // 0.25 + 1.25 + ... + 7.25
        expected.set(TowField::towedfee, "30.00");
        QCOMPARE(f.store.towRecord(r.id), std::optional<TowRecord>(expected));
        QCOMPARE(f.dialogs.count(), answer >= 0 ? 1 : 0);
        QCOMPARE(f.store.groupExists("Nowhere "), answer == int(Answer::Yes));
    }

    void checksBeforeSaving_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("answer"); // to the charges question; -1: none asked
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("message"); // the notice or question; "" for none
        QTest::addColumn<QString>("fee");     // towedfee stored
        const int towed = int(TowField::toweddate);
        const int released = int(TowField::towedrelease);
        const int hookup = int(TowField::cost1);
        QTest::newRow("stale tow fee is recomputed") << int(TowField::vehmake) << "Ford" << -1
            << true << "" << "120.50";
        QTest::newRow("no 31st in November") << towed << "11/31/2026" << -1 << false
            << "The \"Date Towed:\" box holds \"11/31/2026\", which is not a date. Type a date "
               "such as 12/6/2026." << "5.00";
        QTest::newRow("release that is no date") << released << "3/x/2026" << -1 << false
            << "The \"Date Released:\" box holds \"3/x/2026\", which is not a date. Type a "
               "date such as 12/6/2026." << "5.00";
        QTest::newRow("release before the tow") << released << "2/28/2026" << -1 << false
            << "The vehicle cannot be released (2/28/2026) before it was towed (3/1/2026). "
               "Correct \"Date Released:\" or \"Date Towed:\"." << "5.00";
        QTest::newRow("a time of day is allowed") << towed << "3/1/2026 10:30 PM" << -1 << true
            << "" << "120.50";
        QTest::newRow("no release date is allowed") << released << "" << -1 << true << ""
            << "120.50";
        QTest::newRow("charge with a dollar sign, No") << hookup << "$100" << int(Answer::No)
            << false
            << "These charges are not plain amounts:\r\n\"Towing Hookup\" holds \"$100\", "
               "which counts as 0.00.\r\n\r\nSave them counted like this?" << "5.00";
        QTest::newRow("charge with a dollar sign, Yes") << hookup << "$100" << int(Answer::Yes)
            << true << "These charges are not plain amounts:" << "20.50";
        QTest::newRow("charges below zero") << hookup << "-100" << -1 << false
            << "The charges add up to -79.50: a tow fee cannot be below zero." << "5.00";
    }
    void checksBeforeSaving()
    {
        QFETCH(int, field);
        QFETCH(QString, value);
        QFETCH(int, answer);
        QFETCH(bool, saved);
        QFETCH(QString, message);
        Fixture f;
        TowRecord r;
        r.set(TowField::vehyear, "1999");
        r.set(TowField::toweddate, "3/1/2026");
        r.set(TowField::towedrelease, "3/4/2026");
        r.set(TowField::cost1, "100");
        r.set(TowField::cost8, "20.50");
        r.set(TowField::towedfee, "5.00");
        r.id = *f.store.addTowRecord(r);
        const QString before = r.value(TowField(field));
        r.set(TowField(field), value);
        if (answer >= 0)
            f.dialogs.queueAnswer(Answer(answer));
        QCOMPARE(f.editor.apply(r, "<None>", QDate(2026, 12, 6)),
                 saved ? TowRecordEditor::Outcome::Saved : TowRecordEditor::Outcome::Failed);
        QCOMPARE(f.dialogs.count(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(f.dialogs.last().text.startsWith(message), qPrintable(f.dialogs.last().text));
        QTEST(f.store.towRecord(r.id)->value(TowField::towedfee), "fee");
        QCOMPARE(f.store.towRecord(r.id)->value(TowField(field)), saved ? value : before);
        if (!saved && !message.isEmpty())
            QCOMPARE(f.editor.problemField(), std::optional<TowField>(TowField(field)));
    }

    void addRefusedByTheDatabaseIsReported()
    {
        Fixture f;
        QSqlQuery query(f.store.database());
        QVERIFY(query.exec("CREATE TRIGGER refuse BEFORE INSERT ON wrecker "
                           "BEGIN SELECT RAISE(ABORT, 'disk is full'); END"));
        TowRecord r;
        r.set(TowField::vehyear, "2001");
        QCOMPARE(f.editor.add(r, "<None>", QDate(2026, 12, 6)), TowRecordEditor::Outcome::Failed);
        QCOMPARE(f.dialogs.count(), 1);
        QVERIFY2(f.dialogs.last().line().startsWith(kDbError) && f.dialogs.last().text.contains("disk is full"),
                 qPrintable(f.dialogs.last().line()));
        QCOMPARE((QList<int>{f.refreshes, int(f.store.towRecordCount())}), (QList<int>{0, 0}));
    }

    void applyRewritesTheRow()
    {
        Fixture f;
        QVERIFY(f.store.addGroup("Police"));
        const qint64 id = f.addRecord("1999", "Police");
        TowRecord r = *f.store.towRecord(id);
        r.set(TowField::vehmake, "Ford");
        r.set(TowField::toweddate, "");
        f.refreshes = 0;
        QCOMPARE(f.editor.apply(r, "Police"), TowRecordEditor::Outcome::Saved);
        // No date stamp, no year check on Apply.
        QCOMPARE(f.store.towRecord(id), std::optional<TowRecord>(r));
        QCOMPARE(f.dialogs.count(), 0);
        QCOMPARE(f.refreshes, 1);
        QCOMPARE(f.store.towRecordCount(), 1);
    }

    void applyWithAnUnknownGroup_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("groupCreated");
        QTest::newRow("yes creates the group") << "Impound" << true << true << "Impound" << true;
        QTest::newRow("no stores no group") << "Impound" << false << true << "" << false;
        QTest::newRow("case matters") << "police" << false << true << "" << false;
        QTest::newRow("<None> asks nothing") << " <NONE>" << true << false << "" << false;
        QTest::newRow("empty box asks nothing") << "" << true << false << "" << false;
        QTest::newRow("blank box asks nothing") << "   " << true << false << "" << false;
    }
    void applyWithAnUnknownGroup()
    {
        QFETCH(QString, box);
        QFETCH(bool, yes);
        QFETCH(bool, asked);
        Fixture f;
        QVERIFY(f.store.addGroup("Police"));
        const qint64 id = f.addRecord("1999", "Police");
        TowRecord r = *f.store.towRecord(id);
        f.dialogs.queueAnswer(yes ? Answer::Yes : Answer::No);
        QCOMPARE(f.editor.apply(r, box), TowRecordEditor::Outcome::Saved);
        QCOMPARE(f.dialogs.count(), asked ? 1 : 0);
        if (asked)
            QCOMPARE(f.dialogs.last().line(), "Question Exclamation YesNo|Could not find group|The group '" + box
                                                  + "' does not exist, Would you like to create it now?");
        QTEST(f.store.towRecord(id)->value(TowField::groupname), "stored");
        QTEST(f.store.groupExists(box), "groupCreated");
    }

    void applyToARemovedRecordIsReportedNotRecreated()
    {
        Fixture f;
        const qint64 id = f.addRecord("1999");
        const qint64 other = f.addRecord("2005");
        TowRecord r = *f.store.towRecord(id);
        QVERIFY(f.store.removeTowRecord(id));
        f.refreshes = 0;
        QCOMPARE(f.editor.apply(r, "<None>"), TowRecordEditor::Outcome::Failed);
        QCOMPARE(f.dialogs.count(), 1);
        QVERIFY(f.dialogs.last().line().startsWith(kDbError));
        QVERIFY(!f.store.towRecord(id));
        QCOMPARE(f.store.towRecord(other)->value(TowField::vehyear), QString("2005"));
        QCOMPARE(f.refreshes, 0);
    }

    // Another workstation saved the vehicle after it was read here: the user chooses, and a
    // record removed there meanwhile is reported, never made again.
    void applyAfterAnotherUsersSave_data()
    {
        QTest::addColumn<int>("answer"); // -1: removed elsewhere while the question is shown
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("returned");
        QTest::newRow("yes shows theirs") << int(Answer::Yes) << int(TowRecordEditor::Outcome::Reloaded) << "Dodge" << "Dodge";
        QTest::newRow("no keeps mine") << int(Answer::No) << int(TowRecordEditor::Outcome::Saved) << "Chevrolet" << "Chevrolet";
        QTest::newRow("cancel goes back") << int(Answer::Cancel) << int(TowRecordEditor::Outcome::Failed) << "Dodge" << "Chevrolet";
        QTest::newRow("removed elsewhere") << -1 << int(TowRecordEditor::Outcome::Failed) << "" << "Chevrolet";
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
        QCOMPARE(f.dialogs.shown().first().line(),
                 "Question Exclamation YesNoCancel||Another user saved this vehicle after you opened it "
                 "(now: 1999 Dodge , ).\r\n\r\nYes: show their version (your changes are dropped).\r\n"
                 "No: keep mine (your version is saved over theirs).\r\nCancel: go back to your changes without saving.");
        const std::optional<TowRecord> now = f.store.towRecord(id);
        QCOMPARE(now ? now->value(TowField::vehmake) : QString(), stored);
        if (answer < 0) {
            QVERIFY(f.dialogs.last().line().startsWith(kDbError + "No current record."));
            return;
        }
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.refreshes, answer == int(Answer::No) ? 1 : 0);
        // What comes back saves again as it stands.
        if (answer != int(Answer::Cancel))
            QCOMPARE(now->version, mine.version);
    }

    void vinMessages_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("valid");
        QTest::newRow("valid") << "1M8GDM9AXKP042788" << true;
        QTest::newRow("lower case and blanks") << "  1m8gdm9axkp042788 " << true;
        QTest::newRow("invalid") << "1M8GDM9AXKP042789" << false;
        QTest::newRow("empty") << "" << false;
    }

    void vinMessages()
    {
        QFETCH(QString, box);
        QFETCH(bool, valid);
        Fixture f;
        QVERIFY(f.settings.write("Company", "Name", "Ace Towing"));
        QCOMPARE(f.editor.checkVin(box), valid);
        QCOMPARE(f.dialogs.count(), 1);
        QCOMPARE(f.dialogs.last().line(),
                 valid ? QString("Notice Exclamation Ok|Ace Towing|Vehicle VIN Number entered is valid.")
                       : QString("Notice Critical Ok|Ace Towing|Vehicle VIN Number entered is not valid -"
                                 "\r\n Check Digit is Invalid."));
    }
};

QTEST_GUILESS_MAIN(TowRecordEditorTest)
#include "TowRecordEditor_test.moc"
