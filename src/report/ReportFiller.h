// Fills the charge sheet template: the placeholders of the RTF source replaced by the values
// of the record last shown and the company's settings.
#pragma once

#include <QDate>
#include <QString>

#include "PrintSnapshot.h"

namespace tarnvale {

class SettingsFile;

class ReportFiller
{
  public:
    // The company settings the sheet shows (section Company).
    struct Company
    {
        QString name, address, city, state, zip;
        static Company fromSettings(const SettingsFile &settings);
    };

    // Applies the replacements in their fixed order and counts. Every inserted value is
    // escaped (see escape()), so no value can change the document's structure, and no value
    // is searched again by a later replacement. `today` stands in for an empty release date.
    static QString fill(const QString &source, const PrintSnapshot &snapshot,
                        const Company &company, const QDate &today);

    // The placeholders a word processor stored in pieces (part of one bold, a bookmark, a
    // language or edit-session mark inside it) written whole again: each "::name::" of the
    // text a reader sees is put where its first character stands, taking that character's
    // formatting, and its other characters are taken out of the source. Placeholders already
    // whole are left as they are. Linear in the source's length.
    static QString joinSplitPlaceholders(const QString &source);
    static constexpr size_t kMaxPlaceholderName = 40;

    // A value as RTF text: backslash and braces escaped, colons written as \'3a (so a value
    // never forms a placeholder), tabs and line breaks as \tab and \line, other control
    // characters dropped, and characters beyond ASCII as {\uc1\uN?}.
    static QString escape(const QString &value);

    // Replaces the first `count` occurrences of `find` (every one when count < 0), searching
    // from the front; text put in is not searched again.
    static QString replace(const QString &text, const QString &find, const QString &with,
                           int count);

    // An amount as the sheet's added placeholders print it: rounded as MoneyFormat rounds,
    // "$", at least one digit before the point and always two after it ("$0.50", "$1234.00").
    static QString money(double amount);

    // A date box of the snapshot in the long form "MMMM dd, yyyy", or its text as it stands
    // when it cannot be read as a date.
    static QString longDate(const QString &dateText);
};

} // namespace tarnvale
