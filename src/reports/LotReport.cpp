#include "LotReport.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "ChargeFigures.h"
#include "DateText.h"
#include "ImpoundRules.h"
#include "PaidByVehicle.h"
#include "ReadingInParts.h"
#include "ReportPricing.h"
#include "ReportQueries.h"
#include "SettingsFile.h"
#include "TextKeyed.h"

namespace tarnvale {

namespace {

constexpr int kBands = 6;
constexpr int kNoDateBand = kBands - 1;

struct Line
{
    std::array<qint64, kBands> bands{};
    qint64 vehicles = 0;
    qint64 storage = 0;
    qint64 owed = 0;

    void add(int band, qint64 storageCents, qint64 owedCents)
    {
        ++bands[size_t(band)];
        ++vehicles;
        storage += storageCents;
        owed += owedCents;
    }
    QVariantList sums() const { return {vehicles, storage, owed}; }
};

// What one vehicle adds, the same for every vehicle with its tow date and tow fee.
struct Figures
{
    int band = 0;
    qint64 storage = 0;
    std::optional<qint64> total;
};

// The sheet figures of vehicles still in the yard, as ChargeFigures gives them today, put
// together from figures each made once: a tow date's (its days and storage, on a tow fee of
// 0) and a tow fee's (on the day of the tow: no storage); the tax on their sum by the sheet's
// own rule. A yard holds few distinct dates and fees, and many vehicles.
class YardFigures
{
  public:
    YardFigures(const SettingsFile &settings, const QDate &today)
        : m_settings(settings), m_today(today), m_todayText(DateText::shortForm(today, m_locale)),
          m_tax(settings, m_locale)
    {
    }

    Figures of(QByteArrayView towed, QByteArrayView fee)
    {
        const Date &date = dateOf(towed);
        Figures figures{date.band, date.storage, std::nullopt};
        const std::optional<qint64> feeCents = feeOf(fee);
        if (feeCents) {
            const qint64 subtotal = *feeCents + date.storage;
            figures.total = subtotal + m_tax.on(subtotal);
        }
        return figures;
    }

  private:
    struct Date
    {
        int band = 0;
        qint64 storage = 0;
    };

    ChargeFigures figure(const QString &towed, const QString &fee) const
    {
        return ChargeFigures::compute(towed, m_todayText, fee, m_settings, m_today, m_locale);
    }

    const Date &dateOf(QByteArrayView towed)
    {
        return keptFor(m_dates, towed, [&] {
            const QString text = QString::fromUtf8(towed);
            const auto day = DateText::read(text, m_locale, m_today);
            const ChargeFigures f = figure(text, QStringLiteral("0"));
            const bool usable = day && DateText::yearAllowed(*day, m_today) && *day <= m_today;
            return Date{usable ? LotReport::bandOf(f.days) : kNoDateBand,
                        ImpoundRules::toCents(f.storage)};
        });
    }

    std::optional<qint64> feeOf(QByteArrayView fee)
    {
        return keptFor(m_fees, fee, [&] {
            const ChargeFigures f = figure(m_todayText, QString::fromUtf8(fee));
            return f.totalFormed ? std::optional(ImpoundRules::toCents(f.grandTotal) -
                                                 ImpoundRules::toCents(f.tax))
                                 : std::nullopt;
        });
    }

    const SettingsFile &m_settings;
    const QDate m_today;
    const QLocale m_locale;
    const QString m_todayText;
    TextKeyed<Date> m_dates;
    TextKeyed<std::optional<qint64>> m_fees;
    const ChargeFigures::TaxRule m_tax;
};

QString named(const QString &name, const QString &none)
{
    return name.trimmed().isEmpty() ? none : name;
}

} // namespace

const QStringList &LotReport::bandNames()
{
    static const QStringList names = {
        QStringLiteral("0-7 days"),     QStringLiteral("8-30 days"),
        QStringLiteral("31-60 days"),   QStringLiteral("61-90 days"),
        QStringLiteral("Over 90 days"), QStringLiteral("No usable tow date")};
    return names;
}

int LotReport::bandOf(qint64 days)
{
    return days <= 7 ? 0 : days <= 30 ? 1 : days <= 60 ? 2 : days <= 90 ? 3 : 4;
}

bool LotReport::inYard(const ReportRow &row)
{
    // Nothing kept: the release date alone says, as ImpoundRules::statusOf() has it.
    if (row.isNull(3))
        return row.cells[4] != QByteArrayView("0");
    // A kept status is read from its stored word (a word not known is in storage); read as
    // bytes, row after row, against the words of the statuses that hold a vehicle out.
    static const std::array<QByteArray, 3> outWords = [] {
        std::array<QByteArray, 3> words;
        size_t at = 0;
        for (VehicleStatus status : ImpoundRules::allStatuses())
            if (status != VehicleStatus::InStorage && status != VehicleStatus::OnHold)
                words.at(at++) = ImpoundRules::statusWord(status).toUtf8();
        return words;
    }();
    const QByteArrayView word = row.cells[3];
    return std::none_of(outWords.begin(), outWords.end(),
                        [&](const QByteArray &out) { return word == QByteArrayView(out); });
}

namespace {

// A vehicle in the yard as a part of the reading figured it; what it owes is figured once
// every payment is read.
struct YardVehicle
{
    static constexpr qint64 kNoTotal = std::numeric_limits<qint64>::min();
    qint64 id = 0;
    qint64 storage = 0;
    qint64 total = kNoTotal;
    int group = 0;   // in the part's groups
    int agency = -1; // in the part's agencies; -1 when not on hold
    int band = 0;
};

// What one part of the reading found, with the names (as stored) its vehicles point to.
struct YardPart
{
    std::vector<YardVehicle> vehicles;
    std::vector<QByteArray> groups;
    std::vector<QByteArray> agencies;
    TextKeyed<int> groupIndex;
    TextKeyed<int> agencyIndex;

    static int indexOf(TextKeyed<int> &index, std::vector<QByteArray> &names,
                       QByteArrayView name)
    {
        return keptFor(index, name, [&] {
            names.push_back(name.toByteArray());
            return int(names.size() - 1);
        });
    }
};

// What one reader figures with: its own settings, caches and pricing (none is shared).
struct YardReader
{
    YardReader(const SettingsFile &settings, const ReportPricing &pricing, const QDate &today)
        : values(settings), pricing(pricing), figures(values, today), today(today)
    {
    }
    SettingsFile values;
    ReportPricing pricing;
    YardFigures figures;
    QDate today;
    QLocale locale;

    void add(const ReportRow &row, YardPart &part)
    {
        if (!LotReport::inYard(row))
            return;
        Figures f = figures.of(row.cells[1], row.cells[2]);
        // Through its plan or kept bill, or to the release date typed on it while it is
        // still kept in the yard: the days, storage and total its sheet shows.
        const bool releaseTyped = row.integer(4) == 0;
        const auto stay = pricing.stayOf(row.integer(6), row.cells[0], row.cells[7],
                                         row.cells[8]);
        if (stay || releaseTyped) {
            const QString towed = QString::fromUtf8(row.cells[1]);
            const QString release = QString::fromUtf8(row.cells[8]);
            const QString fee = QString::fromUtf8(row.cells[2]);
            const ChargeFigures c =
                stay ? ChargeFigures::compute(towed, release, fee, values, today, *stay, locale)
                     : ChargeFigures::compute(towed, release, fee, values, today, locale);
            f.storage = ImpoundRules::toCents(c.storage);
            f.total = c.totalFormed ? std::optional(ImpoundRules::toCents(c.grandTotal))
                                    : std::nullopt;
            if (releaseTyped && f.band != kNoDateBand)
                f.band = LotReport::bandOf(c.days);
        }
        YardVehicle vehicle;
        vehicle.id = row.integer(6);
        vehicle.storage = f.storage;
        vehicle.total = f.total.value_or(YardVehicle::kNoTotal);
        vehicle.band = f.band;
        vehicle.group = YardPart::indexOf(part.groupIndex, part.groups, row.cells[0]);
        if (row.cells[3] == QByteArrayView("hold"))
            vehicle.agency = YardPart::indexOf(part.agencyIndex, part.agencies, row.cells[5]);
        part.vehicles.push_back(vehicle);
    }
};

} // namespace

std::optional<Report> LotReport::build(ReportQueries &queries, const SettingsFile &settings,
                                       const QDate &today, const std::atomic<bool> *cancel,
                                       const YardReading &reading)
{
    // One reading of the settings for the whole run.
    const SettingsFile values = SettingsFile::snapshot(settings.path());
    ReportPricing pricing;
    if (!pricing.load(queries, today))
        return std::nullopt;
    const std::optional<ReportQueries::IdRange> ids = queries.vehicleIds();
    if (!ids)
        return std::nullopt;

    // The parts: every payment; the vehicles with a typed release date still kept in the
    // yard; those with a blank release date, a run of ids at a time.
    const std::vector<ReportQueries::IdRange> runs = ReadingInParts::runsOf(*ids, reading);
    const int kPayments = 0, kReleaseTyped = 1, kFirstRun = 2;
    std::vector<YardPart> parts(kFirstRun + runs.size());
    const int readerCount = ReadingInParts::readersFor(runs.size(), reading);
    std::vector<std::unique_ptr<YardReader>> readers(static_cast<size_t>(readerCount));
    PaidByVehicle paid(ids->first, ids->last);
    const bool read = ReadingInParts::read(
        queries, int(parts.size()), readerCount,
        [&](ReportQueries &through, int at, int reader) {
            if (at == kPayments) {
                const bool done = through.payments(
                    [&](qint64 vehicle, qint64 cents) { paid.add(vehicle, cents); }, cancel);
                paid.finish();
                return done;
            }
            auto &kept = readers[size_t(reader)];
            if (!kept)
                kept = std::make_unique<YardReader>(values, pricing, today);
            YardPart &part = parts[size_t(at)];
            const auto add = [&](const ReportRow &row) { kept->add(row, part); };
            if (at == kReleaseTyped)
                return through.yardVehiclesReleaseTyped(add, cancel);
            return through.yardVehiclesReleaseBlank(runs[size_t(at - kFirstRun)], add, cancel,
                                                    pricing.active());
        },
        cancel);
    if (!read)
        return std::nullopt;

    // What each vehicle owes, and the lines it adds to.
    TextKeyed<Line> groupLines; // by the group's name as stored
    std::map<QString, Line> agencies;
    Line yard, onHold;
    std::array<Line, kBands> byBand;
    qint64 noTotal = 0;
    for (const YardPart &part : parts) {
        std::vector<Line *> groupOf, agencyOf;
        for (const QByteArray &name : part.groups)
            groupOf.push_back(&keptFor(groupLines, name, [] { return Line{}; }));
        for (const QByteArray &name : part.agencies)
            agencyOf.push_back(
                &agencies[named(QString::fromUtf8(name), QStringLiteral("(no agency)"))]);
        for (const YardVehicle &v : part.vehicles) {
            const bool totalled = v.total != YardVehicle::kNoTotal;
            noTotal += totalled ? 0 : 1;
            const qint64 owed = totalled ? v.total - paid.of(v.id) : 0;
            groupOf[size_t(v.group)]->add(v.band, v.storage, owed);
            yard.add(v.band, v.storage, owed);
            byBand[size_t(v.band)].add(v.band, v.storage, owed);
            if (v.agency >= 0) {
                onHold.add(v.band, v.storage, owed);
                agencyOf[size_t(v.agency)]->add(v.band, v.storage, owed);
            }
        }
    }
    // Names that differ as stored may read alike once blank names are named: added together.
    std::map<QString, Line> groups;
    for (const auto &[stored, kept] : groupLines) {
        Line &line = groups[named(QString::fromStdString(stored), QStringLiteral("(no group)"))];
        for (int b = 0; b < kBands; ++b)
            line.bands[size_t(b)] += kept.bands[size_t(b)];
        line.vehicles += kept.vehicles;
        line.storage += kept.storage;
        line.owed += kept.owed;
    }

    const QList<ReportColumn> sums = {{QStringLiteral("Vehicles"), ReportColumn::Kind::Count},
                                      {QStringLiteral("Storage"), ReportColumn::Kind::Money},
                                      {QStringLiteral("Balance owed"), ReportColumn::Kind::Money}};
    Report report;
    report.title = QStringLiteral("Lot inventory and ageing");
    report.period = QStringLiteral("As of ") + DateText::shortForm(today);

    ReportTable byGroup{QStringLiteral("Vehicles in the yard by group"),
                        {{QStringLiteral("Group")}}, {}, {}};
    for (const QString &band : bandNames())
        byGroup.columns.append({band, ReportColumn::Kind::Count});
    byGroup.columns << sums;
    const auto bandCells = [](const Line &line) {
        QVariantList cells;
        for (qint64 count : line.bands)
            cells << count;
        return cells + line.sums();
    };
    for (const auto &[name, line] : groups)
        byGroup.rows.append(QVariantList{name} + bandCells(line));
    byGroup.totals = QVariantList{QStringLiteral("Total")} + bandCells(yard);

    // By age: what each band adds up to, from the same vehicles.
    ReportTable byAge{QStringLiteral("Vehicles in the yard by age"),
                      QList<ReportColumn>{{QStringLiteral("Age")}} + sums, {},
                      QVariantList{QStringLiteral("Total")} + yard.sums()};
    for (int b = 0; b < kBands; ++b)
        byAge.rows.append(QVariantList{bandNames().at(b)} + byBand[size_t(b)].sums());

    ReportTable holds{QStringLiteral("On hold by agency"),
                      QList<ReportColumn>{{QStringLiteral("Agency")}} + sums, {},
                      QVariantList{QStringLiteral("Total")} + onHold.sums()};
    for (const auto &[name, line] : agencies)
        holds.rows.append(QVariantList{name} + line.sums());

    report.tables = {byGroup, byAge, holds};
    if (noTotal > 0)
        report.notes << QStringLiteral("%1 vehicle(s) have no grand total (their tow fee is not "
                                       "an amount of 0 or more): no balance is counted for them.")
                            .arg(noTotal);

    ReportChart chart{ReportChart::Kind::Bars, QStringLiteral("Vehicles in the yard by age"),
                      QStringLiteral("Days in storage"), QStringLiteral("Vehicles"),
                      bandNames(), {}};
    QList<double> stored, held;
    for (int b = 0; b < kBands; ++b) {
        held << double(onHold.bands[size_t(b)]);
        stored << double(yard.bands[size_t(b)] - onHold.bands[size_t(b)]);
    }
    chart.series = {{QStringLiteral("In storage"), stored}, {QStringLiteral("On hold"), held}};
    report.chart = chart;
    return report;
}

} // namespace tarnvale
