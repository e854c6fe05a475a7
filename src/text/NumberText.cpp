#include "NumberText.h"

#include <QRegularExpression>

#include <cmath>

namespace tarnvale {

std::optional<double> NumberText::read(const QString &text, const QLocale &locale)
{
    QString t = text.trimmed();
    bool negative = false;
    if (t.size() >= 2 && t.startsWith(u'(') && t.endsWith(u')')) {
        negative = true;
        t = t.mid(1, t.size() - 2).trimmed();
    }
    // A sign may stand before the currency sign ("-$12.00").
    QString sign;
    if (t.startsWith(locale.negativeSign()) || t.startsWith(locale.positiveSign())) {
        sign = t.left(1);
        t = t.mid(1).trimmed();
    }
    const QString currency = locale.currencySymbol(QLocale::CurrencySymbol);
    if (!currency.isEmpty()) {
        if (t.startsWith(currency))
            t = t.mid(currency.size()).trimmed();
        else if (t.endsWith(currency))
            t = t.left(t.size() - currency.size()).trimmed();
    }
    if (t.isEmpty())
        return std::nullopt;
    if (!sign.isEmpty()) {
        if (t.startsWith(locale.negativeSign()) || t.startsWith(locale.positiveSign()))
            return std::nullopt;
        t = sign + t;
    }
    bool ok = false;
    double value = locale.toDouble(t, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    if (negative) {
        if (value < 0)
            return std::nullopt;
        value = -value;
    }
    return value;
}

std::optional<double> NumberText::readStored(const QString &text, const QLocale &locale)
{
    static const QRegularExpression written(
        QStringLiteral("^\\s*([-+]?)\\$?(\\d*\\.?\\d*(?:[eE][-+]?\\d+)?)\\s*$"));
    const QRegularExpressionMatch match = written.match(text);
    if (match.hasMatch() && match.capturedLength(2) > 0) {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::RejectGroupSeparator);
        bool ok = false;
        const double value = c.toDouble(match.captured(1) + match.captured(2), &ok);
        if (ok && std::isfinite(value))
            return value;
    }
    return read(text, locale);
}

QString NumberText::plain(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    // Very large and very small values keep an exponent, written "1E+15".
    QString text = QString::number(value, 'g', 15);
    return text.toUpper();
}

} // namespace tarnvale
