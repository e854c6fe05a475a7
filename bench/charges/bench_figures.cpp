// The figures of every vehicle of a yard, 1,000,000 records (or --records=N): the flat storage
// fee of the settings against Standard and two plans (calendar days with rates from a day on,
// a grace period, a cap and fees; 24-hour periods from the time of the tow with an after-hours
// fee). Wall and CPU time side by side.
#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <string>

#include "ChargeFigures.h"
#include "SettingsFile.h"
#include "TowDataGenerator.h"

using namespace tarnvale;

namespace {

const QDate kToday(2026, 12, 1);

struct Yard
{
    QList<TowRecord> records;
    // Time of tow and of release, class by hookup: under Standard and the two plans.
    std::array<QList<PricedStay>, 3> stays;
    SettingsFile settings;
};

PricingPlan calendarPlan()
{
    PricingPlan p;
    p.name = QStringLiteral("County");
    p.towDayCounts = true, p.graceHours = 24, p.capDays = 60, p.adminFeeCents = 4000;
    p.tiers = {{1, {2500, 3500, 6000, 1500}}, {11, {3500, 4500, 8000, 2000}}};
    p.lienFees = {{QStringLiteral("Lien notice"), 15, 7000},
                  {QStringLiteral("Lien sale"), 30, 10000}};
    return p;
}

PricingPlan periodPlan()
{
    PricingPlan p;
    p.name = QStringLiteral("City");
    p.dayType = DayType::Periods;
    p.tiers = {{1, {3500, 4500, 7500, 2000}}};
    p.afterHoursFeeCents = 5000, p.opens = QTime(9, 0), p.closes = QTime(17, 0), p.openDays = 0x1f;
    return p;
}

void figures(benchmark::State &state, const Yard &yard, int plan, bool flat)
{
    for (auto _ : state) {
        double total = 0;
        for (qsizetype i = 0; i < yard.records.size(); ++i) {
            const ChargeFigures f =
                flat ? ChargeFigures::compute(yard.records[i], yard.settings, kToday)
                     : ChargeFigures::compute(yard.records[i], yard.settings, kToday,
                                              yard.stays[plan][i]);
            total += f.grandTotal;
        }
        benchmark::DoNotOptimize(total);
    }
}

class Collector : public benchmark::ConsoleReporter
{
  public:
    std::map<std::string, std::pair<double, double>> ms; // wall, CPU
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration)
                ms[run.run_name.function_name] = {run.GetAdjustedRealTime(),
                                                  run.GetAdjustedCPUTime()};
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    int records = 1000000;
    std::vector<char *> args;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]).rfind("--records=", 0) == 0)
            records = std::atoi(argv[i] + 10);
        else
            args.push_back(argv[i]);
    }
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    {
        QFile file(ini);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write("[Fee]\nStorage Fee=25\n[Tow Fee]\nTaxrate=.08\n") < 0)
            return 1;
    }
    Yard yard{{}, {}, SettingsFile::snapshot(ini)};
    const PricingPlan county = calendarPlan(), city = periodPlan();
    bench::TowDataGenerator generator;
    const QStringList groups = generator.groupNames(200);
    for (int i = 0; i < records; ++i) {
        yard.records.append(generator.record(groups));
        PricedStay stay;
        stay.vehicleClass = Pricing::classOfHookup(yard.records.last().value(TowField::Hookup));
        stay.towedAt = QTime(i % 24, i % 60);
        stay.releasedAt = QTime((i * 7) % 24, (i * 13) % 60);
        stay.now = QTime(12, 0);
        for (const int plan : {0, 1, 2}) {
            stay.plan = plan == 0 ? std::nullopt : std::optional(plan == 1 ? county : city);
            yard.stays[plan].append(stay);
        }
    }
    const auto add = [&](const char *name, int plan, bool flat) {
        benchmark::RegisterBenchmark(name, figures, std::cref(yard), plan, flat)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    };
    add("flat", 0, true);
    add("standard", 0, false);
    add("calendar_plan", 1, false);
    add("period_plan", 2, false);
    Collector c;
    benchmark::RunSpecifiedBenchmarks(&c);
    std::printf("\n");
    const auto [flatWall, flatCpu] = c.ms["flat"];
    for (const char *name : {"standard", "calendar_plan", "period_plan"}) {
        const auto [wall, cpu] = c.ms[name];
        std::printf("figures of %d vehicles, %s: %.0f ms (CPU %.0f ms), %.2fx the flat rate "
                    "(%.0f ms, CPU %.0f ms)\n",
                    records, name, wall, cpu, flatWall > 0 ? wall / flatWall : 0.0, flatWall,
                    flatCpu);
    }
    return 0;
}
