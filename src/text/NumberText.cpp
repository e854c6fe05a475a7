#include "NumberText.h"

#include <QRegularExpression>

#include <charconv>
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

namespace {

bool isAsciiBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// The common stored amount ("159.00", "-12.5", " $40 "): ASCII digits with at most one point,
// read straight by from_chars, which gives the same nearest double as the long way below.
// Anything else (an exponent, another script, a group separator) answers nothing.
std::optional<double> readPlainAscii(QStringView text)
{
    qsizetype i = 0, end = text.size();
    while (i < end && isAsciiBlank(text[i].unicode()))
        ++i;
    while (end > i && isAsciiBlank(text[end - 1].unicode()))
        --end;
    bool negative = false;
    if (i < end && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    if (i < end && text[i] == u'$')
        ++i;
    char number[64] = {};
    int length = 0, digits = 0;
    for (; i < end; ++i) { // a second point ends from_chars early, and the text is refused
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9')
            ++digits;
        else if (c != u'.')
            return std::nullopt;
        if (length == int(sizeof number))
            return std::nullopt;
        number[length++] = char(c);
    }
    if (digits == 0)
        return std::nullopt;
    double value = 0;
    const auto [end_, error] = std::from_chars(number, number + length, value);
    if (error != std::errc() || end_ != number + length || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace

std::optional<double> NumberText::readStored(const QString &text, const QLocale &locale)
{
    if (const std::optional<double> plain = readPlainAscii(text))
        return plain;
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
