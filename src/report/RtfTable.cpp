#include "RtfParser.h"

#include <algorithm>

namespace tarnvale::rtf {

// Words about tables: cell and row marks, row and cell definitions, and borders.
bool RtfParser::tableWord(const QByteArray &w, bool, int param)
{
    ParaState &p = m_state.para;
    if (w == "intbl") {
        flushText();
        p.inTable = true;
    } else if (w == "itap") {
        flushText();
        p.inTable = param > 0;
        p.depth = std::max(1, param);
    } else if (w == "nestcell") {
        if (p.depth >= 2)
            cellEnd();
        else
            addText(QStringLiteral("\t"));
    } else if (w == "nestrow") {
        if (m_inner)
            rowEnd();
        else
            addText(QString(QChar::LineSeparator));
    } else if (w == "cell") {
        cellEnd();
    } else if (w == "row") {
        rowEnd();
    } else if (w == "trowd") {
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
        m_rowDef.pending.borders[m_borderSide] = Border{true, 10, 0, Border::Solid};
    } else if (w.startsWith("trbrdr") && w.size() == 7) {
        const char s = w.at(6);
        if (s == 't' || s == 'l' || s == 'b' || s == 'r') {
            m_borderKind = BorderTarget::Row;
            m_borderSide = s == 't' ? Top : s == 'l' ? Left : s == 'b' ? Bottom : Right;
            m_rowDef.rowBorders[m_borderSide] = Border{true, 10, 0, Border::Solid};
        } else {
            m_borderKind = BorderTarget::None; // inner horizontal and vertical lines
        }
    } else if (w.startsWith("brdr") && w.size() == 5 &&
               (w.at(4) == 't' || w.at(4) == 'l' || w.at(4) == 'b' || w.at(4) == 'r')) {
        m_borderKind = BorderTarget::Para;
        const char s = w.at(4);
        m_borderSide = s == 't' ? Top : s == 'l' ? Left : s == 'b' ? Bottom : Right;
        p.borders[m_borderSide] = Border{true, 10, 0, Border::Solid};
    } else if (w == "brdrs" || w == "brdrth" || w == "brdrsh" || w == "brdrhair" ||
               w == "brdrdot" || w == "brdrdash" || w == "brdrdashsm" || w == "brdrdashd" ||
               w == "brdrdashdd" || w == "brdrdb") {
        if (Border *b = borderTarget())
            b->style = w == "brdrdot"                         ? Border::Dotted
                       : w == "brdrdash" || w == "brdrdashsm" ? Border::Dashed
                       : w == "brdrdashd"                     ? Border::DotDash
                       : w == "brdrdashdd"                    ? Border::DotDotDash
                       : w == "brdrdb"                        ? Border::Double
                                                              : Border::Solid;
    } else if (w == "brdrnone" || w == "brdrnil" || w == "brdrtbl") {
        if (Border *b = borderTarget())
            b->on = false;
    } else if (w == "brdrw") {
        if (Border *b = borderTarget())
            b->width = std::clamp(param, 1, 150);
    } else if (w == "brdrcf") {
        if (Border *b = borderTarget())
            b->color = param;
    } else {
        return false;
    }
    return true;
}

// How wide a cell's border on one side is drawn, in pixels: 0 when it has none.
qreal RtfParser::borderWidth(const CellDef &cell, Side side) const
{
    const Border &b = cell.ownBorders ? cell.borders[side] : m_rowDef.rowBorders[side];
    return b.on ? std::max(1.0, b.width * m_pxPerTwip) : 0.0;
}

Border *RtfParser::borderTarget()
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

void RtfParser::startTable()
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
    if (!m_inner) // a table in a cell goes where the cell's text has got to
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

void RtfParser::endTable()
{
    if (!m_rowDone && (m_cellDone || m_col > 0))
        rowEnd();
    const int after = m_table->lastPosition() + 1;
    m_table = nullptr;
    m_cursor.setPosition(m_inner ? after : m_container->lastPosition());
    m_needBlock = false;
}

// The reader's table state and the other level's change places.
void RtfParser::switchLevel()
{
    std::swap(m_table, m_otherLevel.table);
    std::swap(m_row, m_otherLevel.row);
    std::swap(m_col, m_otherLevel.col);
    std::swap(m_widestRow, m_otherLevel.widestRow);
    std::swap(m_cellDone, m_otherLevel.cellDone);
    std::swap(m_rowDone, m_otherLevel.rowDone);
    std::swap(m_tableBounds, m_otherLevel.bounds);
    std::swap(m_rowDef, m_otherLevel.rowDef);
    m_inner = !m_inner;
}

// The table in a cell ends; the text goes on after it, in the cell.
void RtfParser::leaveInnerTable()
{
    if (m_table)
        endTable();
    m_otherLevel.rowDef = RowDef();
    switchLevel();
}

// The width a table's row may take: the text's, or for a table in a cell, that cell's.
qreal RtfParser::tableRoom() const
{
    const RowDef &outer = m_otherLevel.rowDef;
    const int col = m_otherLevel.col;
    if (!m_inner || col >= int(outer.cells.size()))
        return textWidth();
    const CellDef &cell = outer.cells[size_t(col)];
    const int left = col > 0 ? outer.cells[size_t(col - 1)].right : outer.left;
    const int pads = std::max(0, cell.padLeft >= 0 ? cell.padLeft : outer.gap) +
                     std::max(0, cell.padRight >= 0 ? cell.padRight : outer.gap);
    return std::max(px(144), (px(cell.right - left) - px(pads)) * rowFit(outer, textWidth()));
}

// By how much a row's widths shrink to fit `room`: a row wider than it (a table whose width
// was written relative to the page, in units of its own, or one as wide as the text with
// its outer borders drawn outside) is fitted to it, keeping its proportions.
qreal RtfParser::rowFit(const RowDef &row, qreal room) const
{
    if (row.cells.empty() || (m_nested && !m_inner))
        return 1.0;
    const int extent = row.cells.back().right - row.left;
    const qreal outer = borderWidth(row.cells.front(), Left) + borderWidth(row.cells.back(), Right);
    return extent > 0 && px(extent) + outer > room + 0.01 ? (room - outer) / px(extent) : 1.0;
}

void RtfParser::enterCellForContent()
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
        // A long table goes on in a table of its own every kTableRows rows: Qt rebuilds a
        // table's grid after each change, so one long table costs time growing with the
        // square of its rows, to read and to lay out.
        if ((!bounds.isEmpty() && !m_tableBounds.isEmpty() && !bounds.contains(m_tableBounds) &&
             !m_tableBounds.contains(bounds)) ||
            m_table->rows() * m_table->columns() >= kTableCells) {
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
void RtfParser::appendColumn()
{
    const int last = m_table->columns() - 1;
    m_table->appendColumns(1);
    for (int row = 0; row < m_row; ++row) {
        const QTextTableCell cell = m_table->cellAt(row, last);
        if (cell.isValid() && cell.row() == row && cell.rowSpan() == 1)
            m_table->mergeCells(row, cell.column(), 1, last + 2 - cell.column());
    }
}

// Past the limit on cells the table ends, and cell and row marks are read as a tab and a
// paragraph's end after it: the text stays, in paragraphs that are laid out one by one.
bool RtfParser::tablesFull()
{
    if (m_cells < RtfReader::kMaxCells)
        return false;
    note(QStringLiteral("Table cells beyond the first %1 were shown as plain text.")
             .arg(RtfReader::kMaxCells));
    if (m_table) {
        if (!m_rowDone && (m_cellDone || m_col > 0)) {
            formatRow();
            m_rowDone = true;
        }
        endTable();
    }
    return true;
}

void RtfParser::cellEnd()
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

void RtfParser::rowEnd()
{
    if (tablesFull()) {
        endParagraph();
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

void RtfParser::formatRow()
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
        const qreal fit = rowFit(m_rowDef, tableRoom());
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
                (f.*setWidth)(borderWidth(def, side));
                const QColor c = color(b.color);
                (f.*setBrush)(QBrush(c.isValid() ? c : QColor(Qt::black)));
                static const QTextFrameFormat::BorderStyle styles[] = {
                    QTextFrameFormat::BorderStyle_Solid,      QTextFrameFormat::BorderStyle_Dotted,
                    QTextFrameFormat::BorderStyle_Dashed,     QTextFrameFormat::BorderStyle_DotDash,
                    QTextFrameFormat::BorderStyle_DotDotDash, QTextFrameFormat::BorderStyle_Double};
                (f.*setStyle)(styles[b.style]);
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

} // namespace tarnvale::rtf
