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

    // Reads a number the program wrote itself ("100.00", ".08", "-5.00": "." as decimal point,
    // no grouping, an optional "$" as the money formats write it) the same under every locale;
    // only text not in that form is read by the locale's rules as above. For stored amounts
    // and rates, which were written in the first form whatever the user's locale was.
    static std::optional<double> readStored(const QString &text, const QLocale &locale = QLocale());

    // The plain text of a number: up to 15 significant digits, no grouping, no trailing zeros,
    // no trailing decimal point, "." as decimal point (123.5, 100, 0, -0.25).
    static QString plain(double value);
};

} // namespace tarnvale
