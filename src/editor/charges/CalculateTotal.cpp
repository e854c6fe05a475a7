#include "CalculateTotal.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "LeadingNumber.h"
#include "MoneyFormat.h"
#include "NumberText.h"

namespace tarnvale {

std::optional<ChargeTotal> CalculateTotal(const std::array<QString, 8> &costs)
{
    double sum = 0;
    for (size_t i = 0; i < 7; ++i)
        sum += LeadingNumber(costs[i]);

    // std::nearbyint rounds halves to even in the default rounding mode.
    const double other = std::nearbyint(LeadingNumber(costs[7]));
    if (other < double(std::numeric_limits<std::int32_t>::min()) ||
        other > double(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    const std::int32_t a8 = std::int32_t(other);
    sum += a8;
    if (!std::isfinite(sum))
        return std::nullopt;

    ChargeTotal result;
    result.sum = sum;
    result.total = NumberText::plain(sum);
    result.towedFee = MoneyFormat(sum, kMoneyPlain);
    return result;
}

} // namespace tarnvale
