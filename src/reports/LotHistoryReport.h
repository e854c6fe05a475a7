// The lot over time: how many vehicles were in storage at the end of each day (or of each
// month, over a long range), from the tow and release dates of every vehicle: one towed on a
// day is in the yard at its end, one released on a day is not.
#pragma once

#include <QDate>

#include <atomic>
#include <optional>

#include "ReadingInParts.h"
#include "Report.h"

namespace tarnvale {

class ReportQueries;

class LotHistoryReport
{
  public:
    static std::optional<Report> build(ReportQueries &queries, const QDate &from,
                                       const QDate &to, const QDate &today,
                                       const std::atomic<bool> *cancel = nullptr,
                                       const YardReading &reading = {});
};

} // namespace tarnvale
