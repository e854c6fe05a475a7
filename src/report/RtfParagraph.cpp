#include "RtfParser.h"

#include <QTextBlock>

#include <algorithm>

namespace tarnvale::rtf {

// Words about paragraphs: the paragraph format, tab stops, and paragraph, line and page ends.
bool RtfParser::paragraphWord(const QByteArray &w, bool hasParam, int param)
{
    CharState &c = m_state.chr;
    ParaState &p = m_state.para;
    const bool on = !hasParam || param != 0;
    if (w == "pard") {
        flushText();
        p = ParaState();
    } else if (w == "s") {
        applyStyle(param, 0);
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
    } else {
        return false;
    }
    return true;
}

// A word of the style sheet: one naming an entry, its base, or one of its formatting.
void RtfParser::styleWord(const QByteArray &w, bool hasParam, int param)
{
    if (w == "s" || w == "cs" || w == "ds" || w == "ts" || w == "tsrowd") {
        m_styleId = param;
        m_style = Style();
        m_style.paragraph = w == "s";
    } else if (w == "sbasedon") {
        m_style.basedOn = param;
    } else if (m_styleId >= 0 && m_style.words.size() < 100) {
        m_style.words.push_back({w, hasParam, param});
    }
}

// A paragraph that names a style takes the style's font, size, spacing and the rest, its
// base style's first; the words that follow in the paragraph override them.
void RtfParser::applyStyle(int id, int depth)
{
    const auto style = m_tables->styles.constFind(id);
    if (style == m_tables->styles.constEnd() || depth > 8)
        return;
    if (style->basedOn >= 0 && style->basedOn != id)
        applyStyle(style->basedOn, depth + 1);
    // Words that put text or structure in the document are not formatting.
    static const QSet<QByteArray> notFormatting = {
        "par",      "sect",      "line",      "page",    "tab",     "pard",   "plain",
        "u",        "uc",        "chpgn",     "intbl",   "itap",    "cell",   "row",
        "nestcell", "nestrow",   "s",         "emdash",  "endash",  "bullet", "lquote",
        "rquote",   "ldblquote", "rdblquote", "emspace", "enspace", "qmspace"};
    for (const Style::Word &word : style->words) {
        if (notFormatting.contains(word.word))
            continue;
        if (!characterWord(word.word, word.hasParam, word.param) &&
            !paragraphWord(word.word, word.hasParam, word.param) && word.word.startsWith("brdr"))
            tableWord(word.word, word.hasParam, word.param);
    }
}

QTextBlockFormat RtfParser::blockFormat() const
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
        static const Qt::PenStyle styles[] = {Qt::SolidLine,   Qt::DotLine,        Qt::DashLine,
                                              Qt::DashDotLine, Qt::DashDotDotLine, Qt::SolidLine};
        f.setProperty(RtfReader::BorderTop + side,
                      QPen(QBrush(c.isValid() ? c : QColor(Qt::black)),
                           std::max(0.75, b.width * m_pxPerTwip), styles[b.style]));
    }
    if (p.borders[Top].on)
        f.setTopMargin(f.topMargin() + px(p.borderSpace) + px(p.borders[Top].width));
    if (p.borders[Bottom].on)
        f.setBottomMargin(f.bottomMargin() + px(p.borderSpace) + px(p.borders[Bottom].width));
    if (p.pageBreakBefore || m_pageBreakNext)
        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    return f;
}

// Puts the cursor where the next content goes: a new paragraph, a table cell, or after a
// table that has just ended.
void RtfParser::prepareContent()
{
    const ParaState &p = m_state.para;
    const bool table = p.inTable && (m_table || m_inner || m_cells < RtfReader::kMaxCells);
    const bool inner = table && p.depth >= 2;
    if (m_inner && !inner)
        leaveInnerTable();
    if (table && !m_inner) {
        enterCellForContent();
        if (inner) { // a table in the cell begins
            switchLevel();
            m_needBlock = false;
        }
    }
    if (m_inner)
        enterCellForContent();
    else if (!table && m_table)
        endTable();
    if (m_needBlock) {
        m_cursor.insertBlock();
        m_needBlock = false;
    }
}

// Gives the current block its paragraph format; the format is known only at its end.
void RtfParser::finishBlock()
{
    QTextBlockFormat format = blockFormat();
    m_cursor.setBlockFormat(format);
    m_cursor.setBlockCharFormat(charFormat(m_state.chr));
    m_pageBreakNext = false;
    m_run = 0;
}

void RtfParser::endParagraph()
{
    flushText();
    prepareContent();
    finishBlock();
    m_needBlock = true;
}

} // namespace tarnvale::rtf
