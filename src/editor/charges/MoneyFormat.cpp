#include "MoneyFormat.h"

#include <cmath>

#include "NumberText.h"

namespace tarnvale {

QString MoneyFormat(double value, QStringView pattern)
{
    if (!std::isfinite(value))
        return {};
    // Rounding works on the value's 15 significant digits, so that 2.675 (held as
    // 2.67499999...) rounds to 2.68 as it reads.
    const double cents = QString::number(std::fabs(value) * 100.0, 'g', 15).toDouble();
    QString digits = QString::number(std::floor(cents + 0.5), 'f', 0);
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
