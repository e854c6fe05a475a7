// The runs of text a report draws on its pages, each with its box and the clip it was drawn
// under, in the sheet's pixels: read through a paint engine that only records.
#pragma once

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>

#include "ReportDocument.h"

namespace tarnvale::test {

struct DrawnRun
{
    QString text;
    QRectF box, clip; // clip: the sheet when nothing narrower was set
    int page = 0;
    // On this page: a run the clip leaves out above or below is drawn on another.
    bool shown() const { return box.bottom() > clip.top() + 0.5 && box.top() < clip.bottom() - 0.5; }
    bool whole() const { return !shown() || clip.adjusted(-0.5, -0.5, 0.5, 0.5).contains(box); }
};

class DrawnText : public QPaintDevice, QPaintEngine
{
  public:
    explicit DrawnText(const ReportDocument &report)
        : QPaintEngine(AllFeatures), m_paper(report.paperSize()), m_dpi(RtfReader::defaultDpi())
    {
        for (int page = 0; page < report.pageCount(); ++page) {
            QPainter painter(this);
            m_page = page;
            report.paintPage(painter, page);
        }
    }
    QList<DrawnRun> runs;

    QPaintEngine *paintEngine() const override { return const_cast<DrawnText *>(this); }
    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &) override {}
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawPath(const QPainterPath &) override {}
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
    void drawImage(const QRectF &, const QImage &, const QRectF &, Qt::ImageConversionFlags) override {}
    Type type() const override { return User; }
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        const QTransform t = painter()->transform();
        const QRectF box(p.x(), p.y() - item.ascent(), item.width(), item.ascent() + item.descent());
        const QRectF sheet(QPointF(0, 0), m_paper);
        runs.append({item.text(), t.mapRect(box),
                     painter()->hasClipping() ? t.mapRect(painter()->clipBoundingRect()) & sheet : sheet,
                     m_page});
    }

  protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth: return qCeil(m_paper.width());
        case PdmHeight: return qCeil(m_paper.height());
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return qRound(m_dpi);
        case PdmDepth: return 32;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        default: return 1;
        }
    }

  private:
    QSizeF m_paper;
    qreal m_dpi;
    int m_page = 0;
};

} // namespace tarnvale::test
