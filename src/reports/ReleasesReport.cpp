#include "ReleasesReport.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "ChargeFigures.h"
#include "DateText.h"
#include "ImpoundRules.h"
#include "ReportPricing.h"
#include "ReportQueries.h"
#include "SettingsFile.h"

namespace tarnvale {

std::optional<Report> ReleasesReport::build(ReportQueries &queries, const SettingsFile &settings,
                                            const QDate &from, const QDate &to,
                                            const QDate &today, const std::atomic<bool> *cancel)
{
    const SettingsFile values = SettingsFile::snapshot(settings.path());
    const QLocale locale;
    ReportPricing pricing;
    if (!pricing.load(queries, today))
        return std::nullopt;
    const auto text = [](const ReportRow &row, int column) {
        return QString::fromUtf8(row.cells[column]).trimmed();
    };
    ReportTable table{QStringLiteral("Vehicles released and sold"),
                      {{QStringLiteral("Day")},
                       {QStringLiteral("Left")},
                       {QStringLiteral("Vehicle")},
                       {QStringLiteral("Group")},
                       {QStringLiteral("To whom")},
                       {QStringLiteral("ID shown")},
                       {QStringLiteral("Clerk")},
                       {QStringLiteral("Billed"), ReportColumn::Kind::Money}},
                      {}, {}};
    qint64 released = 0, sold = 0, billed = 0;
    QList<QDate> days; // of the rows
    const bool read = queries.departures(
        from, to,
        [&](const ReportRow &row) {
            const bool sale = row.isNull(5);
            const QString release = QString::fromUtf8(row.cells[3]);
            const QDate day = sale ? DateText::read(release, locale, today).value_or(QDate())
                                   : QDate::fromString(text(row, 5), Qt::ISODate);
            if (!day.isValid() || day < from || day > to)
                return;
            QStringList vehicle;
            for (int c = 8; c <= 12; ++c)
                if (const QString part = text(row, c); !part.isEmpty())
                    vehicle << (c < 12 ? part.toUpper() : u'(' + part.toUpper() + u')');
            const auto stay = pricing.stayOf(row.integer(0), row.cells[7], row.cells[16],
                                             row.cells[3]);
            const QString towed = QString::fromUtf8(row.cells[2]);
            const QString fee = QString::fromUtf8(row.cells[4]);
            const ChargeFigures f =
                stay ? ChargeFigures::compute(towed, release, fee, values, today, *stay, locale)
                     : ChargeFigures::compute(towed, release, fee, values, today, locale);
            days << day;
            QVariantList cells{day.toString(Qt::ISODate),
                               sale ? QStringLiteral("Sold") : QStringLiteral("Released"),
                               vehicle.join(u' '),
                               text(row, 7),
                               text(row, 6),
                               QStringList{text(row, 13), text(row, 14)}.join(u' ').trimmed(),
                               text(row, 15),
                               QVariant()};
            if (f.totalFormed) {
                cells[7] = ImpoundRules::toCents(f.grandTotal);
                billed += cells[7].toLongLong();
            }
            ++(sale ? sold : released);
            table.rows.append(cells);
        },
        cancel, pricing.active());
    if (!read)
        return std::nullopt;
    // By day, and in the order read within a day.
    std::vector<qsizetype> order(size_t(table.rows.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return days.at(a) < days.at(b); });
    QList<QVariantList> rows;
    rows.reserve(table.rows.size());
    for (qsizetype at : order)
        rows.append(std::move(table.rows[at]));
    table.rows = std::move(rows);
    table.totals = {QStringLiteral("Total"),
                    QStringLiteral("%1 released, %2 sold").arg(released).arg(sold),
                    QString(), QString(), QString(), QString(), QString(), billed};
    Report report;
    report.title = QStringLiteral("Releases and sales");
    report.period = from == to ? QStringLiteral("On ") + DateText::shortForm(from)
                               : QStringLiteral("From %1 to %2")
                                     .arg(DateText::shortForm(from), DateText::shortForm(to));
    report.tables = {table};
    return report;
}

} // namespace tarnvale
