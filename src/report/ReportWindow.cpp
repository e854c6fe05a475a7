#include "ReportWindow.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "ChargeSheet.h"
#include "Dialogs.h"

#include <atomic>

namespace tarnvale {

struct ReportWindow::PdfJob
{
    std::atomic<int> done{0}, pages{0};
    std::atomic<bool> stop{false};
    bool saved = false; // read once the thread has ended
    QString path, error;
};

ReportWindow::ReportWindow(const PrintSnapshot &snapshot, const SettingsFile &settings,
                           const ProgramFolder &folder, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_snapshot(snapshot), m_settings(settings), m_folder(folder),
      m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmprint"));
    setWindowTitle(QStringLiteral("Print Preview"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_report.document().setDefaultFont(QFont(QStringLiteral("Arial")));
    m_preview = new PageView(m_report);
    m_preview->setObjectName(QStringLiteral("rpt1"));
    m_scroll = new QScrollArea(this);
    m_scroll->setWidget(m_preview);
    m_scroll->setAlignment(Qt::AlignHCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);

    m_print = new QPushButton(QStringLiteral("Print"), this);
    m_print->setObjectName(QStringLiteral("cmdprint"));
    m_print->setEnabled(false);
    m_pdf = new QPushButton(QStringLiteral("Save as PDF"), this);
    m_pdf->setObjectName(QStringLiteral("cmdpdf"));
    m_pdf->setEnabled(false);
    m_previewButton = new QPushButton(QStringLiteral("Print Pre&view..."), this);
    m_previewButton->setObjectName(QStringLiteral("cmdpreview"));
    m_previewButton->setEnabled(false);
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdclose"));

    m_pdfStatus = new QLabel(this);
    m_pdfStatus->setObjectName(QStringLiteral("lblpdf"));
    m_pdfProgress = new QProgressBar(this);
    m_pdfProgress->setObjectName(QStringLiteral("pdfprogress"));
    m_pdfProgress->setMaximumWidth(200);
    m_pdfProgress->hide();
    m_pdfTimer = new QTimer(this);
    m_pdfTimer->setInterval(100);
    connect(m_pdfTimer, &QTimer::timeout, this, &ReportWindow::showPdfProgress);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_pdfStatus);
    buttons->addWidget(m_pdfProgress);
    buttons->addStretch();
    buttons->addWidget(m_previewButton);
    buttons->addWidget(m_print);
    buttons->addWidget(m_pdf);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_scroll, 1);
    layout->addLayout(buttons);

    connect(m_print, &QPushButton::clicked, this, &ReportWindow::printReport);
    connect(m_pdf, &QPushButton::clicked, this, &ReportWindow::saveAsPdf);
    connect(m_previewButton, &QPushButton::clicked, this, &ReportWindow::printPreview);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto *closeKey = new QAction(this);
    closeKey->setShortcuts(QKeySequence::Close);
    connect(closeKey, &QAction::triggered, this, &QWidget::close);
    addAction(closeKey);
    m_print->setShortcut(QKeySequence::Print);
    resize(900, 860);
    if (const QScreen *screen = this->screen())
        resize(width(), std::min(height(), screen->availableGeometry().height() - 40));
}

ReportWindow::~ReportWindow()
{
    if (m_pdfThread) { // closed while a PDF is written: it stops, and no file is left
        m_pdfJob->stop = true;
        m_pdfThread->wait();
        delete m_pdfThread;
    }
    delete m_scroll; // its page view paints m_report, which goes before the child widgets
}

bool ReportWindow::show_selling()
{
    return showDocument(ChargeSheet::build(m_folder, m_settings, m_snapshot, QDate::currentDate()),
                        m_documentName);
}

bool ReportWindow::showDocument(const ChargeSheet::Outcome &outcome, const QString &documentName)
{
    if (documentName != m_documentName) {
        m_documentName = documentName;
        setWindowTitle(QStringLiteral("Print Preview - ") + documentName);
    }
    if (!outcome.ok) {
        m_dialogs.notify(outcome.title, outcome.message, MessageIcon::Critical);
        // Closed from the event loop, so a caller still holding the pointer is not left
        // with a deleted window in the middle of its own call.
        QTimer::singleShot(0, this, &QWidget::close);
        return false;
    }
    m_report.setRtf(outcome.rtf);
    m_preview->refresh();
    if (!m_report.notes().isEmpty())
        m_dialogs.notify(m_settings.companyName(),
                         QStringLiteral("Parts of the report template are not shown:\r\n") +
                             m_report.notes().join(QStringLiteral("\r\n")),
                         MessageIcon::Exclamation);
    resize(m_preview->sizeHint().width() + 60, height());
    m_print->setText(QStringLiteral("Print"));
    m_print->setEnabled(true);
    m_pdf->setEnabled(!m_pdfThread);
    m_previewButton->setEnabled(true);
    return true;
}

void ReportWindow::printReport()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(m_report.pageLayout());
    if (!m_dialogs.choosePrinter(printer))
        return; // cancelled: nothing printed, nothing shown
    printOn(printer);
}

void ReportWindow::printOn(QPrinter &printer)
{
    // A printer that makes copies itself gets the sheet once; otherwise it is sent once
    // for every copy asked for.
    const int copies = printer.supportsMultipleCopies() ? 1 : printer.copyCount();
    const QPageRanges pages =
        printer.printRange() == QPrinter::PageRange ? printer.pageRanges() : QPageRanges();
    const int pageCount = m_report.pageCount(printer.pageLayout());
    if (ReportDocument::pagesToPrint(pageCount, pages).isEmpty()) {
        m_dialogs.notify(m_settings.companyName(),
                         QStringLiteral("Nothing was printed: the charge sheet has %1 page(s), "
                                        "none of them in the pages asked for (%2).")
                             .arg(pageCount)
                             .arg(pages.toString()),
                         MessageIcon::Exclamation);
        return;
    }
    if (!m_report.print(printer, copies, pages) || printer.printerState() == QPrinter::Error)
        m_dialogs.notify(ChargeSheet::defaultTitle(),
                         QStringLiteral("Error Occured: 482 Printer error"), MessageIcon::None);
}

void ReportWindow::printPreview()
{
    auto *dialog = new QPrintPreviewDialog(this);
    dialog->setObjectName(QStringLiteral("dlgPreview"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(QStringLiteral("frmPrintPreview"));
    dialog->setWindowTitle(QStringLiteral("Print Preview - ") + m_documentName);
    dialog->printer()->setPageLayout(m_report.pageLayout());
    // The preview washes out what a printer draws in its margins: it gets the whole sheet,
    // and the header and footer show as dark as the body, as they print.
    dialog->printer()->setFullPage(true);
    // The same drawing fills the preview and, from its Print button, the printer.
    connect(dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter *printer) { printOn(*printer); });
    dialog->resize(1000, 900);
    dialog->open();
}

void ReportWindow::saveAsPdf()
{
    if (m_pdfThread)
        return; // one at a time
    QString name = m_snapshot.customerName.trimmed();
    if (name.isEmpty())
        name = m_snapshot.txtprint[0].trimmed();
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9 _-]")), QString());
    const QString document = m_documentName.toLower();
    const QString suggested =
        QDir(QDir::homePath())
            .filePath((name.isEmpty() ? document : document + u' ' + name) +
                      QStringLiteral(".pdf"));
    QString path = m_dialogs.chooseSaveFile(QStringLiteral("Save as PDF"), suggested,
                                            QStringLiteral("PDF files (*.pdf)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    auto job = std::make_shared<PdfJob>();
    job->path = path;
    m_pdfJob = job;
    // The worker lays out and draws its own copy, so the window stays in use meanwhile.
    m_pdfThread = QThread::create([job, source = m_report.source()] {
        const ReportDocument copy(source);
        job->saved = copy.writePdf(job->path, &job->error, [&job](int done, int pages) {
            job->done = done;
            job->pages = pages;
            return !job->stop;
        });
    });
    connect(m_pdfThread, &QThread::finished, this, &ReportWindow::pdfDone);
    m_pdf->setEnabled(false);
    showPdfProgress();
    m_pdfProgress->show();
    m_pdfTimer->start();
    m_pdfThread->start();
}

void ReportWindow::showPdfProgress()
{
    const int pages = m_pdfJob->pages;
    m_pdfProgress->setRange(0, pages); // 0 to 0 while the pages are laid out: busy
    m_pdfProgress->setValue(m_pdfJob->done);
    m_pdfStatus->setText(pages == 0 ? QStringLiteral("Saving as PDF: laying out the pages...")
                                    : QStringLiteral("Saving as PDF: page %1 of %2")
                                          .arg(int(m_pdfJob->done))
                                          .arg(pages));
}

void ReportWindow::pdfDone()
{
    m_pdfTimer->stop();
    m_pdfThread->deleteLater();
    m_pdfThread = nullptr;
    const std::shared_ptr<PdfJob> job = std::exchange(m_pdfJob, nullptr);
    m_pdfProgress->hide();
    m_pdf->setEnabled(true);
    m_pdfStatus->setText(job->saved ? QStringLiteral("Saved as PDF: ") + job->path : QString());
    if (!job->saved)
        m_dialogs.notify(m_settings.companyName(),
                         QStringLiteral("The PDF file could not be written: ") + job->path +
                             QStringLiteral("\r\n") + job->error,
                         MessageIcon::Critical);
    Q_EMIT pdfFinished(job->saved);
}

} // namespace tarnvale
