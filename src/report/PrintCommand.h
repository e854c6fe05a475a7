// The main window's Print command (menu Tools > Print and the toolbar's Print button).
#pragma once

#include <QPointer>

#include "ProgramFolder.h"
#include "SettingsFile.h"

class QWidget;

namespace tarnvale {

class Dialogs;
class ReportWindow;
struct PrintSnapshot;

class PrintCommand
{
  public:
    PrintCommand(const SettingsFile &settings, const ProgramFolder &folder, Dialogs &dialogs,
                 QWidget *parent);

    // With no record to print, the message "Please Select A Record To Print" (titled with
    // the company name, no icon) and nothing else. Otherwise the report window for the
    // snapshot: a window still open for the same values is only brought forward; one open
    // for another record is closed, and a new one is filled and shown. Returns the window
    // shown, or nullptr.
    ReportWindow *run(const PrintSnapshot &snapshot);

    // The report window now open, if any.
    ReportWindow *window() const { return m_window; }

  private:
    SettingsFile m_settings;
    ProgramFolder m_folder;
    Dialogs &m_dialogs;
    QPointer<QWidget> m_parent;
    QPointer<ReportWindow> m_window;
};

} // namespace tarnvale
