// frmBackup: backs up the database in use into backup.tow in a chosen folder, and restores
// it from such a file ("Unpack Database"). Shown modeless by the main window's backup command.
#pragma once

#include <QDialog>


class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace tarnvale {

class DatabaseBackup;
class Dialogs;
class RecordStore;
class RestoreFlow;
class SettingsFile;
struct BackupOutcome;

class BackupWindow : public QDialog
{
    Q_OBJECT

public:
    // A restore closes the store, puts the backup's file in place of the one in use and opens
    // that file again (on a server, replaces its records); the store announces the change to
    // every view.
    BackupWindow(RecordStore &store, const SettingsFile &settings, Dialogs &dialogs,
                 QWidget *parent = nullptr);
    ~BackupWindow() override;

    // True while a backup, an unpack or a restore runs: the window cannot be closed then (Cancel
    // stops a backup).
    bool isBusy() const;

public Q_SLOTS:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void backupDatabase();
    // Stops a running backup; otherwise closes the window.
    void cancel();
    void unpackDatabase();
    void browse();
    void onBackupProgress(int procent);
    void onBackupFinished(const BackupOutcome &outcome);
    void onUnpackProgress(int procent);
    void setBusy(bool busy);
    void resetProgress();
    QString title() const;

    RecordStore &m_store;
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;

    DatabaseBackup *m_backup = nullptr;
    RestoreFlow *m_restore = nullptr;
    bool m_stopping = false;

    // Each control carries its name in the system as its objectName (Label2, Command1, ...).
    QLabel *m_backupText = nullptr;
    QPushButton *m_backupButton = nullptr;
    QLabel *m_unpackText = nullptr;
    QPushButton *m_unpackButton = nullptr;
    QLabel *m_destinationLabel = nullptr;
    QComboBox *m_destination = nullptr;
    QPushButton *m_browseButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QProgressBar *m_progress = nullptr;
    QStatusBar *m_statusBar = nullptr;
    QLabel *m_status = nullptr;
};

} // namespace tarnvale
