// The lot as it stands: the vehicles in the yard (in storage or on hold) by group and by how
// long they have been there, with the storage charged so far and the balance still owed,
// each vehicle figured as its own sheet figures it today; those on hold by agency.
#pragma once

#include <QDate>
#include <QStringList>

#include <atomic>
#include <optional>

#include "ReadingInParts.h"
#include "Report.h"

namespace tarnvale {

class ReportQueries;
struct ReportRow;
class SettingsFile;

class LotReport
{
  public:
    // The age bands in days, and the last one for a tow date that cannot be counted from.
    static const QStringList &bandNames();
    // The band of a vehicle towed `days` ago (0 ... 4).
    static int bandOf(qint64 days);

    // Whether a row of ReportQueries::yardVehicles() is of a vehicle in storage or on hold,
    // by its kept status, or by its release date when nothing was kept.
    static bool inYard(const ReportRow &row);

    // nullopt when reading failed (queries.lastError() says why) or was cancelled.
    static std::optional<Report> build(ReportQueries &queries, const SettingsFile &settings,
                                       const QDate &today,
                                       const std::atomic<bool> *cancel = nullptr,
                                       const YardReading &reading = {});
};

} // namespace tarnvale
