#include "CalculateTotal.h"

#include <cmath>

#include "LeadingNumber.h"
#include "MoneyFormat.h"
#include "NumberText.h"

namespace tarnvale {

std::optional<ChargeTotal> CalculateTotal(const std::array<QString, 8> &costs)
{
    double sum = 0;
    for (const QString &cost : costs)
        sum += LeadingNumber(cost);
    if (!std::isfinite(sum))
        return std::nullopt;

    ChargeTotal result;
    result.sum = sum;
    result.total = NumberText::plain(sum);
    result.towedFee = MoneyFormat(sum, kMoneyPlain);
    return result;
}

QList<int> UnreadCharges(const std::array<QString, 8> &costs)
{
    QList<int> unread;
    for (int i = 0; i < 8; ++i)
        if (!ReadsWhole(costs[size_t(i)]))
            unread << i;
    return unread;
}

} // namespace tarnvale
