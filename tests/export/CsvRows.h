// Reads CSV text back into rows (RFC 4180), so that tests look at cells rather than bytes.
#pragma once

#include <QStringList>

namespace tarnvale::test {

inline QList<QStringList> csvRows(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i), next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (quoted && c == u'"' && next == u'"') {
            cell += text.at(++i); // a doubled quote inside quotes
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (quoted || (c != u',' && !(c == u'\r' && next == u'\n'))) {
            cell += c;
        } else { // the cell ends, and with a line end its row
            row << cell;
            cell.clear();
            if (c == u'\r') {
                rows << row;
                row.clear();
                ++i;
            }
        }
    }
    if (!row.isEmpty() || !cell.isEmpty())
        rows << (row << cell); // a last row without its line end
    return rows;
}

// The cells of one column, by its header name, below the header.
inline QStringList csvColumn(const QList<QStringList> &rows, const QString &name)
{
    QStringList cells;
    const qsizetype column = rows.isEmpty() ? -1 : rows.first().indexOf(name);
    for (qsizetype r = 1; r < rows.size() && column >= 0; ++r)
        cells << rows.at(r).value(column);
    return cells;
}

} // namespace tarnvale::test
