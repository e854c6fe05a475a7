// The check digit of a vehicle identification number.
#pragma once

#include <QString>

namespace tarnvale {

// True when the 9th character of the text as passed in equals the check character computed
// from positions 1-8 and 10-17 of the text with blanks at both ends removed ("X" for 10).
// Digits count as themselves and the letters by the transliteration table; a character with no
// value (I, O, Q, lower case, punctuation, a blank, a missing position) counts with the value
// of the position before it (0 at position 1). There is no length check: text after the 17th
// character is ignored, and a text of 8 characters or fewer is never valid.
bool IsValidVin(const QString &vin);

} // namespace tarnvale
