#include "CsvWriter.h"

namespace tarnvale {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool CsvWriter::isPlainNumber(QByteArrayView s)
{
    qsizetype i = 0;
    const qsizetype n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(s[i]))
        ++i, ++digits;
    if (i < n && s[i] == '.') {
        ++i;
        while (i < n && isDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-'))
            ++i;
        qsizetype exponent = 0;
        while (i < n && isDigit(s[i]))
            ++i, ++exponent;
        if (exponent == 0)
            return false;
    }
    return i == n;
}

bool CsvWriter::isFormulaLike(QByteArrayView s)
{
    if (s.isEmpty())
        return false;
    switch (s.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return !isPlainNumber(s);
    default:
        return false;
    }
}

void CsvWriter::add(QByteArrayView s, Cell cell)
{
    if (m_rowStarted)
        m_bytes.append(',');
    m_rowStarted = true;
    const bool guard = cell == Cell::Text && isFormulaLike(s);
    bool quote = false;
    for (const char c : s) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        if (guard)
            m_bytes.append('\'');
        m_bytes.append(s);
        return;
    }
    m_bytes.append('"');
    if (guard)
        m_bytes.append('\'');
    qsizetype start = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == '"') {
            m_bytes.append(s.sliced(start, i + 1 - start));
            m_bytes.append('"');
            start = i + 1;
        }
    }
    m_bytes.append(s.sliced(start));
    m_bytes.append('"');
}

void CsvWriter::endRow()
{
    m_bytes.append("\r\n");
    m_rowStarted = false;
}

} // namespace tarnvale
