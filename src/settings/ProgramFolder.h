// The folder that holds settings.ini, data.dll, quorvel.tip and Reports/.
#pragma once

#include <QDir>
#include <QString>

namespace tarnvale {

class ProgramFolder
{
public:
    explicit ProgramFolder(QString path) : m_path(std::move(path)) {}

    // The folder of a program started from executableDir. A program whose folder can be
    // written and holds its own files (the build folder, a copy on a USB stick) keeps
    // everything beside itself. Otherwise, as for an installed program, the files live in
    // userDataDir, which is made if needed and given a copy of every file of
    // installedDataDir it lacks (a file already there is never replaced); from then on the
    // process makes files 0600 and folders 0700 (umask 077). *error says what
    // could not be made or copied; the folder is answered all the same.
    static ProgramFolder locate(const QString &executableDir, const QString &userDataDir,
                                const QString &installedDataDir, QString *error = nullptr);
    // The same with the user's data folder (QStandardPaths::AppDataLocation, so the
    // application name must be set) and the installed files in the data folder of the
    // installation the executable belongs to.
    static ProgramFolder locate(const QString &executableDir, QString *error = nullptr);
    // Whether a program in that folder keeps its files beside itself.
    static bool keepsFilesBeside(const QString &executableDir);

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
