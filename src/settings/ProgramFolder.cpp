#include "ProgramFolder.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStandardPaths>

#include <sys/stat.h>

#ifndef TARNVALE_INSTALLED_DATA_DIR
#define TARNVALE_INSTALLED_DATA_DIR "../share/tarnvale"
#endif

namespace tarnvale {

namespace {

QByteArray digestOf(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result().toHex()
                                                                  : QByteArray();
}

// Copies `from` over `to` (made or replaced); the user's copy is the user's to change.
bool copyInto(const QString &from, const QString &to)
{
    if (!QDir().mkpath(QFileInfo(to).path()))
        return false;
    QFile::remove(to);
    if (!QFile::copy(from, to))
        return false;
    QFile::setPermissions(to, QFile::permissions(to) | QFileDevice::WriteOwner);
    return true;
}

// Brings the user's templates up to the installed defaults without losing an edit. The file
// Reports/.defaults keeps, per template, the digest of the default last copied: a copy still
// equal to it was never changed.
void seedTemplates(const QString &installed, const QString &user, QString *error,
                   QStringList *notes)
{
    const QDir from(QDir(installed).filePath(QStringLiteral("Reports")));
    const QDir to(QDir(user).filePath(QStringLiteral("Reports")));
    const QString ledgerPath = to.filePath(QStringLiteral(".defaults"));
    QMap<QString, QByteArray> copied;
    if (QFile ledger(ledgerPath); ledger.open(QIODevice::ReadOnly))
        for (const QByteArray &line : ledger.readAll().split('\n'))
            if (const qsizetype tab = line.indexOf('\t'); tab > 0)
                copied.insert(QString::fromUtf8(line.left(tab)), line.mid(tab + 1));
    const QMap<QString, QByteArray> before = copied;
    QDirIterator it(from.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString name = from.relativeFilePath(source);
        if (ProgramFolder::helpDocuments().contains(name))
            continue;
        const QString target = to.filePath(name);
        const QByteArray fresh = digestOf(source), mine = digestOf(target);
        if (fresh == copied.value(name) && !mine.isEmpty())
            continue; // no new default
        QString into = target;
        if (!mine.isEmpty() && mine != fresh && mine != copied.value(name)) {
            into = to.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(" (new default).")
                               + QFileInfo(name).suffix());
            if (notes)
                *notes << QStringLiteral("A new %1 came with this version of the program. Yours "
                                         "is kept as you changed it; the new one is beside it as "
                                         "%2.")
                              .arg(name, QFileInfo(into).fileName());
        }
        if (!copyInto(source, into)) {
            if (error)
                *error = QStringLiteral("cannot copy %1 to %2").arg(source, into);
            return;
        }
        copied.insert(name, fresh);
    }
    if (copied != before) {
        QFile ledger(ledgerPath);
        if (ledger.open(QIODevice::WriteOnly | QIODevice::Truncate))
            for (auto at = copied.cbegin(); at != copied.cend(); ++at)
                ledger.write(at.key().toUtf8() + '\t' + at.value() + '\n');
    }
}

} // namespace

const QStringList &ProgramFolder::helpDocuments()
{
    static const QStringList names = {QStringLiteral("help.rtf"), QStringLiteral("confighelp.rtf"),
                                      QStringLiteral("pricing.rtf")};
    return names;
}

QString ProgramFolder::installedOr(const QString &name) const
{
    const QString installed = QDir(m_installed).filePath(name);
    return QFileInfo::exists(installed) ? installed : file(name);
}

bool ProgramFolder::keepsFilesBeside(const QString &executableDir)
{
    const QDir dir(executableDir);
    const bool ownFiles = QFileInfo(dir.filePath(QStringLiteral("Reports"))).isDir()
                          || QFileInfo::exists(dir.filePath(QStringLiteral("quorvel.tip")))
                          || QFileInfo::exists(dir.filePath(QStringLiteral("settings.ini")));
    return ownFiles && QFileInfo(executableDir).isWritable();
}

ProgramFolder ProgramFolder::locate(const QString &executableDir, const QString &userDataDir,
                                    const QString &userConfigDir, const QString &installedDataDir,
                                    QString *error, QStringList *notes)
{
    if (keepsFilesBeside(executableDir))
        return ProgramFolder(executableDir);
    // What the program makes from now on (the data folder, the database, settings, backups,
    // exports) holds customer names, addresses and plates: it is the user's alone.
    ::umask(077);
    for (const QString &dir : {userDataDir, userConfigDir})
        if (!QDir().mkpath(dir) && error)
            *error = QStringLiteral("cannot make the folder %1").arg(dir);
    if (QFileInfo(installedDataDir).isDir() && QFileInfo(userDataDir).isDir())
        seedTemplates(installedDataDir, userDataDir, error, notes);
    // Settings an earlier version kept in the data folder move to the config folder.
    const ProgramFolder folder(userDataDir, userConfigDir, installedDataDir);
    const QString earlier = QDir(userDataDir).filePath(QStringLiteral("settings.ini"));
    if (userConfigDir != userDataDir && QFileInfo::exists(earlier)
        && !QFileInfo::exists(folder.settingsPath()))
        QFile::rename(earlier, folder.settingsPath());
    return folder;
}

ProgramFolder ProgramFolder::locate(const QString &executableDir, QString *error,
                                    QStringList *notes)
{
    return locate(executableDir,
                  QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
                  QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation),
                  QDir::cleanPath(QDir(executableDir).filePath(
                      QStringLiteral(TARNVALE_INSTALLED_DATA_DIR))),
                  error, notes);
}

} // namespace tarnvale
