#include "PrintCommand.h"

#include "ChargeSheet.h"
#include "Dialogs.h"
#include "PrintSnapshot.h"
#include "ReportWindow.h"

namespace tarnvale {

PrintCommand::PrintCommand(const SettingsFile &settings, const ProgramFolder &folder,
                           Dialogs &dialogs, QWidget *parent)
    : m_settings(settings), m_folder(folder), m_dialogs(dialogs), m_parent(parent)
{
}

ReportWindow *PrintCommand::run(const PrintSnapshot &snapshot)
{
    if (!ChargeSheet::canPrint(snapshot)) {
        m_dialogs.notify(m_settings.companyName(), ChargeSheet::selectRecordMessage(),
                         MessageIcon::None);
        return nullptr;
    }
    if (m_window && m_window->isVisible()) {
        if (m_window->snapshot() == snapshot) {
            m_window->raise();
            m_window->activateWindow();
            return m_window;
        }
        // Another record is selected now: its sheet replaces the one shown.
        m_window->close();
        m_window = nullptr;
    }
    auto *window = new ReportWindow(snapshot, m_settings, m_folder, m_dialogs, m_parent);
    if (!window->show_selling())
        return nullptr; // the window has shown its message and closes itself
    m_window = window;
    window->show();
    return window;
}

} // namespace tarnvale
