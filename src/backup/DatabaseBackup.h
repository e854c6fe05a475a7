// Backs up the database in use into backup.tow in a chosen folder.
//
// The snapshot is taken on the caller's thread through the store (a consistent copy even while
// the program works with the database); compressing it runs on a thread of its own, reporting
// progress() and, at the end, finished() back on the thread that owns this object.
// backup.tow is written to a temporary file in the folder and renamed into place, so an
// earlier backup survives any failure. The snapshot is a private temporary file beside the
// database, removed on every way out; removeLeftovers() clears those of a killed program.
#pragma once

#include "BackupOutcome.h"

#include <QObject>
#include <QString>

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
    ~DatabaseBackup() override; // waits for a running backup to end

    static QString backupFileIn(const QString &folder);

    // Starts a backup into the folder. An outcome is returned at once when nothing was
    // started (missing or read-only folder, failed snapshot, one already running); otherwise
    // finished() follows.
    std::optional<BackupOutcome> start(const QString &folder);
    bool isRunning() const { return m_running; }

    // Where the snapshot and restore temporaries of a database go, "<path>.<tag>-XXXXXX":
    // beside its file, or in the temporary folder for a server.
    static QString scratchPath(const QString &databasePath);
    // Removes the snapshot and restore temporaries beside the database that were left by a
    // program that was killed; the number removed.
    static int removeLeftovers(const QString &databasePath);

  Q_SIGNALS:
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
};

} // namespace tarnvale
