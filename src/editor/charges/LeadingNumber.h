// The number at the start of a text, read the way charge boxes are read.
#pragma once

#include <QStringView>

namespace tarnvale {

// Skips leading blanks, tabs and line breaks, then reads an optional sign, digits with at most
// one "." as decimal point and an optional exponent ("E" or "D", optional sign, digits).
// Blanks, tabs and line breaks between the characters of the number are ignored; the first
// other character ends it. No digits give 0, so "$12.50" reads as 0 and "12.50" as 12.5.
// A number too large for a double also gives 0.
double LeadingNumber(QStringView text);

} // namespace tarnvale
