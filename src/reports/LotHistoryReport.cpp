#include "LotHistoryReport.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "DateText.h"
#include "MoneyReport.h"
#include "ReadingInParts.h"
#include "ReportQueries.h"
#include "TextKeyed.h"

namespace tarnvale {

std::optional<Report> LotHistoryReport::build(ReportQueries &queries, const QDate &from,
                                              const QDate &to, const QDate &today,
                                              const std::atomic<bool> *cancel,
                                              const YardReading &reading)
{
    // Towed in and left, by day (its Julian day number), counted by each part of the yard and
    // put together and in order once all are read.
    using ByDay = std::unordered_map<qint64, std::pair<qint64, qint64>>;
    struct Part
    {
        ByDay byDay;
        qint64 noTowDate = 0, unreadRelease = 0;
    };
    const std::optional<ReportQueries::IdRange> ids = queries.vehicleIds();
    if (!ids)
        return std::nullopt;
    const std::vector<ReportQueries::IdRange> runs = ReadingInParts::runsOf(*ids, reading);
    const int readerCount = ReadingInParts::readersFor(runs.size(), reading);
    std::vector<TextKeyed<std::optional<QDate>>> datesOf(static_cast<size_t>(readerCount));
    std::vector<Part> parts(runs.size());
    const bool read = ReadingInParts::read(
        queries, int(parts.size()), readerCount,
        [&](ReportQueries &through, int at, int reader) {
            Part &part = parts[size_t(at)];
            TextKeyed<std::optional<QDate>> &dates = datesOf[size_t(reader)];
            const QLocale locale;
            const auto dateOf = [&](QByteArrayView text) {
                return keptFor(dates, text, [&] {
                    std::optional<QDate> day =
                        DateText::read(QString::fromUtf8(text), locale, today);
                    if (day && !DateText::yearAllowed(*day, today))
                        day.reset();
                    return day;
                });
            };
            return through.towAndReleaseDates(
                [&](const ReportRow &row) {
                    const std::optional<QDate> towed = dateOf(row.cells[0]);
                    if (!towed) {
                        ++part.noTowDate;
                        return;
                    }
                    ++part.byDay[towed->toJulianDay()].first;
                    if (row.cells[1].trimmed().isEmpty())
                        return;
                    const std::optional<QDate> left = dateOf(row.cells[1]);
                    if (!left)
                        ++part.unreadRelease;
                    else // a release before the tow: that day
                        ++part.byDay[std::max(*left, *towed).toJulianDay()].second;
                },
                cancel, runs[size_t(at)]);
        },
        cancel);
    if (!read)
        return std::nullopt;
    ByDay byDay;
    qint64 noTowDate = 0, unreadRelease = 0;
    for (const Part &part : parts) {
        for (const auto &[day, counts] : part.byDay) {
            byDay[day].first += counts.first;
            byDay[day].second += counts.second;
        }
        noTowDate += part.noTowDate;
        unreadRelease += part.unreadRelease;
    }
    std::vector<std::pair<QDate, std::pair<qint64, qint64>>> moves;
    moves.reserve(byDay.size());
    for (const auto &[day, counts] : byDay)
        moves.emplace_back(QDate::fromJulianDay(day), counts);
    std::sort(moves.begin(), moves.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });

    const bool byMonth = from.daysTo(to) >= MoneyReport::kMostDays;
    const auto end = [byMonth, to](const QDate &day) {
        return byMonth ? std::min(to, QDate(day.year(), day.month(), day.daysInMonth())) : day;
    };
    ReportTable table{byMonth ? QStringLiteral("Vehicles in storage at the end of each month")
                              : QStringLiteral("Vehicles in storage at the end of each day"),
                      {{byMonth ? QStringLiteral("Month") : QStringLiteral("Day")},
                       {QStringLiteral("In storage"), ReportColumn::Kind::Count},
                       {QStringLiteral("Towed in"), ReportColumn::Kind::Count},
                       {QStringLiteral("Left"), ReportColumn::Kind::Count}},
                      {}, {}};
    ReportChart chart{ReportChart::Kind::Lines,
                      QStringLiteral("Vehicles in storage over time"),
                      byMonth ? QStringLiteral("Month (at its end)") : QStringLiteral("Day"),
                      QStringLiteral("Vehicles"),
                      {},
                      {{QStringLiteral("In storage"), {}}}};
    qint64 inYard = 0, towedIn = 0, left = 0, allIn = 0, allLeft = 0;
    auto next = moves.cbegin();
    for (QDate day = from; day <= to;) {
        const QDate last = end(day);
        for (; next != moves.cend() && next->first <= last; ++next) {
            inYard += next->second.first - next->second.second;
            if (next->first >= from) {
                towedIn += next->second.first;
                left += next->second.second;
            }
        }
        const QString name = byMonth ? last.toString(QStringLiteral("yyyy-MM"))
                                     : last.toString(Qt::ISODate);
        table.rows.append({name, inYard, towedIn, left});
        chart.categories << (byMonth ? name : last.toString(QStringLiteral("MM-dd")));
        chart.series[0].second << double(inYard);
        allIn += towedIn;
        allLeft += left;
        towedIn = left = 0;
        day = last.addDays(1);
    }
    table.totals = {QStringLiteral("Total"), QVariant(), allIn, allLeft};

    Report report;
    report.title = QStringLiteral("The lot over time");
    report.period = QStringLiteral("From %1 to %2")
                        .arg(DateText::shortForm(from), DateText::shortForm(to));
    report.tables = {table};
    report.chart = chart;
    if (noTowDate > 0)
        report.notes << QStringLiteral("%1 vehicle(s) have no tow date that can be read: they "
                                       "are not counted.")
                            .arg(noTowDate);
    if (unreadRelease > 0)
        report.notes << QStringLiteral("%1 vehicle(s) have a release date that cannot be read: "
                                       "they are counted as still in the yard.")
                            .arg(unreadRelease);
    return report;
}

} // namespace tarnvale
