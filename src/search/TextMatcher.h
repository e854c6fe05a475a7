// One search text in one match mode, compiled for matching many field texts quickly.
// Field texts given as UTF-8 bytes (as the database stores them) are matched on their bytes
// wherever that gives the rule's answer exactly (an ASCII search text in a plain ASCII text,
// or in any text when case is kept); anything else goes through FindRules itself, so the
// answer is always exactly FindRules::matches.
#pragma once

#include "FindRules.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <vector>

namespace tarnvale {

class TextMatcher
{
  public:
    TextMatcher(const QString &findText, MatchMode mode);

    bool matches(QStringView text) const;
    bool matchesUtf8(const char *data, qsizetype size) const;

  private:
    qsizetype findBytes(const char *data, qsizetype size) const;
    qsizetype findAnyCase(const char *data, qsizetype size, bool *exact) const;

    MatchMode m_mode;
    bool m_keepCase;
    bool m_wholeWord;
    QString m_find;     // in the compared form (lower-cased unless the mode keeps case)
    QByteArray m_bytes; // m_find in UTF-8
    bool m_asciiFind;   // m_find is plain ASCII
    std::vector<unsigned char> m_caseBits; // 0x20 where m_bytes holds a letter and case is ignored
    quint64 m_firstFold = 0;   // the first of m_caseBits in every byte of a word
    quint64 m_firstWanted = 0; // the first of m_bytes in every byte of a word
};

} // namespace tarnvale
