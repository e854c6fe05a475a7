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

namespace {
const FindRequest kAnn{"<All>", "<All>", "ann", false, false};
}

class SearchRunnerTest : public QObject
{
    Q_OBJECT

  private:
    std::optional<SearchStore> m_data;

  private Q_SLOTS:
    void init()
    {
        m_data.emplace();
        QVERIFY(m_data->opened && fillSampleStore(m_data->store));
    }
    void cleanup() { m_data.reset(); }

    // Every row in table order, in batches, by the reader asked; one search at a time.
    void deliversEveryRowInOrder()
    {
        SearchRunner runner(m_data->store);
        runner.setBatchSize(2);
        runner.setReader(RecordSearch::Reader::Generic);
        QList<FindResult> rows;
        connect(&runner, &SearchRunner::rowsFound, this,
                [&rows](const QList<FindResult> &batch) { rows.append(batch); });
        QSignalSpy finished(&runner, &SearchRunner::finished);
        QVERIFY(runner.start(kAnn));
        QVERIFY(!runner.start(FindRequest{"<All>", "<All>", "bob", false, false}));
        QVERIFY(finished.wait(10000));
        QVERIFY(!runner.isRunning());
        QCOMPARE(finished.at(0).mid(0, 2), (QVariantList{true, 0}));
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows.at(0), (FindResult{1, "Ann Lee", "2004 Taurus VINANN", "Lot 1"}));
        QCOMPARE(rows.at(3).id, 4);
    }

    // A view standing in for the table is code from the file: the search does not run it.
    void searchConnectionRunsNoViews()
    {
        RecordStore &store = m_data->store;
        const QString path = store.path();
        store.close();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "maker");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec("ALTER TABLE wrecker RENAME TO wrecker_rows"));
            QVERIFY(QSqlQuery(db).exec("CREATE VIEW wrecker AS SELECT * FROM wrecker_rows"));
        }
        QSqlDatabase::removeDatabase("maker");
        QVERIFY(store.open(path, RecordStore::OpenMode::ExistingOnly));
        SearchRunner runner(store);
        QSignalSpy found(&runner, &SearchRunner::rowsFound);
        QSignalSpy finished(&runner, &SearchRunner::finished);
        QVERIFY(runner.start(kAnn));
        QVERIFY(finished.wait(10000));
        QCOMPARE(found.size(), 0);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY2(finished.at(0).at(2).toString().contains("view"),
                 qPrintable(finished.at(0).at(2).toString()));
    }
};

QTEST_GUILESS_MAIN(SearchRunnerTest)
#include "SearchRunner_test.moc"
