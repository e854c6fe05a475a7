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

void fetchAll(GroupTreeModel &model)
{
    const QModelIndex root = model.rootIndex();
    for (int row = 0; row < model.rowCount(root); ++row)
        model.fetchMore(model.index(row, 0, root));
    model.fetchMore(model.otherIndex());
}

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
    void lazyStartReadsAGroupWhenFetched();
    void changesMatchARebuild_data();
    void changesMatchARebuild();
};

void GroupTreeModelTest::emptyTablesGiveTheTwoFixedNodes()
{
    Fixture f;
    QVERIFY(!f.model.rebuild(f.store, false).isError());
    QCOMPARE(dump(f.model), (QStringList{"|Tow Groups|||7|7|true", "|Other|||7|7|true"}));
    for (const QModelIndex &top : {f.model.rootIndex(), f.model.otherIndex()})
        QVERIFY(top.data(Qt::FontRole).value<QFont>().bold());
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

    QCOMPARE(dump(f.model), (QStringList{"|Tow Groups|||7|7|true",
                                         " |Lot A|G1|G|1|2|8|false",
                                         "  |1999 FORD TAURUS RED|C1|C|1|4|3|false",
                                         "  |2020 TESLA MODEL 3 WHITE|C7|C|7|4|3|false",
                                         QString::fromUtf8("  |2003 CITROËN C5 GRÜN|C8|C|8|4|3|false"),
                                         " |Police Hold|G3|G|3|2|8|false",
                                         "  |2015 DODGE RAM BLACK|C6|C|6|4|3|false",
                                         "|Other|||7|7|true",
                                         " |2004 HONDA CIVIC BLUE|C2|C|2|6|5|false",
                                         " |2010 KIA RIO WHITE|C3|C|3|6|5|false"}));
    QCOMPARE(f.model.recordCount(), 8);
    const QModelIndex lotA = f.model.index(0, 0, f.model.rootIndex());
    for (const QModelIndex &vehicle : {f.model.index(0, 0, lotA), f.model.index(0, 0, f.model.otherIndex())})
        QCOMPARE(vehicle.data(Qt::ForegroundRole).value<QColor>(), QColor(100, 100, 130));
    QVERIFY(!lotA.data(Qt::FontRole).value<QFont>().bold());
}

void GroupTreeModelTest::nodeIdentity()
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

    const QString rootKey = f.model.rootIndex().data(Role::KeyRole).toString();
    const QString otherKey = f.model.otherIndex().data(Role::KeyRole).toString();
    QVERIFY(rootKey.startsWith("ROOT") && otherKey.startsWith("STRY"));
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
}

void GroupTreeModelTest::vehicleLabel_data()
{
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QString>("label");
    QTest::newRow("year kept as stored") << QStringList{"'99a", "kia", "rio", "Blue"} << "'99a KIA RIO BLUE";
    QTest::newRow("empty parts keep their blanks") << QStringList{"", "", "", ""} << "   ";
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
    QVERIFY(!(f.model.flags(vehicle) & (Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled)));
}

void GroupTreeModelTest::lazyStartReadsAGroupWhenFetched()
{
    Fixture f;
    QVERIFY(f.store.addGroup("Lot A"));
    f.vehicle("Lot A", "1999");
    f.vehicle("Lot Z", "2000"); // no such group
    // Blank names beyond ASCII belong under Other as much as "" and a tab do.
    for (const char16_t *blank : {u"", u"\t", u"\u00a0", u"\u2003 ", u"\u3000", u"\u0085"})
        f.vehicle(QString::fromUtf16(blank), "2001", "Kia", "Rio");
    f.vehicle(QString::fromUtf16(u"\u00a0x"), "2002"); // not blank, not a group
    GroupTreeModel model; // no tester here: it would fetch every node itself
    QVERIFY(!model.rebuild(f.store, true, GroupTreeModel::Loading::Lazy).isError());
    QCOMPARE(model.recordCount(), 9);
    const QModelIndex lotA = model.index(0, 0, model.rootIndex());
    for (const QModelIndex &parent : {lotA, model.otherIndex()}) {
        QCOMPARE(model.rowCount(parent), 0);
        QVERIFY(model.hasChildren(parent));
        QVERIFY(model.canFetchMore(parent));
        model.fetchMore(parent);
        QVERIFY(!model.canFetchMore(parent));
    }
    QCOMPARE(model.index(0, 0, lotA).data().toString(), QString("1999 FORD TAURUS RED"));
    QCOMPARE(model.rowCount(lotA), 1);
    QCOMPARE(model.rowCount(model.otherIndex()), 6);
}

void GroupTreeModelTest::changesMatchARebuild_data()
{
    QTest::addColumn<bool>("lazy");
    QTest::addColumn<int>("seed");
    for (int seed = 1; seed <= 4; ++seed) {
        QTest::addRow("whole %d", seed) << false << seed;
        QTest::addRow("lazy %d", seed) << true << seed;
    }
}

void GroupTreeModelTest::changesMatchARebuild()
{
    QFETCH(bool, lazy);
    QFETCH(int, seed);
    Fixture f;
    QRandomGenerator random{quint32(seed)};
    const QStringList places{
        "Lot A", "Lot B", "Police Hold", "Lot Z", "", " ", QString::fromUtf16(u"\u3000")};
    auto pick = [&](const QStringList &from) { return from.at(random.bounded(int(from.size()))); };
    auto ids = [&] {
        QList<qint64> result;
        QSqlQuery query("SELECT id FROM wrecker", f.store.database());
        while (query.next())
            result << query.value(0).toLongLong();
        return result;
    };
    for (const char *name : {"Lot A", "Lot B", "Police Hold"})
        QVERIFY(f.store.addGroup(name));
    for (int i = 0; i < 30; ++i)
        f.vehicle(pick(places), QString::number(1990 + i), pick({"Ford", "kia", "Citroën"}));
    const auto loading = lazy ? GroupTreeModel::Loading::Lazy : GroupTreeModel::Loading::Whole;
    GroupTreeModel model;
    QVERIFY(!model.rebuild(f.store, true, loading).isError());
    // Attached after the rebuild: the tester reads (fetches) nodes while it handles a reset.
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    QObject::connect(&f.store, &RecordStore::changed, &model, [&model](const StoreChange &change) {
        QVERIFY(!model.apply(change).isError());
    });

    int newGroups = 0;
    for (int step = 0; step < 80; ++step) {
        const QList<qint64> existing = ids();
        const qint64 some =
            existing.isEmpty() ? -1 : existing.at(random.bounded(int(existing.size())));
        switch (random.bounded(7)) {
        case 0:
        case 1:
            f.vehicle(pick(places), QString::number(step), pick({"Dodge", "öl"}), "Ram");
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
        case 6: {
            const QString name = pick({"Lot A", "Lot B", "Police Hold", "Lot Z"});
            QVERIFY(f.store.removeGroupWithVehicles(name) !=
                    RecordStore::RemoveGroupResult::Failed);
            break;
        }
        }
        if (lazy && random.bounded(4) == 0) {
            const QModelIndex root = model.rootIndex();
            const int row = random.bounded(model.rowCount(root) + 1);
            model.fetchMore(row < model.rowCount(root) ? model.index(row, 0, root)
                                                       : model.otherIndex());
        }
    }
    fetchAll(model);
    GroupTreeModel whole;
    QVERIFY(!whole.rebuild(f.store, true).isError());
    QCOMPARE(model.recordCount(), whole.recordCount());
    const QStringList mine = dump(model);
    QVERIFY(mine.size() > 10);
    QCOMPARE(mine, dump(whole));
}

QTEST_GUILESS_MAIN(GroupTreeModelTest)
#include "GroupTreeModel_test.moc"
