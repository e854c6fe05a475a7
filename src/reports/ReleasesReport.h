// The vehicles released and sold in a range of days: to whom each went, the ID shown, the
// clerk who took its payment, and what its sheet bills.
#pragma once

#include <QDate>

#include <atomic>
#include <optional>

#include "Report.h"

namespace tarnvale {

class ReportQueries;
class SettingsFile;

class ReleasesReport
{
  public:
    static std::optional<Report> build(ReportQueries &queries, const SettingsFile &settings,
                                       const QDate &from, const QDate &to, const QDate &today,
                                       const std::atomic<bool> *cancel = nullptr);
};

} // namespace tarnvale
