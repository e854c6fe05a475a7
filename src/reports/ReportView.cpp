#include "ReportView.h"

#include <QBarCategoryAxis>
#include <QCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace tarnvale {

namespace {

// The most labels a chart shows under it.
constexpr qsizetype kMostLabels = 12;

QChart *makeChart(const ReportChart &shape)
{
    auto *chart = new QChart;
    chart->setTitle(shape.title);
    chart->setAnimationOptions(QChart::NoAnimation);
    auto *y = new QValueAxis;
    y->setTitleText(shape.yTitle);
    y->setLabelFormat(QStringLiteral("%.0f"));
    double top = 0;
    // Many days or months side by side: a label every few of them, each read whole (a label
    // under every one was cut to "08-..."). Bars stand on their whole numbers.
    const qsizetype count = shape.categories.size();
    const bool bars = shape.kind == ReportChart::Kind::Bars;
    QAbstractAxis *x = nullptr;
    if (bars && count <= kMostLabels) {
        auto *named = new QBarCategoryAxis;
        named->append(shape.categories);
        x = named;
    } else {
        auto *every = new QCategoryAxis;
        every->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        const qsizetype step = std::max<qsizetype>(1, (count + kMostLabels - 1) / kMostLabels);
        for (qsizetype i = 0; i < count; i += step)
            every->append(shape.categories.at(i), double(i));
        if (bars)
            every->setRange(-0.5, double(count) - 0.5);
        else
            every->setRange(0, double(std::max<qsizetype>(count - 1, 1)));
        x = every;
    }
    x->setTitleText(shape.xTitle);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    if (bars) {
        auto *series = new QBarSeries;
        for (const auto &[name, values] : shape.series) {
            auto *set = new QBarSet(name);
            for (double v : values)
                *set << v;
            series->append(set);
            for (double v : values)
                top = std::max(top, v);
        }
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
    } else {
        for (const auto &[name, values] : shape.series) {
            auto *line = new QLineSeries;
            line->setName(name);
            for (int i = 0; i < values.size(); ++i) {
                line->append(i, values.at(i));
                top = std::max(top, values.at(i));
            }
            chart->addSeries(line);
            line->attachAxis(x);
            line->attachAxis(y);
        }
    }
    // Labels show whole numbers: a small scale has a tick on each whole number and none
    // between, which would read as the same number twice.
    if (const double shown = top * 1.1; shown < 5) {
        const int whole = std::max(1, int(std::ceil(shown)));
        y->setRange(0, whole);
        y->setTickCount(whole + 1);
    } else {
        y->setRange(0, shown);
        y->applyNiceNumbers();
    }
    chart->legend()->setVisible(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

} // namespace

ReportView::ReportView(QWidget *parent) : QWidget(parent)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
}

void ReportView::setReport(const Report &report)
{
    qDeleteAll(m_parts);
    m_parts.clear();
    m_tables.clear();
    m_chartView = nullptr;
    m_report = report;

    auto *heading = new QLabel(report.period + (report.notes.isEmpty()
                                                    ? QString()
                                                    : QStringLiteral("\n") +
                                                          report.notes.join(u'\n')),
                               this);
    heading->setObjectName(QStringLiteral("lblReportPeriod"));
    heading->setWordWrap(true);
    m_parts << heading;
    if (report.chart) {
        m_chartView = new QChartView(makeChart(*report.chart), this);
        m_chartView->setObjectName(QStringLiteral("chartReport"));
        m_chartView->setRenderHint(QPainter::Antialiasing);
        m_chartView->setMinimumHeight(260);
        m_parts << m_chartView;
    }
    for (int t = 0; t < report.tables.size(); ++t) {
        const ReportTable &table = report.tables.at(t);
        auto *title = new QLabel(QStringLiteral("<b>%1</b>").arg(table.title.toHtmlEscaped()), this);
        auto *view = new QTableView(this);
        auto *model =
            new QStandardItemModel(int(table.rows.size()), int(table.columns.size()), view);
        for (int c = 0; c < table.columns.size(); ++c)
            model->setHeaderData(c, Qt::Horizontal, table.columns.at(c).title);
        for (int r = 0; r < table.rows.size(); ++r)
            for (int c = 0; c < table.columns.size(); ++c) {
                auto *item = new QStandardItem(table.cellText(table.rows.at(r), c));
                item->setEditable(false);
                const bool number = table.columns.at(c).kind != ReportColumn::Kind::Text;
                item->setData(number ? QVariant(table.rows.at(r).value(c).toLongLong())
                                     : table.rows.at(r).value(c),
                              kSortRole);
                if (number)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                model->setItem(r, c, item);
            }
        auto *proxy = new QSortFilterProxyModel(model);
        proxy->setSourceModel(model);
        proxy->setSortRole(kSortRole);
        view->setObjectName(QStringLiteral("grdReport_%1").arg(t));
        view->setModel(proxy);
        view->setSortingEnabled(true);
        view->sortByColumn(-1, Qt::AscendingOrder); // as the report gives them until clicked
        view->verticalHeader()->hide();
        view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
        // As tall as its rows, up to a screenful: the page scrolls, not each table.
        const int rows = std::max(1, int(table.rows.size()));
        view->setFixedHeight(std::min(420, view->horizontalHeader()->sizeHint().height() +
                                               rows * view->verticalHeader()->defaultSectionSize() +
                                               2 * view->frameWidth() +
                                               view->horizontalScrollBar()->sizeHint().height()));
        m_tables << view;
        m_parts << title << view;
        // The totals, apart from the rows so that sorting leaves them last.
        if (!table.totals.isEmpty()) {
            QStringList cells;
            for (int c = 1; c < table.columns.size(); ++c)
                if (const QString cell = table.cellText(table.totals, c); !cell.isEmpty())
                    cells << table.columns.at(c).title + QStringLiteral(": ") + cell;
            auto *totals = new QLabel(table.cellText(table.totals, 0) + QStringLiteral(" - ") +
                                          cells.join(QStringLiteral(", ")),
                                      this);
            totals->setWordWrap(true);
            totals->setObjectName(QStringLiteral("lblTotals_%1").arg(t));
            m_parts << totals;
        }
    }
    for (QWidget *part : std::as_const(m_parts))
        m_layout->addWidget(part);
}

QImage ReportView::chartImage(const QSize &size) const
{
    if (!m_report || !m_report->chart)
        return {};
    QChartView view(makeChart(*m_report->chart));
    view.setRenderHint(QPainter::Antialiasing);
    view.resize(size);
    return view.grab().toImage();
}

} // namespace tarnvale
