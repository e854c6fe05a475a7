// The database of one business: tables groups, wrecker, reminders and lb_type in one SQLite file.
//
// Every operation takes explicit ids and names; nothing is left "current" between calls.
// Table order is ascending id. A failing operation returns false / nullopt and leaves its
// number and description in lastError(); error 3022 means a group name is taken, 3021 that
// the row to change does not exist.
//
// Every change that succeeds is announced once, by changed(), after it is committed: the one
// path by which views learn that records or groups were added, changed or removed. The signal
// is emitted synchronously, so a view connected directly is up to date when the call returns.
//
// Several programs may use one database at once (the file in WAL mode, a busy timeout): each
// record carries a version, a save never overwrites what another connection saved after the
// record was read, and the changes other connections commit are announced through the same
// signal when checkOutsideChanges() finds them (on a timer, and on a server as soon as their
// notification arrives; see setWatchInterval()).
#pragma once

#include "DbError.h"
#include "SqlDialect.h"
#include "StoreChange.h"
#include "TowRecord.h"

#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <optional>

class QSqlQuery;
class QTimer;

namespace tarnvale {

class RecordStore : public QObject
{
    Q_OBJECT

public:
    // ExistingForServer: an existing file brought up to date on its way to a server, which
    // keeps its own search index: the file's is not made.
    enum class OpenMode { ExistingOnly, CreateIfMissing, ExistingForServer };

    RecordStore();
    ~RecordStore() override;
    RecordStore(const RecordStore &) = delete;
    RecordStore &operator=(const RecordStore &) = delete;

    // Opens a database file. ExistingOnly never creates a file; neither mode modifies a file
    // that is not a database, lacks one of the four tables or is empty (0 bytes: a file cut
    // short, never taken for a new one). A file whose schema holds objects this program does
    // not create (a trigger, a view, a changed table) is opened read-only: readOnlyReason()
    // names them, and every change fails.
    //
    // A PostgreSQL URI in place of the path opens that server's database (see ServerAddress);
    // an empty database there gets the tables, whatever the mode, under the server's write
    // lock (another program starting at once waits and uses them). A role that may not change
    // every table has the database read-only; readOnlyReason() says so.
    bool open(const QString &path, OpenMode mode);
    // Opens, on the calling thread, a second connection for reading to the database of the
    // open connection named `sourceConnection` (see StoreConnection::openReadingCopy): for
    // reading in another thread while the store's own connection stays on its own. Nothing is
    // checked, migrated, watched or checkpointed through it.
    bool openReadingCopy(const QString &sourceConnection);
    void close();
    bool isOpen() const;
    bool isReadOnly() const { return isOpen() && !m_readOnlyReason.isEmpty(); }
    // The foreign objects that made the open database read-only; empty when it is writable.
    const QString &readOnlyReason() const { return m_readOnlyReason; }
    const QString &path() const { return m_path; }
    // Whether the open database is on a server rather than in a file.
    bool isServer() const { return m_dialect.isServer(); }
    // Whether the server's connection has ended (a restart, the network, the administrator);
    // every operation then fails with kConnectionLost until reconnect().
    bool connectionLost() const;
    // Opens the same database again after the connection was lost (views are told to read
    // everything again); true when the store is open. Nothing done before is done again.
    bool reconnect();
    // How long a write waits for another program's write lock before it fails (kBusy).
    static constexpr int kBusyTimeoutMs = 5000;
    // The path, or the server's URI without its password: what messages may show.
    static QString shownPath(const QString &path);
    const SqlDialect &dialect() const { return m_dialect; }
    const DbError &lastError() const { return m_error; }
    // The connection, for subsystems with tables of their own queries (reminders, search).
    QSqlDatabase database() const;

    // Groups.
    std::optional<QList<GroupRecord>> groups();
    std::optional<qint64> addGroup(const QString &name);
    // The GROUPID of the group named exactly so, -1 when there is none (or on failure).
    qint64 groupIdByName(const QString &name);
    bool groupExists(const QString &name) { return groupIdByName(name) >= 0; }
    // Whether a group is named exactly so; nullopt when that could not be read.
    std::optional<bool> hasGroup(const QString &name);
    // Number of tow records whose groupname is exactly the name; -1 on failure.
    qint64 countVehiclesInGroup(const QString &name);
    enum class RemoveGroupResult { Removed, NoGroupRow, Failed };
    // Removes the group row and every tow record naming it, in one transaction.
    RemoveGroupResult removeGroupWithVehicles(const QString &name);

    // Tow records.
    std::optional<QList<TowRecord>> towRecords();
    std::optional<QList<TowRecord>> towRecordsInGroup(const QString &name);
    // The ids of the records whose group name is exactly the name, in table order, read from
    // the group name's index alone.
    std::optional<QList<qint64>> towRecordIdsInGroup(const QString &name);
    // The id and one field of each of those records, in table order.
    std::optional<QList<QPair<qint64, QString>>> towFieldInGroup(const QString &name,
                                                                 TowField field);
    // Visits the tree's columns of every tow record in table order; false on failure.
    // This is the hot path of the tree rebuild: on SQLite it reads the engine's UTF-8 directly.
    bool scanVehicleBriefs(const std::function<void(const VehicleBrief &)> &visit);
    // The same columns of the records whose group name is exactly the name, in table order.
    bool scanGroupBriefs(const QString &groupName,
                         const std::function<void(const VehicleBrief &)> &visit);
    // A superset of the records whose group name is blank (Other), in no particular order,
    // read through the group name's index; the caller checks each name and orders them.
    bool scanLooseBriefs(const std::function<void(const VehicleBrief &)> &visit);
    // The records with these ids, in the order given; a missing id is skipped.
    bool scanBriefsById(const QList<qint64> &ids,
                        const std::function<void(const VehicleBrief &)> &visit);
    // The record whose id equals the text read as a number ("12" matches 12).
    std::optional<TowRecord> findVehicleById(const QString &idText);
    std::optional<TowRecord> towRecord(qint64 id);
    // The record after or before the given id in table order (the id need not exist);
    // nullopt at either end, or on failure (lastError() then says why).
    enum class Direction { Previous, Next };
    std::optional<TowRecord> neighbour(qint64 id, Direction direction);
    // Whether a record's group must exist when it is written. MustExist refuses (3201) a name
    // that no group has, as when the group was removed by another connection meanwhile; None
    // writes any name, as a file made elsewhere may hold; Create adds the missing group in the
    // record's own transaction, so that it is made only when the record is saved with it.
    enum class GroupCheck { None, MustExist, Create };
    // More writing that belongs to a record's save, done in its transaction once the row is
    // written, given the record's id: an error it answers becomes lastError() and nothing of the
    // save is kept.
    using AlsoWrite = std::function<std::optional<DbError>(qint64 id)>;
    // Rewrites every field of the record with the given id; 3021 when no such row exists,
    // 3197 when the stored row's version is not record.version (saved elsewhere since it was
    // read; nothing is written). On success the stored version is record.version + 1.
    // MustExist applies only when the record moves to another group.
    bool updateTowRecord(const TowRecord &record, GroupCheck check = GroupCheck::None,
                         const AlsoWrite &also = {});
    // Appends the record (version 0) and answers its new id.
    std::optional<qint64> addTowRecord(const TowRecord &record,
                                       GroupCheck check = GroupCheck::None,
                                       const AlsoWrite &also = {});
    // Deletes the record if it exists; a missing id is not an error.
    bool removeTowRecord(qint64 id);
    qint64 towRecordCount();

    // Called while open() makes the search index of a file that lacks it (done and total
    // count up to the same number; long only for large files).
    void setProgressHandler(std::function<void(qint64 done, qint64 total)> handler)
    {
        m_progress = std::move(handler);
    }

    // For the tables that keep more about a vehicle (holds, release, payments): announces the
    // records as changed, once that change is committed, with the revisions raiseVersion gave
    // it (this program's own, which the look for outside changes passes over).
    void announceRecordsChanged(const QList<qint64> &ids, const QList<qint64> &revisions = {});
    // Inside the caller's write transaction: raises the record's version, so that a form another
    // program opened before the change asks before saving over it. The change's revision, 0 when
    // the file keeps no versions; nullopt on failure.
    std::optional<qint64> raiseVersion(qint64 id);
    // The same for a change to what is kept beside the record (a hold, a payment, a lien step):
    // every other program watching hears of it, but its version stays, since none of the
    // record's own fields changed and a form open elsewhere may still save them unasked.
    std::optional<qint64> raiseRevision(qint64 id);

    // Makes the search index of the open file afresh (the progress handler is called), as
    // after a restore; true without doing anything where there is none (a server, no FTS5).
    bool rebuildSearchIndex();

    // SQLite's own online backup of the open database into a new file, one file with a
    // rollback journal whatever the database's journal mode.
    bool backupTo(const QString &destinationPath);

    // Announces what other connections committed since the last look, and returns it: records
    // added, saved and removed elsewhere, groups added and removed. Nothing when nothing
    // changed, and nothing of this connection's own changes (they were announced as made).
    StoreChange checkOutsideChanges();
    // After every record was replaced in one go (a restore on the server): what the look for
    // outside changes knew is read afresh, and a reset is announced.
    void announceReplaced();
    // Looks for outside changes every `milliseconds` while a database is open; 0 stops.
    // On a server the other connections' commits are looked at as their notifications
    // arrive, and the timer runs at least every kServerWatchMs for writers outside the program.
    void setWatchInterval(int milliseconds);
    static constexpr int kServerWatchMs = 2000;
    // A file's write-ahead log is moved into the file itself once no change has come for this
    // long, and when the store closes: a copy of the file alone then holds every save.
    static constexpr int kIdleCheckpointMs = 3000;

Q_SIGNALS:
    void changed(const tarnvale::StoreChange &change);

private:
    void announce(const StoreChange &change);
    void checkpoint();
    void announceWithGroups(StoreChange change);
    bool fail(const QSqlQuery &query, const QString &doing);
    bool fail(const QSqlError &error, const QString &doing);
    bool fail(int number, const QString &description);
    // Runs `also` for the record just written; false (and lastError() set) when it failed.
    bool alsoWritten(const AlsoWrite &also, qint64 id);
    bool failNotOpen();
    DbError lostError(const QString &reason, const QString &doing) const;
    bool exec(QSqlQuery &query, const QString &doing);
    bool openConnection(bool readOnly);
    bool openFile(const QString &path, OpenMode mode);
    bool openServer(const QString &uri);
    // On a server: the tables the role may not change make the database read-only.
    bool readRights();
    QString readOnlyText() const;
    void closeConnection();
    bool createSchema();
    bool checkTables();
    // The version check; with applySteps, the schema steps the file lacks.
    bool migrate(bool applySteps);
    bool makeSearchIndex(int version);
    bool searchIndexMatches();
    bool hasVersionTable();
    void startWatching();
    void restartWatch();
    std::optional<qint64> nextRevision();
    std::optional<qint64> bumpVersionRow(qint64 id, bool fieldsChanged);
    // True, with the error set, when `check` asks for the group and it does not exist (or the
    // group could not be made); a group made is added to `change`.
    bool groupGone(const QString &name, GroupCheck check, StoreChange &change);
    // Prepares, binds and runs; `result`, when given, must be a query on database().
    bool exec(const QString &sql, const QVariantList &values, const QString &doing,
              QSqlQuery *result = nullptr);
    QString towSelect() const;
    static TowRecord readTowRecord(const QSqlQuery &query);
    // The briefs of `where` (run once per bound value; none: once, unbound).
    bool scanBriefs(const QString &where, const QVariantList &binds,
                    const std::function<void(const VehicleBrief &)> &visit, bool inOrder = true);

    QString m_connection;
    QString m_path;
    QString m_readOnlyReason;
    SqlDialect m_dialect;
    DbError m_error;
    std::function<void(qint64, qint64)> m_progress;
    bool m_versioned = false; // the file has table wrecker_version
    bool m_lost = false;      // the server's connection ended and could not be made again
    bool m_copy = false;      // a reading copy (openReadingCopy)
    bool m_searchIndexMade = true; // a missing search index is made at open

    // What checkOutsideChanges() compares against.
    QTimer *m_watch = nullptr;
    QTimer *m_idle = nullptr;
    int m_watchInterval = 0;
    qint64 m_dataVersion = -1;
    qint64 m_seenRevision = 0;
    QList<qint64> m_ownRevisions; // written here since the last look
    QStringList m_knownGroups;
};

// Rolls back unless committed. Writing takes the engine's write lock at the start (SQLite's
// BEGIN IMMEDIATE, the server's lock of this program), so that a transaction that reads before
// it writes waits for another program's writer instead of failing, or deciding on what that
// writer is changing, when it comes to write.
class TransactionGuard
{
public:
    enum class Lock { Deferred, Writing };
    explicit TransactionGuard(QSqlDatabase db, Lock lock = Lock::Deferred);
    ~TransactionGuard();
    bool begun() const { return m_begun; }
    bool commit();
    // Why beginning or committing failed.
    const QSqlError &lastError() const { return m_error; }

private:
    void leave();

    QSqlDatabase m_db;
    bool m_begun = false;
    bool m_done = false;
    SqlDialect m_dialect;
    bool m_ownStatements = false; // begun with BEGIN IMMEDIATE or SAVEPOINT, not through Qt
    bool m_nested = false;
    QSqlError m_error;
};

} // namespace tarnvale
