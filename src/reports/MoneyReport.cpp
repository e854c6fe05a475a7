#include "MoneyReport.h"

#include <map>

#include "ChargeFigures.h"
#include "DateText.h"
#include "ImpoundRules.h"
#include "ReportPricing.h"
#include "ReportQueries.h"
#include "SettingsFile.h"

namespace tarnvale {

namespace {

struct Billed
{
    qint64 released = 0;
    qint64 sold = 0;
    qint64 towFees = 0;
    qint64 storage = 0;
    qint64 fees = 0; // a pricing plan's fees (administrative, after hours, lien steps)
    qint64 tax = 0;
    qint64 total = 0;
};

struct Received
{
    qint64 payments = 0; // how many
    qint64 taken = 0;
    qint64 refunded = 0; // below zero
};

bool isCash(QByteArrayView method)
{
    return QString::fromUtf8(method).trimmed().compare(QStringLiteral("Cash"),
                                                       Qt::CaseInsensitive) == 0;
}

QString periodText(const QDate &from, const QDate &to)
{
    return from == to ? QStringLiteral("On ") + DateText::shortForm(from)
                      : QStringLiteral("From %1 to %2")
                            .arg(DateText::shortForm(from), DateText::shortForm(to));
}

} // namespace

std::optional<Report> MoneyReport::build(ReportQueries &queries, const SettingsFile &settings,
                                         const QDate &from, const QDate &to, const QDate &today,
                                         const std::atomic<bool> *cancel)
{
    const SettingsFile values = SettingsFile::snapshot(settings.path());
    const QLocale locale;
    ReportPricing pricing;
    if (!pricing.load(queries, today))
        return std::nullopt;
    std::map<QDate, Billed> billed;
    std::map<QDate, Received> receivedByDay;
    // By the method without regard to case ("cash" is "Cash"), shown in the spelling that
    // sorts first (capitals before small letters).
    std::map<QString, QPair<QString, Received>> byMethod;
    qint64 noTotal = 0;

    const bool read = queries.departures(
        from, to,
        [&](const ReportRow &row) {
            const bool sale = row.isNull(5);
            QDate day = QDate::fromString(QString::fromUtf8(row.cells[5]), Qt::ISODate);
            const QString release = QString::fromUtf8(row.cells[3]);
            if (sale)
                day = DateText::read(release, locale, today).value_or(QDate());
            if (!day.isValid() || day < from || day > to)
                return;
            // The sheet's figures: days and charges stop at the release date it shows.
            const auto stay = pricing.stayOf(row.integer(0), row.cells[7], row.cells[16],
                                             row.cells[3]);
            const QString towed = QString::fromUtf8(row.cells[2]);
            const QString fee = QString::fromUtf8(row.cells[4]);
            const ChargeFigures f =
                stay ? ChargeFigures::compute(towed, release, fee, values, today, *stay, locale)
                     : ChargeFigures::compute(towed, release, fee, values, today, locale);
            Billed &b = billed[day];
            ++(sale ? b.sold : b.released);
            const qint64 storage = ImpoundRules::toCents(f.storage);
            if (!f.totalFormed) {
                ++noTotal;
                return;
            }
            const qint64 tax = ImpoundRules::toCents(f.tax);
            const qint64 total = ImpoundRules::toCents(f.grandTotal);
            const qint64 fees = ImpoundRules::toCents(f.feesTotal);
            b.storage += storage;
            b.fees += fees;
            b.tax += tax;
            b.total += total;
            b.towFees += total - storage - fees - tax;
        },
        cancel, pricing.active());
    if (!read)
        return std::nullopt;
    if (!queries.paymentsByDay(
            from, to,
            [&](const ReportRow &row) {
                const QDate day = QDate::fromString(QString::fromUtf8(row.cells[0]), Qt::ISODate);
                QString method = QString::fromUtf8(row.cells[1]).trimmed();
                if (method.isEmpty())
                    method = QStringLiteral("(no method)");
                auto &[shown, sum] = byMethod[method.toCaseFolded()];
                if (shown.isEmpty() || method < shown)
                    shown = method;
                for (Received *r : {&receivedByDay[day], &sum}) {
                    (row.integer(2) ? r->refunded : r->taken) += row.integer(3);
                    r->payments += row.integer(2) ? 0 : row.integer(4);
                }
            },
            cancel))
        return std::nullopt;

    Report report;
    report.title = QStringLiteral("Money");
    report.period = periodText(from, to);
    const auto money = [](const QString &title) {
        return ReportColumn{title, ReportColumn::Kind::Money};
    };
    const auto count = [](const QString &title) {
        return ReportColumn{title, ReportColumn::Kind::Count};
    };

    ReportTable bill{QStringLiteral("Billed by day"),
                     {{QStringLiteral("Day")}, count(QStringLiteral("Released")),
                      count(QStringLiteral("Sold")), money(QStringLiteral("Tow fees")),
                      money(QStringLiteral("Storage")), money(QStringLiteral("Fees")),
                      money(QStringLiteral("Tax")), money(QStringLiteral("Billed"))},
                     {}, {}};
    Billed all;
    for (const auto &[day, b] : billed) {
        bill.rows.append({day.toString(Qt::ISODate), b.released, b.sold, b.towFees, b.storage,
                          b.fees, b.tax, b.total});
        all.released += b.released;
        all.sold += b.sold;
        all.towFees += b.towFees;
        all.storage += b.storage;
        all.fees += b.fees;
        all.tax += b.tax;
        all.total += b.total;
    }
    bill.totals = {QStringLiteral("Total"), all.released, all.sold, all.towFees, all.storage,
                   all.fees, all.tax, all.total};

    const auto receivedTable = [&](const QString &title, const QString &first) {
        return ReportTable{title,
                           {{first}, count(QStringLiteral("Payments")),
                            money(QStringLiteral("Taken")), money(QStringLiteral("Refunds")),
                            money(QStringLiteral("Received"))},
                           {}, {}};
    };
    const auto cells = [](const QString &first, const Received &r) {
        return QVariantList{first, r.payments, r.taken, r.refunded, r.taken + r.refunded};
    };
    Received in;
    ReportTable methods = receivedTable(QStringLiteral("Received by method"),
                                        QStringLiteral("Method"));
    for (const auto &[key, method] : byMethod) {
        const Received &r = method.second;
        methods.rows.append(cells(method.first, r));
        in.payments += r.payments;
        in.taken += r.taken;
        in.refunded += r.refunded;
    }
    methods.totals = cells(QStringLiteral("Total"), in);
    ReportTable days = receivedTable(QStringLiteral("Received by day"), QStringLiteral("Day"));
    for (const auto &[day, r] : receivedByDay)
        days.rows.append(cells(day.toString(Qt::ISODate), r));
    days.totals = methods.totals;
    report.tables = {bill, methods, days};

    report.notes << QStringLiteral("Billed counts the releases and sales recorded in Hold / "
                                   "Release, each as its sheet figures it.");
    if (noTotal > 0)
        report.notes << QStringLiteral("%1 vehicle(s) released or sold have no grand total "
                                       "(their tow fee is not an amount of 0 or more): no "
                                       "charge is billed for them.")
                            .arg(noTotal);

    // Billed and received side by side, by day over a short range, by month over a long one.
    const bool byMonth = from.daysTo(to) >= kMostDays;
    const auto slot = [byMonth](const QDate &day) {
        return byMonth ? QDate(day.year(), day.month(), 1) : day;
    };
    std::map<QDate, QPair<double, double>> buckets;
    for (QDate d = slot(from); d <= to; d = byMonth ? d.addMonths(1) : d.addDays(1))
        buckets[d];
    for (const auto &[day, b] : billed)
        buckets[slot(day)].first += double(b.total) / 100;
    for (const auto &[day, r] : receivedByDay)
        buckets[slot(day)].second += double(r.taken + r.refunded) / 100;
    ReportChart chart{ReportChart::Kind::Bars,
                      byMonth ? QStringLiteral("Billed and received by month")
                              : QStringLiteral("Billed and received by day"),
                      byMonth ? QStringLiteral("Month") : QStringLiteral("Day"),
                      QStringLiteral("Dollars ($)"),
                      {},
                      {{QStringLiteral("Billed"), {}}, {QStringLiteral("Received"), {}}}};
    for (const auto &[d, amounts] : buckets) {
        chart.categories << (byMonth ? d.toString(QStringLiteral("yyyy-MM"))
                                     : d.toString(QStringLiteral("MM-dd")));
        chart.series[0].second << amounts.first;
        chart.series[1].second << amounts.second;
    }
    report.chart = chart;
    return report;
}

std::optional<Report> MoneyReport::drawer(ReportQueries &queries, const QDate &day,
                                          const std::optional<qint64> &countedCents)
{
    qint64 taken = 0, refunded = 0;
    if (!queries.paymentsByDay(day, day, [&](const ReportRow &row) {
            if (isCash(row.cells[1]))
                (row.integer(2) ? refunded : taken) += row.integer(3);
        }))
        return std::nullopt;
    Report report;
    report.title = QStringLiteral("Cash drawer close-out");
    report.period = periodText(day, day);
    ReportTable table{QStringLiteral("Cash"),
                      {{QStringLiteral("Line")}, {QStringLiteral("Amount"), ReportColumn::Kind::Money}},
                      {{QStringLiteral("Cash payments"), taken},
                       {QStringLiteral("Cash refunds"), refunded},
                       {QStringLiteral("Cash taken"), taken + refunded}},
                      {}};
    if (countedCents) {
        const qint64 difference = *countedCents - (taken + refunded);
        table.rows.append({QStringLiteral("Cash counted"), *countedCents});
        table.rows.append({difference < 0   ? QStringLiteral("Short")
                           : difference > 0 ? QStringLiteral("Over")
                                            : QStringLiteral("Balanced"),
                           difference});
    } else {
        report.notes << QStringLiteral("The cash was not counted.");
    }
    report.tables = {table};
    return report;
}

} // namespace tarnvale
