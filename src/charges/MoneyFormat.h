// Money as the detail sheet, the editor and the report show it.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <optional>

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

// The one money rounding, in whole cents: half away from zero on the value's 15 significant
// digits, so that 2.675 (held as 2.67499999...) gives 268 as it reads. Every figure printed,
// shown or exported is made of these cents. nullopt for a value that is not finite or whose
// cents reach kMaxMoneyCents, beyond which a double no longer holds every cent.
inline constexpr qint64 kMaxMoneyCents = 10'000'000'000'000; // $100,000,000,000.00
std::optional<qint64> MoneyCents(double value);

// The same for a text: a number as the program writes it ("67.5") reads the same under every
// locale, other text by the locale's ordinary number rules (NumberText::readStored); text that
// does not read as a number is returned unchanged.
QString MoneyFormat(const QString &text, QStringView pattern, const QLocale &locale = QLocale());

} // namespace tarnvale
