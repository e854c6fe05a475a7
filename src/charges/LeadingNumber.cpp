#include "LeadingNumber.h"

#include <QLocale>
#include <QString>

#include <cmath>

namespace tarnvale {

namespace {

bool isGap(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The number at the start of text and where its reading ended (after trailing gaps).
struct Reading
{
    double value = 0;
    qsizetype end = 0; // 0 when no number starts the text
    bool fits = true;  // false when the number is too large (or too small) for a double
};

Reading read(QStringView text)
{
    QString number; // the characters of the number, gaps removed, in C form
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipGaps = [&] {
        while (i < n && isGap(text[i]))
            ++i;
    };

    skipGaps();
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        number += text[i];
        ++i;
    }
    bool sawDigit = false;
    bool sawPoint = false;
    for (;;) {
        skipGaps();
        if (i >= n)
            break;
        const QChar c = text[i];
        if (isDigit(c)) {
            number += c;
            sawDigit = true;
        } else if (c == u'.' && !sawPoint) {
            number += c;
            sawPoint = true;
        } else {
            break;
        }
        ++i;
    }
    if (!sawDigit)
        return {0, 0, true};

    // Exponent: only taken when at least one digit follows.
    if (i < n && (text[i] == u'E' || text[i] == u'e' || text[i] == u'D' || text[i] == u'd')) {
        qsizetype j = i + 1;
        QString exponent = QStringLiteral("e");
        auto skipGapsAt = [&] {
            while (j < n && isGap(text[j]))
                ++j;
        };
        skipGapsAt();
        if (j < n && (text[j] == u'+' || text[j] == u'-')) {
            exponent += text[j];
            ++j;
        }
        bool expDigit = false;
        for (;;) {
            skipGapsAt();
            if (j >= n || !isDigit(text[j]))
                break;
            // Enough digits to overflow any double; the rest cannot change the answer.
            if (exponent.size() < 8)
                exponent += text[j];
            expDigit = true;
            ++j;
        }
        if (expDigit) {
            number += exponent;
            i = j;
        }
    }
    skipGaps();

    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    // Too large gives 0; so does underflow, which the parser reports as a failure too.
    if (!ok || !std::isfinite(value))
        return {0, i, false};
    return {value, i, true};
}

} // namespace

double LeadingNumber(QStringView text)
{
    return read(text).value;
}

bool ReadsWhole(QStringView text)
{
    if (text.trimmed().isEmpty())
        return true;
    const Reading reading = read(text);
    return reading.end == text.size() && reading.fits;
}

} // namespace tarnvale
