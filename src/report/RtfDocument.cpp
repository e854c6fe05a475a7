#include "RtfParser.h"

#include <QBuffer>
#include <QImageReader>
#include <QUrl>

#include <algorithm>
#include <memory>

#include "Cp1252.h"

namespace tarnvale::rtf {

// Words about the whole document: its code page, default font and tab, page and margins.
bool RtfParser::documentWord(const QByteArray &w, bool hasParam, int param)
{
    CharState &c = m_state.chr;
    const bool on = !hasParam || param != 0;
    if (w == "ansicpg") {
        m_codePage = param;
    } else if (w == "deff") {
        m_tables->defaultFont = param;
        c.font = param;
    } else if (w == "deftab") {
        if (param > 0) {
            QTextOption option = m_doc.defaultTextOption();
            option.setTabStopDistance(std::min(px(param), 10000.0));
            m_doc.setDefaultTextOption(option);
        }
    } else if (w == "paperw" || w == "pgwsxn") {
        m_result.paperTwips.setWidth(param);
    } else if (w == "paperh" || w == "pghsxn") {
        m_result.paperTwips.setHeight(param);
    } else if (w == "margl" || w == "marglsxn") {
        m_result.marginTwips.setLeft(param);
    } else if (w == "margr" || w == "margrsxn") {
        m_result.marginTwips.setRight(param);
    } else if (w == "margt" || w == "margtsxn") {
        m_result.marginTwips.setTop(param);
    } else if (w == "margb" || w == "margbsxn") {
        m_result.marginTwips.setBottom(param);
    } else if (w == "headery") {
        m_result.headerTwips = std::clamp(param, 0, 14400);
    } else if (w == "footery") {
        m_result.footerTwips = std::clamp(param, 0, 14400);
    } else if (w == "titlepg") {
        m_result.titlePage = on;
    } else {
        return false;
    }
    return true;
}

void RtfParser::fontTableWord(const QByteArray &w, bool, int param)
{
    if (w == "f") {
        if (m_fontId >= 0 && !m_fontName.trimmed().isEmpty())
            m_tables->fonts.insert(
                m_fontId, Font{Cp1252::decode(m_fontName.trimmed()), m_fontCharset, m_fontHint});
        m_fontId = param;
        m_fontCharset = -1;
        m_fontHint = QFont::AnyStyle;
        m_fontName.clear();
    } else if (w == "fcharset") {
        m_fontCharset = param;
    } else if (w == "fswiss") {
        m_fontHint = QFont::SansSerif;
    } else if (w == "froman") {
        m_fontHint = QFont::Serif;
    } else if (w == "fmodern") {
        m_fontHint = QFont::Monospace;
    } else if (w == "fscript") {
        m_fontHint = QFont::Cursive;
    } else if (w == "fdecor") {
        m_fontHint = QFont::Decorative;
    }
}

void RtfParser::pictureWord(const QByteArray &w, bool, int param)
{
    if (w == "pngblip")
        m_picture.kind = Picture::Png;
    else if (w == "jpegblip")
        m_picture.kind = Picture::Jpeg;
    else if (w == "picwgoal")
        m_picture.goalWidth = std::max(0, param);
    else if (w == "pichgoal")
        m_picture.goalHeight = std::max(0, param);
    else if (w == "picscalex")
        m_picture.scaleX = std::clamp(param, 1, 1000);
    else if (w == "picscaley")
        m_picture.scaleY = std::clamp(param, 1, 1000);
}

void RtfParser::finishPicture()
{
    Picture picture = std::move(m_picture);
    m_picture = Picture();
    if (picture.kind == Picture::Unknown || m_state.chr.invisible())
        return;
    if (picture.tooLarge) {
        note(QStringLiteral("A picture was left out: pictures of more than %1 MB are not shown.")
                 .arg(kMaxPictureBytes / (1024 * 1024)));
        return;
    }
    if (picture.data.isEmpty())
        return;
    QBuffer buffer(&picture.data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, picture.kind == Picture::Png ? "PNG" : "JPEG");
    const QSize pixels = reader.size(); // from the header, before anything is decoded
    if (pixels.isEmpty())
        return;
    const qint64 count = qint64(pixels.width()) * pixels.height();
    if (count > RtfReader::kMaxPicturePixels) {
        note(QStringLiteral("A picture of %1 x %2 pixels was left out: pictures of more than "
                            "%3 million pixels are not shown.")
                 .arg(pixels.width())
                 .arg(pixels.height())
                 .arg(RtfReader::kMaxPicturePixels / 1000000));
        return;
    }
    if (m_tables->decodedPixels + count > RtfReader::kMaxDocumentPixels) {
        note(QStringLiteral("Pictures were left out: the pictures of a document may have "
                            "%1 million pixels in all.")
                 .arg(RtfReader::kMaxDocumentPixels / 1000000));
        return;
    }
    m_tables->decodedPixels += count;
    qreal width = picture.goalWidth > 0 ? picture.goalWidth * m_pxPerTwip
                                        : pixels.width() * m_pxPerTwip * 15.0;
    qreal height = picture.goalHeight > 0 ? picture.goalHeight * m_pxPerTwip
                                          : pixels.height() * m_pxPerTwip * 15.0;
    width = std::min(width * picture.scaleX / 100.0, 20000.0);
    height = std::min(height * picture.scaleY / 100.0, 20000.0);
    // Kept at no more than print resolution for the size it is shown at: a large photo
    // placed as a small logo costs the memory of the logo, in the document and in a PDF.
    const qreal dotsPerPixel = RtfReader::kPictureDpi / (m_pxPerTwip * 1440.0);
    const QSize wanted(std::max(1, qCeil(width * dotsPerPixel)),
                       std::max(1, qCeil(height * dotsPerPixel)));
    if (wanted.width() < pixels.width() || wanted.height() < pixels.height())
        reader.setScaledSize(pixels.scaled(wanted, Qt::KeepAspectRatio));
    // Read again (to print, or for another page size), the template's pictures are not
    // decoded again.
    QImage image = m_pictureCache ? m_pictureCache->value(picture.at) : QImage();
    if (image.isNull() && (!reader.read(&image) || image.isNull()))
        return;
    if (m_pictureCache)
        m_pictureCache->insert(picture.at, image);
    if (m_state.dest == Dest::ShapeValue) {
        if (m_shape.property == "pib") { // the shape's picture; others fill or outline it
            m_shape.image = image;
            m_shape.imageSize = QSizeF(width, height);
        }
        return;
    }
    const QString name = QStringLiteral("rtfpicture:%1").arg(++m_tables->pictures);
    m_doc.addResource(QTextDocument::ImageResource, QUrl(name), QVariant(image));
    QTextImageFormat format;
    format.setName(name);
    format.setWidth(width);
    format.setHeight(height);
    flushText();
    prepareContent();
    m_cursor.insertImage(format);
    ++m_result.pictures;
}

bool RtfParser::readHeaderOrFooter(const QByteArray &word)
{
    static const QSet<QByteArray> parts = {"header", "headerr", "headerf", "headerl",
                                           "footer", "footerr", "footerf", "footerl"};
    if (!parts.contains(word))
        return false;
    flushText();
    m_state.dest = Dest::Skip; // the main document reads over it
    // Left-page parts belong to facing pages, which a charge sheet does not have.
    if (m_nested || word.endsWith('l') || m_tables->parts >= RtfReader::kMaxParts)
        return true;
    ++m_tables->parts;
    const qsizetype end = groupEnd();
    auto part = std::make_shared<QTextDocument>();
    part->setDefaultFont(m_doc.defaultFont());
    part->setDocumentMargin(0);
    RtfParser reader(*this, m_pos, end, *part, QTextCursor(part.get()), part->rootFrame());
    reader.runPart();
    m_result.notes = reader.m_result.notes;
    m_result.pictures = reader.m_result.pictures;
    m_result.tables = reader.m_result.tables;
    m_pos = end;
    const bool first = word.endsWith('f');
    if (word.startsWith("header"))
        (first ? m_result.firstHeader : m_result.header) = part;
    else
        (first ? m_result.firstFooter : m_result.footer) = part;
    return true;
}

void RtfParser::shapeWord(const QByteArray &w, int param)
{
    if (w == "shpleft")
        m_shape.left = param;
    else if (w == "shptop")
        m_shape.top = param;
    else if (w == "shpright")
        m_shape.right = param;
    else if (w == "shpbottom")
        m_shape.bottom = param;
    else if (w == "shpbxpage")
        m_shape.relH = 1;
    else if (w == "shpbxmargin")
        m_shape.relH = 0;
    else if (w == "shpbxcolumn")
        m_shape.relH = 2;
    else if (w == "shpbypage" || w == "shpbymargin")
        m_shape.byPage = true;
    else if (w == "shpbypara")
        m_shape.byPage = false;
}

// A shape property ({\sp{\sn name}{\sv value}}) that tells where the shape stands or how
// it is drawn.
void RtfParser::shapeProperty()
{
    bool ok = false;
    const int value = m_shape.value.trimmed().toInt(&ok);
    if (!ok)
        return;
    if (m_shape.property == "posrelh")
        m_shape.relH = value;
    else if (m_shape.property == "posrelv")
        m_shape.byPage = value == 0 || value == 1;
    else if (m_shape.property == "fLine")
        m_shape.line = value != 0 ? 1 : 0;
    else if (m_shape.property == "fFilled")
        m_shape.fill = value != 0 ? 1 : 0;
    else if (m_shape.property == "fillColor")
        m_shape.fillColor = value;
    else if (m_shape.property == "lineColor")
        m_shape.lineColor = value;
    else if (m_shape.property == "lineWidth") {
        m_shape.lineWidth = std::clamp(value, 0, 12700 * 20);
        m_shape.lineWidthGiven = true;
    }
}

qreal RtfParser::textWidth() const
{
    const QSizeF paper = m_result.paperTwips;
    const QMarginsF margins = m_result.marginTwips;
    return std::max(px(1440), px(int(paper.width() - margins.left() - margins.right())));
}

// A frame for a shape at the start of the paragraph it is anchored to, floating to the side
// of the text area it stands nearer to, at its distance from that side; the text flows
// around it, so the shape never covers text.
QTextFrame *RtfParser::insertShapeFrame(qreal width, qreal height)
{
    flushText();
    prepareContent();
    const qreal area = textWidth();
    qreal left = px(m_shape.left);
    if (m_shape.relH == 1) // from the page's edge
        left -= px(int(m_result.marginTwips.left()));
    const qreal right = left + width;
    QTextFrameFormat format;
    format.setWidth(width);
    if (height > 0)
        format.setHeight(height);
    format.setBorder(0);
    format.setPadding(0);
    format.setMargin(0);
    format.setTopMargin(m_shape.byPage ? 0 : std::max(0.0, px(m_shape.top)));
    if ((left + right) / 2 > area / 2) {
        format.setPosition(QTextFrameFormat::FloatRight);
        format.setRightMargin(std::clamp(area - right, 0.0, area));
        format.setLeftMargin(px(144));
    } else {
        format.setPosition(QTextFrameFormat::FloatLeft);
        format.setLeftMargin(std::clamp(left, 0.0, area));
        format.setRightMargin(px(144));
    }
    QTextCursor at(m_cursor);
    at.movePosition(QTextCursor::StartOfBlock);
    const int offset = m_cursor.positionInBlock();
    QTextFrame *frame = at.insertFrame(format);
    // The paragraph goes on after the frame, where it had got to.
    m_cursor.setPosition(frame->lastPosition() + 1 + offset);
    return frame;
}

void RtfParser::startTextBox()
{
    m_state.dest = Dest::Skip; // the main document reads over the box's text
    const qsizetype end = groupEnd();
    const qreal width = std::clamp(px(m_shape.right - m_shape.left), px(144), textWidth());
    const qreal height = std::max(0.0, px(m_shape.bottom - m_shape.top));
    QTextFrame *frame = insertShapeFrame(width, 0);
    QTextFrameFormat format = frame->frameFormat();
    format.setProperty(QTextFormat::FrameHeight, QTextLength(QTextLength::FixedLength, height));
    auto rgb = [](int bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); };
    // Drawn as the word processor shows the box: an outline when one is asked for, a fill
    // when a colour is given and filling is not switched off.
    if (m_shape.fillColor >= 0 && m_shape.fill != 0)
        format.setBackground(rgb(m_shape.fillColor));
    if ((m_shape.line == 1 || (m_shape.line < 0 && m_shape.lineWidthGiven)) &&
        m_shape.lineWidth > 0) {
        const int bgr = m_shape.lineColor;
        format.setBorder(std::max(0.5, m_shape.lineWidth / 12700.0 * 20 * m_pxPerTwip));
        format.setBorderBrush(bgr >= 0 ? rgb(bgr) : QColor(Qt::black));
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    }
    format.setPadding(px(72));
    frame->setFrameFormat(format);
    RtfParser reader(*this, m_pos, end, m_doc, frame->firstCursorPosition(), frame);
    reader.m_inTextBox = true;
    reader.runPart();
    m_result.notes = reader.m_result.notes;
    m_result.pictures = reader.m_result.pictures;
    m_result.tables = reader.m_result.tables;
    m_shape.frame = frame;
    m_pos = end;
}

void RtfParser::placeShape()
{
    Shape shape = std::move(m_shape);
    m_shape = Shape();
    if (shape.frame || shape.image.isNull())
        return; // a text box is in place already; a shape of lines only is not drawn
    qreal width = px(shape.right - shape.left);
    qreal height = px(shape.bottom - shape.top);
    if (width <= 0 || height <= 0) {
        width = shape.imageSize.width();
        height = shape.imageSize.height();
    }
    width = std::clamp(width, 1.0, textWidth());
    height = std::clamp(height, 1.0, 20000.0);
    const QString name = QStringLiteral("rtfpicture:%1").arg(++m_tables->pictures);
    m_doc.addResource(QTextDocument::ImageResource, QUrl(name), QVariant(shape.image));
    QTextImageFormat image;
    image.setName(name);
    image.setWidth(width);
    image.setHeight(height);
    ++m_result.pictures;
    // Anchored to a character right where it stands: it goes with the text.
    if (shape.relH == 3 && std::abs(shape.left) < 144) {
        flushText();
        prepareContent();
        m_cursor.insertImage(image);
        return;
    }
    m_shape = shape;
    QTextFrame *frame = insertShapeFrame(width, height);
    m_shape = Shape();
    frame->firstCursorPosition().insertImage(image);
}

} // namespace tarnvale::rtf
