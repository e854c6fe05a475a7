#include <QLocale>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <functional>

#include "FindRules.h"
#include "RecordSearch.h"
#include "SearchRunner.h"
#include "SearchQueries.h"
#include "SearchTestData.h"
#include "SqliteReader.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

// The ids found, in order; {-1} when the search failed.
QList<qint64> ids(const std::optional<QList<FindResult>> &results)
{
    QList<qint64> out;
    for (const FindResult &r : results.value_or(QList<FindResult>{}))
        out << r.id;
    return results ? out : QList<qint64>{-1};
}

} // namespace

class RecordSearchTest : public QObject
{
    Q_OBJECT

  private:
    std::optional<SearchStore> m_data; // the sample store on the engine of the run

    static constexpr RecordSearch::Reader kReaders[] = {RecordSearch::Reader::Native,
                                                        RecordSearch::Reader::Generic};

    // Runs the search on db with the reader; the rows found are appended to rows.
    static RecordSearch::Outcome run(const QSqlDatabase &db, const FindRequest &request,
                                     RecordSearch::Reader reader, QList<FindResult> &rows,
                                     DbError *error = nullptr, bool useIndex = true)
    {
        DbError ignored;
        return RecordSearch::run(
            db, request, [&rows](QList<FindResult> &&found) { rows.append(std::move(found)); },
            error ? error : &ignored, {.reader = reader, .useIndex = useIndex});
    }

    // The ids found in the sample store; {-1} when the search failed.
    QList<qint64> found(const FindRequest &request, RecordSearch::Reader reader, bool index = true)
    {
        QList<FindResult> rows;
        const auto outcome = run(m_data->store.database(), request, reader, rows, nullptr, index);
        return ids(outcome == RecordSearch::Outcome::Done ? std::optional(rows) : std::nullopt);
    }

    // Runs the statements, then body, on the SQLite file of that name in the test folder.
    void withDatabase(const QString &name, const QStringList &statements,
                      const std::function<void(const QSqlDatabase &)> &body = {})
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(m_data->folder.file(name));
            QVERIFY(db.open());
            QSqlQuery q(db);
            for (const QString &statement : statements)
                QVERIFY2(q.exec(statement), qPrintable(statement));
            if (body)
                body(db);
        }
        QSqlDatabase::removeDatabase(name);
    }

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init()
    {
        SKIP_WITHOUT_ENGINE();
        m_data.emplace();
        QVERIFY(m_data->opened && fillSampleStore(m_data->store));
    }
    void cleanup() { m_data.reset(); }

    // The sample vehicles are ids 1 Ann Lee, 2 Joann Smith, 3 Anne Marie, 4 ANN BROWN,
    // 5 Bob Stone, 6 Renée Ångström, 7 Carl Ford (group " Lot 1").
    void search_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("wholeWord");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<QList<qint64>>("expected");
        using L = QList<qint64>;
        // clang-format off
        QTest::newRow("all fields, any case") << "<All>" << "<All>" << "ann" << false << false << L{1, 2, 3, 4};
        QTest::newRow("names only, word") << "<All>" << "Name" << "ann" << true << false << L{1, 4};
        QTest::newRow("plate") << "<All>" << "Vehicle Tag" << "ann" << false << false << L{1, 2, 3};
        QTest::newRow("phone") << "Lot 2" << "Phone" << "0100" << false << false << L{3};
        QTest::newRow("<All> leaves the plate out") << "<All>" << "<All>" << "joann-" << false << false << L{};
        QTest::newRow("<All> leaves the phone out") << "<All>" << "<All>" << "555-0100" << false << false << L{};
        QTest::newRow("empty text finds nothing") << "<All>" << "<All>" << "" << false << false << L{};
        QTest::newRow("a blank is a search text") << "<All>" << "Name" << " " << false << false << L{1, 2, 3, 4, 5, 6, 7};
        QTest::newRow("one group") << "Lot 1" << "<All>" << "ann" << false << false << L{1, 2};
        QTest::newRow("group name case counts") << "lot 1" << "<All>" << "ann" << false << false << L{4};
        QTest::newRow("<None>: only without a group") << "<None>" << "<All>" << "o" << false << false << L{5};
        // "|" and a status word after the group: the vehicles of that status alone.
        QTest::newRow("group and status") << "Lot 1|storage" << "<All>" << "ann" << false << false << L{1, 2};
        QTest::newRow("status none has") << "<All>|released" << "<All>" << "ann" << false << false << L{};
        QTest::newRow("beyond ASCII, any case") << "<All>" << "<All>" << QString::fromUtf16(u"\u00C5NGSTR\u00D6M") << false << false << L{6};
        // clang-format on
    }
    void search()
    {
        QFETCH(QString, group);
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, wholeWord);
        QFETCH(bool, matchCase);
        QFETCH(QList<qint64>, expected);
        const QStringList groupAndStatus = group.split(u'|');
        const FindRequest request{groupAndStatus[0], field, text, wholeWord, matchCase,
                                  groupAndStatus.value(1)};
        for (RecordSearch::Reader reader : kReaders)
            QCOMPARE(found(request, reader), expected);
        QCOMPARE(ids(RecordSearch::find(m_data->store, request)), expected);
        // Among some records only (out of order, twice, missing): the same rows, whole.
        QList<FindResult> among = *RecordSearch::find(m_data->store, request);
        among.removeIf([](const FindResult &row) { return row.id % 2 == 0; });
        QCOMPARE(RecordSearch::findAmong(m_data->store, request, {7, 3, 99, 1, 3, 5}), among);
        // The window's way: the ids alone, then the texts of the rows it shows (asked for out
        // of order, twice, and one that is missing): the whole search's rows.
        QList<FindResult> idsAlone;
        QCOMPARE(RecordSearch::run(
                     m_data->store.database(), request,
                     [&idsAlone](QList<FindResult> &&rows) { idsAlone.append(std::move(rows)); },
                     nullptr, {.idsOnly = true}),
                 RecordSearch::Outcome::Done);
        QVERIFY(std::none_of(idsAlone.cbegin(), idsAlone.cend(),
                             [](const FindResult &row) { return row.hasTexts(); }));
        QCOMPARE(ids(idsAlone), expected);
        QList<qint64> asked(expected.crbegin(), expected.crend());
        asked << expected << 99999;
        QCOMPARE(RecordSearch::textsOf(m_data->store, asked), RecordSearch::find(m_data->store, request));
    }

    // A database made elsewhere may hold nulls: they count as empty text everywhere. A table
    // without a column the search reads: the engine's reason.
    void tablesMadeElsewhere()
    {
        SQLITE_ONLY();
        withDatabase(
            "nulls.db",
            {"CREATE TABLE wrecker (id INTEGER PRIMARY KEY, custname TEXT, custaddress TEXT, "
             "custcity TEXT, custstate TEXT, custzip TEXT, vehyear TEXT, vehmake TEXT, "
             "vehmodel TEXT, vehstyle TEXT, vehcolor TEXT, vehvin TEXT, groupname TEXT)",
             "INSERT INTO wrecker (id, custname, vehmodel, vehvin) VALUES (1, NULL, 'Null', 'V1')",
             "INSERT INTO wrecker (id, custname, vehyear, vehmake, vehmodel, vehstyle, vehvin) "
             "VALUES (2, 'Null Group', '2001', 'Ford', NULL, 'Van', NULL)"},
            [](const QSqlDatabase &db) {
                for (RecordSearch::Reader reader : kReaders) {
                    QList<FindResult> rows;
                    QCOMPARE(run(db, {"<None>", "<All>", "null", false, false}, reader, rows),
                             RecordSearch::Outcome::Done);
                    QCOMPARE(rows, (QList<FindResult>{FindResult{1, "", "", ""},
                                                      FindResult{2, "Null Group", "2001  ", ""}}));
                }
                QVERIFY(QSqlQuery(db).exec("ALTER TABLE wrecker DROP COLUMN vehyear"));
                for (RecordSearch::Reader reader : kReaders) {
                    DbError error;
                    QList<FindResult> rows;
                    QCOMPARE(run(db, {"<All>", "Name", "ann", false, false}, reader, rows, &error),
                             RecordSearch::Outcome::Failed);
                    QVERIFY(error.description.contains(QLatin1String("no such column")));
                }
            });
    }

    // Random records with blanks, case and characters beyond ASCII: both readers, the native
    // one with and without the search index, agree with each other and with the rule applied
    // record by record. Texts of fewer than three characters are not served by the index, nor
    // texts beyond ASCII without case holding a character the index folds apart.
    void readersAgreeWithTheRule()
    {
        // Pieces of text joined at random; "|" separates them.
        const QStringList pieces =
            QString::fromUtf16(u"ann|Ann|ANN| |jo|\u00E9|\u00C9|\u212A|k|-|Lee|\u0130|i|\"|Ford|"
                               u"rd|M\u00FCller|M\u00DCLLER|\u1E9E|\u00DF|\u03A3|\u03C2|"
                               u"\u13A0|\uAB70|\u0307")
                .split(u'|');
        QRandomGenerator rng(99);
        auto randomText = [&] {
            QString text;
            const int n = int(rng.bounded(5));
            for (int i = 0; i < n; ++i)
                text += pieces.at(int(rng.bounded(qsizetype(pieces.size()))));
            return text;
        };
        const QList<TowField> allFields = *FindRules::fieldsForKey(u"<All>");
        QList<TowRecord> written;
        TransactionGuard transaction(m_data->store.database());
        for (int i = 0; i < 300; ++i) {
            TowRecord r;
            for (TowField f : allFields)
                r.set(f, randomText());
            // A capital I with a dot lower-cases to an i: "anni" is in the first VIN.
            r.set(TowField::vehvin, i == 0 ? QString::fromUtf16(u"ANN\u0130-LEE") : randomText());
            r.set(TowField::groupname, i > 0 && rng.bounded(3) == 0 ? QString() : QStringLiteral("Random"));
            const std::optional<qint64> id = m_data->store.addTowRecord(r);
            QVERIFY(id);
            r.id = *id;
            if (!r.value(TowField::groupname).isEmpty())
                written << r; // the records the searches below may find
        }
        QVERIFY(transaction.commit());
        const QStringList finds =
            QString::fromUtf16(u"ann|ANN|ann lee|\u00E9|k|jo-| |kan|Kann|\u212Aann|ijo|ANNI|"
                               u"\u0130jo|\u00E9jo|\u00C9-Lee|e\"k|an|ee|ford|RD|m\u00FCller|"
                               u"\u00FCll|\u00DF\u00DFa|\u03C3\u03C3|\uAB70an|\u0307an|i\u0307an")
                .split(u'|');
        int served = 0, total = 0, beyondAscii = 0, keysServed = 0;
        QList<qint64> thirds; // and ids no record has
        for (qint64 id = 330; id > 0; id -= 3)
            thirds << id;
        // The plate, VIN and phone fields are looked up in the index's key column.
        for (const QString key : {"<All>", "Vehicle Vin", "Phone"})
        for (const QString &find : finds) {
            for (int mode = 0; mode < 4; ++mode) {
                const bool word = mode >= 2, keepCase = mode % 2 == 1;
                const FindRequest request{"Random", key, find, word, keepCase};
                const QList<TowField> fields = *FindRules::fieldsForKey(key);
                QList<qint64> expected;
                for (const TowRecord &r : written)
                    if (std::any_of(fields.begin(), fields.end(), [&](TowField f) {
                            return FindRules::matches(r.value(f), find, MatchMode(mode));
                        }))
                        expected << r.id;
                total += int(expected.size());
                for (RecordSearch::Reader reader : kReaders)
                    QCOMPARE(found(request, reader), expected);
                QCOMPARE(found(request, RecordSearch::Reader::Native, false), expected);
                expected.removeIf([](qint64 id) { return id % 3 != 0; });
                QCOMPARE(ids(RecordSearch::findAmong(m_data->store, request, thirds)), expected);
                // Beyond ASCII without case, where the index folds as the rules do.
                const bool serves = RecordSearch::indexServes(request);
                if (key != "<All>")
                    keysServed += serves ? 1 : 0;
                else if (keepCase || find.toLatin1() == find.toUtf8())
                    QCOMPARE(serves, find.toUcs4().size() >= 3);
                else
                    beyondAscii += serves ? 1 : 0;
                served += serves && key == "<All>" ? 1 : 0;
            }
        }
        QVERIFY(total > 200 && served > 30 && beyondAscii > 0 && keysServed > 20);
    }

    // Rows come in batches of the size asked; once the sink asks to stop, no further row.
    void batchesAndCancel()
    {
        std::atomic<bool> stop{false};
        bool stopAfterFirst = false;
        const RecordSearch::Options options{.batchSize = 3, .cancel = &stop};
        QList<int> sizes;
        DbError error;
        auto run = [&] {
            sizes.clear();
            return RecordSearch::run(
                m_data->store.database(), FindRequest{"<All>", "Name", " ", false, false},
                [&](QList<FindResult> &&rows) { sizes << int(rows.size()), stop = stopAfterFirst; },
                &error, options);
        };
        QVERIFY(run() == RecordSearch::Outcome::Done && sizes == (QList<int>{3, 3, 1}));
        stopAfterFirst = true;
        QVERIFY(run() == RecordSearch::Outcome::Cancelled && sizes == QList<int>{3});
        QCOMPARE(error.number, 0);
        SqliteReader reader(m_data->store.database()); // a long step of the engine stops too
        reader.stopWhen(&stop);
        const char *count = "WITH RECURSIVE n(x) AS (VALUES (1) UNION ALL SELECT x + 1 FROM n "
                            "WHERE x < 1e7) SELECT count(*) FROM n";
        QVERIFY(!reader.isOpen() ||
                (reader.prepare(count) && reader.step() == SqliteReader::Step::Failed));
    }

    // On a server the trigram index is made with the store; a user who may not make it
    // searches without it and finds the same.
    void serverIndexOrNot()
    {
        if (!m_data->store.isServer())
            QSKIP("about the server's index");
        const FindRequest ann{"<All>", "Name", "ann", false, false};
        for (const char *index : {SearchQueries::kServerIndex, SearchQueries::kServerKeysIndex,
                                  SearchQueries::kServerQuickIndex})
            QVERIFY2(SearchQueries::hasServerIndex(m_data->store.database(), index), index);
        // A database of the version before the quick index gets it when next opened.
        QVERIFY(QSqlQuery(m_data->store.database()).exec("DROP INDEX wrecker_quick_trgm"));
        RecordStore later;
        QVERIFY(later.open(m_data->folder.databasePath(), RecordStore::OpenMode::ExistingOnly) &&
                SearchQueries::hasServerIndex(later.database(), SearchQueries::kServerQuickIndex));
        later.close();
        QVERIFY(QSqlQuery(m_data->store.database()).exec("DROP EXTENSION pg_trgm CASCADE"));
        runOnTestServer("CREATE ROLE tarnvale_clerk LOGIN");
        for (const char *grant : {"ALL ON ALL TABLES", "ALL ON ALL SEQUENCES"})
            QVERIFY(QSqlQuery(m_data->store.database())
                        .exec(QString("GRANT %1 IN SCHEMA public TO tarnvale_clerk").arg(grant)));
        QUrl clerkPath(m_data->folder.databasePath());
        clerkPath.setUserName("tarnvale_clerk");
        RecordStore clerk;
        QVERIFY(clerk.open(clerkPath.toString(), RecordStore::OpenMode::ExistingOnly) &&
                !clerk.isReadOnly() && !SearchQueries::hasServerIndex(clerk.database()));
        QCOMPARE(ids(RecordSearch::find(clerk, ann)), (QList<qint64>{1, 2, 3, 4}));
    }

    // A view standing in for the table is code from the file: the search does not run it.
    void searchConnectionRunsNoViews()
    {
        SQLITE_ONLY();
        RecordStore &store = m_data->store;
        store.close();
        withDatabase("data.dll", {"ALTER TABLE wrecker RENAME TO wrecker_rows",
                                  "CREATE VIEW wrecker AS SELECT * FROM wrecker_rows"});
        QVERIFY(store.open(m_data->folder.databasePath(), RecordStore::OpenMode::ExistingOnly));
        const FindRequest ann{"<All>", "<All>", "ann", false, false};
        SearchRunner runner(store);
        QSignalSpy found(&runner, &SearchRunner::rowsFound);
        QSignalSpy finished(&runner, &SearchRunner::finished);
        runner.start(ann);
        QVERIFY(finished.wait(10000) && found.size() == 0 && !finished.at(0).at(0).toBool());
        QVERIFY(finished.at(0).at(2).toString().contains("view"));
    }
};

QTEST_GUILESS_MAIN(RecordSearchTest)
#include "RecordSearch_test.moc"
