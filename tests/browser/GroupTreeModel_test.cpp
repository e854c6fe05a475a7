#include <QAbstractItemModelTester>
#include <QColor>
#include <QFont>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTest>

#include "GroupTreeModel.h"
#include "RecordStore.h"
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

    void groupsVehiclesAndOther_data()
    {
        QTest::addColumn<bool>("expanded");
        QTest::newRow("closed") << false;
        QTest::newRow("expanded") << true;
    }

    void groupsVehiclesAndOther()
    {
        QFETCH(bool, expanded);
        Fixture f;
        QVERIFY(!f.model.rebuild(f.store, false).isError());
        QCOMPARE(dump(f.model), (QStringList{"|Tow Groups|||7|7|true", "|Other|||7|7|true"}));
        QCOMPARE(f.model.recordCount(), 0);

        QVERIFY(f.store.addGroup("Lot A"));
        // Blanks only (a name no longer accepted, in an older file): no node.
        QVERIFY(QSqlQuery(f.store.database()).exec("INSERT INTO groups (groupname) VALUES ('  ')"));
        QVERIFY(f.store.addGroup("Police Hold"));
        f.vehicle("Lot A");
        f.vehicle("", "2004 Honda Civic blue");
        f.vehicle("   ", "'99a kia rio Blue");       // blank group: Other; the year kept as stored
        f.vehicle("Lot Z", "2001 Jeep Liberty tan"); // no such group: no node, still counted
        f.vehicle("lot a", "2002 Audi A4 gray");     // group names are case-sensitive
        f.vehicle("Police Hold", "2015 Dodge Ram black");
        f.vehicle("Lot A", QString::fromUtf8("ß03 Citroën c5 grün"));
        f.vehicle("", ""); // empty parts keep their blanks
        QVERIFY(!f.model.rebuild(f.store, expanded).isError());
        const QString e = expanded ? "true" : "false";
        QCOMPARE(dump(f.model),
                 (QStringList{"|Tow Groups|||7|7|true", " |Lot A|G1|G|1|2|8|" + e,
                              "  |1999 FORD TAURUS RED|C1|C|1|4|3|false",
                              QString::fromUtf8("  |ß03 CITROËN C5 GRÜN|C7|C|7|4|3|false"),
                              " |Police Hold|G3|G|3|2|8|" + e,
                              "  |2015 DODGE RAM BLACK|C6|C|6|4|3|false", "|Other|||7|7|true",
                              " |2004 HONDA CIVIC BLUE|C2|C|2|6|5|false",
                              " |'99a KIA RIO BLUE|C3|C|3|6|5|false", " |   |C8|C|8|6|5|false"}));
        QCOMPARE(f.model.recordCount(), 8);
        const QModelIndex lotA = f.model.index(0, 0, f.model.rootIndex());
        for (const QModelIndex &top : {f.model.rootIndex(), f.model.otherIndex()})
            QVERIFY(top.data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!lotA.data(Qt::FontRole).value<QFont>().bold());
        for (const QModelIndex &vehicle :
             {f.model.index(0, 0, lotA), f.model.index(0, 0, f.model.otherIndex())}) {
            QCOMPARE(vehicle.data(Qt::ForegroundRole).value<QColor>(), QColor(100, 100, 130));
            QVERIFY(!(f.model.flags(vehicle) & (Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled)));
        }
    }

    void nodeIdentity()
    {
        Fixture f;
        const qint64 groupId = *f.store.addGroup("Lot A");
        const qint64 inGroup = f.vehicle("Lot A");
        const qint64 loose = f.vehicle("");
        QVERIFY(!f.model.rebuild(f.store, false).isError());

        // Keys and tags are in the tree's dump above; here, finding nodes by id.
        const QModelIndex group = f.model.groupIndex(groupId);
        QCOMPARE(group.data(Role::IdRole).toLongLong(), groupId);
        QCOMPARE(f.model.vehicleIndex(inGroup).parent(), group);
        QCOMPARE(f.model.vehicleIndex(loose).parent(), f.model.otherIndex());
        QVERIFY(!f.model.vehicleIndex(9999).isValid());
        // The two fixed nodes: a prefix and a decimal number up to nine digits, no blanks or signs.
        const QString rootKey = f.model.rootIndex().data(Role::KeyRole).toString();
        const QString otherKey = f.model.otherIndex().data(Role::KeyRole).toString();
        QVERIFY(rootKey.startsWith("ROOT") && otherKey.startsWith("STRY"));
        for (const QString &number : {rootKey.mid(4), otherKey.mid(4)}) {
            bool ok = false;
            const qint64 value = number.toLongLong(&ok);
            QVERIFY(ok && value >= 0 && value <= 999999999);
            QCOMPARE(QString::number(value), number);
        }
    }

    // Losing the vehicles table mid-life: groups still show, the error comes back.
    void rebuildFailureKeepsWhatWasBuilt()
    {
        Fixture f;
        QVERIFY(f.store.addGroup("Lot A"));
        f.vehicle("Lot A");
        QVERIFY(!f.model.rebuild(f.store, false).isError());
        QVERIFY(QSqlQuery(f.store.database()).exec("ALTER TABLE wrecker RENAME TO wrecker_old"));
        const DbError error = f.model.rebuild(f.store, false);
        QVERIFY2(error.isError() && error.description.contains("no such table: wrecker"),
                 qPrintable(error.description));
        QCOMPARE(dump(f.model), (QStringList{"|Tow Groups|||7|7|true", " |Lot A|G1|G|1|2|8|false",
                                             "|Other|||7|7|true"}));
    }

    void lazyStartReadsAGroupWhenFetched()
    {
        Fixture f;
        QVERIFY(f.store.addGroup("Lot A"));
        f.vehicle("Lot A");
        f.vehicle("Lot Z"); // no such group
        // Blank names beyond ASCII belong under Other as much as "" and a tab do.
        for (const char16_t *blank : {u"", u"\t", u"\u00a0", u"\u2003 ", u"\u3000", u"\u0085"})
            f.vehicle(QString::fromUtf16(blank));
        f.vehicle(QString::fromUtf16(u"\u00a0x")); // not blank, not a group
        GroupTreeModel model; // no tester here: it would fetch every node itself
        QVERIFY(!model.rebuild(f.store, true, GroupTreeModel::Loading::Lazy).isError());
        QCOMPARE(model.recordCount(), 9);
        const QModelIndex lotA = model.index(0, 0, model.rootIndex());
        for (const QModelIndex &parent : {lotA, model.otherIndex()}) {
            QCOMPARE(model.rowCount(parent), 0);
            QVERIFY(model.hasChildren(parent) && model.canFetchMore(parent));
            model.fetchMore(parent);
            QVERIFY(!model.canFetchMore(parent));
        }
        QCOMPARE(model.index(0, 0, lotA).data().toString(), QString("1999 FORD TAURUS RED"));
        QCOMPARE(model.rowCount(lotA), 1);
        QCOMPARE(model.rowCount(model.otherIndex()), 6);
    }

    void changesMatchARebuild_data()
    {
        QTest::addColumn<bool>("lazy");
        QTest::addColumn<int>("seed");
        for (int seed = 1; seed <= 4; ++seed) {
            QTest::addRow("whole %d", seed) << false << seed;
            QTest::addRow("lazy %d", seed) << true << seed;
        }
    }

    // Random adds, saves and removals of vehicles and groups, each applied as the store announces
    // it: the tree ends as a rebuild from scratch would.
    void changesMatchARebuild()
    {
        QFETCH(bool, lazy);
        QFETCH(int, seed);
        Fixture f;
        QRandomGenerator random{quint32(seed)};
        const QStringList places{
            "Lot A", "Lot B", "Police Hold", "Lot Z", "", " ", QString::fromUtf16(u"\u3000")};
        auto pick = [&](const QStringList &from) {
            return from.at(random.bounded(int(from.size())));
        };
        for (const char *name : {"Lot A", "Lot B", "Police Hold"})
            QVERIFY(f.store.addGroup(name));
        for (int i = 0; i < 30; ++i)
            f.vehicle(pick(places),
                      QString("%1 %2").arg(1990 + i).arg(pick({"Ford", "kia", "Citroën"})));
        GroupTreeModel model;
        QVERIFY(!model
                     .rebuild(f.store, true,
                              lazy ? GroupTreeModel::Loading::Lazy : GroupTreeModel::Loading::Whole)
                     .isError());
        // Attached after the rebuild: the tester reads (fetches) nodes while it handles a reset.
        QAbstractItemModelTester tester{&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest};
        QObject::connect(
            &f.store, &RecordStore::changed, &model,
            [&model](const StoreChange &change) { QVERIFY(!model.apply(change).isError()); });

        int newGroups = 0;
        for (int step = 0; step < 80; ++step) {
            QList<qint64> ids;
            for (QSqlQuery query("SELECT id FROM wrecker", f.store.database()); query.next();)
                ids << query.value(0).toLongLong();
            const qint64 some = ids.isEmpty() ? -1 : ids.at(random.bounded(int(ids.size())));
            switch (random.bounded(7)) {
            case 0:
            case 1:
                f.vehicle(pick(places), QString("%1 %2 Ram").arg(step).arg(pick({"Dodge", "öl"})));
                break;
            case 2:
            case 3: // a save: another group, another label, or the same values again
                if (auto record = f.store.towRecord(some)) {
                    if (random.bounded(2))
                        record->set(TowField::groupname, pick(places));
                    if (random.bounded(2))
                        record->set(TowField::vehmake, pick({"Jeep", "Ford"}));
                    QVERIFY(f.store.updateTowRecord(*record));
                }
                break;
            case 4:
                if (some >= 0)
                    QVERIFY(f.store.removeTowRecord(some));
                break;
            case 5: // a group new, or one that records name already
                f.store.addGroup(random.bounded(2) ? QString("New %1").arg(++newGroups) : "Lot Z");
                break;
            case 6:
                QVERIFY(f.store.removeGroupWithVehicles(
                            pick({"Lot A", "Lot B", "Police Hold", "Lot Z"})) !=
                        RecordStore::RemoveGroupResult::Failed);
                break;
            }
            if (lazy && random.bounded(4) == 0) {
                const QModelIndex root = model.rootIndex();
                const int row = random.bounded(model.rowCount(root) + 1);
                model.fetchMore(row < model.rowCount(root) ? model.index(row, 0, root)
                                                           : model.otherIndex());
            }
        }
        for (int row = 0; row < model.rowCount(model.rootIndex()); ++row)
            model.fetchMore(model.index(row, 0, model.rootIndex()));
        model.fetchMore(model.otherIndex());
        GroupTreeModel whole;
        QVERIFY(!whole.rebuild(f.store, true).isError());
        QCOMPARE(model.recordCount(), whole.recordCount());
        const QStringList mine = dump(model);
        QVERIFY(mine.size() > 10);
        QCOMPARE(mine, dump(whole));
    }
};

QTEST_GUILESS_MAIN(GroupTreeModelTest)
#include "GroupTreeModel_test.moc"
