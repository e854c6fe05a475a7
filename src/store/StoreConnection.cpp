#include "StoreConnection.h"

#include <QAtomicInteger>
#include <QSqlQuery>

#include <sqlite3.h>

#include "RecordStore.h"
#include "SchemaCheck.h"

namespace tarnvale {

namespace {

bool setConfig(sqlite3 *engine, int option, int value)
{
    int now = -1;
    return sqlite3_db_config(engine, option, value, &now) == SQLITE_OK && now == value;
}

StoreConnection::Failure openFailure(const QSqlDatabase &db)
{
    StoreConnection::Failure failure{true, db.lastError(), db.lastError().text()};
    if (failure.reason.isEmpty())
        failure.reason = QStringLiteral("The database could not be opened.");
    return failure;
}

std::optional<StoreConnection::Failure> openAndHarden(QSqlDatabase &db,
                                                      StoreConnection::Access access)
{
    const bool readOnly = access == StoreConnection::Access::ReadOnly;
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(RecordStore::kBusyTimeoutMs);
    if (readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open())
        return openFailure(db);
    // Before any statement reads the schema: nothing in the file runs with our rights.
    QString reason;
    if (!SchemaCheck::harden(db, readOnly ? SchemaCheck::Use::Inspecting : SchemaCheck::Use::Writing,
                             &reason)) {
        db.close();
        return StoreConnection::Failure{false, {}, reason};
    }
    if (readOnly)
        QSqlQuery(db).exec(QStringLiteral("PRAGMA query_only = ON"));
    return std::nullopt;
}

} // namespace

std::optional<StoreConnection::Failure> StoreConnection::openFile(const QString &name,
                                                                  const QString &path,
                                                                  Access access)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    return openAndHarden(db, access);
}

std::optional<StoreConnection::Failure> StoreConnection::openReadingCopy(const QString &source,
                                                                         const QString &name)
{
    // Cloned, as the source belongs to another thread; a file is then opened as any other.
    QSqlDatabase db = QSqlDatabase::cloneDatabase(source, name);
    if (db.driverName() == QLatin1String("QSQLITE"))
        return openAndHarden(db, Access::ReadOnly);
    if (db.open())
        return std::nullopt;
    return openFailure(db);
}

std::optional<StoreConnection::Failure>
StoreConnection::useReadingCopy(const QString &source,
                                const std::function<void(QSqlDatabase &)> &use)
{
    static QAtomicInteger<int> counter;
    const QString name = QStringLiteral("tarnvale-reader-%1").arg(counter.fetchAndAddRelaxed(1));
    std::optional<Failure> failure;
    {
        failure = openReadingCopy(source, name);
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (!failure)
            use(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return failure;
}

bool StoreConnection::harden(sqlite3 *engine, bool triggersAndViewsOff)
{
    return setConfig(engine, SQLITE_DBCONFIG_DEFENSIVE, 1)
           && setConfig(engine, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0)
           && (!triggersAndViewsOff
               || (setConfig(engine, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0)
                   && setConfig(engine, SQLITE_DBCONFIG_ENABLE_VIEW, 0)));
}

} // namespace tarnvale
