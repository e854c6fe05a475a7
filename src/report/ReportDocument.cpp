#include "ReportDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>
#include <functional>

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

// Qt justifies a line that holds a tab wrongly: the text after the tab is drawn past the
// line's end, by up to the tab's width, and is cut there. A justified paragraph with a tab
// (a label and its value, as templates have them) is set flush left instead, so that what
// the filled-in values made longer wraps.
void unjustifyTabbedParagraphs(QTextDocument &document)
{
    QList<QTextBlock> tabbed;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        if (block.blockFormat().alignment() == Qt::AlignJustify &&
            block.text().contains(QLatin1Char('\t')))
            tabbed.append(block);
    for (const QTextBlock &block : tabbed) {
        QTextBlockFormat format = block.blockFormat();
        format.setAlignment(Qt::AlignLeft);
        QTextCursor(block).setBlockFormat(format);
    }
}

// A value after a right tab that wrapped onto a line of its own stands at its stop, as a
// word processor puts it (Qt starts it at the line's start): the tab moves to the start of
// that line, after a line break. Laid out again where one moved.
void keepWrappedValuesAtTheirStops(QTextDocument &document)
{
    QList<int> positions;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QList<QTextOption::Tab> tabs = block.blockFormat().tabPositions();
        const QString text = block.text();
        if (tabs.isEmpty() || tabs.last().type != QTextOption::RightTab ||
            !text.contains(QLatin1Char('\t')))
            continue;
        document.documentLayout()->blockBoundingRect(block); // lays it out
        const QTextLayout *layout = block.layout();
        for (int n = 1; layout && n < layout->lineCount(); ++n) {
            const QTextLine line = layout->lineAt(n);
            const int start = line.textStart();
            if (start > 0 && text.at(start - 1) == QLatin1Char('\t') &&
                !text.mid(start, line.textLength()).contains(QLatin1Char('\t')))
                positions.append(block.position() + start - 1);
        }
    }
    QTextCursor cursor(&document);
    for (auto it = positions.crbegin(); it != positions.crend(); ++it) {
        cursor.setPosition(*it);
        cursor.setPosition(*it + 1, QTextCursor::KeepAnchor);
        cursor.insertText(QString(QChar::LineSeparator) + QLatin1Char('\t'));
    }
}

// Sets every page field of the document for the page it stands on (pageAt, from a position
// in the document) of `pages`. False when none changed.
bool setPageFields(QTextDocument &document, int pages, const std::function<int(int)> &pageAt)
{
    struct Field
    {
        int start, end, value;
        QTextCharFormat format;
    };
    QList<Field> fields;
    int id = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const int value = format.intProperty(RtfReader::PageField);
            if (!value) {
                id = 0;
                continue;
            }
            const int end = fragment.position() + fragment.length();
            if (format.intProperty(RtfReader::FieldId) == id && !fields.isEmpty())
                fields.last().end = end; // the same field's result goes on
            else
                fields.append({fragment.position(), end, value, format});
            id = format.intProperty(RtfReader::FieldId);
        }
    }
    bool changed = false;
    QTextCursor cursor(&document);
    for (auto it = fields.crbegin(); it != fields.crend(); ++it) {
        const QString text = RtfReader::pageNumberText(it->value, pageAt(it->start), pages);
        cursor.setPosition(it->start);
        cursor.setPosition(it->end, QTextCursor::KeepAnchor);
        if (cursor.selectedText() == text)
            continue;
        cursor.insertText(text, it->format);
        changed = true;
    }
    return changed;
}

// The body's page fields, each for the page it falls on. Numbers of other lengths move
// the text after them: laid out again until the numbers stay (twice at most, in practice).
void setBodyPageFields(QTextDocument &body)
{
    const qreal pageHeight = body.pageSize().height();
    auto pageAt = [&](int position) {
        const QTextBlock block = body.findBlock(position);
        const QRectF rect = body.documentLayout()->blockBoundingRect(block);
        const QTextLayout *layout = block.layout();
        const QTextLine line = layout->lineForTextPosition(position - block.position());
        const qreal y = rect.top() + (line.isValid() ? line.y() - layout->boundingRect().top() : 0);
        // A line at the top of a page may stand a hair above its edge, in Qt's rounding.
        return pageHeight > 0 ? int((y + 1) / pageHeight) + 1 : 1;
    };
    for (int pass = 0; pass < 3; ++pass)
        if (!setPageFields(body, body.pageCount(), pageAt))
            return;
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

ReportDocument::ReportDocument(const Source &source)
    : m_rtf(source.rtf), m_message(source.message), m_layout(source.layout), m_dpi(source.dpi),
      m_pictures(source.pictures)
{
    m_document.setDefaultFont(source.font);
}

ReportDocument::Source ReportDocument::source() const
{
    return Source{m_rtf, m_message, m_layout, m_dpi, m_document.defaultFont(), m_pictures};
}

bool ReportDocument::setRtf(const QByteArray &rtf)
{
    m_rtf = rtf;
    m_message.clear();
    m_pictures.clear();
    // A document that has a layout lays itself out again after every piece the reader adds,
    // which makes reading a table or a long line grow with the square of its size: it is
    // read with none and gets a fresh one, laid out once, when it is whole.
    m_document.setDocumentLayout(nullptr); // deletes the old one
    const RtfReader::Result result = RtfReader::read(rtf, m_document, m_dpi, &m_pictures);
    m_notes = result.notes;
    m_parts = result;
    if (!result.ok) {
        m_rtf.clear();
        m_message = plainText(rtf);
        m_document.setPlainText(m_message);
        m_layout = RtfReader::Result().pageLayout();
        m_parts = RtfReader::Result();
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
    m_pictures.clear();
    m_notes.clear();
    m_parts = RtfReader::Result();
    m_message = line;
    m_document.setPlainText(line);
    m_layout = RtfReader::Result().pageLayout();
    layOut();
}

ReportDocument::Sheet ReportDocument::sheet(const QPageLayout &layout) const
{
    // The margins, also of a device that paints its whole sheet (a print preview).
    const QRectF paper = layout.fullRect(QPageLayout::Inch);
    const QRectF paint = paper.marginsRemoved(layout.margins(QPageLayout::Inch));
    return Sheet{QSizeF(paper.width() * m_dpi, paper.height() * m_dpi),
                 QRectF(paint.left() * m_dpi, paint.top() * m_dpi, paint.width() * m_dpi,
                        paint.height() * m_dpi)};
}

// The shown document is laid out page by page for its own sheet, once: a view only paints
// the pages it shows.
void ReportDocument::layOut()
{
    m_document.setDocumentMargin(0);
    unjustifyTabbedParagraphs(m_document);
    m_document.setPageSize(sheet(m_layout).body.size());
    keepWrappedValuesAtTheirStops(m_document);
    setBodyPageFields(m_document);
}

QSizeF ReportDocument::paperSize() const
{
    return sheet(m_layout).paper;
}

void ReportDocument::paintPage(QPainter &painter, int page) const
{
    paint(painter, const_cast<QTextDocument &>(m_document), m_parts, page, sheet(m_layout));
}

namespace {

// What the text layout does not draw itself: paragraph borders, dot leaders before a tab and
// the second line of a double underline. `view` is the part of the document on the page.
void drawDecorations(QPainter &painter, const QTextDocument &document, const QRectF &view)
{
    const QAbstractTextDocumentLayout *layout = document.documentLayout();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout *text = block.layout();
        if (!text || text->lineCount() == 0)
            continue;
        const QTextBlockFormat format = block.blockFormat();
        const bool leaders = format.hasProperty(RtfReader::LeaderTabs);
        bool doubled = false;
        for (auto it = block.begin(); !it.atEnd() && !doubled; ++it)
            doubled = it.fragment().charFormat().hasProperty(RtfReader::DoubleUnderline);
        const bool borders = format.hasProperty(RtfReader::BorderTop) ||
                             format.hasProperty(RtfReader::BorderBottom) ||
                             format.hasProperty(RtfReader::BorderLeft) ||
                             format.hasProperty(RtfReader::BorderRight);
        if (!leaders && !doubled && !borders)
            continue;
        const QRectF bounds = layout->blockBoundingRect(block);
        if (!bounds.intersects(view))
            continue;
        const QPointF origin = bounds.topLeft() - text->boundingRect().topLeft();
        const QTextLine first = text->lineAt(0);
        const QTextLine last = text->lineAt(text->lineCount() - 1);
        if (borders) {
            const qreal left = origin.x() + last.x();
            const qreal right = left + last.width();
            const qreal top = origin.y() + first.y() - 2;
            const qreal bottom = origin.y() + last.y() + last.height() + 2;
            auto line = [&](int property, QLineF where) {
                if (!format.hasProperty(property))
                    return;
                painter.setPen(format.property(property).value<QPen>());
                painter.drawLine(where);
            };
            line(RtfReader::BorderTop, QLineF(left, top, right, top));
            line(RtfReader::BorderBottom, QLineF(left, bottom, right, bottom));
            line(RtfReader::BorderLeft, QLineF(left, top, left, bottom));
            line(RtfReader::BorderRight, QLineF(right, top, right, bottom));
        }
        const QString chars = block.text();
        for (int n = 0; n < text->lineCount(); ++n) {
            const QTextLine line = text->lineAt(n);
            const qreal baseline = origin.y() + line.y() + line.ascent();
            if (leaders) {
                painter.setPen(QPen(Qt::black, 1.0, Qt::SolidLine, Qt::RoundCap));
                const int end = line.textStart() + line.textLength();
                for (int i = line.textStart(); i < end && i < chars.size(); ++i) {
                    if (chars.at(i) != QLatin1Char('\t'))
                        continue;
                    const qreal from = origin.x() + line.cursorToX(i) + 3;
                    const qreal to = origin.x() + line.cursorToX(i + 1) - 3;
                    if (to - from < 6)
                        continue; // a tab at the end of a line leads to nothing
                    for (qreal x = from; x <= to; x += 4)
                        painter.drawPoint(QPointF(x, baseline));
                }
            }
            if (doubled) {
                for (auto it = block.begin(); !it.atEnd(); ++it) {
                    const QTextFragment fragment = it.fragment();
                    const QTextCharFormat f = fragment.charFormat();
                    if (!f.hasProperty(RtfReader::DoubleUnderline))
                        continue;
                    const int start =
                        std::max(fragment.position() - block.position(), line.textStart());
                    const int end = std::min(fragment.position() - block.position() +
                                                 fragment.length(),
                                             line.textStart() + line.textLength());
                    if (start >= end || chars.mid(start, end - start).trimmed().isEmpty())
                        continue; // a tab or blank left at the end of a line is not underlined
                    const QFontMetricsF metrics(f.font());
                    const qreal width = std::max(0.5, metrics.lineWidth());
                    const qreal y = baseline + metrics.underlinePos() + 2 * width + 0.5;
                    painter.setPen(QPen(f.foreground().style() == Qt::NoBrush
                                            ? QColor(Qt::black)
                                            : f.foreground().color(),
                                        width));
                    painter.drawLine(QLineF(origin.x() + line.cursorToX(start), y,
                                            origin.x() + line.cursorToX(end), y));
                }
            }
        }
    }
}

// A header or footer, laid out to the width of the text, its top-left at the painter's origin.
void drawPart(QPainter &painter, QTextDocument &part, qreal width)
{
    part.setDocumentMargin(0);
    part.setTextWidth(width);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    part.documentLayout()->draw(&painter, context);
    drawDecorations(painter, part, QRectF(QPointF(0, 0), part.size()));
}

} // namespace

void ReportDocument::paint(QPainter &painter, QTextDocument &body, const RtfReader::Result &parts,
                           int page, const Sheet &sheet) const
{
    const qreal pxPerTwip = m_dpi / 1440.0;
    const bool first = page == 0 && parts.titlePage;
    const int pages = body.pageCount();
    const auto onThisPage = [page](int) { return page + 1; };
    if (QTextDocument *header = first ? parts.firstHeader.get() : parts.header.get()) {
        setPageFields(*header, pages, onThisPage);
        painter.save();
        painter.translate(sheet.body.left(), parts.headerTwips * pxPerTwip);
        drawPart(painter, *header, sheet.body.width());
        painter.restore();
    }
    if (QTextDocument *footer = first ? parts.firstFooter.get() : parts.footer.get()) {
        setPageFields(*footer, pages, onThisPage);
        footer->setTextWidth(sheet.body.width());
        painter.save();
        painter.translate(sheet.body.left(), sheet.paper.height() -
                                                 parts.footerTwips * pxPerTwip -
                                                 footer->size().height());
        drawPart(painter, *footer, sheet.body.width());
        painter.restore();
    }
    const QSizeF size = sheet.body.size();
    // The page's share of the document, cut above and below but not at the side margins:
    // what still does not fit the text's width shows in the margin rather than being cut.
    const QRectF view(-sheet.body.left(), page * size.height(), sheet.paper.width(), size.height());
    painter.save();
    painter.translate(sheet.body.left(), sheet.body.top() - view.top());
    painter.setClipRect(view, Qt::IntersectClip);
    QAbstractTextDocumentLayout::PaintContext context;
    // A line moved to the next page may stand a hair above its edge: drawn here, cut away,
    // it would still be in a PDF's text.
    context.clip = view.adjusted(0, 1, 0, -1);
    context.palette.setColor(QPalette::Text, Qt::black);
    body.documentLayout()->draw(&painter, context);
    drawDecorations(painter, body, view);
    painter.restore();
}

RtfReader::Result ReportDocument::rebuild(QTextDocument &target) const
{
    if (!m_rtf.isEmpty())
        return RtfReader::read(m_rtf, target, m_dpi, &m_pictures);
    target.setPlainText(m_message);
    return RtfReader::Result();
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

bool ReportDocument::print(QPagedPaintDevice &device, int copies, const QPageRanges &pages,
                           const Progress &progress) const
{
    // A fresh copy laid out for this device's page; the shown document is not touched.
    const QPageLayout layout = device.pageLayout();
    const Sheet page = sheet(layout);
    if (page.body.width() <= 0 || page.body.height() <= 0)
        return false;
    if (progress && !progress(0, 0))
        return false;
    QTextDocument copy;
    copy.setDefaultFont(m_document.defaultFont());
    const RtfReader::Result parts = rebuild(copy);
    copy.setDocumentMargin(0);
    unjustifyTabbedParagraphs(copy);
    copy.setPageSize(page.body.size());
    keepWrappedValuesAtTheirStops(copy);
    setBodyPageFields(copy);
    const QList<int> chosen = pagesToPrint(std::max(1, copy.pageCount()), pages);
    const int total = int(chosen.size()) * std::max(1, copies);
    if (chosen.isEmpty())
        return true;
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    // The painter starts at the device's paint rectangle (the sheet's corner when it paints
    // its whole sheet); pages are drawn from the sheet's corner, in the document's pixels.
    const bool fullPage = layout.mode() == QPageLayout::FullPageMode;
    const qreal scale = device.width() / (fullPage ? page.paper.width() : page.body.width());
    for (int n = 0; n < total; ++n) {
        const int i = chosen.at(n % chosen.size()) - 1;
        if (n > 0 && !device.newPage())
            return false;
        painter.save();
        painter.scale(scale, scale);
        if (!fullPage)
            painter.translate(-page.body.topLeft());
        paint(painter, copy, parts, i, page);
        painter.restore();
        if (progress && !progress(n + 1, total)) {
            painter.end();
            return false;
        }
    }
    return painter.end();
}

int ReportDocument::pageCount(const QPageLayout &layout) const
{
    QTextDocument copy;
    rebuild(copy);
    copy.setDocumentMargin(0);
    unjustifyTabbedParagraphs(copy);
    copy.setPageSize(sheet(layout).body.size());
    keepWrappedValuesAtTheirStops(copy);
    return copy.pageCount();
}

bool ReportDocument::writePdf(const QString &path, QString *error, const Progress &progress) const
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
        painted = print(writer, 1, {}, progress);
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
