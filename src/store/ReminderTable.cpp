#include "ReminderTable.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "RecordStore.h"

namespace tarnvale {

ReminderTable::ReminderTable(RecordStore &store) : m_store(store) {}

bool ReminderTable::fail(const QSqlQuery &query)
{
    m_error = m_store.isOpen()
                  ? DbError::fromSql(query.lastError())
                  : DbError{DbError::kNotOpen, QStringLiteral("The database is not open.")};
    return false;
}

std::optional<QList<ReminderItem>> ReminderTable::items()
{
    m_error = {};
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT id, item, DateFor, Done, Date FROM reminders "
                                      "ORDER BY id")) ||
        !query.exec()) {
        fail(query);
        return std::nullopt;
    }
    QList<ReminderItem> result;
    while (query.next()) {
        result.append(ReminderItem{query.value(0).toLongLong(), query.value(1).toString(),
                                   query.value(2).toString(), query.value(3).toLongLong() != 0,
                                   query.value(4).toString()});
    }
    return result;
}

std::optional<qint64> ReminderTable::count()
{
    m_error = {};
    QSqlQuery query(m_store.database());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT count(*) FROM reminders")) || !query.exec() ||
        !query.next()) {
        fail(query);
        return std::nullopt;
    }
    return query.value(0).toLongLong();
}

bool ReminderTable::add(const QString &item, const QString &dateFor, const QString &enteredOn)
{
    m_error = {};
    QSqlQuery query(m_store.database());
    if (!query.prepare(QStringLiteral("INSERT INTO reminders (item, DateFor, Done, Date) "
                                      "VALUES (?, ?, 0, ?)")))
        return fail(query);
    query.addBindValue(item);
    query.addBindValue(dateFor);
    query.addBindValue(enteredOn);
    return query.exec() || fail(query);
}

bool ReminderTable::setDone(qint64 id, bool done)
{
    m_error = {};
    QSqlQuery query(m_store.database());
    if (!query.prepare(QStringLiteral("UPDATE reminders SET Done = ? WHERE id = ?")))
        return fail(query);
    query.addBindValue(done ? 1 : 0);
    query.addBindValue(id);
    return query.exec() || fail(query);
}

bool ReminderTable::remove(qint64 id)
{
    m_error = {};
    QSqlQuery query(m_store.database());
    if (!query.prepare(QStringLiteral("DELETE FROM reminders WHERE id = ?")))
        return fail(query);
    query.addBindValue(id);
    return query.exec() || fail(query);
}

} // namespace tarnvale
