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

// True when LeadingNumber reads the whole text: nothing but blanks, or one number (with its
// blanks) that fits a double. "$40", "40 dollars", "abc", "20,50" and "1E999" do not: they
// count as something other than what was typed.
bool ReadsWhole(QStringView text);

} // namespace tarnvale
