#include "LotHistoryReport.h"

#include <QHash>

#include <map>

#include "DateText.h"
#include "MoneyReport.h"
#include "ReportQueries.h"

namespace tarnvale {

std::optional<Report> LotHistoryReport::build(ReportQueries &queries, const QDate &from,
                                              const QDate &to, const QDate &today,
                                              const std::atomic<bool> *cancel)
{
    const QLocale locale;
    QHash<QByteArray, std::optional<QDate>> dates;
    const auto dateOf = [&](QByteArrayView text) {
        auto at = dates.constFind(QByteArray::fromRawData(text.data(), text.size()));
        if (at == dates.cend()) {
            std::optional<QDate> day = DateText::read(QString::fromUtf8(text), locale, today);
            if (day && !DateText::yearAllowed(*day, today))
                day.reset();
            at = dates.insert(text.toByteArray(), day);
        }
        return *at;
    };
    std::map<QDate, std::pair<qint64, qint64>> moves; // towed in, left, by day
    qint64 noTowDate = 0, unreadRelease = 0;
    const bool read = queries.towAndReleaseDates(
        [&](const ReportRow &row) {
            const std::optional<QDate> towed = dateOf(row.cells[0]);
            if (!towed) {
                ++noTowDate;
                return;
            }
            ++moves[*towed].first;
            if (row.cells[1].trimmed().isEmpty())
                return;
            const std::optional<QDate> left = dateOf(row.cells[1]);
            if (!left)
                ++unreadRelease;
            else
                ++moves[std::max(*left, *towed)].second; // a release before the tow: that day
        },
        cancel);
    if (!read)
        return std::nullopt;

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
