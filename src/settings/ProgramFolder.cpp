#include "ProgramFolder.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>

#ifndef TARNVALE_INSTALLED_DATA_DIR
#define TARNVALE_INSTALLED_DATA_DIR "../share/tarnvale"
#endif

namespace tarnvale {

namespace {

// Copies every file under from that to lacks; false with a reason on the first failure.
bool seed(const QString &from, const QString &to, QString *error)
{
    const QDir source(from);
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = QDir(to).filePath(source.relativeFilePath(file));
        if (QFileInfo::exists(target))
            continue;
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(file, target)) {
            if (error)
                *error = QStringLiteral("cannot copy %1 to %2").arg(file, target);
            return false;
        }
        // Installed files are read-only; the user's copies are the user's to change.
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
    }
    return true;
}

} // namespace

bool ProgramFolder::keepsFilesBeside(const QString &executableDir)
{
    const QDir dir(executableDir);
    const bool ownFiles = QFileInfo(dir.filePath(QStringLiteral("Reports"))).isDir()
                          || QFileInfo::exists(dir.filePath(QStringLiteral("quorvel.tip")))
                          || QFileInfo::exists(dir.filePath(QStringLiteral("settings.ini")));
    return ownFiles && QFileInfo(executableDir).isWritable();
}

ProgramFolder ProgramFolder::locate(const QString &executableDir, const QString &userDataDir,
                                    const QString &installedDataDir, QString *error)
{
    if (keepsFilesBeside(executableDir))
        return ProgramFolder(executableDir);
    // What the program makes from now on (the data folder, the database, settings, backups,
    // exports) holds customer names, addresses and plates: it is the user's alone.
    ::umask(077);
    if (!QDir().mkpath(userDataDir)) {
        if (error)
            *error = QStringLiteral("cannot make the folder %1").arg(userDataDir);
    } else if (QFileInfo(installedDataDir).isDir()) {
        seed(installedDataDir, userDataDir, error);
    }
    return ProgramFolder(userDataDir);
}

ProgramFolder ProgramFolder::locate(const QString &executableDir, QString *error)
{
    return locate(executableDir,
                  QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
                  QDir::cleanPath(QDir(executableDir).filePath(
                      QStringLiteral(TARNVALE_INSTALLED_DATA_DIR))),
                  error);
}

} // namespace tarnvale
