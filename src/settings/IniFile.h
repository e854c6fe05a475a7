// Reading and writing one value of a profile (INI) file.
//
// Sections and keys match without regard to case. A missing file, section or key reads as
// the default; a key present with nothing after "=" reads as "". Values come back whole.
// Values holding line breaks, or leading/trailing blanks, or themselves wrapped in double
// quotes, are written quoted with backslash escapes, so no value can add a line, a section
// or a key to the file; a quoted value that is not exactly such an escape of some value was
// typed by hand and reads as its text between the quotes. A write keeps every other line, and
// replaces the file atomically (SafeOutput). Files are written in UTF-8; a file that is not
// valid UTF-8 is read as Windows-1252.
//
// A file that is not a regular file (a FIFO, a device), is larger than kMaxFileSize or
// cannot be read whole reads as all defaults, and is never written: a write would drop the
// values that could not be read.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarnvale {

struct IniEntry
{
    QString section;
    QString key;
    QString value;

    friend bool operator==(const IniEntry &, const IniEntry &) = default;
};

class IniFile
{
public:
    static constexpr qint64 kMaxFileSize = qint64(16) << 20;

    // A file's whole bytes; a missing file is ok and empty. Otherwise error says why not.
    struct Loaded
    {
        bool ok = true;
        QByteArray bytes;
        QString error;
    };
    static Loaded load(const QString &path);

    static QString read(const QString &path, const QString &section, const QString &key,
                        const QString &defaultValue = {});
    // False when the file cannot be read whole or written; the old file is then left as it
    // was and `error` (when given) says why.
    static bool write(const QString &path, const QString &section, const QString &key,
                      const QString &value, QString *error = nullptr);
    // Several values in one replacement of the file: all of them are stored, or none.
    static bool writeAll(const QString &path, const QList<IniEntry> &entries,
                         QString *error = nullptr);

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
