#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include "RecordStore.h"
#include "SearchRunner.h"
#include "SearchTestData.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {
const FindRequest kAnn{"<All>", "<All>", "ann", false, false};
}

class SearchRunnerTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // A view standing in for the table is code from the file: the search does not run it.
    void searchConnectionRunsNoViews()
    {
        SearchStore data;
        QVERIFY(data.opened && fillSampleStore(data.store));
        RecordStore &store = data.store;
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
        QVERIFY(!runner.start(kAnn)); // one search at a time
        QVERIFY(finished.wait(10000));
        QCOMPARE(found.size(), 0);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY2(finished.at(0).at(2).toString().contains("view"),
                 qPrintable(finished.at(0).at(2).toString()));
    }
};

QTEST_GUILESS_MAIN(SearchRunnerTest)
#include "SearchRunner_test.moc"
