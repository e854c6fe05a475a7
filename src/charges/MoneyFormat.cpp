#include "MoneyFormat.h"

#include <charconv>
#include <cmath>

#include "NumberText.h"

namespace tarnvale {

namespace {

// The value as its 15 significant digits read back (what printing it with 15 digits and
// reading the text gives), without the detour through text formatting: an export rounds
// three amounts per row.
double roundedTo15Digits(double value)
{
    char text[32];
    const auto printed = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    double result = value;
    std::from_chars(text, printed.ptr, result);
    return result;
}

// The magnitude's whole cents. Rounding works on the value's 15 significant digits, so that
// 2.675 (held as 2.67499999...) rounds to 2.68 as it reads.
double roundedCents(double value)
{
    const double cents = std::fabs(value) * 100.0;
    // Below 1e9 cents, rounding to 15 significant digits moves a figure by at most 5e-7: it
    // can change the rounding only that close to a half cent, so only there is it done.
    const double fraction = cents - std::floor(cents);
    if (cents < 1e9 && std::fabs(fraction - 0.5) > 1e-6)
        return std::floor(cents + 0.5);
    return std::floor(roundedTo15Digits(cents) + 0.5);
}

} // namespace

std::optional<qint64> MoneyCents(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double cents = roundedCents(value);
    if (cents >= double(kMaxMoneyCents))
        return std::nullopt;
    return value < 0 ? -qint64(cents) : qint64(cents);
}

QString MoneyFormat(double value, QStringView pattern)
{
    if (!std::isfinite(value))
        return {};
    const double rounded = roundedCents(value);
    QString digits = rounded < 1e15 ? QString::number(qint64(rounded)) : QString::number(rounded, 'f', 0);
    while (digits.size() < 3)
        digits.prepend(u'0');
    QString whole = digits.left(digits.size() - 2);
    while (whole.startsWith(u'0'))
        whole.remove(0, 1);
    const bool isZero = whole.isEmpty() && digits.endsWith(QLatin1String("00"));

    QString text;
    if (value < 0 && !isZero)
        text += u'-';
    if (pattern.startsWith(u'$'))
        text += u'$';
    text += whole;
    text += u'.';
    text += digits.right(2);
    return text;
}

QString MoneyFormat(const QString &text, QStringView pattern, const QLocale &locale)
{
    const std::optional<double> value = NumberText::readStored(text, locale);
    if (!value)
        return text;
    return MoneyFormat(*value, pattern);
}

} // namespace tarnvale
