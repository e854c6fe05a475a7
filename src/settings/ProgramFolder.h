// The folder that holds the program, settings.ini, data.dll, quorvel.tip and Reports/.
#pragma once

#include <QDir>
#include <QString>

namespace tarnvale {

class ProgramFolder
{
public:
    explicit ProgramFolder(QString path) : m_path(std::move(path)) {}

    const QString &path() const { return m_path; }
    QString file(const QString &name) const { return QDir(m_path).filePath(name); }
    QString settingsPath() const { return file(QStringLiteral("settings.ini")); }
    QString defaultDatabasePath() const { return file(QStringLiteral("data.dll")); }
    QString tipsPath() const { return file(QStringLiteral("quorvel.tip")); }
    QString reportsPath(const QString &name) const
    {
        return QDir(file(QStringLiteral("Reports"))).filePath(name);
    }

private:
    QString m_path;
};

} // namespace tarnvale
