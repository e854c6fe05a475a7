// Reading and writing one value of a profile (INI) file.
//
// Sections and keys match without regard to case. A missing file, section or key reads as
// the default; a key present with nothing after "=" reads as "". Values come back whole.
// Values holding line breaks, or leading/trailing blanks, or themselves wrapped in double
// quotes, are written quoted with backslash escapes, so no value can add a line, a section
// or a key to the file. A write keeps every other line, and replaces the file atomically.
// Files are written in UTF-8; a file that is not valid UTF-8 is read as Windows-1252.
#pragma once

#include <QByteArray>
#include <QString>

namespace tarnvale {

class IniFile
{
public:
    static QString read(const QString &path, const QString &section, const QString &key,
                        const QString &defaultValue = {});
    // False when the file cannot be written; the old file is then left as it was.
    static bool write(const QString &path, const QString &section, const QString &key,
                      const QString &value);

    // The same two operations on a file's bytes rather than the file.
    static QString readFrom(const QByteArray &bytes, const QString &section, const QString &key,
                            const QString &defaultValue = {});
    static QByteArray writtenTo(const QByteArray &bytes, const QString &section,
                                const QString &key, const QString &value);

    // The text of a file's bytes: UTF-8 when valid, otherwise Windows-1252.
    static QString decode(const QByteArray &bytes);
    static QString encodeValue(const QString &value);
    static QString decodeValue(const QString &stored);
};

} // namespace tarnvale
