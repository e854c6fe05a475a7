// The dashes the editor puts into a phone number (and the other boxes that share the rule).
#pragma once

#include <QString>

namespace tarnvale {

// Text without "-" is rewritten by its length: 7 characters "123-4567", 10 "(123)-456-7890",
// 11 "1-(234)-567-8901". Any other length, or text that holds a "-", is returned unchanged.
// Any characters count, not only digits.
QString FormatPhoneBox(const QString &text);

} // namespace tarnvale
