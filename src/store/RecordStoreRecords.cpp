// The tow records: read, added, saved (each with its version) and removed.

#include "RecordStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <cmath>

namespace tarnvale {

namespace {

QString towColumnList()
{
    QStringList names;
    for (int i = 0; i < kTowFieldCount; ++i)
        names << TowRecord::fieldName(TowField(i));
    return names.join(QLatin1String(", "));
}

const QString kChangedText = QStringLiteral(
    "The record was changed by another user since it was opened; nothing was saved.");

} // namespace

QString RecordStore::towSelect() const
{
    // A file that has no versions yet (open read-only) reads every record as version 0.
    return QStringLiteral("SELECT id, ") + towColumnList() +
           (m_versioned ? QStringLiteral(", coalesce((SELECT version FROM wrecker_version v "
                                         "WHERE v.id = wrecker.id), 0)")
                        : QStringLiteral(", 0")) +
           QStringLiteral(" FROM wrecker");
}

TowRecord RecordStore::readTowRecord(const QSqlQuery &query)
{
    TowRecord record;
    record.id = query.value(0).toLongLong();
    for (int i = 0; i < kTowFieldCount; ++i)
        record.values[size_t(i)] = query.value(i + 1).toString();
    record.version = query.value(kTowFieldCount + 1).toLongLong();
    return record;
}

std::optional<QList<TowRecord>> RecordStore::towRecords()
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(towSelect() + QStringLiteral(" ORDER BY id"));
    if (!exec(query, QStringLiteral("reading the tow records")))
        return std::nullopt;
    QList<TowRecord> result;
    while (query.next())
        result.append(readTowRecord(query));
    return result;
}

std::optional<QList<TowRecord>> RecordStore::towRecordsInGroup(const QString &name)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(towSelect() + QStringLiteral(" WHERE groupname = ? ORDER BY id"));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("reading the vehicles of a group")))
        return std::nullopt;
    QList<TowRecord> result;
    while (query.next())
        result.append(readTowRecord(query));
    return result;
}

std::optional<QList<qint64>> RecordStore::towRecordIdsInGroup(const QString &name)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id FROM wrecker WHERE groupname = ? ORDER BY id"));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("reading the vehicles of a group")))
        return std::nullopt;
    QList<qint64> result;
    while (query.next())
        result.append(query.value(0).toLongLong());
    return result;
}

std::optional<QList<QPair<qint64, QString>>> RecordStore::towFieldInGroup(const QString &name,
                                                                          TowField field)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id, %1 FROM wrecker WHERE groupname = ? ORDER BY id")
                      .arg(TowRecord::fieldName(field)));
    query.addBindValue(name);
    if (!exec(query, QStringLiteral("reading the vehicles of a group")))
        return std::nullopt;
    QList<QPair<qint64, QString>> result;
    while (query.next())
        result.append({query.value(0).toLongLong(), query.value(1).toString()});
    return result;
}

std::optional<TowRecord> RecordStore::findVehicleById(const QString &idText)
{
    // The text is compared as a number: "12", " 12 " and "12.0" all name record 12.
    bool ok = false;
    const double number = idText.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number) || number != std::floor(number) || std::fabs(number) > 9.0e18)
        return std::nullopt;
    return towRecord(qint64(number));
}

std::optional<TowRecord> RecordStore::towRecord(qint64 id)
{
    m_error = {};
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(towSelect() + QStringLiteral(" WHERE id = ?"));
    query.addBindValue(id);
    if (!exec(query, QStringLiteral("looking up a tow record")) || !query.next())
        return std::nullopt;
    return readTowRecord(query);
}

std::optional<TowRecord> RecordStore::neighbour(qint64 id, Direction direction)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(towSelect() + (direction == Direction::Next
                                     ? QStringLiteral(" WHERE id > ? ORDER BY id LIMIT 1")
                                     : QStringLiteral(" WHERE id < ? ORDER BY id DESC LIMIT 1")));
    query.addBindValue(id);
    if (!exec(query, QStringLiteral("stepping through the tow records")) || !query.next())
        return std::nullopt;
    return readTowRecord(query);
}

std::optional<qint64> RecordStore::nextRevision()
{
    // Under the write lock, so no other connection takes the same number.
    QSqlQuery query(database());
    if (isServer() &&
        !exec(m_dialect.takeWriteLock(), {}, QStringLiteral("numbering a change"), &query))
        return std::nullopt;
    if (!exec(QStringLiteral("SELECT coalesce(max(revision), 0) + 1 FROM wrecker_version"), {},
              QStringLiteral("numbering a change"), &query) ||
        !query.next())
        return std::nullopt;
    return query.value(0).toLongLong();
}

bool RecordStore::alsoWritten(const AlsoWrite &also, qint64 id)
{
    if (!also)
        return true;
    if (const std::optional<DbError> error = also(id))
        return fail(error->number, error->description);
    return true;
}

std::optional<qint64> RecordStore::addTowRecord(const TowRecord &record, GroupCheck check,
                                                const AlsoWrite &also)
{
    if (!isOpen()) {
        failNotOpen();
        return std::nullopt;
    }
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return std::nullopt;
    }
    StoreChange change;
    if (groupGone(record.value(TowField::groupname), check, change))
        return std::nullopt;
    QStringList marks;
    for (int i = 0; i < kTowFieldCount; ++i)
        marks << QStringLiteral("?");
    QSqlQuery query(db);
    query.prepare(m_dialect.insertReturningId(QStringLiteral("INSERT INTO wrecker (") +
                                                  towColumnList() + QStringLiteral(") VALUES (") +
                                                  marks.join(u',') + u')',
                                              QStringLiteral("id")));
    for (const QString &value : record.values)
        query.addBindValue(value.isNull() ? QString(u""_qs) : value);
    if (!exec(query, QStringLiteral("adding a tow record")))
        return std::nullopt;
    const std::optional<qint64> newId = m_dialect.insertedId(query);
    if (!newId) {
        fail(1, QStringLiteral("The database gave no id for the new tow record."));
        return std::nullopt;
    }
    const qint64 id = *newId;
    query.finish();
    const std::optional<qint64> revision = nextRevision();
    if (!revision ||
        !exec(QStringLiteral("INSERT INTO wrecker_version (id, version, added, revision) "
                             "VALUES (?, 0, ?, ?)"),
              {id, *revision, *revision}, QStringLiteral("adding a tow record")))
        return std::nullopt;
    if (!alsoWritten(also, id))
        return std::nullopt;
    if (!guard.commit()) {
        fail(guard.lastError(), QStringLiteral("writing to the database"));
        return std::nullopt;
    }
    m_ownRevisions.append(*revision);
    change.addedRecords.append(id);
    announceWithGroups(change);
    return id;
}

bool RecordStore::updateTowRecord(const TowRecord &record, GroupCheck check,
                                  const AlsoWrite &also)
{
    if (!isOpen())
        return failNotOpen();
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    QSqlQuery current(database());
    if (!exec(QStringLiteral("SELECT groupname, coalesce((SELECT version FROM wrecker_version v "
                             "WHERE v.id = wrecker.id), 0) FROM wrecker WHERE id = ?"),
              {record.id}, QStringLiteral("saving a tow record"), &current))
        return false;
    if (!current.next())
        return fail(DbError::kNoCurrentRow, QStringLiteral("No current record."));
    const QString storedGroup = current.value(0).toString();
    const qint64 storedVersion = current.value(1).toLongLong();
    current.finish();
    if (storedVersion != record.version)
        return fail(DbError::kChangedElsewhere, kChangedText);
    const QString &group = record.value(TowField::groupname);
    StoreChange change;
    if (group != storedGroup && groupGone(group, check, change))
        return false;

    QStringList sets;
    for (int i = 0; i < kTowFieldCount; ++i)
        sets << TowRecord::fieldName(TowField(i)) + QStringLiteral(" = ?");
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE wrecker SET ") + sets.join(QLatin1String(", "))
                  + QStringLiteral(" WHERE id = ?"));
    for (const QString &value : record.values)
        query.addBindValue(value.isNull() ? QString(u""_qs) : value);
    query.addBindValue(record.id);
    if (!exec(query, QStringLiteral("saving a tow record")))
        return false;
    // The stored version is the one the record was read with: it becomes one more.
    const std::optional<qint64> revision = raiseVersion(record.id);
    if (!revision || !alsoWritten(also, record.id))
        return false;
    if (!guard.commit())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    m_ownRevisions.append(*revision);
    change.changedRecords.append(record.id);
    announceWithGroups(change);
    return true;
}

bool RecordStore::removeTowRecord(qint64 id)
{
    if (!isOpen())
        return failNotOpen();
    QSqlDatabase db = database();
    TransactionGuard guard(db, TransactionGuard::Lock::Writing);
    if (!guard.begun())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    QSqlQuery query(database());
    if (!exec(QStringLiteral("DELETE FROM wrecker WHERE id = ?"), {id},
              QStringLiteral("removing a tow record"), &query))
        return false;
    if (query.numRowsAffected() == 0)
        return true;
    const std::optional<qint64> revision = nextRevision();
    if (!revision ||
        !exec(QStringLiteral("INSERT INTO wrecker_version (id, revision, removed) VALUES (?, ?, 1) "
                             "ON CONFLICT (id) DO UPDATE SET revision = excluded.revision, "
                             "removed = 1"),
              {id, *revision}, QStringLiteral("removing a tow record")))
        return false;
    if (!guard.commit())
        return fail(guard.lastError(), QStringLiteral("writing to the database"));
    m_ownRevisions.append(*revision);
    StoreChange change;
    change.removedRecords.append(id);
    announce(change);
    return true;
}

qint64 RecordStore::towRecordCount()
{
    if (!isOpen()) {
        failNotOpen();
        return -1;
    }
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM wrecker")) || !query.next()) {
        fail(query, QStringLiteral("counting the tow records"));
        return -1;
    }
    return query.value(0).toLongLong();
}

void RecordStore::announceRecordsChanged(const QList<qint64> &ids, const QList<qint64> &revisions)
{
    m_ownRevisions.append(revisions);
    StoreChange change;
    change.changedRecords = ids;
    announce(change);
}

std::optional<qint64> RecordStore::raiseVersion(qint64 id)
{
    return bumpVersionRow(id, true);
}

std::optional<qint64> RecordStore::raiseRevision(qint64 id)
{
    return bumpVersionRow(id, false);
}

std::optional<qint64> RecordStore::bumpVersionRow(qint64 id, bool fieldsChanged)
{
    if (!m_versioned)
        return 0;
    const std::optional<qint64> revision = nextRevision();
    const QString sql = fieldsChanged
        ? QStringLiteral("INSERT INTO wrecker_version (id, version, revision) VALUES (?, 1, ?) "
                         "ON CONFLICT (id) DO UPDATE SET version = wrecker_version.version + 1, "
                         "revision = excluded.revision")
        : QStringLiteral("INSERT INTO wrecker_version (id, version, revision) VALUES (?, 0, ?) "
                         "ON CONFLICT (id) DO UPDATE SET revision = excluded.revision");
    if (!revision || !exec(sql, {id, *revision}, QStringLiteral("saving a tow record")))
        return std::nullopt;
    return revision;
}

} // namespace tarnvale
