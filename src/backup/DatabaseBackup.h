// Backs up the database in use into backup.tow in a chosen folder.
//
// The whole backup runs on a thread of its own, so that the windows go on working: a consistent
// copy of the database (a snapshot, taken on a connection of its own even while the program
// works with the database), then its compression. It reports copying() while the snapshot is
// taken, progress() while it is compressed and, at the end, finished() back on the thread that
// owns this object. stop() ends a running backup early, leaving no file of its own behind.
// backup.tow is written to a temporary file in the folder and renamed into place, so an
// earlier backup survives any failure. The snapshot is a private temporary file beside the
// database, removed on every way out; removeLeftovers() clears those of a killed program.
#pragma once

#include "BackupOutcome.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

namespace tarnvale {

class RecordStore;

class DatabaseBackup : public QObject
{
    Q_OBJECT

  public:
    explicit DatabaseBackup(RecordStore &store, QObject *parent = nullptr);
    ~DatabaseBackup() override; // stops a running backup and waits for it to end

    static QString backupFileIn(const QString &folder);

    // Starts a backup into the folder. An outcome is returned at once when nothing was
    // started (missing or read-only folder, failed snapshot, one already running); otherwise
    // finished() follows.
    std::optional<BackupOutcome> start(const QString &folder);
    bool isRunning() const { return m_running; }
    // Asks a running backup to end as soon as it can: finished() follows with a stopped
    // outcome, the backup file as it was before and the snapshot removed.
    void stop() { m_stop = true; }

    // Where the snapshot and restore temporaries of a database go, "<path>.<tag>-XXXXXX":
    // beside its file, or in the temporary folder for a server.
    static QString scratchPath(const QString &databasePath);
    // Removes the snapshot and restore temporaries beside the database that were left by a
    // program that was killed; the number removed.
    static int removeLeftovers(const QString &databasePath);

  Q_SIGNALS:
    // How far the snapshot got (0 to 100); on a server, from the rows copied.
    void copying(int procent);
    void progress(int procent);
    void finished(const tarnvale::BackupOutcome &outcome);

  private:
    void finish(const BackupOutcome &outcome);
    void dropSnapshot();

    RecordStore &m_store;
    std::thread m_worker;
    QString m_snapshot;
    int m_snapshotFd = -1;
    bool m_running = false;
    std::atomic<bool> m_stop = false;
};

} // namespace tarnvale
