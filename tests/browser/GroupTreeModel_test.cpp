#include <QAbstractItemModelTester>
#include <QSqlQuery>
#include <QTest>

#include "GroupTreeModel.h"
#include "StoreFixture.h"

using namespace tarnvale;
using Role = GroupTreeModel::Role;

namespace {

// Every node with every role a view reads, depth first (the two random keys left out).
QStringList dump(const GroupTreeModel &model, const QModelIndex &parent = {}, int depth = 0)
{
    QStringList lines;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex node = model.index(row, 0, parent);
        QStringList line{QString(depth, u' '), node.data().toString(),
                         depth == 0 ? QString() : node.data(Role::KeyRole).toString(),
                         node.data(Role::TagRole).toString()};
        for (int role :
             {int(Role::ImageRole), int(Role::SelectedImageRole), int(Role::ExpandedRole)})
            line << node.data(role).toString();
        lines << line.join(u'|') << dump(model, node, depth + 1);
    }
    return lines;
}

struct Fixture
{
    test::TestFolder dir;
    RecordStore store;
    GroupTreeModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};

    Fixture() { store.open(dir.databasePath(), RecordStore::OpenMode::CreateIfMissing); }
    // A vehicle from "year make model color".
    qint64 vehicle(const QString &group, const QString &label = "1999 Ford Taurus red")
    {
        const QStringList p = label.split(u' ');
        return test::addVehicle(store, group, p.value(0), p.value(1), p.value(2), p.value(3));
    }
};

} // namespace

class GroupTreeModelTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:

    void groupsVehiclesAndOther()
    {
        Fixture f;
        QVERIFY(!f.model.rebuild(f.store, false).isError());
        QCOMPARE(dump(f.model), (QStringList{"|Tow Groups|||7|7|true", "|Other|||7|7|true"}));

        const qint64 lotA = *f.store.addGroup("Lot A");
        // Blanks only (a name no longer accepted, in an older file): no node.
        QVERIFY(QSqlQuery(f.store.database()).exec("INSERT INTO groups (groupname) VALUES ('  ')"));
        QVERIFY(f.store.addGroup("Police Hold"));
        const qint64 first = f.vehicle("Lot A");
        const qint64 loose = f.vehicle("", "2004 Honda Civic blue");
        f.vehicle("   ", "'99a kia rio Blue");       // blank group: Other; the year kept as stored
        f.vehicle("Lot Z", "2001 Jeep Liberty tan"); // no such group: no node, still counted
        f.vehicle("lot a", "2002 Audi A4 gray");     // group names are case-sensitive
        f.vehicle("Police Hold", "2015 Dodge Ram black");
        f.vehicle("Lot A", QString::fromUtf8("ß03 Citroën c5 grün"));
        f.vehicle("", ""); // empty parts keep their blanks
        f.vehicle(QString::fromUtf16(u"\u3000"), "2005 Fiat Uno white"); // beyond ASCII: Other
        QVERIFY(!f.model.rebuild(f.store, true).isError());
        QCOMPARE(dump(f.model),
                 (QStringList{"|Tow Groups|||7|7|true", " |Lot A|G1|G|1|2|8|true",
                              "  |1999 FORD TAURUS RED|C1|C|1|4|3|false",
                              QString::fromUtf8("  |ß03 CITROËN C5 GRÜN|C7|C|7|4|3|false"),
                              " |Police Hold|G3|G|3|2|8|true",
                              "  |2015 DODGE RAM BLACK|C6|C|6|4|3|false", "|Other|||7|7|true",
                              " |2004 HONDA CIVIC BLUE|C2|C|2|6|5|false",
                              " |'99a KIA RIO BLUE|C3|C|3|6|5|false", " |   |C8|C|8|6|5|false",
                              " |2005 FIAT UNO WHITE|C9|C|9|6|5|false"}));
        QCOMPARE(f.model.recordCount(), 9);

        QCOMPARE(f.model.groupIndex(lotA).data(Role::IdRole).toLongLong(), lotA);
        QCOMPARE(f.model.vehicleIndex(first).parent(), f.model.groupIndex(lotA));
        QCOMPARE(f.model.vehicleIndex(loose).parent(), f.model.otherIndex());
        QVERIFY(!f.model.vehicleIndex(9999).isValid());
        // A vehicle's tip adds its plate and owner, when it has them.
        TowRecord owned = *f.store.towRecord(first);
        owned.set(TowField::vehtag, " OHX 4521 ");
        owned.set(TowField::custname, "Ann Lee");
        QVERIFY(f.store.updateTowRecord(owned));
        QCOMPARE(f.model.vehicleIndex(first).data(Qt::ToolTipRole).toString() + '|' +
                     f.model.vehicleIndex(loose).data(Qt::ToolTipRole).toString(),
                 "1999 FORD TAURUS RED\nPlate: OHX 4521\nOwner: Ann Lee|2004 HONDA CIVIC BLUE");

        // Losing the vehicles table mid-life: groups still show, the error comes back.
        QVERIFY(QSqlQuery(f.store.database()).exec("ALTER TABLE wrecker RENAME TO wrecker_old"));
        const DbError error = f.model.rebuild(f.store, false);
        QVERIFY2(error.isError() && error.description.contains("no such table: wrecker"),
                 qPrintable(error.description));
        QCOMPARE(dump(f.model),
                 (QStringList{"|Tow Groups|||7|7|true", " |Lot A|G1|G|1|2|8|false",
                              " |Police Hold|G3|G|3|2|8|false", "|Other|||7|7|true"}));
        // Cleared (the database closed): nothing shown and nothing counted.
        f.model.clear();
        QVERIFY(f.model.rowCount(f.model.index(0, 0)) == 0 && f.model.recordCount() == 0);
    }

    void changesMatchARebuild_data()
    {
        QTest::addColumn<bool>("lazy");
        QTest::addColumn<bool>("farIds"); // vehicles added later get ids past 5,000,000,000
        QTest::newRow("whole") << false << false;
        QTest::newRow("lazy") << true << false;
        QTest::newRow("whole, far ids") << false << true;
        QTest::newRow("lazy, far ids") << true << true;
    }

    // Each kind of change to vehicles and groups, applied as the store announces it, leaves the
    // tree as a rebuild from scratch would, whether or not the groups were read yet.
    void changesMatchARebuild()
    {
        QFETCH(bool, lazy);
        Fixture f;
        for (const char *name : {"Lot A", "Lot B", "Police Hold"})
            QVERIFY(f.store.addGroup(name));
        const qint64 a = f.vehicle("Lot A"), b = f.vehicle("Lot B", "2001 Kia Rio blue");
        const qint64 c = f.vehicle(""), d = f.vehicle("Police Hold", "2015 Dodge Ram black");
        GroupTreeModel model;
        using Loading = GroupTreeModel::Loading;
        QVERIFY(!model.rebuild(f.store, true, lazy ? Loading::Lazy : Loading::Whole).isError());
        // Attached after the rebuild: the tester reads (fetches) nodes while it handles a reset.
        QAbstractItemModelTester tester{&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest};
        QObject::connect(
            &f.store, &RecordStore::changed, &model,
            [&model](const StoreChange &change) { QVERIFY(!model.apply(change).isError()); });
        model.fetchMore(model.index(0, 0, model.rootIndex())); // Lot A read, the others not yet
        QFETCH(bool, farIds);
        if (farIds) {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "sequence");
            db.setDatabaseName(f.dir.databasePath());
            QVERIFY(db.open() && QSqlQuery(db).exec("UPDATE sqlite_sequence SET seq = 5000000000 "
                                                    "WHERE name = 'wrecker'"));
        }
        QSqlDatabase::removeDatabase("sequence");
        auto save = [&](qint64 id, TowField field, const QString &value) {
            TowRecord r = *f.store.towRecord(id);
            r.set(field, value);
            QVERIFY(f.store.updateTowRecord(r));
        };
        const qint64 e = f.vehicle("Lot B", "2016 Ford Focus");        // into a group not read
        const qint64 s = f.vehicle(QString::fromUtf16(u"\u3000"), "1988 Saab 900 red"); // Other
        QCOMPARE(e > 5000000000, farIds);
        save(a, TowField::groupname, "Lot B");                         // to another group
        save(b, TowField::vehmake, "Jeep");                            // another label
        save(c, TowField::groupname, "Lot Z");                         // to no node
        save(d, TowField::vehcolor, "black");                          // the same again
        QVERIFY(f.store.addGroup("Lot Z"));                            // a group records name
        QVERIFY(f.store.addGroup("New") && f.store.removeTowRecord(b));
        QVERIFY(f.store.removeGroupWithVehicles("Police Hold") ==
                RecordStore::RemoveGroupResult::Removed);
        save(a, TowField::groupname, ""); // back under Other
        save(e, TowField::vehmake, "Mazda");
        save(s, TowField::groupname, "Lot A");
        for (int row = 0; lazy && row < model.rowCount(model.rootIndex()); ++row)
            model.fetchMore(model.index(row, 0, model.rootIndex()));
        model.fetchMore(model.otherIndex());
        GroupTreeModel whole;
        QVERIFY(!whole.rebuild(f.store, true).isError());
        QVERIFY(model.recordCount() == whole.recordCount() && dump(model) == dump(whole));
        QCOMPARE(dump(model).size(), 10);
    }
};

QTEST_GUILESS_MAIN(GroupTreeModelTest)
#include "GroupTreeModel_test.moc"
