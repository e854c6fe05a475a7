// Numbers as the user reads and types them, in the user's locale.
#pragma once

#include <QLocale>
#include <QString>

#include <optional>

namespace tarnvale {

class NumberText
{
  public:
    // Reads a number by the locale's ordinary rules: digit grouping and the locale's decimal
    // separator, an optional sign, the locale's currency sign before or after the number, and
    // parentheses for a negative amount ("$1,234.50", "(12.00)"). Empty text, text that is not
    // a number, and numbers too large for a double answer nullopt.
    static std::optional<double> read(const QString &text, const QLocale &locale = QLocale());

    // The plain text of a number: up to 15 significant digits, no grouping, no trailing zeros,
    // no trailing decimal point, "." as decimal point (123.5, 100, 0, -0.25).
    static QString plain(double value);
};

} // namespace tarnvale
