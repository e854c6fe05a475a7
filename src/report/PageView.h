// The report's pages as they will print, one under the other, each with its margins.
#pragma once

#include <QWidget>

namespace tarnvale {

class ReportDocument;

class PageView : public QWidget
{
    Q_OBJECT

  public:
    explicit PageView(const ReportDocument &report, QWidget *parent = nullptr);

    // Takes the report's pages as they now are: call after the document changed.
    void refresh();
    int pageCount() const { return m_pages; }
    // Where page `page` (from 0) is drawn, in this widget's coordinates.
    QRect pageRect(int page) const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    static constexpr int kGap = 16;
    const ReportDocument &m_report;
    int m_pages = 0;
    QSize m_paper;
};

} // namespace tarnvale
