#include "HelpDocumentWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "ProgramFolder.h"
#include "ReadableColor.h"

namespace tarnvale {

HelpDocumentWindow::HelpDocumentWindow(HelpDocument::Kind kind, const ProgramFolder &folder,
                                       QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    const HelpDocument help(kind);
    setObjectName(help.objectName());
    setWindowTitle(help.caption());
    setAttribute(Qt::WA_DeleteOnClose);

    m_found = help.load(folder, m_document);

    m_view = new QTextBrowser(this);
    m_view->setObjectName(QStringLiteral("help"));
    m_view->setOpenLinks(false);
    m_view->setDocument(&m_document.document());
    // A document keeps the colours it was written with, for paper: under a dark palette it is
    // shown on paper too, rather than its dark headings on a dark box.
    if (ReadableColor::isDark(m_view->palette())) {
        QPalette paper = m_view->palette();
        paper.setColor(QPalette::Base, Qt::white);
        paper.setColor(QPalette::Text, Qt::black);
        m_view->setPalette(paper);
    }

    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdclose"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
    resize(760, 640);
}

HelpDocumentWindow::~HelpDocumentWindow()
{
    delete m_view; // it shows m_document, which goes before the child widgets
}

HelpDocumentWindow *HelpDocumentWindow::open(HelpDocument::Kind kind, const ProgramFolder &folder,
                                             QWidget *parent)
{
    auto *window = new HelpDocumentWindow(kind, folder, parent);
    window->show();
    return window;
}

} // namespace tarnvale
