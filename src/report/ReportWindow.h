// frmprint, "Print Preview": the filled charge sheet of one record, page by page as it will
// print, with Print and Save as PDF.
#pragma once

#include <QWidget>

#include "ChargeSheet.h"
#include "PageView.h"
#include "PrintSnapshot.h"
#include "ProgramFolder.h"
#include "ReportDocument.h"
#include "SettingsFile.h"

#include <memory>

class QLabel;
class QPrinter;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QThread;
class QTimer;

namespace tarnvale {

class Dialogs;

class ReportWindow : public QWidget
{
    Q_OBJECT

  public:
    // Builds the window; nothing is read until show_selling(). The window deletes itself
    // when closed.
    ReportWindow(const PrintSnapshot &snapshot, const SettingsFile &settings,
                 const ProgramFolder &folder, Dialogs &dialogs, QWidget *parent = nullptr);
    ~ReportWindow() override;

    // Fills the preview from the template. When the template cannot be read, shows its
    // message once, closes the window and answers false.
    bool show_selling();
    // The same for another document of the record (a receipt, a notice), filled already;
    // the window and its print preview are titled with the document's name.
    bool showDocument(const ChargeSheet::Outcome &outcome, const QString &documentName);

    // The pages as they will print.
    PageView *preview() const { return m_preview; }
    const PrintSnapshot &snapshot() const { return m_snapshot; }
    const ReportDocument &report() const { return m_report; }

  public Q_SLOTS:
    // "Print": the print dialog, then every page to the chosen printer. Cancel is silent.
    void printReport();
    // "Save as PDF": asks for a file and writes the sheet there on a thread of its own, the
    // pages written shown in the window as they go; a failure is told when it ends.
    void saveAsPdf();
    // "Print Preview...": the pages as they will print, with zoom and page setup, and
    // printing from there. The preview window is not modal.
    void printPreview();

  Q_SIGNALS:
    // The PDF's writing ended: saved whole, or failed (and told).
    void pdfFinished(bool saved);

  private:
    struct PdfJob; // what the writing thread and the window share
    // Prints the pages the printer's range asks for (all by default), with its copies.
    void printOn(QPrinter &printer);
    void showPdfProgress();
    void pdfDone();

    PrintSnapshot m_snapshot;
    SettingsFile m_settings;
    ProgramFolder m_folder;
    Dialogs &m_dialogs;
    ReportDocument m_report;
    PageView *m_preview = nullptr;
    QScrollArea *m_scroll = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_pdf = nullptr;
    QPushButton *m_previewButton = nullptr;
    QProgressBar *m_pdfProgress = nullptr;
    QLabel *m_pdfStatus = nullptr;
    QThread *m_pdfThread = nullptr;
    QTimer *m_pdfTimer = nullptr;
    std::shared_ptr<PdfJob> m_pdfJob;
    QString m_documentName = QStringLiteral("Charge Sheet");
};

} // namespace tarnvale
