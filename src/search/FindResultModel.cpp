#include "FindResultModel.h"

#include <algorithm>

namespace tarnvale {

FindResultModel::FindResultModel(QObject *parent) : QAbstractTableModel(parent) {}

void FindResultModel::clear()
{
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void FindResultModel::append(const QList<FindResult> &rows)
{
    if (rows.isEmpty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
    m_rows.append(rows);
    endInsertRows();
}

void FindResultModel::replace(const QList<FindResult> &rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void FindResultModel::removeRecords(const QList<qint64> &ids)
{
    for (int row = int(m_rows.size()) - 1; row >= 0; --row) {
        if (!ids.contains(m_rows.at(row).id))
            continue;
        beginRemoveRows(QModelIndex(), row, row);
        m_rows.removeAt(row);
        endRemoveRows();
    }
}

void FindResultModel::updateRecords(const QList<qint64> &ids, const QList<FindResult> &found)
{
    const auto byId = [](const FindResult &row, qint64 id) { return row.id < id; };
    for (const qint64 id : ids) {
        const auto now = std::find_if(found.cbegin(), found.cend(),
                                      [id](const FindResult &row) { return row.id == id; });
        const int at = int(std::lower_bound(m_rows.cbegin(), m_rows.cend(), id, byId) -
                           m_rows.cbegin());
        const bool shown = at < m_rows.size() && m_rows.at(at).id == id;
        if (now != found.cend() && shown) {
            m_rows[at] = *now;
            Q_EMIT dataChanged(index(at, 0), index(at, ColumnCount - 1));
        } else if (now != found.cend()) {
            beginInsertRows(QModelIndex(), at, at);
            m_rows.insert(at, *now);
            endInsertRows();
        } else if (shown) {
            beginRemoveRows(QModelIndex(), at, at);
            m_rows.removeAt(at);
            endRemoveRows();
        }
    }
}

int FindResultModel::rowOf(qint64 id) const
{
    for (int row = 0; row < int(m_rows.size()); ++row)
        if (m_rows.at(row).id == id)
            return row;
    return -1;
}

int FindResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int FindResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FindResultModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if ((role == Qt::DisplayRole || role == Qt::ToolTipRole) &&
        !m_rows.at(index.row()).hasTexts())
        readTextsFrom(index.row());
    const FindResult &row = m_rows.at(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case NameColumn:
            return row.name();
        case VehicleInfoColumn:
            return row.vehicleInfo();
        case GroupColumn:
            return row.group();
        default:
            return {};
        }
    }
    if (role == Qt::DecorationRole && index.column() == NameColumn)
        return m_icon;
    return {};
}

void FindResultModel::readTextsFrom(int row) const
{
    // A page at a time: a view asks for a screenful of rows, one cell after another.
    constexpr int kPage = 64;
    QList<qint64> ids;
    const int end = qMin(int(m_rows.size()), row + kPage);
    for (int r = row; r < end; ++r)
        if (!m_rows.at(r).hasTexts())
            ids << m_rows.at(r).id;
    const std::optional<QList<FindResult>> answer =
        m_readTexts ? m_readTexts(ids) : std::optional<QList<FindResult>>();
    if (!answer)
        return;
    const QList<FindResult> &read = *answer;
    // Both in table order.
    auto next = read.cbegin();
    for (int r = row; r < end; ++r) {
        FindResult &shown = m_rows[r];
        if (shown.hasTexts())
            continue;
        while (next != read.cend() && next->id < shown.id)
            ++next;
        shown = next != read.cend() && next->id == shown.id
                    ? *next
                    : FindResult(shown.id, QString(), QString(), QString());
    }
}

QVariant FindResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return QStringLiteral("Name");
    case VehicleInfoColumn:
        return QStringLiteral("Vehicle Info");
    case GroupColumn:
        return QStringLiteral("Group");
    default:
        return {};
    }
}

Qt::ItemFlags FindResultModel::flags(const QModelIndex &index) const
{
    // Rows can be selected but carry no action.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace tarnvale
