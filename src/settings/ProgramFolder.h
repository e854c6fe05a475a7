// The folders that hold settings.ini, data.dll, quorvel.tip and Reports/.
//
// A program whose folder holds its own files (the build folder, a copy on a USB stick) keeps
// everything there. An installed program keeps settings.ini in the user's config folder, the
// database and the yard's templates in the user's data folder, and reads its help documents
// and tips from the installation, so that an upgrade brings the new ones.
#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

namespace tarnvale {

class ProgramFolder
{
public:
    // Everything in one folder.
    explicit ProgramFolder(QString path) : m_path(path), m_config(path), m_installed(path) {}

    // The folder of a program started from executableDir. A program whose folder can be
    // written and holds its own files keeps everything beside itself. Otherwise the user's
    // files live in userDataDir (settings.ini in userConfigDir), which are made if needed; from
    // then on the process makes files 0600 and folders 0700 (umask 077). The templates of
    // installedDataDir/Reports are copied to the user's folder: one the user lacks, and a new
    // default over a copy the user never changed. A template the user changed is kept, the new
    // default put beside it as "NAME (new default).rtf", and *notes says so. *error says what
    // could not be made or copied; the folder is answered all the same.
    static ProgramFolder locate(const QString &executableDir, const QString &userDataDir,
                                const QString &userConfigDir, const QString &installedDataDir,
                                QString *error = nullptr, QStringList *notes = nullptr);
    // The same with the user's data and config folders (QStandardPaths, so the application
    // name must be set) and the installed files of the installation the executable belongs to.
    static ProgramFolder locate(const QString &executableDir, QString *error = nullptr,
                                QStringList *notes = nullptr);
    // Whether a program in that folder keeps its files beside itself.
    static bool keepsFilesBeside(const QString &executableDir);
    // The documents under Reports/ that are the program's help, not a yard's template.
    static const QStringList &helpDocuments();

    const QString &path() const { return m_path; }
    QString file(const QString &name) const { return QDir(m_path).filePath(name); }
    QString settingsPath() const { return QDir(m_config).filePath(QStringLiteral("settings.ini")); }
    QString defaultDatabasePath() const { return file(QStringLiteral("data.dll")); }
    // The installation's tips when it has them.
    QString tipsPath() const { return installedOr(QStringLiteral("quorvel.tip")); }
    // A template of the yard's.
    QString reportsPath(const QString &name) const
    {
        return QDir(file(QStringLiteral("Reports"))).filePath(name);
    }
    // A help document: the installation's when it has it.
    QString helpPath(const QString &name) const
    {
        return installedOr(QStringLiteral("Reports/") + name);
    }

private:
    ProgramFolder(QString data, QString config, QString installed)
        : m_path(std::move(data)), m_config(std::move(config)), m_installed(std::move(installed))
    {
    }
    QString installedOr(const QString &name) const;

    QString m_path;      // the database and the templates
    QString m_config;    // settings.ini
    QString m_installed; // help and tips as installed
};

} // namespace tarnvale
