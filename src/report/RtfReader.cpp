#include "RtfReader.h"

#include <QColor>
#include <QGuiApplication>
#include <QHash>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QtMath>
#include <QList>
#include <QScreen>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <array>
#include <vector>

#include "Cp1252.h"

namespace tarnvale {

namespace {

constexpr int kMaxWordLength = 32;
constexpr qsizetype kMaxPictureBytes = 32 * 1024 * 1024;

enum class Dest { Text, Skip, FontTable, ColorTable, Picture, Shape, ShapeName, ShapeValue };

struct Border
{
    bool on = false;
    int width = 10; // twips
    int color = 0;
};

enum Side { Top, Left, Bottom, Right };

struct CharState
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool doubleUnderline = false;
    bool strike = false;
    bool hidden = false;
    bool deleted = false;
    bool caps = false;
    bool smallCaps = false;
    int vertical = 0; // 0 baseline, 1 superscript, 2 subscript
    int font = -1;
    int halfPoints = 24;
    int color = 0;      // index into the colour table; 0 is "automatic"
    int background = 0; // likewise

    bool invisible() const { return hidden || deleted; }
    friend bool operator==(const CharState &, const CharState &) = default;
};

struct ParaState
{
    Qt::Alignment align = Qt::AlignLeft;
    int left = 0, right = 0, first = 0, before = 0, after = 0, line = 0;
    bool lineMultiple = false;
    bool pageBreakBefore = false;
    bool inTable = false;
    QList<QTextOption::Tab> tabs;
    QTextOption::TabType nextTabType = QTextOption::LeftTab;
    QList<qreal> leaderTabs; // tab stops (RTF twips) with a dot leader
    bool nextLeader = false;
    int shading = 0;
    std::array<Border, 4> borders;
    int borderSpace = 0;
};

struct GroupState
{
    CharState chr;
    ParaState para;
    Dest dest = Dest::Text;
    int uc = 1;
};

struct CellDef
{
    int right = 0;
    std::array<Border, 4> borders;
    bool ownBorders = false;
    int shading = 0;        // colour index
    int shadingPercent = 0; // hundredths of a percent
    Qt::Alignment vertical = Qt::AlignTop;
    bool mergedIntoPrevious = false;
    int padLeft = -1, padRight = -1, padTop = -1, padBottom = -1;
};

struct RowDef
{
    std::vector<CellDef> cells;
    CellDef pending;
    std::array<Border, 4> rowBorders;
    int gap = 0;
    int left = 0;
    int padLeft = -1, padRight = -1, padTop = -1, padBottom = -1;
    Qt::Alignment align = Qt::AlignLeft;
};

struct Font
{
    QString name;
    int charset = -1;
    QFont::StyleHint hint = QFont::AnyStyle; // stands in when the named font is not installed
};

// What every part of a document shares: its fonts and colours.
struct Tables
{
    QHash<int, Font> fonts;
    std::vector<QColor> colors;
    int defaultFont = -1;
    int pictures = 0;         // names the pictures of the document apart
    qint64 decodedPixels = 0; // of every picture decoded so far
};

// A shape anchored to a paragraph or a character: a picture or a text box.
struct Shape
{
    int left = 0, top = 0, right = 0, bottom = 0; // twips
    int relH = -1;                                 // 0 margin, 1 page, 2 column, 3 character
    bool byPage = false;
    int line = -1;      // fLine: -1 when not given
    bool lineWidthGiven = false;
    int fill = -1;      // fFilled: -1 when not given
    int fillColor = -1; // 0xBBGGRR
    int lineColor = -1; // 0xBBGGRR
    int lineWidth = 9525; // EMU
    QByteArray property;
    QByteArray value;
    QImage image;
    QSizeF imageSize;
    QTextFrame *frame = nullptr;
};

struct Picture
{
    enum Kind { Unknown, Png, Jpeg } kind = Unknown;
    int goalWidth = 0, goalHeight = 0; // twips
    int scaleX = 100, scaleY = 100;
    QByteArray data;
    bool binary = false;
    int nibble = -1;
};

class Parser
{
  public:
    Parser(const QByteArray &rtf, QTextDocument &doc, qreal dpi)
        : m_in(rtf), m_end(rtf.size()), m_doc(doc), m_cursor(&doc), m_pxPerTwip(dpi / 1440.0),
          m_container(doc.rootFrame())
    {
    }
    // A part of the document (a header, a text box) read from the bytes [from, to) into
    // `cursor`, with the fonts and colours of the document around it.
    Parser(const Parser &outer, qsizetype from, qsizetype to, QTextDocument &doc,
           const QTextCursor &cursor, QTextFrame *container)
        : m_in(outer.m_in), m_pos(from), m_end(to), m_doc(doc), m_cursor(cursor),
          m_pxPerTwip(outer.m_pxPerTwip), m_container(container), m_tables(outer.m_tables),
          m_nested(true), m_result(outer.m_result)
    {
        m_stack.push_back(m_state); // the group the part stands in
        m_state.chr.font = m_tables->defaultFont;
    }

    RtfReader::Result run();
    void runPart();

  private:
    // Input
    bool atEnd() const { return m_pos >= m_end; }
    char peek() const { return m_in.at(m_pos); }
    void parseControl();
    void controlSymbol(char c);
    void controlWord(const QByteArray &word, bool hasParam, int param);
    void pushGroup();
    void popGroup();

    // Destinations
    bool startDestination(const QByteArray &word);
    void fontTableWord(const QByteArray &word, bool hasParam, int param);
    void pictureWord(const QByteArray &word, bool hasParam, int param);
    void finishPicture();
    void readBinary(int count);
    void plainByte(char c);

    // Text
    void addByte(char c);
    void flushBytes();
    void addText(const QString &text);
    void flushText();
    QTextCharFormat charFormat(const CharState &state) const;
    QTextBlockFormat blockFormat() const;
    QString decodeBytes(const QByteArray &bytes) const;

    // Parts
    qsizetype groupEnd() const;
    bool readHeaderOrFooter(const QByteArray &word);
    void shapeWord(const QByteArray &word, int param);
    void shapeProperty();
    void startTextBox();
    QTextFrame *insertShapeFrame(qreal width, qreal height);
    void placeShape();
    qreal textWidth() const;
    bool isSymbolFont(int font) const;
    QString symbolText(const QString &text) const;

    // Structure
    void prepareContent();
    void endParagraph();
    void finishBlock();
    void cellEnd();
    bool tablesFull();
    void rowEnd();
    void startTable();
    void endTable();
    void enterCellForContent();
    void appendColumn();
    void formatRow();
    Border *borderTarget();
    qreal px(int twips) const { return twips * m_pxPerTwip; }
    QColor color(int index) const;
    void note(const QString &text)
    {
        if (!m_result.notes.contains(text))
            m_result.notes.append(text);
    }

    const QByteArray &m_in;
    qsizetype m_pos = 0;
    qsizetype m_end;
    QTextDocument &m_doc;
    QTextCursor m_cursor;
    qreal m_pxPerTwip;
    QTextFrame *m_container; // where the text goes: the document, or a text box
    Tables m_ownTables;
    Tables *m_tables = &m_ownTables;
    bool m_nested = false;
    RtfReader::Result m_result;
    Shape m_shape;
    int m_parts = 0; // headers, footers and shapes read so far

    GroupState m_state;
    std::vector<GroupState> m_stack;
    int m_overflow = 0; // groups opened beyond the depth limit, read over
    bool m_finished = false;
    bool m_starPending = false;
    int m_skipChars = 0;

    int m_fontId = -1;
    int m_fontCharset = -1;
    QFont::StyleHint m_fontHint = QFont::AnyStyle;
    QByteArray m_fontName;
    int m_red = -1, m_green = -1, m_blue = -1;
    int m_codePage = 1252;

    QByteArray m_bytes;
    QString m_text;
    CharState m_textState;

    bool m_needBlock = false;
    bool m_pageBreakNext = false;

    Picture m_picture;

    RowDef m_rowDef;
    enum class BorderTarget { None, Cell, Row, Para } m_borderKind = BorderTarget::None;
    Side m_borderSide = Top;
    QTextTable *m_table = nullptr;
    int m_row = 0;
    int m_col = 0;
    bool m_cellDone = false;
    bool m_rowDone = false;
    int m_widestRow = 0;
    int m_cells = 0; // cell marks read, in every table of the document
    QSet<int> m_tableBounds; // the right edges of the cells of the table's rows so far
};

RtfReader::Result Parser::run()
{
    m_doc.clear();
    m_cursor = QTextCursor(&m_doc);
    m_container = m_doc.rootFrame(); // clear() made a new one
    if (!m_in.startsWith("{\\rtf")) {
        m_result.error = QStringLiteral("The file is not an RTF document.");
        return m_result;
    }
    m_result.ok = true;
    while (!atEnd() && !m_finished) {
        const char c = peek();
        if (m_overflow > 0) {
            ++m_pos;
            if (c == '{')
                ++m_overflow;
            else if (c == '}')
                --m_overflow;
            else if (c == '\\' && !atEnd())
                ++m_pos; // an escaped brace does not count
            continue;
        }
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

void Parser::runPart()
{
    while (!atEnd()) {
        const char c = peek();
        if (m_overflow > 0) {
            ++m_pos;
            if (c == '{')
                ++m_overflow;
            else if (c == '}')
                --m_overflow;
            else if (c == '\\' && !atEnd())
                ++m_pos;
            continue;
        }
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
qsizetype Parser::groupEnd() const
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

void Parser::pushGroup()
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

void Parser::popGroup()
{
    m_skipChars = 0;
    m_starPending = false;
    if (m_stack.empty()) {
        m_finished = true;
        return;
    }
    const Dest closing = m_state.dest;
    m_state = m_stack.back();
    m_stack.pop_back();
    if (closing == Dest::Picture && m_state.dest != Dest::Picture)
        finishPicture();
    if (closing == Dest::ShapeValue && m_state.dest != Dest::ShapeValue)
        shapeProperty();
    if (closing == Dest::Shape && m_state.dest != Dest::Shape)
        placeShape();
    if (closing == Dest::FontTable && m_state.dest != Dest::FontTable && m_fontId >= 0 &&
        !m_fontName.trimmed().isEmpty()) {
        m_tables->fonts.insert(m_fontId,
                       Font{Cp1252::decode(m_fontName.trimmed()), m_fontCharset, m_fontHint});
        m_fontName.clear();
    }
    if (m_stack.empty())
        m_finished = true; // the document's outermost group has closed
}

void Parser::parseControl()
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

void Parser::readBinary(int count)
{
    const qsizetype n = std::clamp<qsizetype>(count, 0, m_end - m_pos);
    if (m_state.dest == Dest::Picture && m_picture.data.size() + n <= kMaxPictureBytes) {
        m_picture.binary = true;
        m_picture.data.append(m_in.constData() + m_pos, n);
    }
    m_pos += n;
}

void Parser::controlSymbol(char c)
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

// Destinations left out entirely, also when they come without \*.
bool isSkippedDestination(const QByteArray &w)
{
    static const QSet<QByteArray> skipped = {"stylesheet",
                                             "info",
                                             "header",
                                             "headerl",
                                             "headerr",
                                             "headerf",
                                             "footer",
                                             "footerl",
                                             "footerr",
                                             "footerf",
                                             "footnote",
                                             "annotation",
                                             "atnid",
                                             "atnauthor",
                                             "fldinst",
                                             "listtable",
                                             "listoverridetable",
                                             "revtbl",
                                             "rsidtbl",
                                             "pn",
                                             "private",
                                             "xe",
                                             "tc",
                                             "txe",
                                             "nonshppict",
                                             "shp",
                                             "do",
                                             "objdata",
                                             "objclass",
                                             "themedata",
                                             "colorschememapping",
                                             "datastore",
                                             "latentstyles",
                                             "pgdsctbl",
                                             "generator",
                                             "xmlnstbl",
                                             "mmathPr",
                                             "bkmkstart",
                                             "bkmkend",
                                             "filetbl",
                                             "template",
                                             "userprops",
                                             "docvar",
                                             "object",
                                             "wgrffmtfilter"};
    return skipped.contains(w);
}

bool Parser::startDestination(const QByteArray &word)
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
        }
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
        return true;
    }
    if (word == "shp") {
        flushText();
        if (m_nested || m_state.chr.invisible() || m_parts >= RtfReader::kMaxParts) {
            if (m_parts >= RtfReader::kMaxParts)
                note(QStringLiteral("Shapes beyond the first %1 were left out.")
                         .arg(RtfReader::kMaxParts));
            m_state.dest = Dest::Skip;
        } else {
            ++m_parts;
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

void Parser::controlWord(const QByteArray &w, bool hasParam, int param)
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
    if (m_state.dest == Dest::Shape) {
        shapeWord(w, param);
        return;
    }
    if (m_state.dest == Dest::ShapeName || m_state.dest == Dest::ShapeValue)
        return;

    // A control word ends the fallback characters of a \u.
    if (w != "u")
        m_skipChars = 0;

    CharState &c = m_state.chr;
    ParaState &p = m_state.para;
    const bool on = !hasParam || param != 0;

    // Document
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
    } else if (w == "uc") {
        m_state.uc = std::clamp(param, 0, 8);
    } else if (w == "u") {
        int code = param;
        if (code < 0)
            code += 65536;
        if (code > 0 && code < 65536)
            addText(QString(QChar(char16_t(code))));
        m_skipChars = m_state.uc;
    }
    // Characters
    else if (w == "plain") {
        const int font = m_tables->defaultFont;
        c = CharState();
        c.font = font;
    } else if (w == "b") {
        c.bold = on;
    } else if (w == "i") {
        c.italic = on;
    } else if (w == "uldb") {
        c.underline = on;
        c.doubleUnderline = on;
    } else if (w == "ul" || (w.startsWith("ul") && w != "ulc" && w != "ulnone" && w.size() > 2)) {
        c.underline = on;
        c.doubleUnderline = false;
    } else if (w == "ulnone") {
        c.underline = false;
        c.doubleUnderline = false;
    } else if (w == "strike" || w == "striked") {
        c.strike = on;
    } else if (w == "v") {
        c.hidden = on;
    } else if (w == "del" || w == "deleted") {
        c.deleted = on;
    } else if (w == "caps") {
        c.caps = on;
    } else if (w == "scaps") {
        c.smallCaps = on;
    } else if (w == "super") {
        c.vertical = 1;
    } else if (w == "sub") {
        c.vertical = 2;
    } else if (w == "nosupersub") {
        c.vertical = 0;
    } else if (w == "up") {
        c.vertical = param > 0 ? 1 : 0;
    } else if (w == "dn") {
        c.vertical = param > 0 ? 2 : 0;
    } else if (w == "f") {
        c.font = param;
    } else if (w == "fs") {
        c.halfPoints = hasParam && param > 0 ? std::clamp(param, 2, 3200) : 24;
    } else if (w == "cf") {
        c.color = param;
    } else if (w == "cb" || w == "highlight" || w == "chcbpat") {
        c.background = param;
    }
    // Paragraphs
    else if (w == "pard") {
        flushText();
        p = ParaState();
    } else if (w == "ql") {
        p.align = Qt::AlignLeft;
    } else if (w == "qc") {
        p.align = Qt::AlignHCenter;
    } else if (w == "qr") {
        p.align = Qt::AlignRight;
    } else if (w == "qj" || w == "qd") {
        p.align = Qt::AlignJustify;
    } else if (w == "li" || w == "lin") {
        p.left = param;
    } else if (w == "ri" || w == "rin") {
        p.right = param;
    } else if (w == "fi") {
        p.first = param;
    } else if (w == "sb") {
        p.before = param;
    } else if (w == "sa") {
        p.after = param;
    } else if (w == "sl") {
        p.line = param;
    } else if (w == "slmult") {
        p.lineMultiple = param != 0;
    } else if (w == "pagebb") {
        p.pageBreakBefore = on;
    } else if (w == "tqr") {
        p.nextTabType = QTextOption::RightTab;
    } else if (w == "tqc") {
        p.nextTabType = QTextOption::CenterTab;
    } else if (w == "tqdec") {
        p.nextTabType = QTextOption::DelimiterTab;
    } else if (w == "tldot" || w == "tlhyph" || w == "tlul" || w == "tlth" || w == "tleq") {
        p.nextLeader = w == "tldot";
    } else if (w == "cbpat") {
        p.shading = param;
    } else if (w == "brsp") {
        p.borderSpace = std::clamp(param, 0, 1440);
    } else if (w == "tx" || w == "tb") {
        if (p.nextLeader && p.leaderTabs.size() < 64 && param >= 0)
            p.leaderTabs.append(param);
        p.nextLeader = false;
        if (p.tabs.size() < 64 && param >= 0) {
            QTextOption::Tab tab(px(param), p.nextTabType,
                                 p.nextTabType == QTextOption::DelimiterTab ? QChar('.') : QChar());
            p.tabs.append(tab);
        }
        p.nextTabType = QTextOption::LeftTab;
    } else if (w == "intbl") {
        flushText();
        p.inTable = true;
    } else if (w == "itap") {
        flushText();
        p.inTable = param > 0;
    } else if (w == "par" || w == "sect") {
        if (!c.invisible())
            endParagraph();
    } else if (w == "line") {
        if (!c.invisible())
            addText(QString(QChar::LineSeparator));
    } else if (w == "page") {
        if (!c.invisible()) {
            endParagraph();
            m_pageBreakNext = true;
        }
    } else if (w == "tab") {
        addText(QStringLiteral("\t"));
    } else if (w == "nestcell") {
        addText(QStringLiteral("\t"));
    } else if (w == "nestrow") {
        addText(QString(QChar::LineSeparator));
    } else if (w == "cell") {
        cellEnd();
    } else if (w == "row") {
        rowEnd();
    }
    // Special characters
    else if (w == "emdash") {
        addText(QString(QChar(0x2014)));
    } else if (w == "endash") {
        addText(QString(QChar(0x2013)));
    } else if (w == "bullet") {
        addText(QString(QChar(0x2022)));
    } else if (w == "lquote") {
        addText(QString(QChar(0x2018)));
    } else if (w == "rquote") {
        addText(QString(QChar(0x2019)));
    } else if (w == "ldblquote") {
        addText(QString(QChar(0x201C)));
    } else if (w == "rdblquote") {
        addText(QString(QChar(0x201D)));
    } else if (w == "emspace") {
        addText(QString(QChar(0x2003)));
    } else if (w == "enspace") {
        addText(QString(QChar(0x2002)));
    } else if (w == "qmspace") {
        addText(QString(QChar(0x2005)));
    }
    // Tables
    else if (w == "trowd") {
        m_rowDef = RowDef();
        m_borderKind = BorderTarget::None;
    } else if (w == "cellx") {
        if (int(m_rowDef.cells.size()) < RtfReader::kMaxColumns) {
            m_rowDef.pending.right = param;
            m_rowDef.cells.push_back(m_rowDef.pending);
        }
        m_rowDef.pending = CellDef();
        m_borderKind = BorderTarget::None;
    } else if (w == "trgaph") {
        m_rowDef.gap = std::max(0, param);
    } else if (w == "trleft") {
        m_rowDef.left = param;
    } else if (w == "trqc") {
        m_rowDef.align = Qt::AlignHCenter;
    } else if (w == "trqr") {
        m_rowDef.align = Qt::AlignRight;
    } else if (w == "trql") {
        m_rowDef.align = Qt::AlignLeft;
    } else if (w == "trpaddl") {
        m_rowDef.padLeft = std::max(0, param);
    } else if (w == "trpaddr") {
        m_rowDef.padRight = std::max(0, param);
    } else if (w == "trpaddt") {
        m_rowDef.padTop = std::max(0, param);
    } else if (w == "trpaddb") {
        m_rowDef.padBottom = std::max(0, param);
    } else if (w == "clpadt") {
        // Word reads \clpadt as the left padding and \clpadl as the top one, and every
        // word processor writes them so.
        m_rowDef.pending.padLeft = std::clamp(param, 0, 1440);
    } else if (w == "clpadr") {
        m_rowDef.pending.padRight = std::clamp(param, 0, 1440);
    } else if (w == "clpadl") {
        m_rowDef.pending.padTop = std::clamp(param, 0, 1440);
    } else if (w == "clpadb") {
        m_rowDef.pending.padBottom = std::clamp(param, 0, 1440);
    } else if (w == "clcbpat") {
        m_rowDef.pending.shading = param;
    } else if (w == "clshdng") {
        m_rowDef.pending.shadingPercent = std::clamp(param, 0, 10000);
    } else if (w == "clvertalc") {
        m_rowDef.pending.vertical = Qt::AlignVCenter;
    } else if (w == "clvertalb") {
        m_rowDef.pending.vertical = Qt::AlignBottom;
    } else if (w == "clvertalt") {
        m_rowDef.pending.vertical = Qt::AlignTop;
    } else if (w == "clmrg") {
        m_rowDef.pending.mergedIntoPrevious = true;
    } else if (w.startsWith("clbrdr") && w.size() == 7) {
        m_borderKind = BorderTarget::Cell;
        m_rowDef.pending.ownBorders = true;
        const char s = w.at(6);
        m_borderSide = s == 't' ? Top : s == 'l' ? Left : s == 'b' ? Bottom : Right;
        m_rowDef.pending.borders[m_borderSide] = Border{true, 10, 0};
    } else if (w.startsWith("trbrdr") && w.size() == 7) {
        const char s = w.at(6);
        if (s == 't' || s == 'l' || s == 'b' || s == 'r') {
            m_borderKind = BorderTarget::Row;
            m_borderSide = s == 't' ? Top : s == 'l' ? Left : s == 'b' ? Bottom : Right;
            m_rowDef.rowBorders[m_borderSide] = Border{true, 10, 0};
        } else {
            m_borderKind = BorderTarget::None; // inner horizontal and vertical lines
        }
    } else if (w.startsWith("brdr") && w.size() == 5 &&
               (w.at(4) == 't' || w.at(4) == 'l' || w.at(4) == 'b' || w.at(4) == 'r')) {
        m_borderKind = BorderTarget::Para;
        const char s = w.at(4);
        m_borderSide = s == 't' ? Top : s == 'l' ? Left : s == 'b' ? Bottom : Right;
        p.borders[m_borderSide] = Border{true, 10, 0};
    } else if (w == "brdrnone" || w == "brdrnil" || w == "brdrtbl") {
        if (Border *b = borderTarget())
            b->on = false;
    } else if (w == "brdrw") {
        if (Border *b = borderTarget())
            b->width = std::clamp(param, 1, 150);
    } else if (w == "brdrcf") {
        if (Border *b = borderTarget())
            b->color = param;
    }
    // Everything else is skipped.
}

Border *Parser::borderTarget()
{
    switch (m_borderKind) {
    case BorderTarget::Cell:
        return &m_rowDef.pending.borders[m_borderSide];
    case BorderTarget::Row:
        return &m_rowDef.rowBorders[m_borderSide];
    case BorderTarget::Para:
        return &m_state.para.borders[m_borderSide];
    default:
        return nullptr;
    }
}

void Parser::fontTableWord(const QByteArray &w, bool, int param)
{
    if (w == "f") {
        if (m_fontId >= 0 && !m_fontName.trimmed().isEmpty())
            m_tables->fonts.insert(m_fontId,
                           Font{Cp1252::decode(m_fontName.trimmed()), m_fontCharset, m_fontHint});
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

void Parser::pictureWord(const QByteArray &w, bool, int param)
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

void Parser::finishPicture()
{
    Picture picture = std::move(m_picture);
    m_picture = Picture();
    if (picture.kind == Picture::Unknown || picture.data.isEmpty() || m_state.chr.invisible())
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
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return;
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

bool Parser::readHeaderOrFooter(const QByteArray &word)
{
    static const QSet<QByteArray> parts = {"header", "headerr", "headerf", "headerl",
                                           "footer", "footerr", "footerf", "footerl"};
    if (!parts.contains(word))
        return false;
    flushText();
    m_state.dest = Dest::Skip; // the main document reads over it
    // Left-page parts belong to facing pages, which a charge sheet does not have.
    if (m_nested || word.endsWith('l') || m_parts >= RtfReader::kMaxParts)
        return true;
    ++m_parts;
    const qsizetype end = groupEnd();
    auto part = std::make_shared<QTextDocument>();
    part->setDefaultFont(m_doc.defaultFont());
    part->setDocumentMargin(0);
    Parser reader(*this, m_pos, end, *part, QTextCursor(part.get()), part->rootFrame());
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

void Parser::shapeWord(const QByteArray &w, int param)
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
void Parser::shapeProperty()
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
    else if (m_shape.property == "lineWidth")
    {
        m_shape.lineWidth = std::clamp(value, 0, 12700 * 20);
        m_shape.lineWidthGiven = true;
    }
}

qreal Parser::textWidth() const
{
    const QSizeF paper = m_result.paperTwips;
    const QMarginsF margins = m_result.marginTwips;
    return std::max(px(1440), px(int(paper.width() - margins.left() - margins.right())));
}

// A frame for a shape at the start of the paragraph it is anchored to, floating to the side
// of the text area it stands nearer to, at its distance from that side; the text flows
// around it, so the shape never covers text.
QTextFrame *Parser::insertShapeFrame(qreal width, qreal height)
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

void Parser::startTextBox()
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
    Parser reader(*this, m_pos, end, m_doc, frame->firstCursorPosition(), frame);
    reader.runPart();
    m_result.notes = reader.m_result.notes;
    m_result.pictures = reader.m_result.pictures;
    m_result.tables = reader.m_result.tables;
    m_shape.frame = frame;
    m_pos = end;
}

void Parser::placeShape()
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

bool Parser::isSymbolFont(int font) const
{
    const auto it = m_tables->fonts.constFind(font >= 0 ? font : m_tables->defaultFont);
    if (it == m_tables->fonts.constEnd())
        return false;
    return it->name.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0 ||
           it->name.startsWith(QLatin1String("Wingdings"), Qt::CaseInsensitive);
}

// Characters of the Symbol and Wingdings fonts as the Unicode characters they show, so that
// they print in any font. Those fonts put their characters at 0x20..0xFF, or at 0xF020..0xF0FF
// when written as Unicode.
QString Parser::symbolText(const QString &text) const
{
    static const char16_t symbol[224] = {
        0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217,
        0x002B, 0x002C, 0x2212, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035,
        0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x2245,
        0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A,
        0x039B, 0x039C, 0x039D, 0x039F, 0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2,
        0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D, 0x22A5, 0x005F, 0x203E, 0x03B1,
        0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3, 0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB,
        0x03BC, 0x03BD, 0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9,
        0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0x0020, 0x0020, 0x0020, 0x0020,
        0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020,
        0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020,
        0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x20AC, 0x03D2, 0x2032, 0x2264,
        0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192,
        0x2193, 0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260,
        0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5, 0x2135, 0x2111, 0x211C, 0x2118, 0x2297,
        0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
        0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228,
        0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3, 0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211,
        0x239B, 0x239C, 0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA, 0x0020,
        0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6,
        0x23AB, 0x23AC, 0x23AD, 0x0020};
    // The Wingdings characters a charge sheet uses: bullets, boxes, ticks and arrows.
    static const QHash<char16_t, char16_t> wingdings = {
        {0x28, 0x260E}, {0x2A, 0x2709}, {0x4A, 0x263A}, {0x6C, 0x25CF}, {0x6E, 0x25A0},
        {0x6F, 0x25A1}, {0x71, 0x2751}, {0x75, 0x25C6}, {0x76, 0x2756}, {0x9F, 0x2022},
        {0xA7, 0x25AA}, {0xA8, 0x25FB}, {0xD8, 0x27A2}, {0xE8, 0x2794}, {0xFB, 0x2717},
        {0xFC, 0x2713}, {0xFD, 0x2612}, {0xFE, 0x2611}};
    const auto it = m_tables->fonts.constFind(m_state.chr.font >= 0 ? m_state.chr.font
                                                                     : m_tables->defaultFont);
    const bool isWingdings =
        it != m_tables->fonts.constEnd() &&
        it->name.startsWith(QLatin1String("Wingdings"), Qt::CaseInsensitive);
    QString out;
    out.reserve(text.size());
    for (QChar ch : text) {
        char16_t c = ch.unicode();
        if (c >= 0xF020 && c <= 0xF0FF)
            c -= 0xF000;
        if (c < 0x20 || c > 0xFF) {
            out += ch;
        } else if (isWingdings) {
            out += QChar(wingdings.value(c, 0x2022)); // any other mark prints as a bullet
        } else {
            out += QChar(symbol[c - 0x20]);
        }
    }
    return out;
}

void Parser::plainByte(char c)
{
    switch (m_state.dest) {
    case Dest::Skip:
        return;
    case Dest::FontTable:
        if (c == ';') {
            if (m_fontId >= 0)
                m_tables->fonts.insert(m_fontId,
                               Font{Cp1252::decode(m_fontName.trimmed()), m_fontCharset, m_fontHint});
            m_fontName.clear();
        } else if (m_fontName.size() < 256) {
            m_fontName.append(c);
        }
        return;
    case Dest::ColorTable:
        if (c == ';') {
            if (m_tables->colors.size() < 4096) {
                if (m_red < 0 && m_green < 0 && m_blue < 0)
                    m_tables->colors.push_back(QColor());
                else
                    m_tables->colors.push_back(
                        QColor(std::max(m_red, 0), std::max(m_green, 0), std::max(m_blue, 0)));
            }
            m_red = m_green = m_blue = -1;
        }
        return;
    case Dest::Picture: {
        if (m_picture.binary || m_picture.data.size() >= kMaxPictureBytes)
            return;
        int v = -1;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        if (v < 0)
            return;
        if (m_picture.nibble < 0) {
            m_picture.nibble = v;
        } else {
            m_picture.data.append(char(m_picture.nibble * 16 + v));
            m_picture.nibble = -1;
        }
        return;
    }
    case Dest::ShapeName:
        if (m_shape.property.size() < 64)
            m_shape.property.append(c);
        return;
    case Dest::ShapeValue:
        if (m_shape.value.size() < 64)
            m_shape.value.append(c);
        return;
    case Dest::Shape:
        return;
    case Dest::Text:
        break;
    }
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80) {
        addByte(c);
        return;
    }
    flushBytes();
    if (c == '\t') {
        addText(QStringLiteral("\t"));
        return;
    }
    if (b < 0x20)
        return;
    if (m_skipChars > 0) {
        --m_skipChars;
        return;
    }
    addText(QString(QChar(char16_t(b))));
}

void Parser::addByte(char c)
{
    if (m_state.dest == Dest::FontTable) {
        if (m_fontName.size() < 256)
            m_fontName.append(c);
        return;
    }
    if (m_state.dest != Dest::Text)
        return;
    if (m_skipChars > 0) {
        --m_skipChars;
        return;
    }
    m_bytes.append(c);
}

QString Parser::decodeBytes(const QByteArray &bytes) const
{
    // Code pages other than Windows-1252 are read as Windows-1252 too: the documents this
    // program reads are written in Western European languages.
    return Cp1252::decode(bytes);
}

void Parser::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    const QByteArray bytes = std::exchange(m_bytes, QByteArray());
    addText(decodeBytes(bytes));
}

void Parser::addText(const QString &given)
{
    if (m_state.dest != Dest::Text || m_state.chr.invisible() || given.isEmpty())
        return;
    const QString text = isSymbolFont(m_state.chr.font) ? symbolText(given) : given;
    if (!m_text.isEmpty() && !(m_textState == m_state.chr))
        flushText();
    m_textState = m_state.chr;
    m_text += text;
}

QColor Parser::color(int index) const
{
    if (index <= 0 || index >= int(m_tables->colors.size()))
        return QColor();
    return m_tables->colors[size_t(index)];
}

QTextCharFormat Parser::charFormat(const CharState &s) const
{
    QTextCharFormat f;
    const auto font = m_tables->fonts.constFind(s.font >= 0 ? s.font : m_tables->defaultFont);
    if (font != m_tables->fonts.constEnd() && !font->name.isEmpty() && !isSymbolFont(font.key())) {
        f.setFontFamilies(QStringList{font->name});
        f.setFontStyleHint(font->hint);
    }
    f.setFontPointSize(s.halfPoints / 2.0);
    f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(s.italic);
    f.setFontUnderline(s.underline);
    if (s.doubleUnderline)
        f.setProperty(RtfReader::DoubleUnderline, true);
    f.setFontStrikeOut(s.strike);
    if (s.caps)
        f.setFontCapitalization(QFont::AllUppercase);
    else if (s.smallCaps)
        f.setFontCapitalization(QFont::SmallCaps);
    if (s.vertical == 1)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (s.vertical == 2)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (const QColor fg = color(s.color); fg.isValid())
        f.setForeground(fg);
    if (const QColor bg = color(s.background); bg.isValid())
        f.setBackground(bg);
    return f;
}

QTextBlockFormat Parser::blockFormat() const
{
    const ParaState &p = m_state.para;
    QTextBlockFormat f;
    f.setAlignment(p.align);
    f.setLeftMargin(std::max(0.0, px(p.left)));
    f.setRightMargin(std::max(0.0, px(p.right)));
    f.setTextIndent(px(p.first));
    f.setTopMargin(std::max(0.0, px(p.before)));
    f.setBottomMargin(std::max(0.0, px(p.after)));
    if (p.line > 0 && p.lineMultiple)
        f.setLineHeight(std::min(p.line * 100.0 / 240.0, 1000.0),
                        QTextBlockFormat::ProportionalHeight);
    else if (p.line > 0)
        f.setLineHeight(px(p.line), QTextBlockFormat::MinimumHeight);
    else if (p.line < 0)
        f.setLineHeight(px(-p.line), QTextBlockFormat::FixedHeight);
    if (!p.tabs.isEmpty()) {
        // RTF measures tab stops from the page margin, Qt from where the line starts: the
        // indents of the first line (where tabs nearly always stand) are taken off.
        QList<QTextOption::Tab> tabs;
        const qreal lineStart = std::max(0.0, px(p.left)) + px(p.first);
        for (QTextOption::Tab tab : p.tabs) {
            tab.position -= lineStart;
            if (tab.position > 0)
                tabs.append(tab);
        }
        std::sort(tabs.begin(), tabs.end(),
                  [](const QTextOption::Tab &a, const QTextOption::Tab &b) {
                      return a.position < b.position;
                  });
        f.setTabPositions(tabs);
    }
    // A stop at or past the right margin stands just inside it, as a word processor puts
    // it: past the line's end it would push what follows onto a line of its own.
    if (!p.inTable && !f.tabPositions().isEmpty()) {
        const qreal lineStart = std::max(0.0, px(p.left)) + px(p.first);
        const qreal last = textWidth() - std::max(0.0, px(p.right)) - lineStart - 1.0;
        QList<QTextOption::Tab> tabs = f.tabPositions();
        for (QTextOption::Tab &tab : tabs)
            tab.position = std::min(tab.position, last);
        f.setTabPositions(tabs);
    }
    if (!p.leaderTabs.isEmpty()) {
        QList<QVariant> leaders;
        const qreal lineStart = std::max(0.0, px(p.left)) + px(p.first);
        for (qreal twips : p.leaderTabs)
            leaders.append(px(int(twips)) - lineStart);
        f.setProperty(RtfReader::LeaderTabs, leaders);
    }
    if (const QColor fill = color(p.shading); fill.isValid())
        f.setBackground(fill);
    for (int side = Top; side <= Right; ++side) {
        const Border &b = p.borders[size_t(side)];
        if (!b.on)
            continue;
        const QColor c = color(b.color);
        f.setProperty(RtfReader::BorderTop + side,
                      QPen(c.isValid() ? c : QColor(Qt::black), std::max(0.75, b.width * m_pxPerTwip)));
    }
    if (p.borders[Top].on)
        f.setTopMargin(f.topMargin() + px(p.borderSpace) + px(p.borders[Top].width));
    if (p.borders[Bottom].on)
        f.setBottomMargin(f.bottomMargin() + px(p.borderSpace) + px(p.borders[Bottom].width));
    if (p.pageBreakBefore || m_pageBreakNext)
        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    return f;
}

void Parser::flushText()
{
    if (m_text.isEmpty())
        return;
    const QString text = std::exchange(m_text, QString());
    prepareContent();
    m_cursor.insertText(text, charFormat(m_textState));
}

// Puts the cursor where the next content goes: a new paragraph, a table cell, or after a
// table that has just ended.
void Parser::prepareContent()
{
    if (m_state.para.inTable && (m_table || m_cells < RtfReader::kMaxCells)) {
        enterCellForContent();
    } else if (m_table) {
        endTable();
    }
    if (m_needBlock) {
        m_cursor.insertBlock();
        m_needBlock = false;
    }
}

// Gives the current block its paragraph format; the format is known only at its end.
void Parser::finishBlock()
{
    QTextBlockFormat format = blockFormat();
    m_cursor.setBlockFormat(format);
    m_cursor.setBlockCharFormat(charFormat(m_state.chr));
    m_pageBreakNext = false;
}

void Parser::endParagraph()
{
    flushText();
    prepareContent();
    finishBlock();
    m_needBlock = true;
}

void Parser::startTable()
{
    const int columns = std::clamp(int(m_rowDef.cells.size()), 1, RtfReader::kMaxColumns);
    QTextTableFormat format;
    format.setBorderCollapse(true);
    format.setBorder(0);
    format.setCellSpacing(0);
    format.setCellPadding(0);
    format.setMargin(0);
    format.setAlignment(m_rowDef.align);
    if (m_rowDef.align == Qt::AlignLeft && m_rowDef.left > 0)
        format.setLeftMargin(px(m_rowDef.left));
    m_cursor.setPosition(m_container->lastPosition());
    m_table = m_cursor.insertTable(1, columns, format);
    m_row = 0;
    m_col = 0;
    m_cellDone = false;
    m_rowDone = false;
    m_needBlock = false;
    m_widestRow = 0;
    m_tableBounds.clear();
    m_cursor = m_table->cellAt(0, 0).firstCursorPosition();
    ++m_result.tables;
}

void Parser::endTable()
{
    if (!m_rowDone && (m_cellDone || m_col > 0))
        rowEnd();
    m_table = nullptr;
    m_cursor.setPosition(m_container->lastPosition());
    m_needBlock = false;
}

void Parser::enterCellForContent()
{
    if (!m_table) {
        startTable();
        return;
    }
    if (m_rowDone) {
        // Two tables with no paragraph between them: a row whose cells line up neither with
        // the table's columns nor they with its cells begins a table of its own.
        QSet<int> bounds;
        for (const CellDef &cell : m_rowDef.cells)
            bounds.insert(cell.right);
        if (!bounds.isEmpty() && !m_tableBounds.isEmpty() && !bounds.contains(m_tableBounds) &&
            !m_tableBounds.contains(bounds)) {
            endTable();
            startTable();
            return;
        }
        m_table->appendRows(1);
        ++m_row;
        m_col = 0;
        m_rowDone = false;
        m_cellDone = false;
        m_cursor = m_table->cellAt(m_row, 0).firstCursorPosition();
        m_needBlock = false;
        return;
    }
    if (m_cellDone) {
        m_cellDone = false;
        if (m_col + 1 < RtfReader::kMaxColumns) {
            ++m_col;
            if (m_col >= m_table->columns())
                appendColumn();
            m_cursor = m_table->cellAt(m_row, m_col).firstCursorPosition();
            m_needBlock = false;
        } else {
            m_needBlock = true; // no more columns: the text joins the last cell
        }
    }
}

// A row with more cells than the rows before it: the earlier rows' last cells grow into
// the new column.
void Parser::appendColumn()
{
    const int last = m_table->columns() - 1;
    m_table->appendColumns(1);
    for (int row = 0; row < m_row; ++row) {
        const QTextTableCell cell = m_table->cellAt(row, last);
        if (cell.isValid() && cell.row() == row && cell.rowSpan() == 1)
            m_table->mergeCells(row, cell.column(), 1, last + 2 - cell.column());
    }
}

// Past the limit on cells, cell and row marks are read as a tab and a line break in the
// last cell: the text stays, the table grows no more.
bool Parser::tablesFull()
{
    if (m_cells < RtfReader::kMaxCells)
        return false;
    note(QStringLiteral("Table cells beyond the first %1 were shown as plain text.")
             .arg(RtfReader::kMaxCells));
    return true;
}

void Parser::cellEnd()
{
    if (tablesFull()) {
        addText(QStringLiteral("\t"));
        return;
    }
    ++m_cells;
    flushText();
    const bool wasInTable = m_state.para.inTable;
    m_state.para.inTable = true;
    prepareContent();
    finishBlock();
    m_state.para.inTable = wasInTable;
    m_cellDone = true;
}

void Parser::rowEnd()
{
    if (tablesFull()) {
        addText(QString(QChar::LineSeparator));
        return;
    }
    flushText();
    if (!m_table)
        return;
    if (m_cellDone || m_col > 0) {
        formatRow();
        m_rowDone = true;
        m_cellDone = false;
    }
}

void Parser::formatRow()
{
    for (const CellDef &cell : m_rowDef.cells)
        m_tableBounds.insert(cell.right);
    const int used = std::min(m_col + 1, m_table->columns());
    const int cells = int(m_rowDef.cells.size());
    // Column widths come from the row with the most cells.
    if (cells > 0 && cells >= m_widestRow && cells <= m_table->columns()) {
        m_widestRow = cells;
        QList<QTextLength> widths;
        int previous = m_rowDef.left;
        // A row wider than the text area (a table whose width was written relative to the
        // page, in units of its own) is fitted to the text area, keeping its proportions.
        const int extent = m_rowDef.cells.back().right - m_rowDef.left;
        const qreal fit = !m_nested && extent > 0 && px(extent) > textWidth() + px(144)
                              ? textWidth() / px(extent)
                              : 1.0;
        for (const CellDef &cell : m_rowDef.cells) {
            widths.append(QTextLength(QTextLength::FixedLength,
                                      std::max(1.0, px(cell.right - previous) * fit)));
            previous = std::max(previous, cell.right);
        }
        while (widths.size() < m_table->columns())
            widths.append(QTextLength());
        QTextTableFormat format = m_table->format();
        format.setColumnWidthConstraints(widths);
        m_table->setFormat(format);
    }
    const qreal padLeft = px(m_rowDef.padLeft >= 0 ? m_rowDef.padLeft : m_rowDef.gap);
    const qreal padRight = px(m_rowDef.padRight >= 0 ? m_rowDef.padRight : m_rowDef.gap);
    const qreal padTop = px(std::max(0, m_rowDef.padTop));
    const qreal padBottom = px(std::max(0, m_rowDef.padBottom));
    for (int col = 0; col < m_table->columns(); ++col) {
        QTextTableCell cell = m_table->cellAt(m_row, col);
        if (!cell.isValid() || cell.row() != m_row || cell.column() != col)
            continue;
        QTextTableCellFormat f;
        f.setLeftPadding(padLeft);
        f.setRightPadding(padRight);
        f.setTopPadding(padTop);
        f.setBottomPadding(padBottom);
        if (col < cells && col < used) {
            const CellDef &def = m_rowDef.cells[size_t(col)];
            if (def.padLeft >= 0)
                f.setLeftPadding(px(def.padLeft));
            if (def.padRight >= 0)
                f.setRightPadding(px(def.padRight));
            if (def.padTop >= 0)
                f.setTopPadding(px(def.padTop));
            if (def.padBottom >= 0)
                f.setBottomPadding(px(def.padBottom));
            const auto &borders = def.ownBorders ? def.borders : m_rowDef.rowBorders;
            auto apply = [&](Side side, auto setWidth, auto setBrush, auto setStyle) {
                const Border &b = borders[side];
                if (!b.on)
                    return;
                (f.*setWidth)(std::max(1.0, b.width * m_pxPerTwip));
                const QColor c = color(b.color);
                (f.*setBrush)(QBrush(c.isValid() ? c : QColor(Qt::black)));
                (f.*setStyle)(QTextFrameFormat::BorderStyle_Solid);
            };
            using F = QTextTableCellFormat;
            apply(Top, &F::setTopBorder, &F::setTopBorderBrush, &F::setTopBorderStyle);
            apply(Left, &F::setLeftBorder, &F::setLeftBorderBrush, &F::setLeftBorderStyle);
            apply(Bottom, &F::setBottomBorder, &F::setBottomBorderBrush, &F::setBottomBorderStyle);
            apply(Right, &F::setRightBorder, &F::setRightBorderBrush, &F::setRightBorderStyle);
            QColor fill = color(def.shading);
            if (!fill.isValid() && def.shadingPercent > 0) {
                const int g = 255 - 255 * def.shadingPercent / 10000;
                fill = QColor(g, g, g);
            }
            if (fill.isValid())
                f.setBackground(fill);
            if (def.vertical == Qt::AlignVCenter)
                f.setVerticalAlignment(QTextCharFormat::AlignMiddle);
            else if (def.vertical == Qt::AlignBottom)
                f.setVerticalAlignment(QTextCharFormat::AlignBottom);
        }
        cell.setFormat(f);
    }
    // A row with fewer cells than the table has columns: its last cell reaches the row's end.
    if (used < m_table->columns())
        m_table->mergeCells(m_row, used - 1, 1, m_table->columns() - used + 1);
    // Horizontally merged cells (\clmrg) join the cell before them.
    for (int col = std::min(cells, m_table->columns()) - 1; col > 0; --col) {
        if (m_rowDef.cells[size_t(col)].mergedIntoPrevious) {
            const QTextTableCell left = m_table->cellAt(m_row, col - 1);
            if (left.isValid() && left.row() == m_row && left.rowSpan() == 1)
                m_table->mergeCells(m_row, left.column(), 1, col - left.column() + 1);
        }
    }
}

} // namespace

QPageLayout RtfReader::Result::pageLayout() const
{
    QSizeF paper = paperTwips;
    if (paper.width() < 1440 || paper.height() < 1440 || paper.width() > 1440 * 100 ||
        paper.height() > 1440 * 100)
        paper = QSizeF(12240, 15840);
    QMarginsF margins = marginTwips;
    const bool sane = margins.left() >= 0 && margins.right() >= 0 && margins.top() >= 0 &&
                      margins.bottom() >= 0 &&
                      margins.left() + margins.right() <= paper.width() - 720 &&
                      margins.top() + margins.bottom() <= paper.height() - 720;
    if (!sane)
        margins = QMarginsF(1800, 1440, 1800, 1440);
    const QPageSize size(QSizeF(paper.width() / 20.0, paper.height() / 20.0), QPageSize::Point,
                         QString(), QPageSize::FuzzyMatch);
    return QPageLayout(size, QPageLayout::Portrait, margins / 20.0, QPageLayout::Point);
}

qreal RtfReader::defaultDpi()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            return screen->logicalDotsPerInchY();
    }
    return 96.0;
}

RtfReader::Result RtfReader::read(const QByteArray &rtf, QTextDocument &document, qreal dotsPerInch)
{
    if (dotsPerInch <= 0)
        dotsPerInch = defaultDpi();
    Parser parser(rtf, document, dotsPerInch);
    return parser.run();
}

} // namespace tarnvale
