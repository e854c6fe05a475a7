#include "PageView.h"

#include <QPaintEvent>
#include <QPainter>

#include "ReportDocument.h"

namespace tarnvale {

PageView::PageView(const ReportDocument &report, QWidget *parent)
    : QWidget(parent), m_report(report)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(128, 128, 128));
    setPalette(palette);
    refresh();
}

void PageView::refresh()
{
    m_pages = m_report.pageCount();
    m_paper = m_report.paperSize().toSize();
    resize(sizeHint());
    updateGeometry();
    update();
}

QRect PageView::pageRect(int page) const
{
    const int left = std::max(kGap, (width() - m_paper.width()) / 2);
    return QRect(QPoint(left, kGap + page * (m_paper.height() + kGap)), m_paper);
}

QSize PageView::sizeHint() const
{
    return QSize(m_paper.width() + 2 * kGap, kGap + m_pages * (m_paper.height() + kGap));
}

void PageView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    for (int page = 0; page < m_pages; ++page) {
        const QRect rect = pageRect(page);
        if (!rect.adjusted(0, 0, 4, 4).intersects(event->rect()))
            continue; // only the pages in sight are drawn
        painter.fillRect(rect.translated(3, 3), QColor(80, 80, 80));
        painter.fillRect(rect, Qt::white);
        painter.save();
        painter.translate(rect.topLeft());
        painter.setClipRect(QRect(QPoint(0, 0), rect.size()));
        m_report.paintPage(painter, page);
        painter.restore();
    }
}

} // namespace tarnvale
