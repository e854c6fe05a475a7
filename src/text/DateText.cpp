#include "DateText.h"

#include <QRegularExpression>

#include <cstdlib>

namespace tarnvale {

namespace {

// The short format with every run of fewer than four 'y' widened to "yyyy".
QString fourDigitYearFormat(const QString &format)
{
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            result += c;
            ++i;
            continue;
        }
        if (!quoted && c == u'y') {
            qsizetype run = 0;
            while (i + run < format.size() && format.at(i + run) == u'y')
                ++run;
            result += QStringLiteral("yyyy");
            i += run;
            continue;
        }
        result += c;
        ++i;
    }
    return result;
}

// The order in which day, month and year appear in a date format, e.g. "Mdy" for "M/d/yy".
QString fieldOrder(const QString &format)
{
    QString order;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if ((c == u'd' || c == u'M' || c == u'y') && !order.contains(c))
            order += c;
    }
    return order.size() == 3 ? order : QStringLiteral("Mdy");
}

// The separators of the locale's short form, besides the usual '/', '-' and '.'.
QString separators(const QString &format)
{
    QString seps = QStringLiteral("/.-");
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && !c.isLetterOrNumber() && !c.isSpace() && !seps.contains(c))
            seps += c;
    }
    return seps;
}

// The same separators as a character class of a pattern.
QString separatorClass(const QString &seps)
{
    QString escaped;
    for (const QChar c : seps)
        escaped += QRegularExpression::escape(QString(c));
    return QLatin1Char('[') + escaped + QLatin1Char(']');
}

bool isAscii(QStringView text)
{
    for (const QChar c : text)
        if (c.unicode() > 0x7f)
            return false;
    return true;
}

// The numeric pattern below, matched by hand on ASCII text (a scan reads two dates a row):
// 1 to 4 digits, a separator with blanks around it allowed, 1 to 4 digits, another, 1 to 4.
bool matchAsciiNumeric(QStringView text, const QString &seps, QStringView pieces[3])
{
    const auto isBlank = [](char16_t c) {
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
    };
    qsizetype i = 0;
    const qsizetype n = text.size();
    for (int field = 0; field < 3; ++field) {
        if (field > 0) {
            while (i < n && isBlank(text[i].unicode()))
                ++i;
            if (i == n || !seps.contains(text[i]))
                return false;
            ++i;
            while (i < n && isBlank(text[i].unicode()))
                ++i;
        }
        const qsizetype start = i;
        while (i < n && i - start < 4 && text[i] >= u'0' && text[i] <= u'9')
            ++i;
        if (i == start)
            return false;
        pieces[field] = text.mid(start, i - start);
    }
    return i == n;
}

// The pattern and field order of one short format, made once per format and thread: a scan
// of every record reads two dates a row.
struct NumericForm
{
    QString format;
    QString separators;
    QRegularExpression pattern;
    QString order;
};

const NumericForm &numericForm(const QString &format)
{
    thread_local NumericForm form;
    if (form.order.isEmpty() || form.format != format) {
        form.separators = separators(format);
        const QString sep = separatorClass(form.separators);
        form.format = format;
        form.pattern = QRegularExpression(
            QStringLiteral("^(\\d{1,4})\\s*%1\\s*(\\d{1,4})\\s*%1\\s*(\\d{1,4})$").arg(sep));
        form.order = fieldOrder(format);
    }
    return form;
}

std::optional<QDate> readNumeric(const QString &text, const QLocale &locale, const QDate &reference)
{
    const NumericForm &form = numericForm(locale.dateFormat(QLocale::ShortFormat));
    QStringView pieces[3];
    QString captured[3];
    if (isAscii(text)) {
        if (!matchAsciiNumeric(text, form.separators, pieces))
            return std::nullopt;
    } else {
        const QRegularExpressionMatch match = form.pattern.match(text);
        if (!match.hasMatch())
            return std::nullopt;
        for (int i = 0; i < 3; ++i)
            pieces[i] = captured[i] = match.captured(i + 1);
    }
    const QString &order = form.order;
    int day = 0, month = 0, year = 0, yearDigits = 0;
    for (int i = 0; i < 3; ++i) {
        const QStringView piece = pieces[i];
        const int value = piece.toInt();
        switch (order.at(i).unicode()) {
        case u'd':
            if (piece.size() > 2)
                return std::nullopt;
            day = value;
            break;
        case u'M':
            if (piece.size() > 2)
                return std::nullopt;
            month = value;
            break;
        default:
            year = value;
            yearDigits = int(piece.size());
            break;
        }
    }
    if (yearDigits == 3)
        return std::nullopt;
    if (yearDigits <= 2)
        year = DateText::nearestCenturyYear(year, reference.year());
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

} // namespace

QString DateText::shortForm(const QDate &date, const QLocale &locale)
{
    return locale.toString(date, fourDigitYearFormat(locale.dateFormat(QLocale::ShortFormat)));
}

QString DateText::shortFormHint(const QLocale &locale)
{
    const QString format = fourDigitYearFormat(locale.dateFormat(QLocale::ShortFormat));
    QString hint;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') {
            quoted = !quoted;
            continue;
        }
        hint += quoted ? c : c == u'd' ? u'D' : c == u'y' ? u'Y' : c;
    }
    return hint;
}

QString DateText::today(const QLocale &locale)
{
    return shortForm(QDate::currentDate(), locale);
}

QString DateText::longForm(const QDate &date, const QLocale &locale)
{
    return locale.toString(date, QStringLiteral("MMMM dd, yyyy"));
}

int DateText::nearestCenturyYear(int yy, int referenceYear)
{
    const int century = referenceYear - ((referenceYear % 100) + 100) % 100;
    int best = century + yy;
    for (int candidate : {century - 100 + yy, century + 100 + yy}) {
        const int distance = std::abs(candidate - referenceYear);
        const int bestDistance = std::abs(best - referenceYear);
        if (distance < bestDistance || (distance == bestDistance && candidate < best))
            best = candidate;
    }
    return best;
}

namespace {

// Splits a trailing time of day off a date text: "3/1/2026 10:30", "3/1/2026 10:30:15 PM",
// "2026-03-01T10:30". The time must be a real one; the date part is returned.
std::optional<QString> withoutTimeOfDay(const QString &text)
{
    static const QRegularExpression timed(
        QStringLiteral("^(.*\\S)(?:\\s+|(?<=\\d)T)(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:\\.\\d{1,3})?)?"
                       "(?:\\s*([AaPp])\\.?[Mm]\\.?)?$"));
    if (!text.contains(u':')) // no time of day without one
        return std::nullopt;
    const QRegularExpressionMatch match = timed.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int hour = match.captured(2).toInt();
    const int minute = match.captured(3).toInt();
    const int second = match.captured(4).isEmpty() ? 0 : match.captured(4).toInt();
    const bool twelveHour = !match.captured(5).isEmpty();
    if ((twelveHour ? (hour < 1 || hour > 12) : hour > 23) || minute > 59 || second > 59)
        return std::nullopt;
    return match.captured(1);
}

} // namespace

std::optional<QDate> DateText::read(const QString &text, const QLocale &locale,
                                    const QDate &reference)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    if (const std::optional<QString> day = withoutTimeOfDay(t))
        return readDay(*day, locale, reference);
    return readDay(t, locale, reference);
}

std::optional<QDate> DateText::readDay(const QString &t, const QLocale &locale,
                                       const QDate &reference)
{

    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (t.contains(u'-') && iso.match(t).hasMatch()) {
        const QDate date = QDate::fromString(t, Qt::ISODate);
        return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
    }
    if (auto date = readNumeric(t, locale, reference))
        return date;

    // Forms with month names. Month and day names are matched without regard to case.
    const QString formats[] = {
        locale.dateFormat(QLocale::LongFormat),
        fourDigitYearFormat(locale.dateFormat(QLocale::LongFormat)),
        QStringLiteral("MMMM d, yyyy"),
        QStringLiteral("MMM d, yyyy"),
        QStringLiteral("d MMMM yyyy"),
    };
    // A year with a sign ("Mar 1, -2004") is no tow date: the numeric forms refuse it, and a
    // date before year 1 would count millions of storage days.
    for (const QString &format : formats) {
        const QDate date = locale.toDate(t, format);
        if (date.isValid() && date.year() >= 1)
            return date;
    }
    return std::nullopt;
}

} // namespace tarnvale
