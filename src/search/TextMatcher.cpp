#include "TextMatcher.h"

#include <QtEndian>
#include <QtAlgorithms>

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

// The last 1 to 7 bytes of a text as the low bytes of a word, the others zero. Read as two
// loads that may overlap rather than through a buffer, which would stall the load after it.
inline quint64 lastBytes(const unsigned char *p, qsizetype count)
{
    if (count >= 4) {
        const quint64 low = qFromLittleEndian<quint32>(p);
        const quint64 high = qFromLittleEndian<quint32>(p + count - 4);
        return low | high << (8 * (count - 4));
    }
    if (count >= 2) {
        const quint64 low = qFromLittleEndian<quint16>(p);
        const quint64 high = qFromLittleEndian<quint16>(p + count - 2);
        return low | high << (8 * (count - 2));
    }
    return p[0];
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
    if (!m_bytes.isEmpty()) {
        m_firstFold = 0x0101010101010101ull * m_caseBits[0];
        m_firstWanted = 0x0101010101010101ull * static_cast<unsigned char>(m_bytes.at(0));
    }
}

bool TextMatcher::matches(QStringView text) const
{
    if (text.isEmpty() || m_find.isEmpty())
        return false;
    return FindRules::matchesPrepared(FindRules::prepared(text, m_mode), m_find, m_wholeWord);
}

qsizetype TextMatcher::findBytes(const char *data, qsizetype size) const
{
    const qsizetype n = m_bytes.size();
    const char *find = m_bytes.constData();
    if (n > size)
        return -1;
    const char *last = data + (size - n);
    for (const char *p = data; p <= last; ++p) {
        p = static_cast<const char *>(std::memchr(p, find[0], size_t(last - p + 1)));
        if (!p)
            return -1;
        if (std::memcmp(p + 1, find + 1, size_t(n - 1)) == 0)
            return p - data;
    }
    return -1;
}

Q_ALWAYS_INLINE qsizetype TextMatcher::findAnyCase(const char *data, qsizetype size,
                                                     bool *exact) const
{
    // A byte matches a letter of the (lower-case) search text when it equals it once bit 0x20
    // is set, which maps exactly the two cases of that letter onto it. The bytes are checked
    // for plain ASCII on the way: *exact is set when the answer found in the bytes is the
    // rule's.
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    const auto *wanted = reinterpret_cast<const unsigned char *>(m_bytes.constData());
    const unsigned char *bits = m_caseBits.data();
    const qsizetype n = m_bytes.size();
    const auto matchesAt = [&](qsizetype i) {
        qsizetype k = 0;
        while (k < n && (bytes[i + k] | bits[k]) == wanted[k])
            ++k;
        return k == n;
    };
    // Eight bytes at a time, the last ones padded with zero bytes: a byte that becomes zero
    // once folded and compared with the first byte wanted is flagged (with a stray flag possible
    // above a true one, so each is checked), and the lowest flags come first, so the first
    // occurrence is the one returned.
    constexpr quint64 ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    const quint64 fold = m_firstFold, first = m_firstWanted;
    quint64 any = 0;
    qsizetype at = -1;
    for (qsizetype i = 0; i < size; i += 8) {
        const quint64 word = size - i >= 8 ? qFromLittleEndian<quint64>(bytes + i)
                                           : lastBytes(bytes + i, size - i);
        any |= word;
        if (at >= 0)
            continue;
        const quint64 folded = (word | fold) ^ first;
        for (quint64 flags = (folded - ones) & ~folded & highs; flags; flags &= flags - 1) {
            const qsizetype start = i + qCountTrailingZeroBits(flags) / 8;
            if (start + n > size)
                break;
            if (matchesAt(start)) {
                // Each ASCII letter lower-cases alone, whatever is around it, so an occurrence
                // in the bytes is one in the lower-cased text. Only a whole word needs the
                // first occurrence, which a character beyond ASCII could put earlier.
                if (!m_wholeWord) {
                    *exact = true;
                    return start;
                }
                at = start;
                break;
            }
        }
    }
    *exact = (any & highs) == 0;
    return at;
}

bool TextMatcher::matchesUtf8(const char *data, qsizetype size) const
{
    if (size <= 0 || m_find.isEmpty())
        return false;
    if (!m_asciiFind) {
        // An ASCII text, and its lower-cased form, hold no character beyond ASCII.
        return !isAscii(data, size) && matches(QString::fromUtf8(data, size));
    }
    qsizetype at = -1;
    if (m_keepCase) {
        // An ASCII search text is found in UTF-8 bytes exactly where it is in the characters,
        // and a blank next to it is a blank byte.
        at = findBytes(data, size);
    } else {
        // Lower-casing beyond ASCII can make or move an occurrence: such a text takes the
        // rule's own path.
        bool exact = true;
        at = findAnyCase(data, size, &exact);
        if (!exact)
            return matches(QString::fromUtf8(data, size));
    }
    if (at < 0)
        return false;
    if (!m_wholeWord)
        return true;
    const qsizetype after = at + m_bytes.size();
    return (at == 0 || data[at - 1] == ' ') && (after == size || data[after] == ' ');
}

} // namespace tarnvale
