// The help document windows (frmreporthelp, frmconfighelp, frmpricing): one RTF document,
// read-only, and a Close button.
#pragma once

#include <QWidget>

#include "HelpDocument.h"
#include "ReportDocument.h"

class QTextBrowser;

namespace tarnvale {

class ProgramFolder;

class HelpDocumentWindow : public QWidget
{
    Q_OBJECT

  public:
    // Builds the window and reads its document (a missing one shows a line saying so).
    // The window deletes itself when closed.
    HelpDocumentWindow(HelpDocument::Kind kind, const ProgramFolder &folder,
                       QWidget *parent = nullptr);
    ~HelpDocumentWindow() override;

    // The Help menu's commands: a new window, shown without blocking.
    static HelpDocumentWindow *open(HelpDocument::Kind kind, const ProgramFolder &folder,
                                    QWidget *parent = nullptr);

    QTextBrowser *view() const { return m_view; }
    bool documentFound() const { return m_found; }

  private:
    ReportDocument m_document;
    QTextBrowser *m_view = nullptr;
    bool m_found = false;
};

} // namespace tarnvale
