// The restore as the backup window runs it: unpack and check the chosen backup, ask before
// the database in use is replaced, replace it and reopen the store (on a server: replace its
// records in one transaction), and tell the user how it went. The window only chooses the
// file and shows the progress.
#pragma once

#include <QObject>
#include <QString>

#include "YardMove.h"

#include <atomic>
#include <thread>

namespace tarnvale {

class DatabaseRestore;
class Dialogs;
class RecordStore;
class SettingsFile;
struct RestoreCheck;

class RestoreFlow : public QObject
{
    Q_OBJECT

  public:
    // The store's file when start() is called is the one the backup replaces.
    RestoreFlow(RecordStore &store, const SettingsFile &settings, Dialogs &dialogs,
                QObject *parent = nullptr);
    ~RestoreFlow() override; // stops a server's restore that runs, and waits for it to end

    // Starts unpacking the backup; false, doing nothing, while an unpack runs.
    bool start(const QString &backupFile);
    bool isRunning() const;

  Q_SIGNALS:
    void progress(int procent);
    // How far the records on a server were replaced (0 to 100), on a thread of its own after
    // the user said yes.
    void writing(int procent);
    // The unpack has ended (the question or the message about it follows).
    void unpacked();
    // The flow has ended: restored is true when the backup is now the database in use.
    void finished(bool restored);

  private:
    void onUnpacked(const RestoreCheck &check);
    void refuse(const QString &reason);
    void replaceOnServer(const QString &unpackedPath);
    void onServerReplaced(const YardMove::Result &result);

    RecordStore &m_store;
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;
    DatabaseRestore *m_restore = nullptr;
    QString m_source;
    QString m_target; // the database file (or server) the unpacked backup is to replace
    bool m_onServer = false;
    std::thread m_server;
    bool m_writing = false;
    std::atomic<bool> m_stop = false;
};

} // namespace tarnvale
