#include "ReportPricing.h"

#include "ReportQueries.h"

namespace tarnvale {

bool ReportPricing::load(ReportQueries &queries, const QDate &today)
{
    m_now = today == QDate::currentDate() ? QTime::currentTime() : QTime(0, 0);
    // Most yards keep no plan: a glance at the plans and kept bills spares reading the rest.
    const std::optional<bool> inUse = queries.pricingInUse();
    if (!inUse)
        return false;
    if (!*inUse)
        return true;
    PricingStore store(queries.store());
    std::optional<PricingBook> book = store.book();
    if (!book) {
        queries.setError(store.lastError());
        return false;
    }
    m_book = std::move(*book);
    m_active = !m_book.plans.isEmpty() || !m_book.kept.isEmpty();
    return true;
}

std::optional<PricedStay> ReportPricing::stayOf(qint64 id, QByteArrayView group,
                                                QByteArrayView hookup, QByteArrayView release)
{
    // Without a plan of its own, a group plan or a kept bill, a vehicle is on Standard.
    if (!m_active || (m_book.groupPlans.isEmpty() && !m_book.vehicles.contains(id) &&
                      !m_book.kept.contains(id)))
        return std::nullopt;
    m_record.id = id;
    m_record.set(TowField::groupname, QString::fromUtf8(group));
    m_record.set(TowField::Hookup, QString::fromUtf8(hookup));
    m_record.set(TowField::towedrelease, QString::fromUtf8(release));
    PricedStay stay = m_book.stayOf(m_record, m_now);
    if (!stay.kept && !stay.plan)
        return std::nullopt;
    return stay;
}

} // namespace tarnvale
