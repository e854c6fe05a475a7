// The groups: listed, added, looked up and removed with their vehicles.

#include "RecordStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <utility>

namespace tarnvale {

std::optional<QList<GroupRecord>> RecordStore::groups()
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT GROUPID, groupname FROM groups ORDER BY GROUPID"));
    if (!exec(query, QStringLiteral("reading the groups")))
        return std::nullopt;
    QList<GroupRecord> result;
    while (query.next())
        result.append(GroupRecord{query.value(0).toLongLong(), query.value(1).toString()});
    return result;
}

std::optional<qint64> RecordStore::addGroup(const QString &name)
{
    // A blank name would show as an empty line in every list of groups.
    if (name.trimmed().isEmpty()) {
        fail(DbError::kBlankName, QStringLiteral("A group name cannot be empty or only blanks."));
        return std::nullopt;
    }
    if (!isOpen()) {
        failNotOpen();
        return std::nullopt;
    }
    // Under the write lock, as every write: on a server taking it tells the other workstations.
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return std::nullopt;
    }
    QSqlQuery query(db);
    query.prepare(m_dialect.insertReturningId(
        QStringLiteral("INSERT INTO groups (groupname) VALUES (?)"), QStringLiteral("GROUPID")));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("adding a group")))
        return std::nullopt;
    const std::optional<qint64> id = m_dialect.insertedId(query);
    query.finish();
    if (!guard.commit()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return std::nullopt;
    }
    m_knownGroups.append(name);
    StoreChange change;
    change.addedGroups.append(name);
    announce(change);
    return id;
}

qint64 RecordStore::groupIdByName(const QString &name)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT GROUPID FROM groups WHERE groupname = ? "
                                 "ORDER BY GROUPID LIMIT 1"));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("looking up a group")) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

qint64 RecordStore::countVehiclesInGroup(const QString &name)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT count(*) FROM wrecker WHERE groupname = ?"));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("counting the vehicles of a group")) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

RecordStore::RemoveGroupResult RecordStore::removeGroupWithVehicles(const QString &name)
{
    if (!isOpen()) {
        failNotOpen();
        return RemoveGroupResult::Failed;
    }
    // The write lock first: a vehicle added to the group by another program either is in
    // the table when the group's vehicles are removed or finds the group gone.
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return RemoveGroupResult::Failed;
    }
    QSqlQuery groups(db);
    groups.prepare(QStringLiteral("DELETE FROM groups WHERE groupname = ?"));
    groups.addBindValue(name);
    if (!exec(groups, QStringLiteral("removing a group")))
        return RemoveGroupResult::Failed;
    const bool hadGroup = groups.numRowsAffected() > 0;
    StoreChange change;
    if (hadGroup)
        change.removedGroups.append(name);
    QSqlQuery ids(db);
    ids.setForwardOnly(true);
    ids.prepare(QStringLiteral("SELECT id FROM wrecker WHERE groupname = ? ORDER BY id"));
    ids.addBindValue(name);
    if (!exec(ids, QStringLiteral("reading the vehicles of a group")))
        return RemoveGroupResult::Failed;
    while (ids.next())
        change.removedRecords.append(ids.value(0).toLongLong());
    ids = QSqlQuery();
    std::optional<qint64> revision;
    if (!change.removedRecords.isEmpty() || hadGroup) {
        revision = nextRevision();
        if (!revision ||
            !exec(QStringLiteral("INSERT INTO wrecker_version (id, revision, removed) "
                                 "SELECT id, CAST(? AS BIGINT), 1 FROM wrecker "
                                 "WHERE groupname = ? "
                                 "ON CONFLICT (id) DO UPDATE SET revision = excluded.revision, "
                                 "removed = 1"),
                  {*revision, name}, QStringLiteral("removing the vehicles of a group")))
            return RemoveGroupResult::Failed;
    }
    QSqlQuery vehicles(db);
    vehicles.prepare(QStringLiteral("DELETE FROM wrecker WHERE groupname = ?"));
    vehicles.addBindValue(name);
    if (!exec(vehicles, QStringLiteral("removing the vehicles of a group")))
        return RemoveGroupResult::Failed;
    if (!guard.commit()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return RemoveGroupResult::Failed;
    }
    if (revision)
        m_ownRevisions.append(*revision);
    m_knownGroups.removeAll(name);
    announce(change);
    return hadGroup ? RemoveGroupResult::Removed : RemoveGroupResult::NoGroupRow;
}

std::optional<bool> RecordStore::hasGroup(const QString &name)
{
    QSqlQuery query(database());
    if (!exec(QStringLiteral("SELECT count(*) FROM groups WHERE groupname = ?"), {name},
              QStringLiteral("looking up a group"), &query) ||
        !query.next())
        return std::nullopt;
    return query.value(0).toLongLong() > 0;
}

bool RecordStore::groupGone(const QString &name, GroupCheck check, StoreChange &change)
{
    if (check == GroupCheck::None || name.isEmpty())
        return false;
    const std::optional<bool> exists = hasGroup(name);
    if (!exists)
        return true;
    if (*exists)
        return false;
    if (check == GroupCheck::Create) {
        if (name.trimmed().isEmpty())
            return !fail(DbError::kBlankName,
                         QStringLiteral("A group name cannot be empty or only blanks."));
        if (!exec(QStringLiteral("INSERT INTO groups (groupname) VALUES (?)"), {name},
                  QStringLiteral("adding a group")))
            return true;
        change.addedGroups.append(name);
        return false;
    }
    fail(DbError::kGroupGone, QStringLiteral("The group '%1' no longer exists: it was removed "
                                             "while the vehicle was being edited.")
                                  .arg(name));
    return true;
}

// A group made for a record goes out first, so that views have it when the record comes.
void RecordStore::announceWithGroups(StoreChange change)
{
    for (const QString &name : std::as_const(change.addedGroups))
        m_knownGroups.append(name);
    StoreChange groups;
    groups.addedGroups = std::exchange(change.addedGroups, {});
    announce(groups);
    announce(change);
}

} // namespace tarnvale
