#include "DeadlinesReport.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

#include "ByVehicleNumber.h"
#include "DateText.h"
#include "ImpoundRules.h"
#include "LienSchedule.h"
#include "LotReport.h"
#include "ReadingInParts.h"
#include "ReportQueries.h"
#include "SettingsFile.h"
#include "TextKeyed.h"

namespace tarnvale {

namespace {

enum When { kOverdue, kThisWeek, kNextWeek };

// One step of one vehicle, small: a yard of many vehicles has many steps overdue.
struct Due
{
    QDate due;
    When when;
    int step;  // in the schedule
    qint64 vehicle;
    int group; // in the names of the groups met
    QDate printed;
};

using StepsDone = QList<QPair<QString, QDate>>;

// The steps done, by vehicle number (see ByVehicleNumber).
class StepsDoneByVehicle
{
  public:
    explicit StepsDoneByVehicle(const ReportQueries::IdRange &ids)
        : m_slots(ids.first, ids.last, -1)
    {
    }
    void add(qint64 vehicle, const QPair<QString, QDate> &step)
    {
        qint32 &slot = m_slots[vehicle];
        if (slot < 0) {
            slot = qint32(m_steps.size());
            m_steps.append(StepsDone());
        }
        m_steps[slot].append(step);
    }
    // nullptr when none is done.
    const StepsDone *of(qint64 vehicle) const
    {
        const qint32 slot = m_slots.of(vehicle);
        return slot < 0 ? nullptr : &m_steps.at(slot);
    }

  private:
    ByVehicleNumber<qint32> m_slots; // in m_steps; -1 for none
    QList<StepsDone> m_steps;
};

} // namespace

std::optional<Report> DeadlinesReport::build(ReportQueries &queries, const SettingsFile &settings,
                                             const QDate &today, const std::atomic<bool> *cancel,
                                             const YardReading &reading)
{
    const QList<LienStep> schedule = LienSchedule::read(settings);
    const QDate weekEnd = today.addDays(7 - today.dayOfWeek()); // Sunday
    const QDate nextWeekEnd = weekEnd.addDays(7);

    const std::optional<ReportQueries::IdRange> vehicleIds =
        schedule.isEmpty() ? std::optional(ReportQueries::IdRange{}) : queries.vehicleIds();
    if (!vehicleIds)
        return std::nullopt;
    // The steps done, by vehicle: a yard has few step names and days, each read once.
    StepsDoneByVehicle done(*vehicleIds);
    TextKeyed<QString> stepNames;
    TextKeyed<QDate> doneDays;
    if (!queries.stepsDone(
            [&](const ReportRow &row) {
                done.add(row.integer(0),
                    {keptFor(stepNames, row.cells[1],
                             [&] { return QString::fromUtf8(row.cells[1]); }),
                     keptFor(doneDays, row.cells[2], [&] {
                         return QDate::fromString(QString::fromUtf8(row.cells[2]), Qt::ISODate);
                     })});
            },
            cancel))
        return std::nullopt;

    // Every step of a vehicle towed on a day with none done is the same: figured once a day
    // by each reader.
    struct Towed
    {
        QDate day;
        QList<LienDeadline> undone;
    };
    // What one part of the yard finds: its steps, their groups among the names it met.
    struct Part
    {
        QList<Due> steps;
        QStringList groups;
        TextKeyed<int> groupIndex;
    };
    const std::vector<ReportQueries::IdRange> runs = ReadingInParts::runsOf(*vehicleIds, reading);
    const int readerCount = ReadingInParts::readersFor(runs.size(), reading);
    std::vector<TextKeyed<std::optional<Towed>>> towDaysOf(static_cast<size_t>(readerCount));
    // The vehicles with a typed release date still kept in the yard, then the runs.
    std::vector<Part> parts(runs.empty() ? 0 : 1 + runs.size());
    const bool read = ReadingInParts::read(
        queries, int(parts.size()), readerCount,
        [&](ReportQueries &through, int at, int reader) {
            Part &part = parts[size_t(at)];
            TextKeyed<std::optional<Towed>> &towDays = towDaysOf[size_t(reader)];
            const QLocale locale;
            const auto add = [&](const ReportRow &row) {
                if (!LotReport::inYard(row))
                    return;
                const qint64 id = row.integer(6);
                const StepsDone *stepsDone = done.of(id);
                const std::optional<Towed> &towed = keptFor(towDays, row.cells[1], [&] {
                    const auto day = DateText::read(QString::fromUtf8(row.cells[1]), locale, today);
                    return day ? std::optional(Towed{*day, LienSchedule::deadlines(schedule, *day, {})})
                               : std::nullopt;
                });
                if (!towed)
                    return;
                const QList<LienDeadline> deadlines =
                    !stepsDone
                        ? towed->undone
                        : LienSchedule::deadlines(schedule, towed->day, *stepsDone);
                const int group = keptFor(part.groupIndex, row.cells[0], [&] {
                    part.groups << QString::fromUtf8(row.cells[0]);
                    return int(part.groups.size() - 1);
                });
                for (int i = 0; i < deadlines.size(); ++i) {
                    const LienDeadline &d = deadlines.at(i);
                    const When when =
                        d.due < today ? kOverdue : d.due <= weekEnd ? kThisWeek : kNextWeek;
                    if (d.due > nextWeekEnd || (when == kOverdue && d.isDone()))
                        continue;
                    part.steps.append({d.due, when, i, id, group, d.doneOn});
                }
            };
            return at == 0 ? through.yardVehiclesReleaseTyped(add, cancel)
                           : through.yardVehiclesReleaseBlank(runs[size_t(at - 1)], add, cancel);
        },
        cancel);
    if (!read)
        return std::nullopt;
    // The parts' steps together, each group named once.
    QList<Due> steps;
    TextKeyed<int> groupIndex;
    QStringList groups;
    for (Part &part : parts) {
        QList<int> groupOf;
        for (const QString &name : std::as_const(part.groups))
            groupOf << keptFor(groupIndex, name.toUtf8(), [&] {
                groups << name;
                return int(groups.size() - 1);
            });
        for (Due &d : part.steps)
            d.group = groupOf.at(d.group);
        steps.append(std::move(part.steps));
    }
    // The list's order: by day, vehicle and step. Only the longest overdue are listed, so
    // only they are put in order among the overdue; the steps of the two weeks all are.
    const auto before = [](const Due &a, const Due &b) {
        return std::tie(a.due, a.vehicle, a.step) < std::tie(b.due, b.vehicle, b.step);
    };
    const auto upcoming = std::partition(steps.begin(), steps.end(),
                                         [](const Due &d) { return d.when == kOverdue; });
    const auto overdueListed = steps.begin() + std::min(upcoming - steps.begin(), kMostOverdueListed);
    std::partial_sort(steps.begin(), overdueListed, upcoming, before);
    std::sort(upcoming, steps.end(), before);

    // The counts of each step, then the list.
    std::map<int, std::array<qint64, 4>> counts; // overdue, this week, next week, printed
    std::array<qint64, 4> all{};
    std::array<double, 3> printed{}; // by week
    for (const Due &d : std::as_const(steps)) {
        for (auto *line : {&counts[d.step], &all}) {
            ++(*line)[size_t(d.when)];
            (*line)[3] += d.printed.isValid() ? 1 : 0;
        }
        printed[size_t(d.when)] += d.printed.isValid() ? 1 : 0;
    }
    const auto count = [](const QString &title) {
        return ReportColumn{title, ReportColumn::Kind::Count};
    };
    ReportTable summary{QStringLiteral("Lien steps by week"),
                        {{QStringLiteral("Step")}, count(QStringLiteral("Overdue")),
                         count(QStringLiteral("This week")), count(QStringLiteral("Next week")),
                         count(QStringLiteral("Notices printed"))},
                        {}, {}};
    for (int i = 0; i < schedule.size(); ++i) {
        const auto c = counts[i];
        summary.rows.append({schedule.at(i).name, c[0], c[1], c[2], c[3]});
    }
    summary.totals = {QStringLiteral("Total"), all[0], all[1], all[2], all[3]};

    const qsizetype overdue = all[0];
    const qsizetype skipped = std::max<qsizetype>(0, overdue - kMostOverdueListed);
    // The overdue come first, the oldest first.
    const QList<Due> listed =
        skipped > 0 ? steps.mid(0, kMostOverdueListed) + steps.mid(overdue) : steps;
    QList<qint64> ids;
    for (const Due &d : std::as_const(listed))
        ids << d.vehicle;
    QHash<qint64, QString> names;
    if (!queries.vehicles(ids, [&](const ReportRow &row) {
            QStringList parts;
            for (int c = 1; c <= 4; ++c)
                if (const QString part = QString::fromUtf8(row.cells[c]).trimmed(); !part.isEmpty())
                    parts << part.toUpper();
            if (const QString plate = QString::fromUtf8(row.cells[5]).trimmed(); !plate.isEmpty())
                parts << u'(' + plate.toUpper() + u')';
            names.insert(row.integer(0), parts.join(u' '));
        }))
        return std::nullopt;
    static const QString whenText[] = {QStringLiteral("Overdue"), QStringLiteral("This week"),
                                       QStringLiteral("Next week")};
    ReportTable list{QStringLiteral("Steps due"),
                     {{QStringLiteral("Due")}, {QStringLiteral("When")}, {QStringLiteral("Step")},
                      {QStringLiteral("Vehicle")}, {QStringLiteral("Group")},
                      {QStringLiteral("Notice printed")}},
                     {}, {}};
    for (const Due &d : std::as_const(listed))
        list.rows.append({d.due.toString(Qt::ISODate), whenText[d.when],
                          schedule.at(d.step).name, names.value(d.vehicle), groups.at(d.group),
                          d.printed.isValid() ? d.printed.toString(Qt::ISODate)
                                              : QStringLiteral("No")});

    Report report;
    report.title = QStringLiteral("Lien deadlines");
    report.period = QStringLiteral("As of %1; this week ends %2, next week %3")
                        .arg(DateText::shortForm(today), DateText::shortForm(weekEnd),
                             DateText::shortForm(nextWeekEnd));
    report.tables = {summary, list};
    if (schedule.isEmpty())
        report.notes << QStringLiteral("No lien steps are set: add them in Config Settings.");
    if (skipped > 0)
        report.notes << QStringLiteral("The list names the %1 longest overdue of %2 overdue "
                                       "steps; the counts hold them all.")
                            .arg(kMostOverdueListed)
                            .arg(overdue);
    report.chart = ReportChart{ReportChart::Kind::Bars, QStringLiteral("Lien steps by week"),
                               QStringLiteral("Week"), QStringLiteral("Steps"),
                               {QStringLiteral("Overdue"), QStringLiteral("This week"),
                                QStringLiteral("Next week")},
                               {{QStringLiteral("Notice not printed"),
                                 {double(all[0]) - printed[0], double(all[1]) - printed[1],
                                  double(all[2]) - printed[2]}},
                                {QStringLiteral("Notice printed"),
                                 {printed[0], printed[1], printed[2]}}}};
    return report;
}

} // namespace tarnvale
