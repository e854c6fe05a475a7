#include <QAbstractItemModelTester>
#include <QColor>
#include <QFont>
#include <QSqlQuery>
#include <QTest>

#include "GroupTreeModel.h"
#include "RecordStore.h"
#include "StoreFixture.h"

using namespace tarnvale;
using Role = GroupTreeModel::Role;

namespace {

struct Fixture
{
    test::TestFolder dir;
    RecordStore store;
    GroupTreeModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};

    Fixture() { store.open(dir.databasePath(), RecordStore::OpenMode::CreateIfMissing); }
    qint64 vehicle(const QString &group, const QString &year = "1999", const QString &make = "Ford",
                   const QString &model = "Taurus", const QString &color = "red")
    {
        return test::addVehicle(store, group, year, make, model, color);
    }
    QStringList childTexts(const QModelIndex &parent) const
    {
        QStringList texts;
        for (int row = 0; row < model.rowCount(parent); ++row)
            texts << model.index(row, 0, parent).data().toString();
        return texts;
    }
};

} // namespace

class GroupTreeModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyTablesGiveTheTwoFixedNodes();
    void groupsVehiclesAndOther();
    void nodeIdentity();
    void expandedSetting();
    void vehicleLabel_data();
    void vehicleLabel();
    void rebuildFailureKeepsWhatWasBuilt();
    void nodesCannotBeDragged();
};

void GroupTreeModelTest::emptyTablesGiveTheTwoFixedNodes()
{
    Fixture f;
    QVERIFY(!f.model.rebuild(f.store, false).isError());
    QCOMPARE(f.model.rowCount(), 2);
    QCOMPARE(f.model.rootIndex().data().toString(), QString("Tow Groups"));
    QCOMPARE(f.model.otherIndex().data().toString(), QString("Other"));
    for (const QModelIndex &top : {f.model.rootIndex(), f.model.otherIndex()}) {
        QVERIFY(top.data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(top.data(Role::ExpandedRole).toBool());
        QCOMPARE(top.data(Role::TagRole).toString(), QString());
        QCOMPARE(top.data(Role::ImageRole).toInt(), 7);
        QCOMPARE(top.data(Role::SelectedImageRole).toInt(), 7);
        QCOMPARE(f.model.rowCount(top), 0);
    }
    QCOMPARE(f.model.recordCount(), 0);
}

void GroupTreeModelTest::groupsVehiclesAndOther()
{
    Fixture f;
    QVERIFY(f.store.addGroup("Lot A"));
    // Blanks only (a name no longer accepted, in an older file): no node.
    QVERIFY(QSqlQuery(f.store.database()).exec("INSERT INTO groups (groupname) VALUES ('  ')"));
    QVERIFY(f.store.addGroup("Police Hold"));
    f.vehicle("Lot A", "1999", "Ford", "Taurus", "red");
    f.vehicle("", "2004", "Honda", "Civic", "blue");
    f.vehicle("   ", "2010", "Kia", "Rio", "white");     // blank group: Other
    f.vehicle("Lot Z", "2001", "Jeep", "Liberty", "tan"); // no such group: no node, still counted
    f.vehicle("lot a", "2002", "Audi", "A4", "gray");     // group names are case-sensitive
    f.vehicle("Police Hold", "2015", "Dodge", "Ram", "black");
    f.vehicle("Lot A", "2020", "Tesla", "Model 3", "white");
    f.vehicle("Lot A", "2003", QString::fromUtf8("Citroën"), "c5", QString::fromUtf8("grün"));
    QVERIFY(!f.model.rebuild(f.store, false).isError());

    QCOMPARE(f.childTexts(f.model.rootIndex()), QStringList({"Lot A", "Police Hold"}));
    const QModelIndex lotA = f.model.index(0, 0, f.model.rootIndex());
    QCOMPARE(f.childTexts(lotA), QStringList({"1999 FORD TAURUS RED", "2020 TESLA MODEL 3 WHITE",
                                          QString::fromUtf8("2003 CITROËN C5 GRÜN")}));
    QCOMPARE(f.childTexts(f.model.otherIndex()), QStringList({"2004 HONDA CIVIC BLUE", "2010 KIA RIO WHITE"}));
    QCOMPARE(f.model.recordCount(), 8);

    const QModelIndex inGroup = f.model.index(0, 0, lotA);
    QCOMPARE(inGroup.data(Role::ImageRole).toInt(), 4);
    QCOMPARE(inGroup.data(Role::SelectedImageRole).toInt(), 3);
    QCOMPARE(inGroup.data(Qt::ForegroundRole).value<QColor>(), QColor(100, 100, 130));
    const QModelIndex loose = f.model.index(0, 0, f.model.otherIndex());
    QCOMPARE(loose.data(Role::ImageRole).toInt(), 6);
    QCOMPARE(loose.data(Role::SelectedImageRole).toInt(), 5);
    QCOMPARE(loose.data(Qt::ForegroundRole).value<QColor>(), QColor(100, 100, 130));
    QCOMPARE(lotA.data(Role::ImageRole).toInt(), 2);
    QCOMPARE(lotA.data(Role::SelectedImageRole).toInt(), 8);
    QVERIFY(!lotA.data(Qt::FontRole).value<QFont>().bold());
}

void GroupTreeModelTest::nodeIdentity()
{
    Fixture f;
    const qint64 groupId = *f.store.addGroup("Lot A");
    const qint64 inGroup = f.vehicle("Lot A");
    const qint64 loose = f.vehicle("");
    QVERIFY(!f.model.rebuild(f.store, false).isError());

    const QModelIndex group = f.model.groupIndex(groupId);
    QCOMPARE(group.data(Role::KeyRole).toString(), "G" + QString::number(groupId));
    QCOMPARE(group.data(Role::TagRole).toString(), "G|" + QString::number(groupId));
    QCOMPARE(group.data(Role::IdRole).toLongLong(), groupId);
    const QModelIndex vehicle = f.model.vehicleIndex(inGroup);
    QCOMPARE(vehicle.parent(), group);
    QCOMPARE(vehicle.data(Role::KeyRole).toString(), "C" + QString::number(inGroup));
    QCOMPARE(vehicle.data(Role::TagRole).toString(), "C|" + QString::number(inGroup));
    QCOMPARE(f.model.vehicleIndex(loose).parent(), f.model.otherIndex());

    const QString rootKey = f.model.rootIndex().data(Role::KeyRole).toString();
    const QString otherKey = f.model.otherIndex().data(Role::KeyRole).toString();
    QVERIFY(rootKey.startsWith("ROOT"));
    QVERIFY(otherKey.startsWith("STRY"));
    for (const QString &number : {rootKey.mid(4), otherKey.mid(4)}) {
        bool ok = false;
        const qint64 value = number.toLongLong(&ok);
        QVERIFY(ok && value >= 0 && value <= 999999999);
        QCOMPARE(QString::number(value), number); // decimal, no blanks or signs
    }
    QVERIFY(!f.model.vehicleIndex(9999).isValid());
}

void GroupTreeModelTest::expandedSetting()
{
    Fixture f;
    QVERIFY(f.store.addGroup("Lot A"));
    QVERIFY(!f.model.rebuild(f.store, true).isError());
    QVERIFY(f.model.index(0, 0, f.model.rootIndex()).data(Role::ExpandedRole).toBool());
    QVERIFY(!f.model.rebuild(f.store, false).isError());
    QVERIFY(!f.model.index(0, 0, f.model.rootIndex()).data(Role::ExpandedRole).toBool());
}

void GroupTreeModelTest::vehicleLabel_data()
{
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QString>("label");
    QTest::newRow("worked example") << QStringList{"1999", "Ford", "Taurus", "red"} << "1999 FORD TAURUS RED";
    QTest::newRow("year kept as stored") << QStringList{"'99a", "kia", "rio", "Blue"} << "'99a KIA RIO BLUE";
    QTest::newRow("empty parts keep their blanks") << QStringList{"", "", "", ""} << "   ";
    QTest::newRow("non-ASCII") << QStringList{"2001", "citroën", "c5", "grün"} << QString::fromUtf8("2001 CITROËN C5 GRÜN");
    QTest::newRow("non-ASCII year kept") << QStringList{"ß99", "vw", "up", "x"} << QString::fromUtf8("ß99 VW UP X");
}

void GroupTreeModelTest::vehicleLabel()
{
    QFETCH(QStringList, parts);
    Fixture f;
    f.vehicle("", parts[0], parts[1], parts[2], parts[3]);
    QVERIFY(!f.model.rebuild(f.store, false).isError());
    QTEST(f.model.index(0, 0, f.model.otherIndex()).data().toString(), "label");
}

void GroupTreeModelTest::rebuildFailureKeepsWhatWasBuilt()
{
    Fixture f;
    QVERIFY(f.store.addGroup("Lot A"));
    f.vehicle("Lot A");
    QVERIFY(!f.model.rebuild(f.store, false).isError());
    QCOMPARE(f.model.recordCount(), 1);
    // Losing the vehicles table mid-life: groups still show, the error comes back.
    QVERIFY(QSqlQuery(f.store.database()).exec("ALTER TABLE wrecker RENAME TO wrecker_old"));
    const DbError error = f.model.rebuild(f.store, false);
    QVERIFY(error.isError());
    QVERIFY2(error.description.contains("no such table: wrecker"), qPrintable(error.description));
    QCOMPARE(f.childTexts(f.model.rootIndex()), QStringList({"Lot A"}));
    QCOMPARE(f.model.rowCount(f.model.index(0, 0, f.model.rootIndex())), 0);
}

void GroupTreeModelTest::nodesCannotBeDragged()
{
    Fixture f;
    QVERIFY(f.store.addGroup("Lot A"));
    f.vehicle("Lot A");
    QVERIFY(!f.model.rebuild(f.store, false).isError());
    const QModelIndex vehicle = f.model.index(0, 0, f.model.index(0, 0, f.model.rootIndex()));
    QVERIFY(!(f.model.flags(vehicle) & Qt::ItemIsDragEnabled));
    QVERIFY(!(f.model.flags(vehicle) & Qt::ItemIsDropEnabled));
}

QTEST_GUILESS_MAIN(GroupTreeModelTest)
#include "GroupTreeModel_test.moc"
