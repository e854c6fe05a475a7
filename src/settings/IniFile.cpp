#include "IniFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Cp1252.h"
#include "SafeOutput.h"

namespace tarnvale {

namespace {

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

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
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
    return Cp1252::decode(bytes);
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
        default: out.append(next);
        }
    }
    // Only what encodeValue writes is decoded. Anything else in quotes was typed by hand,
    // such as Path="C:\new\data.dll": its text between the quotes is taken as it stands.
    if (encodeValue(out) == stored)
        return out;
    return stored.mid(1, stored.size() - 2);
}

IniFile::Loaded IniFile::load(const QString &path)
{
    Loaded loaded;
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return loaded; // no file yet: every key reads as its default
        loaded.ok = false;
        loaded.error = QStringLiteral("%1 cannot be read: %2").arg(path, systemError(errno));
        return loaded;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        loaded.error = QStringLiteral("%1 cannot be read: %2").arg(path, systemError(errno));
    } else if (!S_ISREG(st.st_mode)) {
        loaded.error = QStringLiteral("%1 is not a regular file.").arg(path);
    } else if (st.st_size > kMaxFileSize) {
        loaded.error = QStringLiteral("%1 is larger than %2 MB; no settings file is that large.")
                           .arg(path)
                           .arg(kMaxFileSize >> 20);
    } else {
        loaded.bytes.resize(qsizetype(st.st_size) + 1);
        qsizetype done = 0;
        for (;;) {
            if (done == loaded.bytes.size()) {
                if (done > kMaxFileSize) { // it grew while being read
                    loaded.error = QStringLiteral("%1 is larger than %2 MB.")
                                       .arg(path)
                                       .arg(kMaxFileSize >> 20);
                    break;
                }
                loaded.bytes.resize(done * 2);
            }
            const ssize_t n = ::read(fd, loaded.bytes.data() + done, loaded.bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                loaded.error = QStringLiteral("%1 cannot be read: %2").arg(path, systemError(errno));
                break;
            }
            if (n == 0)
                break;
            done += n;
        }
        loaded.bytes.resize(done);
    }
    ::close(fd);
    loaded.ok = loaded.error.isEmpty();
    if (!loaded.ok)
        loaded.bytes.clear();
    return loaded;
}

QString IniFile::read(const QString &path, const QString &section, const QString &key,
                      const QString &defaultValue)
{
    return readFrom(load(path).bytes, section, key, defaultValue);
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
                    const QString &value, QString *error)
{
    return writeAll(path, {IniEntry{section, key, value}}, error);
}

bool IniFile::writeAll(const QString &path, const QList<IniEntry> &entries, QString *error)
{
    const Loaded old = load(path);
    if (!old.ok) {
        // Writing now would drop every value that could not be read.
        if (error)
            *error = old.error;
        return false;
    }
    QByteArray bytes = old.bytes;
    for (const IniEntry &entry : entries)
        bytes = writtenTo(bytes, entry.section, entry.key, entry.value);
    SafeOutput file(QFile::encodeName(path).toStdString());
    if (file.open() && file.write(bytes.constData(), std::size_t(bytes.size())) && file.commit())
        return true;
    if (error)
        *error = QString::fromLocal8Bit(file.errorText());
    return false;
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
