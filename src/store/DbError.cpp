#include "DbError.h"

#include <QFile>
#include <QSqlError>

#include <cerrno>
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
    return engineText;
}

} // namespace tarnvale
