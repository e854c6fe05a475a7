// The lien steps of the vehicles in the yard that are overdue or fall due this week or next
// (weeks from Monday), by the schedule in the settings, with the day each notice was printed
// (the step marked done) or not.
#pragma once

#include <QDate>

#include <atomic>
#include <optional>

#include "ReadingInParts.h"
#include "Report.h"

namespace tarnvale {

class ReportQueries;
class SettingsFile;

class DeadlinesReport
{
  public:
    // The list names at most this many overdue steps, the longest overdue; the counts hold
    // them all.
    static constexpr qsizetype kMostOverdueListed = 1000;

    static std::optional<Report> build(ReportQueries &queries, const SettingsFile &settings,
                                       const QDate &today,
                                       const std::atomic<bool> *cancel = nullptr,
                                       const YardReading &reading = {});
};

} // namespace tarnvale
