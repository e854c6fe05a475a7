#include "ExportWindow.h"

#include <QCloseEvent>
#include <QDate>
#include <QDialogButtonBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "Dialogs.h"
#include "ExportRunner.h"
#include "RecordExport.h"
#include "SettingsFile.h"

namespace tarnvale {

ExportWindow::ExportWindow(const QString &databasePath, const SettingsFile &settings,
                           Dialogs &dialogs, const QString &selectedGroup,
                           const QList<qint64> *searchResults, QWidget *parent)
    : QWidget(parent, Qt::Dialog), m_databasePath(databasePath), m_settings(settings),
      m_dialogs(dialogs), m_group(selectedGroup),
      m_results(searchResults ? *searchResults : QList<qint64>()),
      m_runner(new ExportRunner(this))
{
    setObjectName(QStringLiteral("frmExport"));
    setWindowTitle(QStringLiteral("Export to CSV"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);

    auto *choice = new QGroupBox(QStringLiteral("Vehicles to export"), this);
    m_all = new QRadioButton(QStringLiteral("&Every record"), choice);
    m_all->setObjectName(QStringLiteral("optAll"));
    m_groupOption = new QRadioButton(
        m_group.isEmpty() ? QStringLiteral("The selected &group (no group is selected)")
                          : QStringLiteral("The selected &group: %1").arg(m_group),
        choice);
    m_groupOption->setObjectName(QStringLiteral("optGroup"));
    m_groupOption->setEnabled(!m_group.isEmpty());
    m_resultsOption = new QRadioButton(
        searchResults ? QStringLiteral("The current &search results (%1 found)").arg(m_results.size())
                      : QStringLiteral("The current &search results (no search made)"),
        choice);
    m_resultsOption->setObjectName(QStringLiteral("optResults"));
    m_resultsOption->setEnabled(searchResults != nullptr);
    m_all->setChecked(true);
    auto *choiceLayout = new QVBoxLayout(choice);
    choiceLayout->addWidget(m_all);
    choiceLayout->addWidget(m_groupOption);
    choiceLayout->addWidget(m_resultsOption);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("prgExport"));
    m_progress->setVisible(false);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));

    auto *buttons = new QDialogButtonBox(this);
    m_export = buttons->addButton(QStringLiteral("E&xport..."), QDialogButtonBox::AcceptRole);
    m_export->setObjectName(QStringLiteral("cmdExport"));
    m_export->setDefault(true);
    m_cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(m_export, &QPushButton::clicked, this, &ExportWindow::exportClicked);
    connect(m_cancel, &QPushButton::clicked, this, &ExportWindow::cancelClicked);
    connect(m_runner, &ExportRunner::progress, this, &ExportWindow::onProgress);
    connect(m_runner, &ExportRunner::finished, this, &ExportWindow::onFinished);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(choice);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addStretch();
    layout->addWidget(buttons);
    setMinimumWidth(420);
    if (parent) {
        adjustSize();
        move(parent->geometry().center() - rect().center());
    }
}

ExportWindow::~ExportWindow() = default;

ExportSelection ExportWindow::selection() const
{
    if (m_groupOption->isChecked())
        return ExportSelection::ofGroup(m_group);
    if (m_resultsOption->isChecked())
        return ExportSelection::ofRecords(m_results);
    return ExportSelection::all();
}

void ExportWindow::setRunning(bool running)
{
    m_export->setEnabled(!running);
    m_all->parentWidget()->setEnabled(!running);
    m_progress->setVisible(running);
    m_progress->setRange(0, 0); // busy until the first count arrives
}

void ExportWindow::exportClicked()
{
    if (m_runner->isRunning())
        return;
    const QString suggested = QDir::home().filePath(
        QStringLiteral("tow-records-%1.csv").arg(QDate::currentDate().toString(Qt::ISODate)));
    const QString path = m_dialogs.chooseSaveFile(QStringLiteral("Export to CSV"), suggested,
                                                  QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    m_outPath = path;
    m_status->setText(QStringLiteral("Exporting to %1 ...").arg(QDir::toNativeSeparators(path)));
    setRunning(true);
    m_runner->start(m_databasePath, selection(), m_settings, path);
}

void ExportWindow::cancelClicked()
{
    if (m_runner->isRunning())
        m_runner->cancel(); // the window stays open until the runner reports back
    else
        close();
}

void ExportWindow::onProgress(qint64 done, qint64 total)
{
    m_progress->setRange(0, 1000);
    m_progress->setValue(total > 0 ? int(qMin<qint64>(1000, done * 1000 / total)) : 1000);
}

void ExportWindow::onFinished(const RecordExport::Result &result)
{
    setRunning(false);
    const QString title = m_settings.companyName();
    const QString path = QDir::toNativeSeparators(m_outPath);
    switch (result.outcome) {
    case RecordExport::Outcome::Done:
        m_status->clear();
        m_dialogs.notify(title,
                         QStringLiteral("%1 vehicle(s) exported to %2.").arg(result.rows).arg(path),
                         MessageIcon::Information);
        Q_EMIT exportEnded();
        close();
        return;
    case RecordExport::Outcome::Cancelled:
        m_status->setText(QStringLiteral("Export cancelled; %1 was not changed.").arg(path));
        break;
    case RecordExport::Outcome::Failed:
        m_status->setText(QStringLiteral("Export failed; %1 was not changed.").arg(path));
        m_dialogs.notify(title,
                         QStringLiteral("The export failed: %1%2%3 was not changed.")
                             .arg(result.error, QString::fromUtf16(kCrLf), path),
                         MessageIcon::Critical);
        break;
    }
    Q_EMIT exportEnded();
}

void ExportWindow::closeEvent(QCloseEvent *event)
{
    // Closing while the export runs cancels it; the runner's destructor waits for its thread.
    m_runner->cancel();
    event->accept();
}

} // namespace tarnvale
