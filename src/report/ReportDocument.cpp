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

ReportDocument::ReportDocument()
    : m_layout(RtfReader::Result().pageLayout()), m_dpi(RtfReader::defaultDpi())
{
}

bool ReportDocument::setRtf(const QByteArray &rtf)
{
    m_rtf = rtf;
    m_message.clear();
    const RtfReader::Result result = RtfReader::read(rtf, m_document, m_dpi);
    if (!result.ok) {
        m_rtf.clear();
        m_message = plainText(rtf);
        m_document.setPlainText(m_message);
        m_layout = RtfReader::Result().pageLayout();
        return false;
    }
    m_layout = result.pageLayout();
    return true;
}

void ReportDocument::setMessage(const QString &line)
{
    m_rtf.clear();
    m_message = line;
    m_document.setPlainText(line);
    m_layout = RtfReader::Result().pageLayout();
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

QList<int> ReportDocument::pagesToPrint(int pageCount, const QPageRanges &pages)
{
    QList<int> out;
    for (int page = 1; page <= pageCount; ++page)
        if (pages.isEmpty() || pages.contains(page))
            out.append(page);
    return out;
}

bool ReportDocument::print(QPagedPaintDevice &device, int copies, const QPageRanges &pages) const
{
    // A fresh copy laid out page by page for this device; the shown document is not touched.
    QTextDocument copy;
    rebuild(copy);
    copy.setDocumentMargin(0);
    const QRectF paint = device.pageLayout().paintRect(QPageLayout::Inch);
    if (paint.width() <= 0 || paint.height() <= 0)
        return false;
    const QSizeF page(paint.width() * m_dpi, paint.height() * m_dpi);
    copy.setPageSize(page);
    const QList<int> chosen = pagesToPrint(std::max(1, copy.pageCount()), pages);
    if (chosen.isEmpty())
        return true;
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    QAbstractTextDocumentLayout *layout = copy.documentLayout();
    const qreal scaleX = device.width() / page.width();
    const qreal scaleY = device.height() / page.height();
    for (int n = 0; n < chosen.size() * std::max(1, copies); ++n) {
        const int i = chosen.at(n % chosen.size()) - 1;
        if (n > 0 && !device.newPage())
            return false;
        const QRectF view(0, i * page.height(), page.width(), page.height());
        painter.save();
        painter.scale(scaleX, scaleY);
        painter.translate(0, -view.top());
        painter.setClipRect(view);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = view;
        context.palette.setColor(QPalette::Text, Qt::black);
        layout->draw(&painter, context);
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
