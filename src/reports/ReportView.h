// One report on screen: its chart (when it has one) above its tables, each table sortable by
// any column (numbers and money by value). Shows what it is given; decides nothing.
#pragma once

#include <QImage>
#include <QList>
#include <QWidget>

#include "Report.h"

class QChartView;
class QTableView;
class QVBoxLayout;

namespace tarnvale {

class ReportView : public QWidget
{
    Q_OBJECT

  public:
    explicit ReportView(QWidget *parent = nullptr);

    void setReport(const Report &report);
    const std::optional<Report> &report() const { return m_report; }
    QList<QTableView *> tables() const { return m_tables; }
    QChartView *chartView() const { return m_chartView; }
    // The chart drawn at that size, for a printed page; a null image when there is none.
    QImage chartImage(const QSize &size) const;

    // The value a cell sorts by (Qt::UserRole + 1): a number for counts and money.
    static constexpr int kSortRole = Qt::UserRole + 1;

  private:
    std::optional<Report> m_report;
    QVBoxLayout *m_layout = nullptr;
    QChartView *m_chartView = nullptr;
    QList<QTableView *> m_tables;
    QList<QWidget *> m_parts; // what setReport() made, removed by the next
};

} // namespace tarnvale
