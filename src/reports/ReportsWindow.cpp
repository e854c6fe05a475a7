#include "ReportsWindow.h"

#include <QBuffer>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPdfWriter>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>

#include "Dialogs.h"
#include "ImpoundRules.h"
#include "LotReport.h"
#include "MoneyReport.h"
#include "DeadlinesReport.h"
#include "ReleasesReport.h"
#include "LotHistoryReport.h"
#include "RecordStore.h"
#include "ReportQueries.h"
#include "ReportRunner.h"
#include "ReportView.h"
#include "SafeOutput.h"
#include "SettingsFile.h"

namespace tarnvale {

namespace {

enum Tab { kLot, kMoney, kReleases, kDeadlines, kHistory };

QPushButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QString fileStem(const Report &report)
{
    return report.title.toLower().replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")),
                                          QStringLiteral("-"));
}

} // namespace

ReportsWindow::ReportsWindow(RecordStore &store, const SettingsFile &settings, Dialogs &dialogs,
                             const QDate &today, QWidget *parent)
    : QWidget(parent, Qt::Window), m_store(store), m_settings(settings), m_dialogs(dialogs),
      m_today(today)
{
    setObjectName(QStringLiteral("frmReports"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Reports"));
    auto *layout = new QVBoxLayout(this);
    // The days of the money and of the releases and sales.
    auto *range = new QHBoxLayout;
    m_from = new QDateEdit(QDate(today.year(), today.month(), 1), this);
    m_to = new QDateEdit(today, this);
    m_from->setObjectName(QStringLiteral("dtFrom"));
    m_to->setObjectName(QStringLiteral("dtTo"));
    for (QDateEdit *edit : {m_from, m_to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat)
                                   .replace(QRegularExpression(QStringLiteral("\\by+\\b")),
                                            QStringLiteral("yyyy")));
    }
    QPushButton *refreshShown = button(this, "cmdRefresh", QStringLiteral("&Refresh"));
    range->addWidget(new QLabel(QStringLiteral("Money, releases, sales and the lot over time from"), this));
    range->addWidget(m_from);
    range->addWidget(new QLabel(QStringLiteral("to"), this));
    range->addWidget(m_to);
    range->addWidget(refreshShown);
    range->addStretch();
    layout->addLayout(range);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabReports"));
    layout->addWidget(m_tabs);
    connect(refreshShown, &QPushButton::clicked, this, [this] { refresh(current()); });

    const auto addTab = [this](const QString &caption, QWidget *controls) {
        auto *page = new QWidget;
        auto *pageLayout = new QVBoxLayout(page);
        pageLayout->addWidget(controls);
        auto *view = new ReportView(page);
        pageLayout->addWidget(view);
        pageLayout->addStretch();
        auto *scroll = new QScrollArea;
        scroll->setWidgetResizable(true);
        scroll->setWidget(page);
        m_tabs->addTab(scroll, caption);
        m_views << view;
    };

    addTab(QStringLiteral("Lot and ageing"),
           new QLabel(QStringLiteral("The vehicles in the yard (in storage or on hold) today.")));
    auto *moneyControls = new QWidget;
    auto *moneyRow = new QHBoxLayout(moneyControls);
    m_counted = new QLineEdit(moneyControls);
    m_counted->setObjectName(QStringLiteral("txtCounted"));
    m_counted->setPlaceholderText(QStringLiteral("125.50"));
    QPushButton *drawer =
        button(moneyControls, "cmdDrawer", QStringLiteral("&Drawer Close-out..."));
    moneyRow->addWidget(new QLabel(QStringLiteral("Cash counted on the last day"), moneyControls));
    moneyRow->addWidget(m_counted);
    moneyRow->addWidget(drawer);
    moneyRow->addStretch();
    addTab(QStringLiteral("Money"), moneyControls);
    connect(drawer, &QPushButton::clicked, this, &ReportsWindow::printDrawer);
    addTab(QStringLiteral("Releases and sales"),
           new QLabel(QStringLiteral("The vehicles released and sold in the days above.")));
    addTab(QStringLiteral("Deadlines"),
           new QLabel(QStringLiteral("The lien steps overdue and due this week and next.")));
    addTab(QStringLiteral("Lot over time"),
           new QLabel(QStringLiteral("The vehicles in storage at the end of each day of the "
                                     "days above (of each month over more than two months).")));

    // A long report: a bar that moves while it is figured, and a way out.
    auto *waitRow = new QHBoxLayout;
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("prgReport"));
    m_progress->setRange(0, 0);
    m_cancel = button(this, "cmdCancel", QStringLiteral("Cancel"));
    waitRow->addWidget(m_progress, 1);
    waitRow->addWidget(m_cancel);
    layout->addLayout(waitRow);
    showWait(false);
    m_wait = new QTimer(this);
    m_wait->setSingleShot(true);
    m_wait->setInterval(kWaitShownMs);
    connect(m_wait, &QTimer::timeout, this, [this] { showWait(true); });
    connect(m_cancel, &QPushButton::clicked, this, &ReportsWindow::cancelRefresh);
    m_runner = new ReportRunner(store, this);
    connect(m_runner, &ReportRunner::finished, this,
            [this](const std::optional<Report> &report, const DbError &error) {
                const int tab = std::exchange(m_figuring, -1);
                m_wait->stop();
                showWait(false);
                if (report)
                    m_views.at(tab)->setReport(*report);
                else
                    failed(QStringLiteral("The report could not be read: ") + error.description);
                Q_EMIT refreshed(tab, report.has_value());
            });

    auto *buttons = new QHBoxLayout;
    QPushButton *print = button(this, "cmdPrint", QStringLiteral("&Print..."));
    QPushButton *pdf = button(this, "cmdPdf", QStringLiteral("Save as P&DF..."));
    QPushButton *csv = button(this, "cmdCsv", QStringLiteral("E&xport to CSV..."));
    QPushButton *close = button(this, "cmdClose", QStringLiteral("&Close"));
    buttons->addWidget(print);
    buttons->addWidget(pdf);
    buttons->addWidget(csv);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(print, &QPushButton::clicked, this, &ReportsWindow::printReport);
    connect(pdf, &QPushButton::clicked, this, &ReportsWindow::saveAsPdf);
    connect(csv, &QPushButton::clicked, this, &ReportsWindow::exportCsv);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    // A tab is figured the first time it is shown.
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int tab) {
        if (tab >= 0 && !m_views.at(tab)->report())
            refresh(tab);
    });
    resize(1000, 800);
}

ReportView *ReportsWindow::view(int tab) const
{
    return m_views.value(tab);
}

int ReportsWindow::current() const
{
    return m_tabs->currentIndex();
}

void ReportsWindow::failed(const QString &doing)
{
    m_dialogs.notify(QStringLiteral("Reports"), doing, MessageIcon::Exclamation);
}

void ReportsWindow::showWait(bool shown)
{
    m_progress->setVisible(shown);
    m_cancel->setVisible(shown);
}

bool ReportsWindow::isFiguring() const
{
    return m_figuring >= 0;
}

void ReportsWindow::cancelRefresh()
{
    m_runner->cancel();
    m_figuring = -1;
    m_wait->stop();
    showWait(false);
}

bool ReportsWindow::refresh(int tab)
{
    const QDate from = m_from->date(), to = m_to->date();
    if (tab != kLot && tab != kDeadlines && from > to) {
        failed(QStringLiteral("The first day comes after the last day."));
        return false;
    }
    // Figured in another thread: it takes its own copies of what it reads.
    const SettingsFile settings = m_settings;
    const QDate today = m_today;
    m_runner->start([tab, settings, from, to, today](ReportQueries &queries,
                                                     const std::atomic<bool> *cancel) {
        switch (tab) {
        case kLot:
            return LotReport::build(queries, settings, today, cancel);
        case kDeadlines:
            return DeadlinesReport::build(queries, settings, today, cancel);
        case kMoney:
            return MoneyReport::build(queries, settings, from, to, today, cancel);
        case kReleases:
            return ReleasesReport::build(queries, settings, from, to, today, cancel);
        default:
            return LotHistoryReport::build(queries, from, to, today, cancel);
        }
    });
    m_figuring = tab;
    if (!m_wait->isActive() && !m_progress->isVisible())
        m_wait->start();
    return true;
}

bool ReportsWindow::paint(const Report &report, const QImage &chart, QPagedPaintDevice &device)
{
    QTextDocument document;
    // Small enough for a table of ten columns of money across a portrait page.
    QFont font = document.defaultFont();
    font.setPointSize(8);
    document.setDefaultFont(font);
    const QString name = chart.isNull() ? QString() : QStringLiteral("chart.png");
    if (!chart.isNull())
        document.addResource(QTextDocument::ImageResource, QUrl(name), chart);
    document.setHtml(report.html(name));
    document.print(&device);
    return true;
}

void ReportsWindow::printReport()
{
    ReportView *shown = view(current());
    if (!shown || !shown->report())
        return;
    QPrinter printer(QPrinter::HighResolution);
    if (!m_dialogs.choosePrinter(printer))
        return;
    paint(*shown->report(), shown->chartImage(QSize(900, 450)), printer);
    if (printer.printerState() == QPrinter::Error)
        failed(QStringLiteral("The printer reported an error: the report was not printed."));
}

bool ReportsWindow::save(const QString &title, const QString &filter, const QString &suffix,
                         const std::function<QByteArray()> &bytes)
{
    ReportView *shown = view(current());
    if (!shown || !shown->report())
        return false;
    const QString suggested = QDir::home().filePath(
        fileStem(*shown->report()) + u'-' + m_today.toString(Qt::ISODate) + suffix);
    const QString path = m_dialogs.chooseSaveFile(title, suggested, filter);
    if (path.isEmpty())
        return false;
    const QByteArray content = bytes();
    SafeOutput out(QFile::encodeName(path).toStdString());
    if (!out.open() || !out.write(content.constData(), size_t(content.size())) || !out.commit()) {
        failed(QStringLiteral("The file was not saved: ") + QString::fromStdString(out.errorText()));
        return false;
    }
    return true;
}

bool ReportsWindow::saveAsPdf()
{
    return save(QStringLiteral("Save as PDF"), QStringLiteral("PDF files (*.pdf)"),
                QStringLiteral(".pdf"), [this] {
                    ReportView *shown = view(current());
                    QBuffer buffer;
                    buffer.open(QIODevice::WriteOnly);
                    {
                        QPdfWriter writer(&buffer);
                        writer.setTitle(shown->report()->title);
                        writer.setResolution(300);
                        paint(*shown->report(), shown->chartImage(QSize(900, 450)), writer);
                    }
                    return buffer.data();
                });
}

bool ReportsWindow::exportCsv()
{
    return save(QStringLiteral("Export to CSV"), QStringLiteral("CSV files (*.csv)"),
                QStringLiteral(".csv"), [this] { return view(current())->report()->csv(); });
}

void ReportsWindow::printDrawer()
{
    const QString typed = m_counted->text().trimmed();
    const std::optional<qint64> counted = ImpoundRules::readCents(typed);
    if (!typed.isEmpty() && !counted) {
        failed(QStringLiteral("The cash counted is not an amount: type it as 125.50."));
        return;
    }
    ReportQueries queries(m_store);
    const std::optional<Report> sheet = MoneyReport::drawer(queries, m_to->date(), counted);
    if (!sheet) {
        failed(QStringLiteral("The report could not be read: ") +
               queries.lastError().description);
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    if (m_dialogs.choosePrinter(printer))
        paint(*sheet, QImage(), printer);
}

} // namespace tarnvale
