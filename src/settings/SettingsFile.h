// The settings file of the program, read and written a value at a time (never cached).
#pragma once

#include "IniFile.h"

#include <QFile>
#include <QList>
#include <QString>

#include <optional>

namespace tarnvale {

class SettingsFile
{
public:
    explicit SettingsFile(QString path) : m_path(std::move(path)) {}

    // The file's values as they stand now, read once and kept: for a long run (an export of
    // every record) that must use one set of values throughout and cannot afford a file read
    // per value. A write goes to the file and to the kept copy. Copies are independent, so a
    // copy may be handed to another thread.
    static SettingsFile snapshot(const QString &path)
    {
        SettingsFile file(path);
        QFile source(path);
        file.m_kept = Kept{source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray(), {}};
        return file;
    }

    const QString &path() const { return m_path; }
    QString read(const QString &section, const QString &key, const QString &defaultValue = {}) const
    {
        if (!m_kept)
            return IniFile::read(m_path, section, key, defaultValue);
        for (const Value &v : m_kept->values)
            if (v.section.compare(section, Qt::CaseInsensitive) == 0
                && v.key.compare(key, Qt::CaseInsensitive) == 0 && v.defaultValue == defaultValue)
                return v.value;
        const QString value = IniFile::readFrom(m_kept->bytes, section, key, defaultValue);
        m_kept->values.append({section, key, defaultValue, value});
        return value;
    }
    bool write(const QString &section, const QString &key, const QString &value,
               QString *error = nullptr) const
    {
        if (!IniFile::write(m_path, section, key, value, error))
            return false;
        if (m_kept) {
            m_kept->bytes = IniFile::writtenTo(m_kept->bytes, section, key, value);
            m_kept->values.clear();
        }
        return true;
    }
    bool writeAll(const QList<IniEntry> &entries, QString *error = nullptr) const
    {
        return IniFile::writeAll(m_path, entries, error);
    }
    // Why the file cannot be used (not a regular file, too large, unreadable); empty if fine.
    QString problem() const { return IniFile::load(m_path).error; }

    // The business's name: caption of the main window and title of most messages.
    QString companyName() const { return read(QStringLiteral("Company"), QStringLiteral("Name")); }

private:
    struct Value
    {
        QString section, key, defaultValue, value;
    };
    struct Kept
    {
        QByteArray bytes;
        QList<Value> values; // the few values read so far
    };

    QString m_path;
    mutable std::optional<Kept> m_kept; // set for a snapshot only
};

} // namespace tarnvale
