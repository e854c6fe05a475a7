// Restores the database in use from a backup.tow.
//
// start() unpacks the backup into a temporary file beside the database in use and checks it
// (an SQLite database with the four tables that passes the integrity check) on a thread of
// its own; unpacked() reports the result back on the owner's thread. replace() then keeps
// a copy of the database in use beside it under a timestamped name, writes the unpacked one
// into its file (refused while another program has it open; see DatabaseOverwrite) and
// reopens the store; any failure leaves the database in use as it was. A database file that
// does not exist is simply made from the unpacked one.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <thread>

namespace tarnvale {

struct RestoreCheck
{
    bool ok = false;
    QString unpackedPath; // the checked temporary file (when ok)
    QString error;        // why the backup cannot be used (when not ok)
};

struct RestoreResult
{
    bool ok = false;
    QString keptPath; // where the previous database now is (when ok)
    QString error;
};

class DatabaseRestore : public QObject
{
    Q_OBJECT

public:
    explicit DatabaseRestore(QObject *parent = nullptr);
    ~DatabaseRestore() override; // waits for a running unpack to end

    // Unpacks and checks the backup; unpacked() follows, also for failures.
    void start(const QString &backupFile, const QString &databasePath);
    bool isRunning() const { return m_running; }

    // Why the file is not a usable database; empty when it is.
    static QString checkDatabase(const QString &path);
    // The name the database in use is kept under: data.dll -> data.dll.20261206-174502.bak.
    static QString keptPath(const QString &databasePath, const QDateTime &when);
    // Puts the unpacked file's content in place of the database in use, between closeStore()
    // and reopenStore(). On failure the previous database is back in place and reopened.
    // keptPath is empty when there was no database file.
    static RestoreResult replace(const QString &unpackedPath, const QString &databasePath,
                                 const std::function<void()> &closeStore,
                                 const std::function<bool()> &reopenStore,
                                 const QDateTime &when = QDateTime::currentDateTime());

Q_SIGNALS:
    void progress(int procent);
    void unpacked(const tarnvale::RestoreCheck &check);

private:
    void finish(const RestoreCheck &check);

    std::thread m_worker;
    bool m_running = false;
};

} // namespace tarnvale
