// Watching what other connections commit, and announcing it.

#include "RecordStore.h"

#include <QSqlQuery>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <algorithm>

namespace tarnvale {

void RecordStore::announceReplaced()
{
    startWatching();
    announce(StoreChange::everything());
}

void RecordStore::setWatchInterval(int milliseconds)
{
    if (!m_watch) {
        m_watch = new QTimer(this);
        connect(m_watch, &QTimer::timeout, this, [this] { checkOutsideChanges(); });
    }
    m_watchInterval = milliseconds;
    restartWatch();
}

void RecordStore::restartWatch()
{
    if (!m_watch)
        return;
    // A server announces every write: its timer only catches writers that do not (psql).
    int interval = m_watchInterval;
    if (interval > 0 && isServer())
        interval = std::max(interval, kServerWatchMs);
    m_watch->setInterval(interval);
    if (interval > 0 && isOpen())
        m_watch->start();
    else
        m_watch->stop();
}

void RecordStore::startWatching()
{
    m_dataVersion = -1;
    m_seenRevision = 0;
    m_ownRevisions.clear();
    m_knownGroups.clear();
    QSqlQuery query(database());
    if (!isServer() &&
        exec(QStringLiteral("PRAGMA data_version"), {}, QStringLiteral("watching for changes"),
             &query) &&
        query.next())
        m_dataVersion = query.value(0).toLongLong();
    if (m_versioned &&
        exec(QStringLiteral("SELECT coalesce(max(revision), 0) FROM wrecker_version"), {},
             QStringLiteral("watching for changes"), &query) &&
        query.next())
        m_seenRevision = query.value(0).toLongLong();
    if (const auto list = groups())
        for (const GroupRecord &group : *list)
            m_knownGroups.append(group.name);
    restartWatch();
}

StoreChange RecordStore::checkOutsideChanges()
{
    StoreChange change;
    if (!isOpen() || !m_versioned)
        return change;
    // Cheap enough for a timer: the number moves only when another connection commits. A
    // server has no such number; there the look below reads only the revisions' index and
    // the groups.
    QSqlQuery query(database());
    qint64 dataVersion = -1;
    if (!isServer()) {
        if (!exec(QStringLiteral("PRAGMA data_version"), {},
                  QStringLiteral("watching for changes"), &query) ||
            !query.next())
            return change;
        dataVersion = query.value(0).toLongLong();
        if (dataVersion == m_dataVersion)
            return change;
    }

    // Records and groups from one snapshot of the database.
    QSqlDatabase db = database();
    TransactionGuard snapshot(db);
    if (!exec(QStringLiteral("SELECT id, added, revision, removed FROM wrecker_version "
                             "WHERE revision > ? ORDER BY id"),
              {m_seenRevision}, QStringLiteral("watching for changes"), &query))
        return change;
    qint64 newest = m_seenRevision;
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        const qint64 added = query.value(1).toLongLong();
        const qint64 revision = query.value(2).toLongLong();
        const bool removed = query.value(3).toLongLong() != 0;
        newest = std::max(newest, revision);
        // Added elsewhere since the last look: this connection's views have not seen it.
        const bool unseen = added > m_seenRevision && !m_ownRevisions.contains(added);
        if (removed) {
            if (!unseen && !m_ownRevisions.contains(revision))
                change.removedRecords.append(id);
        } else if (unseen) {
            change.addedRecords.append(id);
        } else if (!m_ownRevisions.contains(revision)) {
            change.changedRecords.append(id);
        }
    }
    const std::optional<QList<GroupRecord>> now = groups();
    if (!now)
        return StoreChange();
    QStringList names;
    for (const GroupRecord &group : *now) {
        names.append(group.name);
        if (!m_knownGroups.contains(group.name))
            change.addedGroups.append(group.name);
    }
    for (const QString &name : std::as_const(m_knownGroups))
        if (!names.contains(name))
            change.removedGroups.append(name);
    snapshot.commit();

    m_dataVersion = dataVersion;
    m_seenRevision = newest;
    m_knownGroups = names;
    m_ownRevisions.removeIf([newest](qint64 revision) { return revision <= newest; });
    announce(change);
    return change;
}

} // namespace tarnvale
