#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "FindResultModel.h"

using namespace tarnvale;

class FindResultModelTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void rowsAndColumns()
    {
        FindResultModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setRowIcon(QStringLiteral("icon"));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.append({FindResult{1, "Ann Lee", "2004 Taurus V1", "Lot 1"}});
        model.append({FindResult{2, "Bob", "1999", ""}, FindResult{3, "Cy", "", "Lot 2"}});
        model.append({});
        QCOMPARE(inserted.size(), 2);
        QCOMPARE(inserted.at(1).mid(1), (QVariantList{1, 2}));
        QStringList cells;
        for (int row = 0; row < model.rowCount(); ++row)
            for (int column = 0; column < model.columnCount(); ++column)
                cells << model.index(row, column).data().toString();
        QCOMPARE(cells, (QStringList{"Ann Lee", "2004 Taurus V1", "Lot 1", "Bob", "1999", "", "Cy",
                                     "", "Lot 2"}));
        for (int column = 0; column < 3; ++column)
            cells[column] = model.headerData(column, Qt::Horizontal).toString();
        QCOMPARE(cells.mid(0, 3), (QStringList{"Name", "Vehicle Info", "Group"}));
        QCOMPARE(model.index(1, 0).data(Qt::DecorationRole).toString(), QStringLiteral("icon"));
        QVERIFY(!model.index(1, 1).data(Qt::DecorationRole).isValid());
        QCOMPARE(model.at(1).id, 2);
        model.clear();
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(FindResultModelTest)
#include "FindResultModel_test.moc"
