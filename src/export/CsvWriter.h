// Rows of a CSV file as RFC 4180 has them, in UTF-8: fields separated by commas, rows ended
// by CR LF, a field that holds a comma, a double quote, CR or LF enclosed in double quotes
// with its double quotes doubled.
//
// A text cell that a spreadsheet would take for a formula (it begins with "=", "+", "-", "@",
// a tab or a carriage return) gets an apostrophe in front, which spreadsheets show as text.
// A text cell that is a plain number ("-12.50", "+3") is left as it is, and number cells are
// never changed: "-" and "+" begin numbers, not only formulas.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tarnvale {

class CsvWriter
{
public:
    enum class Cell { Text, Number };

    void add(QByteArrayView utf8, Cell cell = Cell::Text);
    void add(const QString &text, Cell cell = Cell::Text) { add(QByteArrayView(text.toUtf8()), cell); }
    void endRow();

    // What has been written so far; clear() (between rows) starts afresh and keeps the memory.
    const QByteArray &bytes() const { return m_bytes; }
    void clear() { m_bytes.resize(0); }

    // "-12.5", "+3", "1e5", ".5": an optional sign, digits with at most one ".", an optional
    // exponent; at least one digit.
    static bool isPlainNumber(QByteArrayView utf8);
    // Text that a spreadsheet would run as a formula when it opens the file.
    static bool isFormulaLike(QByteArrayView utf8);

private:
    QByteArray m_bytes;
    bool m_rowStarted = false;
};

} // namespace tarnvale
