#include <QAbstractItemModelTester>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include "FindResultModel.h"

using namespace tarnvale;

class FindResultModelTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void rowsAndColumns()
    {
        FindResultModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setRowIcon(QStringLiteral("icon"));
        QCOMPARE(model.columnCount(), 3);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Vehicle Info"));
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Group"));

        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.append({FindResult{1, "Ann Lee", "2004 Taurus V1", "Lot 1"}});
        model.append({FindResult{2, "Bob", "1999", ""}, FindResult{3, "Cy", "", "Lot 2"}});
        model.append({});
        QCOMPARE(inserted.size(), 2);
        QCOMPARE(inserted.at(1).at(1).toInt(), 1);
        QCOMPARE(inserted.at(1).at(2).toInt(), 2);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Ann Lee"));
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("2004 Taurus V1"));
        QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Lot 1"));
        QCOMPARE(model.index(2, 2).data().toString(), QStringLiteral("Lot 2"));
        QCOMPARE(model.index(1, 0).data(Qt::DecorationRole).toString(), QStringLiteral("icon"));
        QVERIFY(!model.index(1, 1).data(Qt::DecorationRole).isValid());
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        QCOMPARE(model.at(1).id, 2);

        model.clear();
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(model.rows().isEmpty());
    }
};

QTEST_GUILESS_MAIN(FindResultModelTest)
#include "FindResultModel_test.moc"
