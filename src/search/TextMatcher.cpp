#include "TextMatcher.h"

#include <cstring>

namespace tarnvale {

namespace {

bool isAscii(const char *data, qsizetype size)
{
    // Eight bytes at a time: field texts are short and this runs for every field of every row.
    quint64 any = 0;
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, 8);
        any |= word;
    }
    for (; i < size; ++i)
        any |= static_cast<unsigned char>(data[i]);
    return (any & 0x8080808080808080ull) == 0;
}

inline bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

TextMatcher::TextMatcher(const QString &findText, MatchMode mode)
    : m_mode(mode), m_keepCase(FindRules::keepsCase(mode)),
      m_wholeWord(FindRules::isWholeWord(mode)), m_find(FindRules::prepared(findText, mode)),
      m_bytes(m_find.toUtf8()), m_asciiFind(isAscii(m_bytes.constData(), m_bytes.size()))
{
    m_caseBits.resize(size_t(m_bytes.size()));
    for (qsizetype k = 0; k < m_bytes.size(); ++k)
        m_caseBits[size_t(k)] = (!m_keepCase && isAsciiLetter(m_bytes.at(k))) ? 0x20 : 0;
}

bool TextMatcher::matches(QStringView text) const
{
    if (text.isEmpty() || m_find.isEmpty())
        return false;
    return FindRules::matchesPrepared(FindRules::prepared(text, m_mode), m_find, m_wholeWord);
}

qsizetype TextMatcher::findAscii(const char *data, qsizetype size) const
{
    const qsizetype n = m_bytes.size();
    const char *find = m_bytes.constData();
    if (n > size)
        return -1;
    const qsizetype last = size - n;
    if (m_keepCase) {
        const char first = find[0];
        const char *p = data;
        while (p <= data + last) {
            p = static_cast<const char *>(std::memchr(p, first, size_t(data + last - p + 1)));
            if (!p)
                return -1;
            if (std::memcmp(p + 1, find + 1, size_t(n - 1)) == 0)
                return p - data;
            ++p;
        }
        return -1;
    }
    // Any case: a byte matches a letter of the (lower-case) search text when it equals it
    // once bit 0x20 is set, which maps exactly the two cases of that letter onto it.
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    const auto *wanted = reinterpret_cast<const unsigned char *>(find);
    const unsigned char *bits = m_caseBits.data();
    const unsigned char first = wanted[0], firstBits = bits[0];
    for (qsizetype i = 0; i <= last; ++i) {
        if ((bytes[i] | firstBits) != first)
            continue;
        qsizetype k = 1;
        while (k < n && (bytes[i + k] | bits[k]) == wanted[k])
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

bool TextMatcher::matchesUtf8(const char *data, qsizetype size) const
{
    if (size <= 0 || m_find.isEmpty())
        return false;
    if (!isAscii(data, size))
        return matches(QString::fromUtf8(data, size));
    // An ASCII text, and its lower-cased form, hold no character beyond ASCII.
    if (!m_asciiFind)
        return false;
    const qsizetype at = findAscii(data, size);
    if (at < 0)
        return false;
    if (!m_wholeWord)
        return true;
    const qsizetype after = at + m_bytes.size();
    return (at == 0 || data[at - 1] == ' ') && (after == size || data[after] == ' ');
}

} // namespace tarnvale
