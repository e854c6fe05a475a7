#include <QLocale>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include "RecordStore.h"
#include "SearchRunner.h"
#include "SearchTestData.h"

#include <optional>

using namespace tarnvale;
using namespace tarnvale::test;

class SearchRunnerTest : public QObject
{
    Q_OBJECT

  private:
    std::optional<SearchStore> m_data;
    RecordStore *m_store = nullptr;

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init()
    {
        m_data.emplace();
        m_store = &m_data->store;
        QVERIFY(m_data->opened);
        QVERIFY(fillSampleStore(*m_store));
    }
    void cleanup() { m_data.reset(); }

    void deliversEveryRowInOrder_data()
    {
        QTest::addColumn<int>("reader");
        QTest::newRow("native") << int(RecordSearch::Reader::Native);
        QTest::newRow("generic") << int(RecordSearch::Reader::Generic);
    }
    void deliversEveryRowInOrder()
    {
        QFETCH(int, reader);
        SearchRunner runner(*m_store);
        runner.setBatchSize(2);
        runner.setReader(RecordSearch::Reader(reader));
        QList<FindResult> rows;
        connect(&runner, &SearchRunner::rowsFound, this,
                [&rows](const QList<FindResult> &batch) { rows.append(batch); });
        QSignalSpy finished(&runner, &SearchRunner::finished);
        QVERIFY(runner.start(FindRequest{"<All>", "<All>", "ann", false, false}));
        QVERIFY(runner.isRunning());
        QVERIFY(finished.wait(10000));
        QVERIFY(!runner.isRunning());
        QCOMPARE(finished.at(0).at(0).toBool(), true);
        QCOMPARE(finished.at(0).at(1).toInt(), 0);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows.at(0), (FindResult{1, "Ann Lee", "2004 Taurus VINANN", "Lot 1"}));
        QCOMPARE(rows.at(3).id, 4);
    }

    // A view standing in for the table is code from the file: the search does not run it.
    void searchConnectionRunsNoViews()
    {
        const QString path = m_store->path();
        m_store->close();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "maker");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec("ALTER TABLE wrecker RENAME TO wrecker_rows"));
            QVERIFY(QSqlQuery(db).exec("CREATE VIEW wrecker AS SELECT * FROM wrecker_rows"));
        }
        QSqlDatabase::removeDatabase("maker");
        QVERIFY(m_store->open(path, RecordStore::OpenMode::ExistingOnly));
        QVERIFY(m_store->isReadOnly());
        SearchRunner runner(*m_store);
        QSignalSpy found(&runner, &SearchRunner::rowsFound);
        QSignalSpy finished(&runner, &SearchRunner::finished);
        QVERIFY(runner.start(FindRequest{"<All>", "<All>", "ann", false, false}));
        QVERIFY(finished.wait(10000));
        QCOMPARE(found.size(), 0);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY2(finished.at(0).at(2).toString().contains("view"),
                 qPrintable(finished.at(0).at(2).toString()));
    }

    void secondStartIsRefusedWhileRunning()
    {
        SearchRunner runner(*m_store);
        QSignalSpy finished(&runner, &SearchRunner::finished);
        QVERIFY(runner.start(FindRequest{"<All>", "<All>", "ann", false, false}));
        QVERIFY(!runner.start(FindRequest{"<All>", "<All>", "bob", false, false}));
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.size(), 1);
        // Once finished, a new search may start.
        QVERIFY(runner.start(FindRequest{"<All>", "<All>", "bob", false, false}));
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.size(), 2);
    }

    void cancelledSearchDeliversNothingMore()
    {
        SearchRunner runner(*m_store);
        QSignalSpy found(&runner, &SearchRunner::rowsFound);
        QSignalSpy finished(&runner, &SearchRunner::finished);
        QVERIFY(runner.start(FindRequest{"<All>", "<All>", "ann", false, false}));
        runner.cancel();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QCOMPARE(finished.at(0).at(1).toInt(), 0);
        QCOMPARE(found.size(), 0);
        QVERIFY(!runner.isRunning());
    }

    // Destroying the runner in the middle of a search waits for the thread, then nothing
    // more arrives.
    void destroyedWhileRunning()
    {
        int delivered = 0;
        {
            SearchRunner runner(*m_store);
            connect(&runner, &SearchRunner::rowsFound, this, [&delivered] { ++delivered; });
            QVERIFY(runner.start(FindRequest{"<All>", "<All>", "ann", false, false}));
        }
        QTest::qWait(50);
        QCOMPARE(delivered, 0);
    }
};

QTEST_GUILESS_MAIN(SearchRunnerTest)
#include "SearchRunner_test.moc"
