// The editor's "Calculate Total": the eight charges summed into the total and the tow fee.
#pragma once

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace tarnvale {

struct ChargeTotal
{
    double sum = 0;
    QString total;    // plain text of the sum (field total)
    QString towedFee; // the sum with "######.00" (field towedfee)

    friend bool operator==(const ChargeTotal &, const ChargeTotal &) = default;
};

// costs = the texts of cost1 ... cost8, each read with LeadingNumber (text that does not
// start with a number counts 0) and added with its cents, in order. nullopt when the sum is
// not a finite number: nothing can be shown.
std::optional<ChargeTotal> CalculateTotal(const std::array<QString, 8> &costs);

// The charge boxes whose text LeadingNumber does not read whole (see ReadsWhole), by index
// 0 ... 7: each of them counts as something other than what was typed.
QList<int> UnreadCharges(const std::array<QString, 8> &costs);

} // namespace tarnvale
