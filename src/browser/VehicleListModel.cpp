#include "VehicleListModel.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <numeric>

#include "ImpoundStore.h"
#include "RecordStore.h"
#include "StoreChange.h"

namespace tarnvale {

namespace {

// Where each id stands in the list.
QHash<qint64, qsizetype> positions(const QList<qint64> &ids)
{
    QHash<qint64, qsizetype> at;
    for (qsizetype i = 0; i < ids.size(); ++i)
        at.insert(ids.at(i), i);
    return at;
}

} // namespace

void VehicleListModel::showSheet(const SheetContents &sheet)
{
    beginResetModel();
    m_store = nullptr;
    m_group = QString();
    m_settings.reset();
    m_sortColumn = -1;
    m_columns = sheet.columns;
    m_longest = QStringList(m_columns.size());
    m_ids = QList<qint64>(sheet.rows.size(), 0);
    m_rows.clear();
    for (qsizetype i = 0; i < sheet.rows.size(); ++i) {
        m_rows.append(Row{sheet.rows.at(i), sheet.sortKeys.value(i), true});
        noteLongest(sheet.rows.at(i));
    }
    endResetModel();
}

void VehicleListModel::clear()
{
    showSheet({});
}

bool VehicleListModel::showGroup(RecordStore &store, const QString &groupName,
                                 const SettingsFile &settings, const QDate &today, int sortColumn,
                                 Qt::SortOrder order)
{
    beginResetModel();
    m_store = &store;
    m_group = groupName;
    m_settings = SettingsFile::snapshot(settings.path());
    m_today = today;
    m_sortColumn = sortColumn;
    m_order = order;
    m_ids.clear();
    m_rows.clear();
    // The status column once any vehicle has a status of its own, as the listing has it.
    m_withStatus = ImpoundStore(store).inUse().value_or(false);
    static const QHash<qint64, VehicleStatus> kNone;
    m_columns = RecordSheets::groupListing({}, groupName, *m_settings, today, QLocale(),
                                          m_withStatus ? &kNone : nullptr)
                    .columns;
    m_longest = QStringList(m_columns.size());
    bool read = false;
    if (sortColumn >= 0) {
        read = readKeys();
    } else if (const auto ids = store.towRecordIdsInGroup(groupName)) {
        m_ids = *ids;
        m_rows.resize(m_ids.size());
        read = true;
    }
    if (!read) {
        m_ids.clear();
        m_rows.clear();
    }
    this->order();
    if (!m_rows.isEmpty())
        readBlock(0);
    endResetModel();
    return read;
}

bool VehicleListModel::readAll()
{
    QList<qint64> ids;
    const auto listed =
        RecordSheets::groupListing(*m_store, m_group, *m_settings, m_today, QLocale(), &ids);
    if (!listed || listed->columns != m_columns)
        return false;
    m_ids = ids;
    m_rows.clear();
    for (qsizetype i = 0; i < ids.size(); ++i) {
        m_rows.append(Row{listed->rows.at(i), listed->sortKeys.at(i), true});
        noteLongest(listed->rows.at(i));
    }
    return true;
}

bool VehicleListModel::readKeys()
{
    const std::optional<TowField> field = RecordSheets::listedField(m_sortColumn);
    if (!field)
        return readAll();
    const auto values = m_store->towFieldInGroup(m_group, *field);
    if (!values)
        return false;
    const QHash<qint64, qsizetype> at = positions(m_ids);
    QList<qint64> ids;
    QList<Row> rows;
    for (const auto &[id, value] : *values) {
        // A row read already keeps its keys; the others get the one they sort by.
        const qsizetype row = at.value(id, -1);
        rows.append(row >= 0 && m_rows.at(row).read ? m_rows.at(row) : Row{});
        if (!rows.last().read) {
            rows.last().keys = QVariantList(m_sortColumn + 1);
            rows.last().keys[m_sortColumn] =
                RecordSheets::fieldKey(m_sortColumn, value, m_today, QLocale());
        }
        ids.append(id);
    }
    m_ids = ids;
    m_rows = rows;
    return true;
}

void VehicleListModel::readBlock(int row) const
{
    const int first = row / kBlockRows * kBlockRows;
    const int last = std::min(first + kBlockRows, int(m_rows.size()));
    QList<qint64> ids;
    for (int r = first; r < last; ++r)
        if (!m_rows.at(r).read)
            ids.append(m_ids.at(r));
    if (ids.isEmpty())
        return;
    QList<qint64> listed;
    const auto fresh =
        RecordSheets::groupRows(*m_store, m_group, ids, m_withStatus, *m_settings, m_today, &listed);
    const QHash<qint64, qsizetype> at = positions(listed);
    // A vehicle gone from the group since shows blank until its change arrives; rows the
    // store fails to give show blank (they are not asked for again at every paint).
    for (int r = first; r < last; ++r) {
        Row &read = m_rows[r];
        if (read.read)
            continue;
        if (const qsizetype i = at.value(m_ids.at(r), -1); fresh && i >= 0) {
            read.cells = fresh->rows.at(i);
            read.keys = fresh->sortKeys.at(i);
            noteLongest(read.cells);
        }
        read.read = true;
    }
    Q_EMIT const_cast<VehicleListModel *>(this)->rowsRead();
}

void VehicleListModel::noteLongest(const QStringList &cells) const
{
    for (qsizetype c = 0; c < cells.size() && c < m_longest.size(); ++c)
        if (cells.at(c).size() > m_longest.at(c).size())
            m_longest[c] = cells.at(c);
}

SheetContents VehicleListModel::longestTexts() const
{
    return SheetContents{m_columns, {m_longest}, {}};
}

bool VehicleListModel::before(qint64 a, const Row &rowA, qint64 b, const Row &rowB) const
{
    if (m_sortColumn >= 0) {
        const bool up = m_order == Qt::AscendingOrder;
        const QVariant &keyA = rowA.keys.value(m_sortColumn);
        const QVariant &keyB = rowB.keys.value(m_sortColumn);
        if (SheetContents::sortsBefore(up ? keyA : keyB, up ? keyB : keyA))
            return true;
        if (SheetContents::sortsBefore(up ? keyB : keyA, up ? keyA : keyB))
            return false;
    }
    return a < b;
}

void VehicleListModel::order()
{
    QList<qsizetype> places(m_ids.size());
    std::iota(places.begin(), places.end(), 0);
    std::stable_sort(places.begin(), places.end(), [this](qsizetype a, qsizetype b) {
        return before(m_ids.at(a), m_rows.at(a), m_ids.at(b), m_rows.at(b));
    });
    QList<qint64> ids;
    QList<Row> rows;
    for (const qsizetype at : places) {
        ids.append(m_ids.at(at));
        rows.append(m_rows.at(at));
    }
    m_ids = ids;
    m_rows = rows;
}

void VehicleListModel::sort(int column, Qt::SortOrder order)
{
    column = std::max(column, -1);
    if (!m_store || (column == m_sortColumn && (column < 0 || order == m_order)))
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The selection stays with its records.
    const QModelIndexList kept = persistentIndexList();
    QList<qint64> keptIds;
    for (const QModelIndex &index : kept)
        keptIds.append(m_ids.value(index.row(), -1));
    m_sortColumn = column;
    m_order = order;
    if (column >= 0 &&
        std::any_of(m_rows.cbegin(), m_rows.cend(), [](const Row &row) { return !row.read; }))
        readKeys(); // every row's key decides
    this->order();
    const QHash<qint64, qsizetype> rowOf = positions(m_ids);
    QModelIndexList moved;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        const int row = int(rowOf.value(keptIds.at(i), -1));
        moved.append(row < 0 ? QModelIndex() : index(row, kept.at(i).column()));
    }
    changePersistentIndexList(kept, moved);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool VehicleListModel::update(const StoreChange &change)
{
    if (!m_store)
        return false;
    const QList<qint64> named = change.addedRecords + change.changedRecords + change.removedRecords;
    if (named.isEmpty())
        return true;
    if (!m_withStatus && ImpoundStore(*m_store).inUse().value_or(true))
        return false;
    QList<qint64> ids;
    const auto fresh =
        RecordSheets::groupRows(*m_store, m_group, change.addedRecords + change.changedRecords,
                               m_withStatus, *m_settings, m_today, &ids);
    if (!fresh)
        return false;
    const QHash<qint64, qsizetype> freshAt = positions(ids);
    QSet<qint64> done;
    for (const qint64 id : named) {
        if (done.contains(id))
            continue;
        done.insert(id);
        int at = int(m_ids.indexOf(id));
        const qsizetype i = freshAt.value(id, -1);
        if (i < 0) {
            if (at >= 0) {
                beginRemoveRows({}, at, at);
                m_ids.removeAt(at);
                m_rows.removeAt(at);
                endRemoveRows();
            }
            continue;
        }
        const Row row{fresh->rows.at(i), fresh->sortKeys.at(i), true};
        noteLongest(row.cells);
        const int size = int(m_ids.size());
        // A row that keeps its place changes in place (and stays selected).
        if (at >= 0 && (at == 0 || before(m_ids.at(at - 1), m_rows.at(at - 1), id, row)) &&
            (at + 1 == size || before(id, row, m_ids.at(at + 1), m_rows.at(at + 1)))) {
            m_rows[at] = row;
            Q_EMIT dataChanged(index(at, 0), index(at, int(m_columns.size()) - 1));
            continue;
        }
        if (at >= 0) {
            beginRemoveRows({}, at, at);
            m_ids.removeAt(at);
            m_rows.removeAt(at);
            endRemoveRows();
        }
        int low = 0;
        int high = int(m_ids.size());
        while (low < high) {
            const int middle = (low + high) / 2;
            if (before(m_ids.at(middle), m_rows.at(middle), id, row))
                low = middle + 1;
            else
                high = middle;
        }
        beginInsertRows({}, low, low);
        m_ids.insert(low, id);
        m_rows.insert(low, row);
        endInsertRows();
    }
    Q_EMIT rowsRead();
    return true;
}

int VehicleListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int VehicleListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant VehicleListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == IdRole)
        return index.column() == 0 && m_store ? QVariant(m_ids.at(index.row())) : QVariant();
    if (role != Qt::DisplayRole && role != KeyRole)
        return {};
    if (!m_rows.at(index.row()).read)
        readBlock(index.row());
    const Row &row = m_rows.at(index.row());
    return role == KeyRole ? row.keys.value(index.column())
                           : QVariant(row.cells.value(index.column()));
}

QVariant VehicleListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_columns.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace tarnvale
