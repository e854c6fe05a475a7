#include "Report.h"

#include "CsvWriter.h"
#include "ImpoundRules.h"

namespace tarnvale {

namespace {

QString plainCents(qint64 cents)
{
    const qint64 whole = cents < 0 ? -cents : cents;
    return QStringLiteral("%1%2.%3")
        .arg(cents < 0 ? QStringLiteral("-") : QString())
        .arg(whole / 100)
        .arg(whole % 100, 2, 10, QLatin1Char('0'));
}

} // namespace

QString ReportTable::cellText(const QVariantList &row, int column) const
{
    const QVariant value = row.value(column);
    if (!value.isValid())
        return {};
    switch (columns.at(column).kind) {
    case ReportColumn::Kind::Money:
        return ImpoundRules::centsText(value.toLongLong());
    case ReportColumn::Kind::Count:
        return QString::number(value.toLongLong());
    case ReportColumn::Kind::Text:
        break;
    }
    return value.toString();
}

QByteArray Report::csv() const
{
    CsvWriter out;
    for (const ReportTable &table : tables) {
        out.add(table.title);
        out.endRow();
        for (const ReportColumn &column : table.columns)
            out.add(column.title);
        out.endRow();
        QList<QVariantList> rows = table.rows;
        if (!table.totals.isEmpty())
            rows << table.totals;
        for (const QVariantList &row : rows) {
            for (int c = 0; c < table.columns.size(); ++c) {
                const QVariant value = row.value(c);
                const ReportColumn::Kind kind = table.columns.at(c).kind;
                if (!value.isValid() || kind == ReportColumn::Kind::Text)
                    out.add(value.toString());
                else
                    out.add(kind == ReportColumn::Kind::Money ? plainCents(value.toLongLong())
                                                              : QString::number(value.toLongLong()),
                            CsvWriter::Cell::Number);
            }
            out.endRow();
        }
        out.endRow();
    }
    return out.bytes();
}

QString Report::html(const QString &chartImage) const
{
    QString html = QStringLiteral("<h2>%1</h2><p>%2</p>")
                       .arg(title.toHtmlEscaped(), period.toHtmlEscaped());
    for (const QString &note : notes)
        html += QStringLiteral("<p><i>%1</i></p>").arg(note.toHtmlEscaped());
    if (chart && !chartImage.isEmpty())
        html += QStringLiteral("<p><img src=\"%1\" width=\"600\" height=\"300\"></p>")
                    .arg(chartImage.toHtmlEscaped());
    for (const ReportTable &table : tables) {
        html += QStringLiteral("<h3>%1</h3><table border=\"1\" cellspacing=\"0\" "
                               "cellpadding=\"3\"><tr>")
                    .arg(table.title.toHtmlEscaped());
        for (const ReportColumn &column : table.columns)
            html += QStringLiteral("<th>%1</th>").arg(column.title.toHtmlEscaped());
        html += QStringLiteral("</tr>");
        QList<QVariantList> rows = table.rows;
        if (!table.totals.isEmpty())
            rows << table.totals;
        for (int r = 0; r < rows.size(); ++r) {
            const bool total = r == table.rows.size();
            html += QStringLiteral("<tr>");
            for (int c = 0; c < table.columns.size(); ++c) {
                const QString text = table.cellText(rows.at(r), c).toHtmlEscaped();
                const bool right = table.columns.at(c).kind != ReportColumn::Kind::Text;
                html += QStringLiteral("<td style=\"white-space:nowrap\"%1>%2</td>")
                            .arg(right ? QStringLiteral(" align=\"right\"") : QString(),
                                 total ? QStringLiteral("<b>") + text + QStringLiteral("</b>")
                                       : text);
            }
            html += QStringLiteral("</tr>");
        }
        html += QStringLiteral("</table>");
    }
    return html;
}

} // namespace tarnvale
