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

} // namespace

double LeadingNumber(QStringView text)
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
        return 0;

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
        if (expDigit)
            number += exponent;
    }

    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    if (!std::isfinite(value))
        return 0;
    if (!ok) {
        // Underflow to zero is reported as a failure by the parser; the value is still 0.
        return 0;
    }
    return value;
}

} // namespace tarnvale
