#include "SqliteHandle.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <sqlite3.h>

namespace tarnvale {

namespace {

// The driver loads one SQLite for the whole process: asked once, through the driver, which
// build it runs.
bool driverRunsOurSqlite(const QSqlDatabase &db)
{
    static std::atomic<int> known{-1};
    int answer = known.load(std::memory_order_relaxed);
    if (answer < 0) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT sqlite_source_id()")) || !query.next())
            return false; // not known yet: ask again next time
        answer = query.value(0).toString() == QLatin1String(sqlite3_sourceid()) ? 1 : 0;
        known.store(answer, std::memory_order_relaxed);
    }
    return answer == 1;
}

} // namespace

sqlite3 *SqliteHandle::of(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    sqlite3 *engine = *static_cast<sqlite3 *const *>(handle.constData());
    return engine && driverRunsOurSqlite(db) ? engine : nullptr;
}

} // namespace tarnvale
