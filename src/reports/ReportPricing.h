// The pricing of the vehicles of one report run, read once. While the yard keeps no plan and
// no bill kept at a release, every vehicle is billed at the flat rate of the settings and the
// reports figure it without reading anything more; once it keeps one, a vehicle on a plan, or
// released with a kept bill, is figured through it, as its sheet figures it.
#pragma once

#include <QByteArrayView>
#include <QTime>

#include <optional>

#include "ChargeFigures.h"
#include "PricingStore.h"
#include "TowRecord.h"

namespace tarnvale {

class ReportQueries;

class ReportPricing
{
  public:
    // Reads the book; false when it cannot be read (queries.lastError() says why). A vehicle
    // still held under 24-hour periods is counted to the time of day now when `today` is today,
    // else to midnight.
    bool load(ReportQueries &queries, const QDate &today);
    // Whether any vehicle may be billed otherwise than at the flat rate.
    bool active() const { return m_active; }

    // How the vehicle is billed when not at the flat rate: on a stored plan, or released
    // (`release` not blank) with a kept bill; nullopt when the flat figures are its.
    std::optional<PricedStay> stayOf(qint64 id, QByteArrayView group, QByteArrayView hookup,
                                     QByteArrayView release);

  private:
    PricingBook m_book;
    bool m_active = false;
    QTime m_now;
    TowRecord m_record;
};

} // namespace tarnvale
