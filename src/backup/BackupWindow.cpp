#include "BackupWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
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
#include "Dialogs.h"
#include "RecordStore.h"
#include "RestoreFlow.h"
#include "SettingsFile.h"

namespace tarnvale {

BackupWindow::BackupWindow(RecordStore &store, const SettingsFile &settings, Dialogs &dialogs,
                           QWidget *parent)
    : QDialog(parent), m_store(store), m_settings(settings), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmBackup"));
    setWindowTitle(QStringLiteral("Backup Database"));
    setModal(false);

    m_backupText =
        new QLabel(QStringLiteral("Click This button to compress and save your database into a "
                                  "disk. It's recomended that you do that every day"),
                   this);
    m_backupText->setObjectName(QStringLiteral("Label2"));
    m_backupText->setWordWrap(true);
    m_backupButton = new QPushButton(QStringLiteral("Backup Database"), this);
    m_backupButton->setObjectName(QStringLiteral("Command1"));
    m_unpackText =
        new QLabel(QStringLiteral("Retrieve a saved database from a disk and replace your "
                                  "existing database with it. Use this option in case of "
                                  "something happened to your existing database"),
                   this);
    m_unpackText->setObjectName(QStringLiteral("Label3"));
    m_unpackText->setWordWrap(true);
    m_unpackButton = new QPushButton(QStringLiteral("Unpack Database"), this);
    m_unpackButton->setObjectName(QStringLiteral("Command3"));
    m_destinationLabel = new QLabel(QStringLiteral("Backup to Drive:"), this);
    m_destinationLabel->setObjectName(QStringLiteral("Label4"));
    m_destination = new QComboBox(this);
    m_destination->setObjectName(QStringLiteral("Combo1"));
    m_destination->setEditable(true);
    m_destination->setInsertPolicy(QComboBox::NoInsert);
    m_destination->addItems(BackupDestinations::list());
    m_destination->setCurrentIndex(-1);
    m_destination->setEditText(QString());
    m_destinationLabel->setBuddy(m_destination);
    m_browseButton = new QPushButton(QStringLiteral("Browse..."), this);
    m_browseButton->setObjectName(QStringLiteral("cmdBrowse"));
    m_browseButton->setToolTip(QStringLiteral("Choose a folder"));
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("Command2"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setVisible(false);
    QSizePolicy keepSpace = m_progress->sizePolicy();
    keepSpace.setRetainSizeWhenHidden(true); // the window keeps its size when it appears
    m_progress->setSizePolicy(keepSpace);
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setSizeGripEnabled(false);
    m_status = new QLabel(m_statusBar);
    m_status->setObjectName(QStringLiteral("Panel1"));
    m_statusBar->addWidget(m_status, 1);

    auto *grid = new QGridLayout;
    grid->addWidget(m_backupText, 0, 0);
    grid->addWidget(m_backupButton, 0, 1, Qt::AlignTop);
    grid->addWidget(m_unpackText, 1, 0);
    grid->addWidget(m_unpackButton, 1, 1, Qt::AlignTop);
    grid->setColumnStretch(0, 1);
    grid->setVerticalSpacing(12);
    grid->setHorizontalSpacing(16);
    auto *destination = new QHBoxLayout;
    destination->addWidget(m_destinationLabel);
    destination->addWidget(m_destination, 1);
    destination->addWidget(m_browseButton);
    destination->addWidget(m_cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(destination);
    layout->addWidget(m_progress);
    layout->addWidget(m_statusBar);
    layout->setSpacing(10);
    // The wrapped labels get the height their text needs at their width.
    for (QLabel *label : {m_backupText, m_unpackText}) {
        label->setMinimumWidth(400);
        label->setMinimumHeight(label->heightForWidth(400));
    }
    resize(std::max(600, sizeHint().width()), sizeHint().height());

    m_backup = new DatabaseBackup(m_store, this);
    m_restore = new RestoreFlow(m_store, m_settings, m_dialogs, this);
    connect(m_backupButton, &QPushButton::clicked, this, &BackupWindow::backupDatabase);
    connect(m_unpackButton, &QPushButton::clicked, this, &BackupWindow::unpackDatabase);
    connect(m_cancelButton, &QPushButton::clicked, this, &BackupWindow::cancel);
    connect(m_browseButton, &QPushButton::clicked, this, &BackupWindow::browse);
    connect(m_backup, &DatabaseBackup::copying, this, [this](int procent) {
        if (m_stopping)
            return;
        m_status->setText(QStringLiteral("Copying Database"));
        m_progress->setValue(procent);
    });
    connect(m_backup, &DatabaseBackup::progress, this, &BackupWindow::onBackupProgress);
    connect(m_backup, &DatabaseBackup::finished, this, &BackupWindow::onBackupFinished);
    connect(m_restore, &RestoreFlow::progress, this, &BackupWindow::onUnpackProgress);
    connect(m_restore, &RestoreFlow::unpacked, this, [this] {
        resetProgress();
        setBusy(false);
    });
    connect(m_restore, &RestoreFlow::writing, this, [this](int procent) {
        setBusy(true);
        m_status->setText(QStringLiteral("Restoring Database"));
        m_progress->setValue(procent);
    });
    connect(m_restore, &RestoreFlow::finished, this, [this](bool restored) {
        resetProgress();
        setBusy(false);
        if (restored)
            close();
    });
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
    for (QWidget *w :
         {static_cast<QWidget *>(m_backupButton), static_cast<QWidget *>(m_unpackButton),
          static_cast<QWidget *>(m_destination), static_cast<QWidget *>(m_browseButton)})
        w->setEnabled(!busy);
    // A backup can be stopped; an unpack or a restore runs to its end.
    m_cancelButton->setEnabled(!busy || m_backup->isRunning());
}

void BackupWindow::cancel()
{
    if (!m_backup->isRunning()) {
        close();
        return;
    }
    m_backup->stop();
    m_stopping = true;
    m_cancelButton->setEnabled(false);
    m_status->setText(QStringLiteral("Stopping..."));
}

void BackupWindow::resetProgress()
{
    m_progress->setValue(0);
    m_status->setText(QString());
}

void BackupWindow::browse()
{
    const QString start =
        m_destination->currentText().isEmpty() ? QDir::homePath() : m_destination->currentText();
    const QString folder = m_dialogs.chooseFolder(QStringLiteral("Backup to Drive:"), start);
    if (!folder.isEmpty())
        m_destination->setEditText(QDir::toNativeSeparators(folder));
}

void BackupWindow::backupDatabase()
{
    if (isBusy())
        return;
    const QString folder = m_destination->currentText();
    if (folder.isEmpty()) {
        m_dialogs.notify(title(), QStringLiteral("Please Select Destination from the box below"),
                         MessageIcon::None);
        return;
    }
    m_progress->setVisible(true);
    const auto outcome = m_backup->start(folder);
    setBusy(true);
    if (outcome)
        onBackupFinished(*outcome);
}

void BackupWindow::onBackupProgress(int procent)
{
    if (m_stopping) // what the backup told before it saw the stop
        return;
    m_status->setText(QStringLiteral("Compressing Database"));
    m_progress->setValue(procent);
    if (m_progress->value() == 100)
        m_status->setText(QStringLiteral("Saving to ") + m_destination->currentText() +
                          QStringLiteral(" Drive."));
}

void BackupWindow::onBackupFinished(const BackupOutcome &outcome)
{
    m_cancelButton->setEnabled(false); // nothing is left to stop
    m_stopping = false;
    m_dialogs.notify(title(), outcome.text(), outcome.icon());
    resetProgress();
    setBusy(false);
    close();
}

void BackupWindow::unpackDatabase()
{
    if (isBusy())
        return;
    const QString start =
        m_destination->currentText().isEmpty() ? QDir::homePath() : m_destination->currentText();
    const QString file = m_dialogs.chooseOpenFile(QStringLiteral("Unpack Database"), start,
                                                  QStringLiteral("Backup files (*.tow)"));
    if (file.isEmpty())
        return;
    m_progress->setVisible(true);
    m_status->setText(QStringLiteral("Unpacking Database"));
    setBusy(true);
    m_restore->start(file);
}

void BackupWindow::onUnpackProgress(int procent)
{
    m_status->setText(QStringLiteral("Unpacking Database"));
    m_progress->setValue(procent);
}

} // namespace tarnvale
