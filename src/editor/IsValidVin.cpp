#include "IsValidVin.h"

namespace tarnvale {

namespace {

constexpr int kWeights[17] = {8, 7, 6, 5, 4, 3, 2, 10, 0, 9, 8, 7, 6, 5, 4, 3, 2};

// The value of a character, -1 for a character that has none.
int characterValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    switch (u) {
    case u'A':
    case u'J':
        return 1;
    case u'B':
    case u'K':
    case u'S':
        return 2;
    case u'C':
    case u'L':
    case u'T':
        return 3;
    case u'D':
    case u'M':
    case u'U':
        return 4;
    case u'E':
    case u'N':
    case u'V':
        return 5;
    case u'F':
    case u'W':
        return 6;
    case u'G':
    case u'P':
    case u'X':
        return 7;
    case u'H':
    case u'Y':
        return 8;
    case u'R':
    case u'Z':
        return 9;
    default:
        return -1;
    }
}

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

bool IsValidVin(const QString &vin)
{
    const QString s = trimBlanks(vin);
    int sum = 0;
    int value = 0; // carried over from the previous position
    for (int p = 1; p <= 17; ++p) {
        if (p == 9)
            continue;
        if (p <= s.size()) {
            const int v = characterValue(s.at(p - 1));
            if (v >= 0)
                value = v;
        }
        sum += value * kWeights[p - 1];
    }
    const int r = sum % 11;
    const QChar expected = r == 10 ? QChar(u'X') : QChar(u'0' + r);
    return vin.size() >= 9 && vin.at(8) == expected;
}

} // namespace tarnvale
