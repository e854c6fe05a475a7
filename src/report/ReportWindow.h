// frmprint, "Print Preview": the filled charge sheet of one record, with Print and Save as PDF.
#pragma once

#include <QWidget>

#include "PrintSnapshot.h"
#include "ProgramFolder.h"
#include "ReportDocument.h"
#include "SettingsFile.h"

class QPushButton;
class QTextEdit;

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

    QTextEdit *preview() const { return m_preview; }
    const PrintSnapshot &snapshot() const { return m_snapshot; }
    const ReportDocument &report() const { return m_report; }

  public Q_SLOTS:
    // "Print": the print dialog, then every page to the chosen printer. Cancel is silent.
    void printReport();
    // "Save as PDF": asks for a file and writes the sheet there.
    void saveAsPdf();

  private:
    PrintSnapshot m_snapshot;
    SettingsFile m_settings;
    ProgramFolder m_folder;
    Dialogs &m_dialogs;
    ReportDocument m_report;
    QTextEdit *m_preview = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_pdf = nullptr;
};

} // namespace tarnvale
