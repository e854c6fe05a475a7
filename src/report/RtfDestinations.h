// Groups of an RTF file that hold what a word processor keeps about the document (its tables of
// lists, revisions and page styles, its properties, bookmarks, footnotes, index entries, theme
// and embedded data), never text of the page. The reader draws none of them and the template
// filler fills no placeholder inside them.
#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <algorithm>
#include <array>
#include <string_view>

namespace tarnvale::rtf {

inline bool isMetadataDestination(std::string_view word)
{
    using namespace std::string_view_literals;
    static constexpr std::array kSorted = {
        "annotation"sv, "atnauthor"sv,   "atnid"sv,   "bkmkend"sv,
        "bkmkstart"sv,  "colorschememapping"sv,       "datastore"sv,
        "docvar"sv,     "falt"sv,        "filetbl"sv, "footnote"sv,
        "ftnsep"sv,     "ftnsepc"sv,     "generator"sv, "info"sv,
        "latentstyles"sv, "listoverridetable"sv,      "listtable"sv,
        "mmathPr"sv,    "nonshppict"sv,  "objclass"sv, "objdata"sv,
        "pgdsctbl"sv,   "pn"sv,          "private"sv, "revtbl"sv,
        "rsidtbl"sv,    "tc"sv,          "template"sv, "themedata"sv,
        "txe"sv,        "userprops"sv,   "wgrffmtfilter"sv, "xe"sv,
        "xmlnstbl"sv};
    static_assert(std::is_sorted(kSorted.begin(), kSorted.end()));
    return std::binary_search(kSorted.begin(), kSorted.end(), word);
}

inline bool isMetadataDestination(QByteArrayView word)
{
    return isMetadataDestination(std::string_view(word.data(), size_t(word.size())));
}

// Control words are ASCII letters; anything longer than the longest name is none of them.
inline bool isMetadataDestination(QStringView word)
{
    char ascii[24];
    if (word.size() > qsizetype(sizeof ascii))
        return false;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i].unicode() > 0x7f)
            return false;
        ascii[i] = char(word[i].unicode());
    }
    return isMetadataDestination(std::string_view(ascii, size_t(word.size())));
}

} // namespace tarnvale::rtf
