// frmReports: the reports of the lot and the money, one tab each, with Print, Save as PDF and
// Export to CSV for the report on show. The figures come from the report classes; the window
// collects the dates and shows, prints and saves what they give.
#pragma once

#include <QDate>
#include <QWidget>

#include <functional>

#include "Report.h"

class QDateEdit;
class QLineEdit;
class QPagedPaintDevice;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;

namespace tarnvale {

class Dialogs;
class RecordStore;
class ReportRunner;
class ReportView;
class SettingsFile;

class ReportsWindow : public QWidget
{
    Q_OBJECT

  public:
    // `today` gives the day the lot is figured on and the money dates start at.
    ReportsWindow(RecordStore &store, const SettingsFile &settings, Dialogs &dialogs,
                  const QDate &today = QDate::currentDate(), QWidget *parent = nullptr);

    ReportView *view(int tab) const;
    QTabWidget *tabs() const { return m_tabs; }

    // Starts figuring the report of the tab again, in the background, in place of any report
    // being figured; false (and the user told why) when it cannot be started. The report
    // shows when done; one that takes longer than kWaitShownMs shows a progress bar and a
    // Cancel button meanwhile.
    bool refresh(int tab);
    // Stops the report being figured: the tab keeps what it showed.
    void cancelRefresh();
    bool isFiguring() const;
    static constexpr int kWaitShownMs = 300;
    // The commands of the buttons, on the report of the tab on show.
    void printReport();
    bool saveAsPdf();
    bool exportCsv();
    // The drawer close-out of the day the money tab starts at, with the cash counted typed.
    void printDrawer();

    // Draws a report, its chart beside its tables, on a printer or a PDF.
    static bool paint(const Report &report, const QImage &chart, QPagedPaintDevice &device);

  Q_SIGNALS:
    // A report was figured and shown, or failed (the user was told why).
    void refreshed(int tab, bool shown);

  private:
    int current() const;
    void showWait(bool shown);
    bool save(const QString &title, const QString &filter, const QString &suffix,
              const std::function<QByteArray()> &bytes);
    void failed(const QString &doing);

    RecordStore &m_store;
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;
    QDate m_today;
    QTabWidget *m_tabs = nullptr;
    QDateEdit *m_from = nullptr;
    QDateEdit *m_to = nullptr;
    QLineEdit *m_counted = nullptr;
    QList<ReportView *> m_views;
    ReportRunner *m_runner = nullptr;
    int m_figuring = -1; // the tab whose report is being figured
    QTimer *m_wait = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancel = nullptr;
};

} // namespace tarnvale
