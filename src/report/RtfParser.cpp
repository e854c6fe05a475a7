#include "RtfParser.h"

#include <QScopeGuard>

#include <algorithm>

#include "Cp1252.h"
#include "RtfDestinations.h"

namespace tarnvale::rtf {

RtfReader::Result RtfParser::run()
{
    m_doc.clear();
    m_cursor = QTextCursor(&m_doc);
    m_container = m_doc.rootFrame(); // clear() made a new one
    if (!m_in.startsWith("{\\rtf")) {
        m_result.error = QStringLiteral("The file is not an RTF document.");
        return m_result;
    }
    m_result.ok = true;
    // One edit: Qt rescans the document's frames after each edit that adds a table cell,
    // which would make a template cost time growing with the square of its tables' rows.
    QTextCursor edit(&m_doc);
    edit.beginEditBlock();
    const auto endEdit = qScopeGuard([&edit] { edit.endEditBlock(); });
    while (!atEnd() && !m_finished) {
        if (m_doc.characterCount() + m_text.size() > RtfReader::kMaxCharacters) {
            note(QStringLiteral("Text beyond the first %1 characters was left out.")
                     .arg(RtfReader::kMaxCharacters));
            break;
        }
        const char c = peek();
        if (skipTooDeep(c))
            continue;
        switch (c) {
        case '{':
            ++m_pos;
            flushBytes();
            pushGroup();
            break;
        case '}':
            ++m_pos;
            flushBytes();
            popGroup();
            break;
        case '\\':
            parseControl();
            break;
        case '\r':
        case '\n':
            ++m_pos;
            break;
        default:
            ++m_pos;
            plainByte(c);
            break;
        }
    }
    flushBytes();
    flushText();
    if (!m_needBlock)
        finishBlock();
    if (m_table && !m_rowDone && (m_cellDone || m_col > 0))
        rowEnd();
    return m_result;
}

bool RtfParser::skipTooDeep(char c)
{
    if (m_overflow <= 0)
        return false;
    ++m_pos;
    if (c == '{')
        ++m_overflow;
    else if (c == '}')
        --m_overflow;
    else if (c == '\\' && !atEnd())
        ++m_pos; // an escaped brace does not count
    return true;
}

void RtfParser::runPart()
{
    while (!atEnd()) {
        const char c = peek();
        if (skipTooDeep(c))
            continue;
        ++m_pos;
        if (c == '{') {
            flushBytes();
            pushGroup();
        } else if (c == '}') {
            flushBytes();
            if (m_stack.size() <= 1)
                break;
            popGroup();
        } else if (c == '\\') {
            --m_pos;
            parseControl();
        } else if (c != '\r' && c != '\n') {
            plainByte(c);
        }
    }
    flushBytes();
    flushText();
    if (!m_needBlock)
        finishBlock();
    if (m_table && !m_rowDone && (m_cellDone || m_col > 0))
        rowEnd();
}

// Where the group the reader stands in closes: the position of its '}', or the end.
qsizetype RtfParser::groupEnd() const
{
    int depth = 1;
    qsizetype i = m_pos;
    while (i < m_end) {
        const char c = m_in.at(i);
        if (c == '\\') {
            qsizetype w = i + 1;
            while (w < m_end && ((m_in.at(w) >= 'a' && m_in.at(w) <= 'z') ||
                                 (m_in.at(w) >= 'A' && m_in.at(w) <= 'Z')))
                ++w;
            if (w == i + 1) {
                i += 2; // a control symbol: an escaped brace does not count
                continue;
            }
            const bool bin = QByteArrayView(m_in).sliced(i + 1, w - i - 1) == "bin";
            qint64 n = 0;
            while (w < m_end && m_in.at(w) >= '0' && m_in.at(w) <= '9') {
                if (n < m_end)
                    n = n * 10 + (m_in.at(w) - '0');
                ++w;
            }
            if (w < m_end && m_in.at(w) == ' ')
                ++w;
            i = bin ? std::min<qint64>(m_end, w + n) : w;
            continue;
        }
        if (c == '{')
            ++depth;
        else if (c == '}' && --depth == 0)
            return i;
        ++i;
    }
    return m_end;
}

void RtfParser::pushGroup()
{
    m_skipChars = 0;
    if (int(m_stack.size()) >= RtfReader::kMaxDepth) {
        m_overflow = 1;
        note(QStringLiteral("Parts nested deeper than %1 levels were left out.")
                 .arg(RtfReader::kMaxDepth));
        return;
    }
    m_stack.push_back(m_state);
    m_starPending = false;
}

void RtfParser::popGroup()
{
    m_skipChars = 0;
    m_starPending = false;
    if (m_stack.empty()) {
        m_finished = true;
        return;
    }
    const Dest closing = m_state.dest;
    const CharState closingChr = m_state.chr;
    m_state = m_stack.back();
    m_stack.pop_back();
    if (closing == Dest::FieldInstruction && m_state.dest != Dest::FieldInstruction)
        fieldInstruction();
    if (closing == Dest::StyleSheet && m_stack.size() <= m_styleSheetDepth && m_styleId >= 0) {
        if (m_style.paragraph && m_tables->styles.size() < 1000)
            m_tables->styles.insert(m_styleId, std::move(m_style));
        m_style = Style();
        m_styleId = -1;
    }
    if (closingChr.pageField && closingChr.field != m_state.chr.field)
        endField(closingChr);
    if (closing == Dest::Picture && m_state.dest != Dest::Picture)
        finishPicture();
    if (closing == Dest::ShapeValue && m_state.dest != Dest::ShapeValue)
        shapeProperty();
    if (closing == Dest::Shape && m_state.dest != Dest::Shape)
        placeShape();
    if (closing == Dest::FontTable && m_state.dest != Dest::FontTable && m_fontId >= 0 &&
        !m_fontName.trimmed().isEmpty()) {
        m_tables->fonts.insert(
            m_fontId, Font{Cp1252::decode(m_fontName.trimmed()), m_fontCharset, m_fontHint});
        m_fontName.clear();
    }
    if (m_stack.empty())
        m_finished = true; // the document's outermost group has closed
}

void RtfParser::parseControl()
{
    ++m_pos; // the backslash
    if (atEnd())
        return;
    const char c = peek();
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter) {
        ++m_pos;
        controlSymbol(c);
        return;
    }
    QByteArray word;
    while (!atEnd()) {
        const char l = peek();
        if (!((l >= 'a' && l <= 'z') || (l >= 'A' && l <= 'Z')))
            break;
        if (word.size() < kMaxWordLength)
            word.append(l);
        ++m_pos;
    }
    bool hasParam = false;
    bool negative = false;
    qint64 value = 0;
    if (!atEnd() && peek() == '-' && m_pos + 1 < m_end && m_in.at(m_pos + 1) >= '0' &&
        m_in.at(m_pos + 1) <= '9') {
        negative = true;
        ++m_pos;
    }
    while (!atEnd() && peek() >= '0' && peek() <= '9') {
        hasParam = true;
        if (value < 1000000000)
            value = value * 10 + (peek() - '0');
        ++m_pos;
    }
    if (!atEnd() && peek() == ' ')
        ++m_pos;
    const int param = int(negative ? -value : value);
    if (word == "bin") {
        flushBytes();
        readBinary(hasParam ? param : 0);
        return;
    }
    flushBytes();
    controlWord(word, hasParam, param);
}

void RtfParser::readBinary(int count)
{
    const qsizetype n = std::clamp<qsizetype>(count, 0, m_end - m_pos);
    if (m_state.dest == Dest::Picture && m_picture.data.size() + n > kMaxPictureBytes)
        m_picture.tooLarge = true;
    else if (m_state.dest == Dest::Picture) {
        m_picture.binary = true;
        m_picture.data.append(m_in.constData() + m_pos, n);
    }
    m_pos += n;
}

void RtfParser::controlSymbol(char c)
{
    if (c == '\'') {
        auto hex = [](char h) -> int {
            if (h >= '0' && h <= '9')
                return h - '0';
            if (h >= 'a' && h <= 'f')
                return h - 'a' + 10;
            if (h >= 'A' && h <= 'F')
                return h - 'A' + 10;
            return -1;
        };
        if (m_pos + 1 < m_end) {
            const int hi = hex(m_in.at(m_pos));
            const int lo = hex(m_in.at(m_pos + 1));
            if (hi >= 0 && lo >= 0) {
                m_pos += 2;
                addByte(char(hi * 16 + lo));
                return;
            }
        }
        return;
    }
    flushBytes();
    if (c == '*') {
        m_starPending = true;
        return;
    }
    switch (c) {
    case '\\':
    case '{':
    case '}':
        plainByte(c);
        return;
    case '\r':
    case '\n':
        controlWord("par", false, 0);
        return;
    case '~':
        addText(QString(QChar(0x00A0)));
        return;
    case '_':
        addText(QString(QChar(0x2011)));
        return;
    case '-':
        addText(QString(QChar(0x00AD)));
        return;
    case '\t':
        addText(QStringLiteral("\t"));
        return;
    default:
        return;
    }
}

namespace {

// Destinations left out entirely, also when they come without \*: the document's metadata, and
// what this reader draws from elsewhere or not at all (headers and footers are read on their
// own, shapes and drawing objects from their picture or text, a nested table as a table rather
// than from the flat copy written for readers without nested tables).
bool isSkippedDestination(const QByteArray &w)
{
    static const QSet<QByteArray> skipped = {"nonesttables", "header",  "headerl", "headerr",
                                             "headerf",      "footer",  "footerl", "footerr",
                                             "footerf",      "shp",     "do",      "object"};
    return isMetadataDestination(QByteArrayView(w)) || skipped.contains(w);
}

} // namespace

bool RtfParser::startDestination(const QByteArray &word)
{
    if (m_state.dest == Dest::Skip)
        return true;
    if (word == "fonttbl") {
        m_state.dest = Dest::FontTable;
        return true;
    }
    if (word == "colortbl") {
        m_state.dest = Dest::ColorTable;
        m_red = m_green = m_blue = -1;
        return true;
    }
    if (word == "pict") {
        flushText();
        if (m_state.dest == Dest::Picture || m_state.chr.invisible()) {
            m_state.dest = Dest::Skip;
        } else {
            m_state.dest = Dest::Picture;
            m_picture = Picture();
            m_picture.at = m_pos;
        }
        return true;
    }
    if (word == "stylesheet") {
        flushText();
        m_state.dest = Dest::StyleSheet;
        m_styleSheetDepth = m_stack.size();
        m_styleId = -1;
        return true;
    }
    if (word == "nesttableprops") // the row's properties, for \nestrow, read as any others
        return true;
    if (word == "fldinst") {
        flushText();
        m_state.dest = Dest::FieldInstruction;
        m_instruction.clear();
        return true;
    }
    if (word == "shppict" || word == "fldrslt" || word == "listtext" || word == "pntext")
        return true; // read as ordinary text of the document
    if (m_state.dest == Dest::Shape) {
        if (word == "shpinst")
            return true;
        if (word == "sp")
            return true;
        if (word == "sn") {
            m_state.dest = Dest::ShapeName;
            m_shape.property.clear();
            return true;
        }
        if (word == "sv") {
            m_state.dest = Dest::ShapeValue;
            m_shape.value.clear();
            return true;
        }
        if (word == "shptxt") {
            startTextBox();
            return true;
        }
        if (word == "shprslt") { // the shape as older readers would show it
            m_state.dest = Dest::Skip;
            return true;
        }
        return false;
    }
    if (m_state.dest == Dest::ShapeValue && word == "pict") {
        m_state.dest = Dest::Picture;
        m_picture = Picture();
        m_picture.at = m_pos;
        return true;
    }
    if (word == "shp") {
        flushText();
        // Shapes stand in the body, a header or a footer (a logo there prints on every page
        // the header does); a text box holds none.
        if (m_inTextBox || m_state.chr.invisible() || m_tables->parts >= RtfReader::kMaxParts) {
            if (m_tables->parts >= RtfReader::kMaxParts)
                note(QStringLiteral("Shapes beyond the first %1 were left out.")
                         .arg(RtfReader::kMaxParts));
            m_state.dest = Dest::Skip;
        } else {
            ++m_tables->parts;
            m_state.dest = Dest::Shape;
            m_shape = Shape();
        }
        return true;
    }
    if (readHeaderOrFooter(word))
        return true;
    if (isSkippedDestination(word)) {
        flushText();
        m_state.dest = Dest::Skip;
        return true;
    }
    return false;
}

void RtfParser::controlWord(const QByteArray &w, bool hasParam, int param)
{
    const bool star = m_starPending;
    m_starPending = false;
    if (m_state.dest == Dest::Skip)
        return;
    if (startDestination(w))
        return;
    if (star) { // an ignorable destination this reader does not know
        flushText();
        m_state.dest = Dest::Skip;
        return;
    }
    if (m_state.dest == Dest::FontTable) {
        fontTableWord(w, hasParam, param);
        return;
    }
    if (m_state.dest == Dest::ColorTable) {
        const int v = std::clamp(param, 0, 255);
        if (w == "red")
            m_red = v;
        else if (w == "green")
            m_green = v;
        else if (w == "blue")
            m_blue = v;
        return;
    }
    if (m_state.dest == Dest::Picture) {
        pictureWord(w, hasParam, param);
        return;
    }
    if (m_state.dest == Dest::StyleSheet) {
        styleWord(w, hasParam, param);
        return;
    }
    if (m_state.dest == Dest::Shape) {
        shapeWord(w, param);
        return;
    }
    if (m_state.dest == Dest::ShapeName || m_state.dest == Dest::ShapeValue ||
        m_state.dest == Dest::FieldInstruction)
        return;

    // A control word ends the fallback characters of a \u.
    if (w != "u")
        m_skipChars = 0;

    // Each family of words in turn; everything else is skipped.
    if (!documentWord(w, hasParam, param) && !characterWord(w, hasParam, param) &&
        !paragraphWord(w, hasParam, param))
        tableWord(w, hasParam, param);
}

} // namespace tarnvale::rtf
