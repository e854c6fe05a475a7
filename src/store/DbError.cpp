#include "DbError.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>

#include <cerrno>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tarnvale {

DbError DbError::fromSql(const QSqlError &error, const QString &doing)
{
    const QString code = error.nativeErrorCode();
    // SQLite reports a unique-index violation as extended code 2067 (or 1555 for a primary key).
    // PostgreSQL: SQLSTATE 23505, unique_violation.
    if (code == QLatin1String("2067") || code == QLatin1String("1555") ||
        code == QLatin1String("23505"))
        return DbError{kDuplicateKey, error.databaseText(), doing};
    bool ok = false;
    int number = code.toInt(&ok);
    if (!ok || number == 0)
        number = 1;
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.text();
    return DbError{number, text, doing};
}

QString DbError::openFailure(const QString &path, const QString &engineText)
{
    const QByteArray local = QFile::encodeName(path);
    if (::access(local.constData(), F_OK) == 0 && ::access(local.constData(), R_OK) != 0
        && (errno == EACCES || errno == EPERM))
        return QStringLiteral("Permission denied: this user may not read the database file %1. "
                              "Ask the file's owner or the PC's administrator for access to "
                              "it, or choose another database.")
            .arg(path);
    // A full disk shows as "disk I/O error" when the engine cannot make its shared-memory
    // file, or as "database or disk is full"; neither says which disk or what to do.
    const bool io = engineText.contains(QLatin1String("disk I/O error"));
    if (!io && !engineText.contains(QLatin1String("disk is full")))
        return engineText;
    struct statvfs disk {};
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::statvfs(folder.constData(), &disk) == 0 &&
        qint64(disk.f_bavail) * qint64(disk.f_frsize) < kFullDiskBytes)
        return QStringLiteral("The disk that holds the database %1 is full (%2 KB free), so the "
                              "database cannot be opened; nothing in it was changed. Make room "
                              "on that disk (remove or move files no longer needed), then start "
                              "the program again.")
            .arg(path)
            .arg(qint64(disk.f_bavail) * qint64(disk.f_frsize) / 1024);
    return QStringLiteral("The disk could not read or write the database file %1 (%2). Check "
                          "that the disk holding it is connected and has room, then start the "
                          "program again; if this goes on, the disk may be failing: copy the "
                          "database to another disk, or restore a backup.")
        .arg(path, engineText);
}

} // namespace tarnvale
