#include "DbError.h"

#include <QSqlError>

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

} // namespace tarnvale
