// What a report shows, apart from any window: its tables (each sortable, with a totals row)
// and its chart, and the same as CSV and as HTML for printing. Money is whole cents.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace tarnvale {

struct ReportColumn
{
    enum class Kind { Text, Count, Money };
    QString title;
    Kind kind = Kind::Text;
    friend bool operator==(const ReportColumn &, const ReportColumn &) = default;
};

struct ReportTable
{
    QString title;
    QList<ReportColumn> columns;
    // One value per column: a QString for Text, a qint64 for Count and Money (cents).
    QList<QVariantList> rows;
    QVariantList totals; // empty: no totals row

    // The cell as shown: "$1,234.50" is never written; money reads "$1234.50", "-$5.00".
    QString cellText(const QVariantList &row, int column) const;
    friend bool operator==(const ReportTable &, const ReportTable &) = default;
};

struct ReportChart
{
    enum class Kind { Bars, Lines };
    Kind kind = Kind::Bars;
    QString title;
    QString xTitle; // with its unit, "Days in storage"
    QString yTitle; // with its unit, "Vehicles", "Dollars"
    QStringList categories;
    QList<QPair<QString, QList<double>>> series; // legend name, one value per category
    friend bool operator==(const ReportChart &, const ReportChart &) = default;
};

struct Report
{
    QString title;
    QString period; // "As of 12/8/2026", "From 3/1/2026 to 3/31/2026"
    QList<ReportTable> tables;
    std::optional<ReportChart> chart;
    QStringList notes; // what the figures leave out, one sentence each

    // Every table in turn: its title, its column titles, its rows and its totals (first cell
    // "Total"), then an empty row. Money as a plain number ("-5.00"), through CsvWriter.
    QByteArray csv() const;
    // The title, period and notes, the chart as the image named `chartImage` (when there is
    // a chart and the name is not empty), and the tables, for a QTextDocument.
    QString html(const QString &chartImage) const;
};

} // namespace tarnvale
