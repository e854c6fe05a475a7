// The RTF reader's parser, shared by the files that handle its parts: the input and groups
// (RtfParser.cpp), the document (RtfDocument.cpp), characters (RtfCharacter.cpp), paragraphs
// (RtfParagraph.cpp) and tables (RtfTable.cpp). Private to the reader.
#pragma once

#include "RtfReader.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QSet>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextOption>
#include <QTextTable>

#include <array>
#include <vector>

namespace tarnvale::rtf {

constexpr int kMaxWordLength = 32;
constexpr int kTableCells = 256;
constexpr int kMaxRun = 200; // characters without a break opportunity (see addText)
constexpr qsizetype kMaxPictureBytes = 8 * 1024 * 1024;

enum class Dest {
    Text,
    Skip,
    FontTable,
    ColorTable,
    Picture,
    Shape,
    ShapeName,
    ShapeValue,
    FieldInstruction,
    StyleSheet
};

struct Border
{
    bool on = false;
    int width = 10; // twips
    int color = 0;
    enum Style { Solid, Dotted, Dashed, DotDash, DotDotDash, Double } style = Solid;
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
    int pageField = 0;  // RtfReader::PageField's value: the text is a page number to set
    int field = 0;      // names the field the text is the result of

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
    int depth = 1; // of the table the paragraph is in: 2 and more, a table in a cell
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

// A paragraph style: the words that make it, read over what its base style makes.
struct Style
{
    struct Word
    {
        QByteArray word;
        bool hasParam = false;
        int param = 0;
    };
    int basedOn = -1;
    bool paragraph = false; // not a character, section or table style
    std::vector<Word> words;
};

// What every part of a document shares: its fonts, colours and styles.
struct Tables
{
    QHash<int, Style> styles;
    QHash<int, Font> fonts;
    std::vector<QColor> colors;
    int defaultFont = -1;
    int pictures = 0;         // names the pictures of the document apart
    int fields = 0;           // likewise the fields
    int parts = 0;            // headers, footers and shapes read so far
    qint64 decodedPixels = 0; // of every picture decoded so far
};

// A shape anchored to a paragraph or a character: a picture or a text box.
struct Shape
{
    int left = 0, top = 0, right = 0, bottom = 0; // twips
    int relH = -1;                                // 0 margin, 1 page, 2 column, 3 character
    bool byPage = false;
    int line = -1; // fLine: -1 when not given
    bool lineWidthGiven = false;
    int fill = -1;        // fFilled: -1 when not given
    int fillColor = -1;   // 0xBBGGRR
    int lineColor = -1;   // 0xBBGGRR
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
    bool tooLarge = false; // its bytes passed kMaxPictureBytes
    int nibble = -1;
    qsizetype at = -1; // where it starts in the input: names it in the picture cache
};

class RtfParser
{
  public:
    RtfParser(const QByteArray &rtf, QTextDocument &doc, qreal dpi,
              RtfReader::PictureCache *pictures)
        : m_in(rtf), m_end(rtf.size()), m_doc(doc), m_cursor(&doc), m_pxPerTwip(dpi / 1440.0),
          m_container(doc.rootFrame()), m_pictureCache(pictures)
    {
    }
    // A part of the document (a header, a text box) read from the bytes [from, to) into
    // `cursor`, with the fonts and colours of the document around it.
    RtfParser(const RtfParser &outer, qsizetype from, qsizetype to, QTextDocument &doc,
              const QTextCursor &cursor, QTextFrame *container)
        : m_in(outer.m_in), m_pos(from), m_end(to), m_doc(doc), m_cursor(cursor),
          m_pxPerTwip(outer.m_pxPerTwip), m_container(container),
          m_pictureCache(outer.m_pictureCache), m_tables(outer.m_tables), m_nested(true),
          m_result(outer.m_result)
    {
        m_stack.push_back(m_state); // the group the part stands in
        m_state.chr.font = m_tables->defaultFont;
    }

    RtfReader::Result run();
    void runPart();
    // Inside groups nested past the limit: steps over one byte, keeping count of the braces.
    bool skipTooDeep(char c);

  private:
    // Input
    bool atEnd() const { return m_pos >= m_end; }
    char peek() const { return m_in.at(m_pos); }
    void parseControl();
    void controlSymbol(char c);
    void controlWord(const QByteArray &word, bool hasParam, int param);
    bool documentWord(const QByteArray &word, bool hasParam, int param);
    bool characterWord(const QByteArray &word, bool hasParam, int param);
    bool paragraphWord(const QByteArray &word, bool hasParam, int param);
    bool tableWord(const QByteArray &word, bool hasParam, int param);
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
    void fieldInstruction();
    void styleWord(const QByteArray &word, bool hasParam, int param);
    void applyStyle(int id, int depth);
    void endField(const CharState &field);
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
    void switchLevel();
    void leaveInnerTable();
    qreal tableRoom() const;
    qreal rowFit(const RowDef &row, qreal room) const;
    void formatRow();
    Border *borderTarget();
    qreal borderWidth(const CellDef &cell, Side side) const;
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
    RtfReader::PictureCache *m_pictureCache;
    Tables m_ownTables;
    Tables *m_tables = &m_ownTables;
    bool m_nested = false;
    RtfReader::Result m_result;
    Shape m_shape;
    bool m_inTextBox = false; // a text box holds no shapes

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
    int m_run = 0; // characters since the last break opportunity in the paragraph

    QByteArray m_instruction; // of the field being read
    Style m_style;            // the style being read
    int m_styleId = -1;
    size_t m_styleSheetDepth = 0; // groups open around the style sheet's entries
    int m_fieldShown = 0;     // the last field whose result put text in the document

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
    int m_cells = 0;         // cell marks read, in every table of the document
    QSet<int> m_tableBounds; // the right edges of the cells of the table's rows so far
    // The table level the reader is not in: the outer table while it reads a table in one
    // of its cells (m_inner), that table's state while it reads the outer one.
    struct TableLevel
    {
        QTextTable *table = nullptr;
        int row = 0, col = 0, widestRow = 0;
        bool cellDone = false, rowDone = false;
        QSet<int> bounds;
        RowDef rowDef;
    } m_otherLevel;
    bool m_inner = false;
};

} // namespace tarnvale::rtf
