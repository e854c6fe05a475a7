// The restore as the backup window runs it: unpack and check the chosen backup, ask before
// the database in use is replaced, replace it and reopen the store (on a server: replace its
// records in one transaction), and tell the user how it went. The window only chooses the
// file and shows the progress.
#pragma once

#include <QObject>
#include <QString>

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

    // Starts unpacking the backup; false, doing nothing, while an unpack runs.
    bool start(const QString &backupFile);
    bool isRunning() const;

  Q_SIGNALS:
    void progress(int procent);
    // The unpack has ended (the question or the message about it follows).
    void unpacked();
    // The flow has ended: restored is true when the backup is now the database in use.
    void finished(bool restored);

  private:
    void onUnpacked(const RestoreCheck &check);
    void refuse(const QString &reason);
    void replaceOnServer(const QString &unpackedPath);

    RecordStore &m_store;
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;
    DatabaseRestore *m_restore = nullptr;
    QString m_source;
    QString m_target; // the database file (or server) the unpacked backup is to replace
    bool m_onServer = false;
};

} // namespace tarnvale
