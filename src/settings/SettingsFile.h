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
    bool write(const QString &section, const QString &key, const QString &value) const
    {
        return IniFile::write(m_path, section, key, value);
    }

    // The business's name: caption of the main window and title of most messages.
    QString companyName() const { return read(QStringLiteral("Company"), QStringLiteral("Name")); }

private:
    QString m_path;
};

} // namespace tarnvale
