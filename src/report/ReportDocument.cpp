#include "ReportDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>

#include "RtfReader.h"

namespace tarnvale {

namespace {

QString plainText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    // Not UTF-8: read it as Windows-1252 through the RTF reader's code page.
    QString latin;
    for (char c : bytes)
        latin += QChar(char16_t(static_cast<unsigned char>(c)));
    return latin;
}

} // namespace

struct ReportDocument::Sheet
{
    QSizeF paper; // the whole sheet
    QRectF body;  // where the text goes: the sheet less its margins
};

ReportDocument::ReportDocument()
    : m_layout(RtfReader::Result().pageLayout()), m_dpi(RtfReader::defaultDpi())
{
}

bool ReportDocument::setRtf(const QByteArray &rtf)
{
    m_rtf = rtf;
    m_message.clear();
    // A document that has a layout lays itself out again after every piece the reader adds,
    // which makes reading a table or a long line grow with the square of its size: it is
    // read with none and gets a fresh one, laid out once, when it is whole.
    m_document.setDocumentLayout(nullptr); // deletes the old one
    const RtfReader::Result result = RtfReader::read(rtf, m_document, m_dpi);
    m_notes = result.notes;
    if (!result.ok) {
        m_rtf.clear();
        m_message = plainText(rtf);
        m_document.setPlainText(m_message);
        m_layout = RtfReader::Result().pageLayout();
        layOut();
        return false;
    }
    m_layout = result.pageLayout();
    layOut();
    return true;
}

void ReportDocument::setMessage(const QString &line)
{
    m_rtf.clear();
    m_notes.clear();
    m_message = line;
    m_document.setPlainText(line);
    m_layout = RtfReader::Result().pageLayout();
    layOut();
}

ReportDocument::Sheet ReportDocument::sheet(const QPageLayout &layout) const
{
    const QRectF paper = layout.fullRect(QPageLayout::Inch);
    const QRectF paint = layout.paintRect(QPageLayout::Inch);
    return Sheet{QSizeF(paper.width() * m_dpi, paper.height() * m_dpi),
                 QRectF(paint.left() * m_dpi, paint.top() * m_dpi, paint.width() * m_dpi,
                        paint.height() * m_dpi)};
}

// The shown document is laid out page by page for its own sheet, once: a view only paints
// the pages it shows.
void ReportDocument::layOut()
{
    m_document.setDocumentMargin(0);
    m_document.setPageSize(sheet(m_layout).body.size());
}

QSizeF ReportDocument::paperSize() const
{
    return sheet(m_layout).paper;
}

void ReportDocument::paintPage(QPainter &painter, int page) const
{
    paint(painter, const_cast<QTextDocument &>(m_document), page, sheet(m_layout));
}

void ReportDocument::paint(QPainter &painter, QTextDocument &body, int page,
                           const Sheet &sheet) const
{
    const QSizeF size = sheet.body.size();
    const QRectF view(0, page * size.height(), size.width(), size.height());
    painter.save();
    painter.translate(sheet.body.left(), sheet.body.top() - view.top());
    painter.setClipRect(view, Qt::IntersectClip);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = view;
    context.palette.setColor(QPalette::Text, Qt::black);
    body.documentLayout()->draw(&painter, context);
    painter.restore();
}

void ReportDocument::rebuild(QTextDocument &target) const
{
    if (!m_rtf.isEmpty())
        RtfReader::read(m_rtf, target, m_dpi);
    else
        target.setPlainText(m_message);
}

qreal ReportDocument::textWidth() const
{
    return m_layout.paintRect(QPageLayout::Inch).width() * m_dpi;
}

bool ReportDocument::print(QPagedPaintDevice &device, int copies) const
{
    // A fresh copy laid out for this device's page; the shown document is not touched.
    const QPageLayout layout = device.pageLayout();
    const Sheet page = sheet(layout);
    if (page.body.width() <= 0 || page.body.height() <= 0)
        return false;
    QTextDocument copy;
    copy.setDefaultFont(m_document.defaultFont());
    rebuild(copy);
    copy.setDocumentMargin(0);
    copy.setPageSize(page.body.size());
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const int pages = std::max(1, copy.pageCount());
    // The painter starts at the device's paint rectangle; pages are drawn from the sheet's
    // corner, in the document's pixels.
    const qreal scale = device.width() / page.body.width();
    for (int n = 0; n < pages * std::max(1, copies); ++n) {
        if (n > 0 && !device.newPage())
            return false;
        painter.save();
        painter.scale(scale, scale);
        painter.translate(-page.body.topLeft());
        paint(painter, copy, n % pages, page);
        painter.restore();
    }
    return painter.end();
}

int ReportDocument::pageCount(const QPageLayout &layout) const
{
    QTextDocument copy;
    rebuild(copy);
    copy.setDocumentMargin(0);
    const QRectF paint = layout.paintRect(QPageLayout::Inch);
    copy.setPageSize(QSizeF(paint.width() * m_dpi, paint.height() * m_dpi));
    return copy.pageCount();
}

bool ReportDocument::writePdf(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    bool painted = false;
    {
        QPdfWriter writer(&file);
        writer.setResolution(600);
        writer.setPageLayout(m_layout);
        writer.setTitle(QStringLiteral("Charge sheet"));
        painted = print(writer);
    }
    if (!painted) {
        file.cancelWriting();
        if (error)
            *error = QStringLiteral("The PDF could not be drawn.");
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace tarnvale
