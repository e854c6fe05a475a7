// The lien steps due, read from the yard's vehicles alone and kept up to date change by change,
// against the rules applied to every record as the list was first made.
#include <QRandomGenerator>
#include <QTest>

#include "DateText.h"
#include "ImpoundRules.h"
#include "ImpoundStore.h"
#include "LienDueList.h"
#include "StoreFixture.h"
#include "StoreFolder.h"

using namespace tarnvale;
using namespace tarnvale::test;

namespace {

// Every record, its status by the status rule, its steps by the schedule's rules.
QList<LienItem> byTheRules(RecordStore &store, ImpoundStore &impound,
                           const QList<LienStep> &schedule, const QDate &today)
{
    const auto statuses = impound.storedStatuses().value();
    const auto done = impound.stepsDone().value();
    const QList<TowRecord> records = store.towRecords().value();
    QList<LienItem> items;
    for (const TowRecord &r : records) {
        const VehicleStatus status = ImpoundRules::statusOf(
            statuses.contains(r.id), statuses.value(r.id), r.value(TowField::towedrelease));
        const auto towed = DateText::read(r.value(TowField::toweddate), QLocale(), today);
        if ((status != VehicleStatus::InStorage && status != VehicleStatus::OnHold) || !towed)
            continue;
        QStringList vehicle;
        for (TowField f : {TowField::vehyear, TowField::vehmake, TowField::vehmodel,
                           TowField::vehcolor})
            if (!r.value(f).trimmed().isEmpty())
                vehicle << r.value(f).trimmed().toUpper();
        if (!r.value(TowField::vehtag).trimmed().isEmpty())
            vehicle << '(' + r.value(TowField::vehtag).trimmed().toUpper() + ')';
        for (const LienDeadline &d :
             LienSchedule::dueBy(LienSchedule::deadlines(schedule, *towed, done.value(r.id)), today))
            items.append(LienItem{r.id, vehicle.join(u' '), d, d.due < today});
    }
    std::stable_sort(items.begin(), items.end(), [](const LienItem &a, const LienItem &b) {
        return a.deadline.due < b.deadline.due;
    });
    return items;
}

} // namespace

class LienDueListTest : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init() { SKIP_WITHOUT_ENGINE(); }

    void followsTheRulesChangeByChange()
    {
        StoreFixture f;
        StoreFolder database;
        QVERIFY(f.store.open(database.databasePath(), RecordStore::OpenMode::CreateIfMissing));
        QList<StoreChange> changes;
        QObject::connect(&f.store, &RecordStore::changed,
                         [&](const StoreChange &c) { changes.append(c); });
        ImpoundStore impound(f.store);
        const QDate today(2026, 6, 1);
        // Two steps on the same day: on one day, table order and then schedule order.
        const QList<LienStep> schedule{{"Notice", 5}, {"Letter", 5}, {"Final", 30}};

        // Release dates of every blank QString::trimmed() knows (each alone is no release),
        // and of characters that are not blank.
        QStringList releases{"", "  ", "3/1/2026", "x", QString(QChar(0x1c)),
                             QString(QChar(0x200b)), QString(QChar(0xfeff)) + " "};
        for (char32_t c = 1; c < 0x10000; ++c)
            if (QChar(c).isSpace())
                releases << QString(QChar(c)) + " " + QString(QChar(c));
        QRandomGenerator random(7);
        QList<qint64> ids;
        for (int i = 0; i < 40 + releases.size(); ++i) {
            TowRecord r = vehicleRecord("Lot", QString::number(1990 + i % 7), " ford ", "",
                                        i % 3 ? "red" : " ");
            r.set(TowField::towedrelease, releases.value(i, releases.value(random.bounded(4))));
            r.set(TowField::vehtag, i % 4 ? QString(" oh %1").arg(i) : " ");
            const bool readable = i < releases.size() || i % 11 != 5;
            const int days = i < releases.size() ? 35 : int(random.bounded(40));
            r.set(TowField::toweddate,
                  readable ? DateText::shortForm(today.addDays(-days)) : QString("soon"));
            ids << f.store.addTowRecord(r).value();
        }
        LienDueList list(impound);
        QVERIFY(list.fill(schedule, today));
        QCOMPARE(list.items(), byTheRules(f.store, impound, schedule, today));
        for (const QString &release : releases.mid(4))
            QCOMPARE(std::ranges::any_of(list.items(),
                                         [&](const LienItem &item) {
                                             return f.store.towRecord(item.vehicleId)
                                                        ->value(TowField::towedrelease) == release;
                                         }),
                     release.trimmed().isEmpty());

        // Each change as the store announces it; the window's list follows the positions.
        QList<LienItem> shown = list.items();
        const Hold hold{0, "Evidence", "Sheriff", "1", "Det.", {}, {}, {}};
        // Each vehicle in turn: on hold, a step done, its release date typed in the form
        // (every other time: a vehicle on hold stays in the yard), released, sold, removed.
        int round = 0;
        const QList<std::function<void(qint64)>> steps{
            [&](qint64 id) { impound.placeHold(*f.store.towRecord(id), hold, today); },
            [&](qint64 id) { impound.markStepDone(id, "Letter", today); },
            [&](qint64 id) {
                TowRecord r = *f.store.towRecord(id);
                r.set(TowField::toweddate, DateText::shortForm(today.addDays(-random.bounded(40))));
                r.set(TowField::towedrelease, round / 8 % 2 ? "" : "5/5/2026");
                QVERIFY(f.store.updateTowRecord(r));
            },
            [&](qint64 id) { impound.clearHold(*f.store.towRecord(id), "Sgt.", today); },
            [&](qint64 id) { impound.release(*f.store.towRecord(id), {"A", "", "", today, {}}); },
            [&](qint64 id) { impound.dispose(*f.store.towRecord(id), VehicleStatus::Sold, today); },
            [&](qint64 id) { QVERIFY(f.store.removeTowRecord(id) && ids.removeOne(id)); },
            [&](qint64) { ids << addVehicle(f.store, "Lot", "2020", "Kia"); },
        };
        qint64 target = 0;
        for (; round < 80; ++round) {
            changes.clear();
            if (round % steps.size() == 0)
                target = ids[random.bounded(int(ids.size()))];
            steps[round % steps.size()](target);
            for (const StoreChange &change : changes) {
                const auto update = list.apply(change, schedule, today);
                QVERIFY(update && !update->refilled);
                for (int at : update->removed)
                    shown.removeAt(at);
                for (int at : update->inserted)
                    shown.insert(at, list.items().at(at));
            }
            QCOMPARE(list.items(), byTheRules(f.store, impound, schedule, today));
            QCOMPARE(shown, list.items());
        }
        // Another day, another schedule, or a reset: read again, also a vehicle on hold whose
        // release date was typed in.
        steps[0](list.items().first().vehicleId);
        steps[2](list.items().first().vehicleId); // round 80 types a release date
        for (const QList<LienStep> &steps : {schedule, QList<LienStep>{{"Final", 20}}}) {
            QVERIFY(list.apply({}, steps, today.addDays(9))->refilled);
            QCOMPARE(list.items(), byTheRules(f.store, impound, steps, today.addDays(9)));
        }
        f.store.close();
        QVERIFY(!list.apply(StoreChange::everything(), schedule, today) && list.items().isEmpty());
    }
};

QTEST_GUILESS_MAIN(LienDueListTest)
#include "LienDueList_test.moc"
