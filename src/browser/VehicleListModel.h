// The browser's list: the vehicles of a group, or the Field/Value sheet of one vehicle. A
// group's ids are read at once from the group name's index; its rows are read and formatted
// in blocks as the view asks for them, so that a large group shows at once. Sorted by a
// column, its keys decide the order (a column figured from several has the group read
// whole): rows by their keys
// (SheetContents::sortsBefore), either way up, rows of equal keys in table order.
#pragma once

#include <QAbstractTableModel>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

#include "RecordSheets.h"
#include "SettingsFile.h"

namespace tarnvale {

class RecordStore;
struct StoreChange;

class VehicleListModel : public QAbstractTableModel
{
    Q_OBJECT

  public:
    static constexpr int kBlockRows = 64; // rows read at once as they come into sight
    // A cell's sort key, and on a group list's first column the row's record.
    enum Role { KeyRole = Qt::UserRole + 1, IdRole };

    using QAbstractTableModel::QAbstractTableModel;

    // A sheet, in its own order.
    void showSheet(const SheetContents &sheet);
    // The vehicles whose group name is exactly the name (as RecordSheets::groupListing lists
    // them, as of today, with the settings as they are now), in table order or sorted by the
    // column (-1: none). False when the store fails: the columns with no rows.
    bool showGroup(RecordStore &store, const QString &groupName, const SettingsFile &settings,
                   const QDate &today, int sortColumn, Qt::SortOrder order);
    void clear();
    // A change to the store: the rows of the vehicles it names are read again, each put where
    // the order says, the others untouched. False when the list is to be shown anew (a first
    // status of its own brings the status column, or the store fails).
    bool update(const StoreChange &change);

    // The group listed; null while the list shows none.
    const QString &group() const { return m_group; }
    // The longest text of each column (by character count, the first of equally long ones)
    // among the rows read so far, as one row: what the columns' widths are measured from.
    SheetContents longestTexts() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // A sheet keeps its order; a group sorts by the column, or is in table order for -1.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  Q_SIGNALS:
    // Rows were read: a column's longest text may have grown.
    void rowsRead();

  private:
    struct Row
    {
        QStringList cells;
        QVariantList keys;
        bool read = false;
    };
    // Reads the unread rows of the block that holds the row.
    void readBlock(int row) const;
    // Reads every row of the group in table order; false when the store fails or the listing
    // now has other columns.
    bool readAll();
    // Every row's key for the sort column: from its one field for a column shown as stored
    // (the rows are read as they come into sight), else from every row read; false when the
    // store fails.
    bool readKeys();
    void noteLongest(const QStringList &cells) const;
    // Whether row a goes before row b in the list's order.
    bool before(qint64 a, const Row &rowA, qint64 b, const Row &rowB) const;
    // Puts the rows in the list's order.
    void order();

    QStringList m_columns;
    QList<qint64> m_ids;
    mutable QList<Row> m_rows;
    RecordStore *m_store = nullptr; // set while a group is listed
    QString m_group;
    std::optional<SettingsFile> m_settings;
    QDate m_today;
    bool m_withStatus = false;
    int m_sortColumn = -1;
    Qt::SortOrder m_order = Qt::AscendingOrder;
    mutable QStringList m_longest;
};

} // namespace tarnvale
