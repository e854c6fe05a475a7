// The rules of the record search: match modes, the field key table, the group filter and
// the "Vehicle Info" column. Pure functions; the scan itself is RecordSearch.
#pragma once

#include "TowRecord.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace tarnvale {

// 0 = neither flag, 1 = match case only, 2 = whole word only, 3 = both.
enum class MatchMode { AnyCase = 0, MatchCase = 1, WholeWord = 2, WholeWordMatchCase = 3 };

// Which rows the group box lets through.
struct GroupFilter
{
    bool all = false; // every row, whatever its group
    QString name;     // otherwise: rows whose group name is exactly this ("" = no group)

    friend bool operator==(const GroupFilter &, const GroupFilter &) = default;
};

class FindRules
{
  public:
    static MatchMode matchMode(bool wholeWord, bool matchCase);
    static bool keepsCase(MatchMode mode);
    static bool isWholeWord(MatchMode mode);

    // The fields a key selects, in the order they are tried; nullopt for an unknown key.
    // Keys match in any letter case, with surrounding blanks.
    static std::optional<QList<TowField>> fieldsForKey(QStringView key);
    // The entries of the window's field list, "<All>" first.
    static QStringList fieldKeys();

    // What the window says when a search ends: how many vehicles it found and where it
    // looked, and where the rows are ("Nothing found in group "Lot 1".", "2 vehicles found
    // in all groups: see the Results tab.").
    static QString outcomeText(qsizetype found, const QString &groupText);

    // "<All>" (any case, surrounding blanks) and "*" let everything through; "<None>" only
    // rows without a group; any other text is compared exactly, blanks included.
    static GroupFilter groupFilter(const QString &groupText);

    // Does field text `text` match search text `find` in this mode? An empty text or an
    // empty search text never matches. Whole word looks only at the first occurrence:
    // it matches when that occurrence has a space or nothing on each side.
    static bool matches(QStringView text, QStringView find, MatchMode mode);
    // The same for texts already lower-cased when the mode ignores case.
    static bool matchesPrepared(QStringView text, QStringView find, bool wholeWord);
    // The form a text is compared in: lower-cased unless the mode keeps case.
    static QString prepared(QStringView text, MatchMode mode);
};

} // namespace tarnvale
