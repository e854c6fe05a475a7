#include "BackupWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

#include "BackupDestinations.h"
#include "BackupOutcome.h"
#include "DatabaseBackup.h"
#include "DatabaseRestore.h"
#include "Dialogs.h"
#include "RecordStore.h"
#include "SettingsFile.h"

namespace tarnvale {

BackupWindow::BackupWindow(RecordStore &store, const SettingsFile &settings, Dialogs &dialogs,
                           QWidget *parent)
    : QDialog(parent), m_store(store), m_settings(settings), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmBackup"));
    setWindowTitle(QStringLiteral("Backup Database"));
    setModal(false);

    m_label2 = new QLabel(QStringLiteral("Click This button to compress and save your database into a "
                                         "disk. It's recomended that you do that every day"),
                          this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setWordWrap(true);
    m_command1 = new QPushButton(QStringLiteral("Backup Database"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_label3 = new QLabel(QStringLiteral("Retrieve a saved database from a disk and replace your "
                                         "existing database with it. Use this option in case of "
                                         "something happened to your existing database"),
                          this);
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_label3->setWordWrap(true);
    m_command3 = new QPushButton(QStringLiteral("Unpack Database"), this);
    m_command3->setObjectName(QStringLiteral("Command3"));
    m_label4 = new QLabel(QStringLiteral("Backup to Drive:"), this);
    m_label4->setObjectName(QStringLiteral("Label4"));
    m_combo1 = new QComboBox(this);
    m_combo1->setObjectName(QStringLiteral("Combo1"));
    m_combo1->setEditable(true);
    m_combo1->setInsertPolicy(QComboBox::NoInsert);
    m_combo1->addItems(BackupDestinations::list());
    m_combo1->setCurrentIndex(-1);
    m_combo1->setEditText(QString());
    m_label4->setBuddy(m_combo1);
    m_browse = new QPushButton(QStringLiteral("Browse..."), this);
    m_browse->setObjectName(QStringLiteral("cmdBrowse"));
    m_browse->setToolTip(QStringLiteral("Choose a folder"));
    m_command2 = new QPushButton(QStringLiteral("Cancel"), this);
    m_command2->setObjectName(QStringLiteral("Command2"));
    m_progressBar1 = new QProgressBar(this);
    m_progressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar1->setRange(0, 100);
    m_progressBar1->setValue(0);
    m_progressBar1->setVisible(false);
    QSizePolicy keepSpace = m_progressBar1->sizePolicy();
    keepSpace.setRetainSizeWhenHidden(true); // the window keeps its size when it appears
    m_progressBar1->setSizePolicy(keepSpace);
    m_statusBar1 = new QStatusBar(this);
    m_statusBar1->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar1->setSizeGripEnabled(false);
    m_panel1 = new QLabel(m_statusBar1);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    m_statusBar1->addWidget(m_panel1, 1);

    auto *grid = new QGridLayout;
    grid->addWidget(m_label2, 0, 0);
    grid->addWidget(m_command1, 0, 1, Qt::AlignTop);
    grid->addWidget(m_label3, 1, 0);
    grid->addWidget(m_command3, 1, 1, Qt::AlignTop);
    grid->setColumnStretch(0, 1);
    grid->setVerticalSpacing(12);
    grid->setHorizontalSpacing(16);
    auto *destination = new QHBoxLayout;
    destination->addWidget(m_label4);
    destination->addWidget(m_combo1, 1);
    destination->addWidget(m_browse);
    destination->addWidget(m_command2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(destination);
    layout->addWidget(m_progressBar1);
    layout->addWidget(m_statusBar1);
    layout->setSpacing(10);
    // The wrapped labels get the height their text needs at their width.
    for (QLabel *label : {m_label2, m_label3}) {
        label->setMinimumWidth(400);
        label->setMinimumHeight(label->heightForWidth(400));
    }
    resize(std::max(600, sizeHint().width()), sizeHint().height());

    m_backup = new DatabaseBackup(m_store, this);
    m_restore = new DatabaseRestore(this);
    connect(m_command1, &QPushButton::clicked, this, &BackupWindow::backupDatabase);
    connect(m_command3, &QPushButton::clicked, this, &BackupWindow::unpackDatabase);
    connect(m_command2, &QPushButton::clicked, this, &BackupWindow::close);
    connect(m_browse, &QPushButton::clicked, this, &BackupWindow::browse);
    connect(m_backup, &DatabaseBackup::progress, this, &BackupWindow::onBackupProgress);
    connect(m_backup, &DatabaseBackup::finished, this, &BackupWindow::onBackupFinished);
    connect(m_restore, &DatabaseRestore::progress, this, &BackupWindow::onUnpackProgress);
    connect(m_restore, &DatabaseRestore::unpacked, this, &BackupWindow::onUnpacked);
}

BackupWindow::~BackupWindow() = default;

bool BackupWindow::isBusy() const
{
    return m_backup->isRunning() || m_restore->isRunning();
}

QString BackupWindow::title() const
{
    return m_settings.companyName();
}

void BackupWindow::closeEvent(QCloseEvent *event)
{
    if (isBusy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void BackupWindow::reject()
{
    if (!isBusy())
        QDialog::reject();
}

void BackupWindow::setBusy(bool busy)
{
    for (QWidget *w : {static_cast<QWidget *>(m_command1), static_cast<QWidget *>(m_command2),
                       static_cast<QWidget *>(m_command3), static_cast<QWidget *>(m_combo1),
                       static_cast<QWidget *>(m_browse)})
        w->setEnabled(!busy);
}

void BackupWindow::resetProgress()
{
    m_progressBar1->setValue(0);
    m_panel1->setText(QString());
}

void BackupWindow::browse()
{
    const QString start = m_combo1->currentText().isEmpty() ? QDir::homePath() : m_combo1->currentText();
    const QString folder = m_dialogs.chooseFolder(QStringLiteral("Backup to Drive:"), start);
    if (!folder.isEmpty())
        m_combo1->setEditText(QDir::toNativeSeparators(folder));
}

void BackupWindow::backupDatabase()
{
    if (isBusy())
        return;
    const QString folder = m_combo1->currentText();
    if (folder.isEmpty()) {
        m_dialogs.notify(title(), QStringLiteral("Please Select Destination from the box below"),
                         MessageIcon::None);
        return;
    }
    m_progressBar1->setVisible(true);
    setBusy(true);
    if (const auto outcome = m_backup->start(folder))
        onBackupFinished(*outcome);
}

void BackupWindow::onBackupProgress(int procent)
{
    m_panel1->setText(QStringLiteral("Compressing Database"));
    m_progressBar1->setValue(procent);
    if (m_progressBar1->value() == 100)
        m_panel1->setText(QStringLiteral("Saving to ") + m_combo1->currentText()
                          + QStringLiteral(" Drive."));
}

void BackupWindow::onBackupFinished(const BackupOutcome &outcome)
{
    m_dialogs.notify(title(), outcome.text(), outcome.icon());
    resetProgress();
    setBusy(false);
    close();
}

void BackupWindow::unpackDatabase()
{
    if (isBusy())
        return;
    const QString start = m_combo1->currentText().isEmpty() ? QDir::homePath() : m_combo1->currentText();
    const QString file = m_dialogs.chooseOpenFile(QStringLiteral("Unpack Database"), start,
                                                  QStringLiteral("Backup files (*.tow)"));
    if (file.isEmpty())
        return;
    m_restoreSource = file;
    m_restoreTarget = m_store.path();
    m_progressBar1->setVisible(true);
    m_panel1->setText(QStringLiteral("Unpacking Database"));
    setBusy(true);
    m_restore->start(file, m_restoreTarget);
}

void BackupWindow::onUnpackProgress(int procent)
{
    m_panel1->setText(QStringLiteral("Unpacking Database"));
    m_progressBar1->setValue(procent);
}

void BackupWindow::onUnpacked(const RestoreCheck &check)
{
    const QString crlf = QString::fromUtf16(kCrLf);
    const QString unchanged = QStringLiteral("Your database was not changed.");
    resetProgress();
    setBusy(false);
    if (!check.ok) {
        m_dialogs.notify(title(),
                         QStringLiteral("The database cannot be restored from ") + m_restoreSource
                             + crlf + check.error + crlf + unchanged,
                         MessageIcon::Exclamation);
        return;
    }
    const Answer answer = m_dialogs.ask(
        title(),
        QStringLiteral("Replace your database with the one saved in ") + m_restoreSource
            + QStringLiteral("?") + crlf
            + QStringLiteral("Your current database will be kept beside it under a name with "
                             "today's date and time."),
        MessageIcon::Exclamation);
    if (answer != Answer::Yes) {
        QFile::remove(check.unpackedPath);
        return;
    }
    // The file that was in use when the restore began, whatever the settings name now.
    const QString databasePath = m_restoreTarget;
    const RestoreResult result = DatabaseRestore::replace(
        check.unpackedPath, databasePath, [this] { m_store.close(); },
        [this, databasePath] {
            return m_store.open(databasePath, RecordStore::OpenMode::ExistingOnly)
                   && !m_store.isReadOnly();
        });
    if (!result.ok) {
        QFile::remove(check.unpackedPath);
        m_dialogs.notify(title(),
                         QStringLiteral("The database cannot be restored from ") + m_restoreSource
                             + crlf + result.error + crlf + unchanged,
                         MessageIcon::Exclamation);
        return;
    }
    m_dialogs.notify(title(),
                     QStringLiteral("Your database has been restored.") + crlf
                         + QStringLiteral("The previous database was kept as ") + result.keptPath,
                     MessageIcon::Information);
    close();
}

} // namespace tarnvale
