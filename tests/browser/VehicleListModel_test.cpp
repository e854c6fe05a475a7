#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

#include <algorithm>
#include <numeric>

#include "ImpoundStore.h"
#include "StoreFixture.h"
#include "VehicleListModel.h"

using namespace tarnvale;

namespace {

using Role = VehicleListModel::Role;

// Every row as "id|text=key|...", the columns first.
QStringList dump(const QAbstractItemModel &m)
{
    QStringList lines;
    for (int c = 0; c < m.columnCount(); ++c)
        lines << m.headerData(c, Qt::Horizontal).toString();
    for (int r = 0; r < m.rowCount(); ++r) {
        QStringList line{m.index(r, 0).data(Role::IdRole).toString()};
        for (int c = 0; c < m.columnCount(); ++c)
            line << m.index(r, c).data().toString() + u'=' +
                        m.index(r, c).data(Role::KeyRole).toString();
        lines << line.join(u'|');
    }
    return lines;
}

// What a list filled whole shows: the listing in table order, sorted as a table widget sorts
// (a stable sort by the column's keys, either way up).
QStringList wholeList(RecordStore &store, const QString &group, const SettingsFile &settings,
                      const QDate &today, int column, Qt::SortOrder order)
{
    QList<qint64> ids;
    const SheetContents s = *RecordSheets::groupListing(store, group, settings, today, {}, &ids);
    QList<int> at(ids.size());
    std::iota(at.begin(), at.end(), 0);
    std::stable_sort(at.begin(), at.end(), [&](int a, int b) {
        const QVariant ka = s.sortKeys[a].value(column), kb = s.sortKeys[b].value(column);
        return column >= 0 && SheetContents::sortsBefore(order ? kb : ka, order ? ka : kb);
    });
    QStringList lines = s.columns;
    for (const int i : at) {
        QStringList line{QString::number(ids[i])};
        for (qsizetype c = 0; c < s.columns.size(); ++c)
            line << s.rows[i][c] + u'=' + s.sortKeys[i][c].toString();
        lines << line.join(u'|');
    }
    return lines;
}

} // namespace

class VehicleListModelTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    // A list that cannot be read says so, whichever column sorts it, and shows nothing.
    void failedReadIsReported()
    {
        test::StoreFixture f;
        QVERIFY(f.store.open(f.dir.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        QVERIFY(f.store.addTowRecord(test::vehicleRecord("Lot A", "2004", "Ford")));
        VehicleListModel model;
        for (int column : {-1, 0, 7}) {
            QVERIFY(model.showGroup(f.store, "Lot A", f.settings, QDate(2026, 12, 6), column,
                                    Qt::AscendingOrder));
            QCOMPARE(model.rowCount(), 1);
        }
        f.store.close();
        for (int column : {-1, 0, 7}) {
            QVERIFY(!model.showGroup(f.store, "Lot A", f.settings, QDate(2026, 12, 6), column,
                                     Qt::AscendingOrder));
            QCOMPARE(model.rowCount(), 0);
        }
    }

    void followsTheStoreAsAWholeListShows_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::newRow("table order") << -1 << Qt::AscendingOrder;
        QTest::newRow("name") << 0 << Qt::AscendingOrder;
        QTest::newRow("year down") << 1 << Qt::DescendingOrder;
        QTest::newRow("days") << 7 << Qt::AscendingOrder; // from here on with statuses
        QTest::newRow("amount down") << 8 << Qt::DescendingOrder;
        QTest::newRow("status") << 9 << Qt::AscendingOrder;
    }

    // Generated vehicles in a group of several blocks, shown, then saved: added, changed,
    // moved out and in, removed, by the store's announced changes alone (a refill only when
    // the status column comes); every cell and key matches a whole list after each step.
    void followsTheStoreAsAWholeListShows()
    {
        QFETCH(int, column);
        QFETCH(Qt::SortOrder, order);
        test::StoreFixture f;
        QVERIFY(f.store.open(f.dir.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        QSqlQuery(f.store.database()).exec("PRAGMA synchronous = OFF"); // many saves, quickly
        f.settings.write("Fee", "Storage Fee", "12.50");
        const QDate today(2026, 12, 6);
        QRandomGenerator random(column + 7);
        auto pick = [&](const QStringList &from) { return from.at(random.bounded(from.size())); };
        auto generated = [&](const QString &group) {
            TowRecord r = test::vehicleRecord(group, pick({"1999", " 2004", "'99a", "", "2010"}),
                                              pick({"Ford", "kia", "Jeep"}));
            r.set(TowField::custname, pick({"ann", "Bob", "zed", QString::fromUtf8("Émile")}));
            r.set(TowField::toweddate, today.addDays(-random.bounded(330)).toString("M/d/yyyy"));
            r.set(TowField::towedrelease, pick({"", "", "11/30/2026", "junk"}));
            r.set(TowField::towedfee, pick({"100", "75.50", ""}));
            return *f.store.addTowRecord(r);
        };
        QList<qint64> ids;
        for (int i = 0; i < 3 * VehicleListModel::kBlockRows; ++i)
            ids << generated(pick({"Lot A", "Lot A", "Lot B"}));
        ImpoundStore impound(f.store);
        QVERIFY(impound.addPayment(*f.store.towRecord(ids[0]), {2000, "Cash", "", today}) ==
                ImpoundStore::Result::Done);
        VehicleListModel model;
        QAbstractItemModelTester tester{&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest};
        auto show = [&] {
            return model.showGroup(f.store, "Lot A", f.settings, today, column, order);
        };
        QVERIFY(show());
        // Unannounced changes to the first row and the last: the first was read with the list,
        // the last only as it comes into sight (unless a figured column sorts: all read).
        const qint64 first = model.index(0, 0).data(Role::IdRole).toLongLong();
        const qint64 last = model.index(model.rowCount() - 1, 0).data(Role::IdRole).toLongLong();
        QVERIFY(QSqlQuery(f.store.database())
                    .exec(QString("UPDATE wrecker SET custname = 'quiet' WHERE id IN (%1, %2)")
                              .arg(first)
                              .arg(last)));
        const auto quiet = [&](int row) { return model.index(row, 0).data() == "QUIET"; };
        QCOMPARE(QList<bool>({quiet(0), quiet(model.rowCount() - 1)}),
                 QList<bool>({false, column < 7}));
        QObject::connect(&f.store, &RecordStore::changed, &model,
                         [&](const StoreChange &change) { model.update(change) || show(); });
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        auto save = [&](qint64 id, TowField field, const QString &value) {
            std::optional<TowRecord> r = f.store.towRecord(id);
            return r && (r->set(field, value), f.store.updateTowRecord(*r));
        };
        f.store.announceRecordsChanged({first, last});
        // The second round with every row read; the third brings a first status, and with
        // it the status column: the list is read anew, once.
        for (int round = 0; round < (column >= 7 ? 3 : 2); ++round) {
            generated("Lot A");
            QVERIFY(save(ids[1 + round], TowField::custname, "Aaron") &&
                    save(ids[4 + round], TowField::groupname, "Lot B") &&
                    save(ids[7 + round], TowField::groupname, "Lot A") &&
                    save(ids[10 + round], TowField::towedfee, "250") &&
                    f.store.removeTowRecord(ids[13 + round]));
            QVERIFY(round < 2 ||
                    impound.placeHold(*f.store.towRecord(test::addVehicle(f.store, "Lot A")),
                                      Hold{0, "Police", {}, {}, {}, {}, {}, {}},
                                      today) == ImpoundStore::Result::Done);
            QCOMPARE(dump(model), wholeList(f.store, "Lot A", f.settings, today, column, order));
        }
        QCOMPARE(resets.count(), column >= 7 ? 1 : 0);
        // Every row read: no cell is longer than its column's longest text, which sizes it.
        const QStringList longest = model.longestTexts().rows.value(0);
        QCOMPARE(longest.size(), model.columnCount());
        for (int r = 0; r < model.rowCount(); ++r)
            for (int c = 0; c < model.columnCount(); ++c)
                QVERIFY2(model.index(r, c).data().toString().size() <= longest[c].size(),
                         qPrintable(model.index(r, c).data().toString()));
    }
};

QTEST_GUILESS_MAIN(VehicleListModelTest)
#include "VehicleListModel_test.moc"
