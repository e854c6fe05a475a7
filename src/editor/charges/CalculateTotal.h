// The editor's "Calculate Total": the eight charges summed into the total and the tow fee.
#pragma once

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

// costs = the texts of cost1 ... cost8. Each is read with LeadingNumber (text that does not
// start with a number counts 0). The eighth (other charges) is rounded to a whole number,
// halves to the even neighbour, and held as a 32-bit signed integer. nullopt when the eighth
// charge lies outside the 32-bit range or the sum is not a finite number: nothing can be shown.
std::optional<ChargeTotal> CalculateTotal(const std::array<QString, 8> &costs);

} // namespace tarnvale
