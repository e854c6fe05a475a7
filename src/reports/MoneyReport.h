// The money of a day or a range of days: what was billed (the vehicles released and sold,
// each with the tow fee, storage, plan fees and tax its sheet shows) and what was received
// (payments less refunds), by day and by payment method; and the cash drawer of one day.
#pragma once

#include <QDate>

#include <atomic>
#include <optional>

#include "Report.h"

namespace tarnvale {

class ReportQueries;
class SettingsFile;

class MoneyReport
{
  public:
    // From `from` to `to`, both included. nullopt when reading failed (queries.lastError()
    // says why) or was cancelled.
    static std::optional<Report> build(ReportQueries &queries, const SettingsFile &settings,
                                       const QDate &from, const QDate &to, const QDate &today,
                                       const std::atomic<bool> *cancel = nullptr);

    // The close-out of the cash drawer for one day: cash taken (payments less refunds whose
    // method is "Cash") against the cash counted, when it was counted.
    static std::optional<Report> drawer(ReportQueries &queries, const QDate &day,
                                        const std::optional<qint64> &countedCents);

    // The chart shows days up to this many, months beyond.
    static constexpr qint64 kMostDays = 62;
};

} // namespace tarnvale
