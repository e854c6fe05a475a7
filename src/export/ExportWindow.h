// "Export to CSV": which vehicles to export (every record, the selected group, the current
// search results), the file to write, and a progress bar with Cancel while the export runs.
#pragma once

#include "RecordExport.h"

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace tarnvale {

class Dialogs;
class ExportRunner;
class SettingsFile;

class ExportWindow : public QWidget
{
    Q_OBJECT

public:
    // selectedGroup empty: no group is selected; searchResults: the ids the Find window
    // lists, when it is open and not searching (nullptr otherwise).
    ExportWindow(const QString &databasePath, const SettingsFile &settings, Dialogs &dialogs,
                 const QString &selectedGroup, const QList<qint64> *searchResults,
                 QWidget *parent = nullptr);
    ~ExportWindow() override;

    ExportRunner *runner() const { return m_runner; }

Q_SIGNALS:
    // The export ended (done, cancelled or failed) and its message was shown.
    void exportEnded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void exportClicked();
    void cancelClicked();
    void onProgress(qint64 done, qint64 total);
    void onFinished(const RecordExport::Result &result);
    ExportSelection selection() const;
    void setRunning(bool running);

    QString m_databasePath;
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;
    QString m_group;
    QList<qint64> m_results;
    QString m_outPath;
    ExportRunner *m_runner = nullptr;
    QRadioButton *m_all = nullptr;
    QRadioButton *m_groupOption = nullptr;
    QRadioButton *m_resultsOption = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_export = nullptr;
    QPushButton *m_cancel = nullptr;
};

} // namespace tarnvale
