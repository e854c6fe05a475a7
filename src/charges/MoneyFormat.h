// Money as the detail sheet, the editor and the report show it.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

namespace tarnvale {

// The three display patterns.
inline constexpr QStringView kMoneyRate = u"$#####.00";    // daily storage rate
inline constexpr QStringView kMoneyDollar = u"$######.00"; // storage charge, grand total
inline constexpr QStringView kMoneyPlain = u"######.00";   // the tow fee

// "$" when the pattern starts with it, the integer part with as many digits as it needs and no
// leading zero (0.5 gives "$.50"), ".", two decimals rounded half away from zero; "-" in front
// of everything for a negative amount. The count of "#" does not limit the digits. A value
// that is not finite gives empty text.
QString MoneyFormat(double value, QStringView pattern);

// The same for a text: a number as the program writes it ("67.5") reads the same under every
// locale, other text by the locale's ordinary number rules (NumberText::readStored); text that
// does not read as a number is returned unchanged.
QString MoneyFormat(const QString &text, QStringView pattern, const QLocale &locale = QLocale());

} // namespace tarnvale
