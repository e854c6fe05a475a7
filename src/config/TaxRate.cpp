#include "TaxRate.h"

#include <QRegularExpression>

#include <cmath>

#include "NumberText.h"

namespace tarnvale {

namespace {

// A rate in the stored form: "." as decimal point, no sign, no grouping.
bool isStoredForm(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d+\\.?\\d*|\\.\\d+)\\s*$"));
    return form.match(text).hasMatch();
}

std::optional<double> number(const QString &text, const QLocale &locale)
{
    const QString t = text.trimmed();
    const QString currency = locale.currencySymbol();
    if (t.isEmpty() || t.startsWith(u'(') || t.contains(u'$') ||
        (!currency.isEmpty() && t.contains(currency)))
        return std::nullopt;
    return NumberText::readStored(t, locale);
}

} // namespace

TaxRate TaxRate::read(const QString &typed, const QLocale &locale)
{
    TaxRate rate;
    QString text = typed.trimmed();
    if (text.isEmpty())
        return rate;
    const bool percent = text.endsWith(u'%');
    if (percent)
        text.chop(1);
    const std::optional<double> value = number(text, locale);
    if (!value || *value < 0 || (percent && *value >= 100)) {
        rate.kind = Kind::Invalid;
        return rate;
    }
    if (percent) {
        rate.kind = Kind::Percent;
        rate.fraction = *value / 100;
    } else if (*value < 1) {
        rate.kind = Kind::Fraction;
        rate.fraction = *value;
    } else {
        rate.kind = *value < 100 ? Kind::Ambiguous : Kind::Invalid;
        rate.fraction = *value / 100;
    }
    return rate;
}

QString TaxRate::stored(const QString &typed) const
{
    switch (kind) {
    case Kind::Fraction:
        return isStoredForm(typed) ? typed : NumberText::plain(fraction);
    case Kind::Percent:
    case Kind::Ambiguous:
        return NumberText::plain(fraction);
    case Kind::Empty:
    case Kind::Invalid:
        break;
    }
    return {};
}

QString TaxRate::percentText(double fraction)
{
    // Six decimals of a percent are more than any tax rate has; they hide binary noise.
    return NumberText::plain(std::round(fraction * 100 * 1e6) / 1e6) + QStringLiteral(" %");
}

QString TaxRate::meaning() const
{
    switch (kind) {
    case Kind::Empty:
        return QStringLiteral("no tax");
    case Kind::Fraction:
    case Kind::Percent:
        return QStringLiteral("= ") + percentText(fraction);
    case Kind::Ambiguous:
        return QStringLiteral("= ") + percentText(fraction * 100) + QStringLiteral(" (or ") +
               percentText(fraction) + QStringLiteral("?)");
    case Kind::Invalid:
        break;
    }
    return QStringLiteral("not a rate");
}

} // namespace tarnvale
