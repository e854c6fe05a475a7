#include "IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

namespace tarnvale {

namespace {

// Windows-1252 code points for bytes 0x80..0x9F; other bytes map like Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct Line
{
    enum class Kind { Other, Section, Entry };
    Kind kind = Kind::Other;
    QString name; // section name or key, as written
    QString value;
};

Line parseLine(const QString &raw)
{
    const QString line = raw.trimmed();
    Line parsed;
    if (line.startsWith(u'[')) {
        const qsizetype close = line.indexOf(u']');
        if (close > 0) {
            parsed.kind = Line::Kind::Section;
            parsed.name = line.mid(1, close - 1).trimmed();
        }
        return parsed;
    }
    if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
        return parsed;
    const qsizetype eq = line.indexOf(u'=');
    if (eq <= 0)
        return parsed;
    parsed.kind = Line::Kind::Entry;
    parsed.name = line.left(eq).trimmed();
    parsed.value = line.mid(eq + 1).trimmed();
    return parsed;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList splitLines(const QByteArray &bytes)
{
    QString text = IniFile::decode(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

QString IniFile::decode(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(b >= 0x80 && b <= 0x9F ? QChar(kCp1252High[b - 0x80]) : QChar(b));
    }
    return text;
}

QString IniFile::encodeValue(const QString &value)
{
    const bool needsQuotes = value.contains(u'\n') || value.contains(u'\r')
                             || (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()))
                             || (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'));
    if (!needsQuotes)
        return value;
    QString out;
    out.reserve(value.size() + 8);
    out.append(u'"');
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\': out.append(QLatin1String("\\\\")); break;
        case u'"': out.append(QLatin1String("\\\"")); break;
        case u'\r': out.append(QLatin1String("\\r")); break;
        case u'\n': out.append(QLatin1String("\\n")); break;
        case u'\t': out.append(QLatin1String("\\t")); break;
        default: out.append(c);
        }
    }
    out.append(u'"');
    return out;
}

QString IniFile::decodeValue(const QString &stored)
{
    if (stored.size() < 2 || !stored.startsWith(u'"') || !stored.endsWith(u'"'))
        return stored;
    QString out;
    out.reserve(stored.size());
    const qsizetype end = stored.size() - 1;
    for (qsizetype i = 1; i < end; ++i) {
        const QChar c = stored.at(i);
        if (c != u'\\' || i + 1 >= end) {
            out.append(c);
            continue;
        }
        const QChar next = stored.at(++i);
        switch (next.unicode()) {
        case u'n': out.append(u'\n'); break;
        case u'r': out.append(u'\r'); break;
        case u't': out.append(u'\t'); break;
        default: out.append(next); // backslash, quote, or anything else taken literally
        }
    }
    return out;
}

QString IniFile::read(const QString &path, const QString &section, const QString &key,
                      const QString &defaultValue)
{
    return readFrom(fileBytes(path), section, key, defaultValue);
}

QString IniFile::readFrom(const QByteArray &bytes, const QString &section, const QString &key,
                          const QString &defaultValue)
{
    const QStringList lines = splitLines(bytes);
    bool inSection = false;
    for (const QString &raw : lines) {
        const Line line = parseLine(raw);
        if (line.kind == Line::Kind::Section)
            inSection = sameName(line.name, section);
        else if (inSection && line.kind == Line::Kind::Entry && sameName(line.name, key))
            return decodeValue(line.value);
    }
    return defaultValue;
}

bool IniFile::write(const QString &path, const QString &section, const QString &key,
                    const QString &value)
{
    const QByteArray bytes = writtenTo(fileBytes(path), section, key, value);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QByteArray IniFile::writtenTo(const QByteArray &old, const QString &section, const QString &key,
                              const QString &value)
{
    QStringList lines = splitLines(old);
    const QString entry = key + u'=' + encodeValue(value);

    qsizetype sectionStart = -1; // index of the section header
    qsizetype sectionEnd = -1;   // index after the section's last non-blank line
    bool inSection = false;
    bool replaced = false;
    for (qsizetype i = 0; i < lines.size() && !replaced; ++i) {
        const Line line = parseLine(lines.at(i));
        if (line.kind == Line::Kind::Section) {
            if (inSection)
                break;
            inSection = sameName(line.name, section);
            if (inSection) {
                sectionStart = i;
                sectionEnd = i + 1;
            }
        } else if (inSection) {
            if (line.kind == Line::Kind::Entry && sameName(line.name, key)) {
                lines[i] = line.name + u'=' + encodeValue(value);
                replaced = true;
            } else if (!lines.at(i).trimmed().isEmpty()) {
                sectionEnd = i + 1;
            }
        }
    }
    if (!replaced) {
        if (sectionStart >= 0) {
            lines.insert(sectionEnd, entry);
        } else {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines.append(QString());
            lines.append(u'[' + section + u']');
            lines.append(entry);
        }
    }

    QByteArray bytes;
    for (const QString &line : std::as_const(lines)) {
        bytes.append(line.toUtf8());
        bytes.append("\r\n");
    }
    return bytes;
}

} // namespace tarnvale
