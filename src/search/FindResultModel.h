// The rows of the result list: "Name", "Vehicle Info" and "Group", in the order found.
#pragma once

#include "FindRequest.h"

#include <QAbstractTableModel>
#include <QList>
#include <QVariant>

#include <functional>
#include <optional>

namespace tarnvale {

class FindResultModel : public QAbstractTableModel
{
    Q_OBJECT

  public:
    enum Column { NameColumn, VehicleInfoColumn, GroupColumn, ColumnCount };

    explicit FindResultModel(QObject *parent = nullptr);

    // The image every row shows in its first column (set by the window).
    void setRowIcon(const QVariant &icon) { m_icon = icon; }
    // Reads the texts of rows that came without them (FindResult::idOnly), when they are
    // shown: the rows of these ids, in table order; an id not given shows empty. When the
    // reader fails (nullopt), the rows stay unread and are asked for again when next shown.
    using TextReader = std::function<std::optional<QList<FindResult>>(const QList<qint64> &ids)>;
    void setTextReader(TextReader reader) { m_readTexts = std::move(reader); }

    void clear();
    void append(const QList<FindResult> &rows);
    // Every row at once, as a search run again found them.
    void replace(const QList<FindResult> &rows);
    // Takes out the rows of these records.
    void removeRecords(const QList<qint64> &ids);
    // The records with these ids as a search finds them now (`found`, in table order): a row
    // that is no longer found goes, one found anew comes in at its place in table order, the
    // others show what was found. The rows are in table order (a search's).
    void updateRecords(const QList<qint64> &ids, const QList<FindResult> &found);
    // The row of the record, -1 when it has none.
    int rowOf(qint64 id) const;
    const FindResult &at(int row) const { return m_rows.at(row); }
    const QList<FindResult> &rows() const { return m_rows; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

  private:
    void readTextsFrom(int row) const;

    mutable QList<FindResult> m_rows; // texts read when first shown
    QVariant m_icon;
    TextReader m_readTexts;
};

} // namespace tarnvale
