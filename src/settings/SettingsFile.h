// The settings file of the program, read and written a value at a time (never cached).
#pragma once

#include "IniFile.h"

#include <QString>

namespace tarnvale {

class SettingsFile
{
public:
    explicit SettingsFile(QString path) : m_path(std::move(path)) {}

    const QString &path() const { return m_path; }
    QString read(const QString &section, const QString &key, const QString &defaultValue = {}) const
    {
        return IniFile::read(m_path, section, key, defaultValue);
    }
    bool write(const QString &section, const QString &key, const QString &value,
               QString *error = nullptr) const
    {
        return IniFile::write(m_path, section, key, value, error);
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
    QString m_path;
};

} // namespace tarnvale
