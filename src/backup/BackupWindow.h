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
class DatabaseRestore;
class Dialogs;
class RecordStore;
class SettingsFile;
struct BackupOutcome;
struct RestoreCheck;

class BackupWindow : public QDialog
{
    Q_OBJECT

public:
    // A restore closes the store, puts the backup's file in place of the one in use and opens
    // that file again; the store announces the change to every view.
    BackupWindow(RecordStore &store, const SettingsFile &settings, Dialogs &dialogs,
                 QWidget *parent = nullptr);
    ~BackupWindow() override;

    // True while a backup or an unpack runs: the window cannot be closed then.
    bool isBusy() const;

public Q_SLOTS:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void backupDatabase();   // Command1
    void unpackDatabase();   // Command3
    void browse();
    void onBackupProgress(int procent);
    void onBackupFinished(const BackupOutcome &outcome);
    void onUnpackProgress(int procent);
    void onUnpacked(const RestoreCheck &check);
    void setBusy(bool busy);
    void resetProgress();
    QString title() const;

    RecordStore &m_store;
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;

    DatabaseBackup *m_backup = nullptr;
    DatabaseRestore *m_restore = nullptr;
    QString m_restoreSource;
    QString m_restoreTarget; // the database file the unpacked backup is to replace

    QLabel *m_label2 = nullptr;
    QPushButton *m_command1 = nullptr;
    QLabel *m_label3 = nullptr;
    QPushButton *m_command3 = nullptr;
    QLabel *m_label4 = nullptr;
    QComboBox *m_combo1 = nullptr;
    QPushButton *m_browse = nullptr;
    QPushButton *m_command2 = nullptr;
    QProgressBar *m_progressBar1 = nullptr;
    QStatusBar *m_statusBar1 = nullptr;
    QLabel *m_panel1 = nullptr;
};

} // namespace tarnvale
