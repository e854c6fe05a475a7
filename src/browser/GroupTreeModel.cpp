#include "GroupTreeModel.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QRandomGenerator>

#include <algorithm>

#include "RecordStore.h"

namespace tarnvale {

GroupTreeModel::GroupTreeModel(QObject *parent) : QAbstractItemModel(parent) {}

QString GroupTreeModel::randomKeyNumber()
{
    // Seeded from the clock for each draw; only uniqueness within the tree matters.
    QRandomGenerator generator(quint32(QDateTime::currentMSecsSinceEpoch())
                               ^ QRandomGenerator::system()->generate());
    return QString::number(generator.bounded(1000000000));
}

void GroupTreeModel::clear()
{
    beginResetModel();
    resetNodes();
    m_recordCount = 0;
    endResetModel();
}

void GroupTreeModel::resetNodes()
{
    m_groups.clear();
    m_vehicles.clear();
    m_otherVehicles.clear();
    m_groupById.clear();
    m_labels.clear();
    m_rootKey = QStringLiteral("ROOT") + randomKeyNumber();
    do {
        m_otherKey = QStringLiteral("STRY") + randomKeyNumber();
    } while (m_otherKey.mid(4) == m_rootKey.mid(4));
}

DbError GroupTreeModel::rebuild(RecordStore &store, bool expanded)
{
    beginResetModel();
    resetNodes();
    m_expanded = expanded;

    DbError error;
    QHash<QByteArray, int> groupByName; // exact, case-sensitive names as UTF-8
    if (const auto groups = store.groups()) {
        m_groups.reserve(groups->size());
        for (const GroupRecord &group : *groups) {
            if (group.name.trimmed().isEmpty())
                continue; // a blank name gets no node
            groupByName.insert(group.name.toUtf8(), int(m_groups.size()));
            m_groupById.insert(group.id, int(m_groups.size()));
            m_groups.append(Group{group.id, group.name, {}});
        }
    } else {
        error = store.lastError();
    }

    if (!error.isError()) {
        const bool ok = store.scanVehicleBriefs([&](const VehicleBrief &brief) {
            int group = -1;
            if (!isBlank(brief.groupname)) {
                // A vehicle naming a group that does not exist gets no node (but is counted).
                const auto found = groupByName.constFind(
                    QByteArray::fromRawData(brief.groupname.data(), brief.groupname.size()));
                if (found == groupByName.constEnd())
                    return;
                group = found.value();
            }
            // The label: the year as stored, then make, model and colour in capitals.
            const qsizetype start = m_labels.size();
            m_labels.append(brief.vehyear).append(' ');
            appendUpper(m_labels, brief.vehmake);
            m_labels.append(' ');
            appendUpper(m_labels, brief.vehmodel);
            m_labels.append(' ');
            appendUpper(m_labels, brief.vehcolor);
            QVector<int> &siblings = group < 0 ? m_otherVehicles : m_groups[group].vehicles;
            m_vehicles.append(Vehicle{brief.id, start, int(m_labels.size() - start), group,
                                      int(siblings.size())});
            siblings.append(int(m_vehicles.size() - 1));
        });
        if (!ok)
            error = store.lastError();
    }
    if (!error.isError()) {
        const qint64 count = store.towRecordCount();
        if (count < 0)
            error = store.lastError();
        else
            m_recordCount = count;
    }
    endResetModel();
    return error;
}

bool GroupTreeModel::isBlank(QByteArrayView text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80)
            return QString::fromUtf8(text).trimmed().isEmpty();
        if (byte != ' ' && (byte < '\t' || byte > '\r'))
            return false;
    }
    return true;
}

void GroupTreeModel::appendUpper(QByteArray &out, QByteArrayView text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            out.append(QString::fromUtf8(text).toUpper().toUtf8());
            return;
        }
    }
    const qsizetype start = out.size();
    out.append(text);
    char *p = out.data() + start;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (p[i] >= 'a' && p[i] <= 'z')
            p[i] = char(p[i] - ('a' - 'A'));
}

QString GroupTreeModel::labelOf(const Vehicle &vehicle) const
{
    return QString::fromUtf8(m_labels.constData() + vehicle.label, vehicle.labelLength);
}

void GroupTreeModel::setImages(QVector<QIcon> images)
{
    m_images = std::move(images);
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(1, 0), {Qt::DecorationRole});
}

QModelIndex GroupTreeModel::groupIndex(qint64 groupId) const
{
    const auto found = m_groupById.constFind(groupId);
    if (found == m_groupById.constEnd())
        return {};
    return createIndex(found.value(), 0, pack(Level::Group, found.value()));
}

QModelIndex GroupTreeModel::vehicleIndex(qint64 recordId) const
{
    const auto found = std::lower_bound(m_vehicles.cbegin(), m_vehicles.cend(), recordId,
                                        [](const Vehicle &v, qint64 id) { return v.id < id; });
    if (found == m_vehicles.cend() || found->id != recordId)
        return {};
    return createIndex(found->row, 0, pack(Level::Vehicle, int(found - m_vehicles.cbegin())));
}

QModelIndex GroupTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < 2 ? createIndex(row, 0, pack(Level::Top, row)) : QModelIndex();
    switch (levelOf(parent)) {
    case Level::Top: {
        if (slotOf(parent) == 0)
            return row < m_groups.size() ? createIndex(row, 0, pack(Level::Group, row)) : QModelIndex();
        return row < m_otherVehicles.size()
                   ? createIndex(row, 0, pack(Level::Vehicle, m_otherVehicles.at(row)))
                   : QModelIndex();
    }
    case Level::Group: {
        const Group &group = m_groups.at(slotOf(parent));
        return row < group.vehicles.size()
                   ? createIndex(row, 0, pack(Level::Vehicle, group.vehicles.at(row)))
                   : QModelIndex();
    }
    case Level::Vehicle:
        break;
    }
    return {};
}

QModelIndex GroupTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    switch (levelOf(child)) {
    case Level::Top:
        return {};
    case Level::Group:
        return createIndex(0, 0, pack(Level::Top, 0));
    case Level::Vehicle: {
        const int group = m_vehicles.at(slotOf(child)).group;
        if (group < 0)
            return createIndex(1, 0, pack(Level::Top, 1));
        return createIndex(group, 0, pack(Level::Group, group));
    }
    }
    return {};
}

int GroupTreeModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return 2;
    if (parent.column() != 0)
        return 0;
    switch (levelOf(parent)) {
    case Level::Top:
        return slotOf(parent) == 0 ? int(m_groups.size()) : int(m_otherVehicles.size());
    case Level::Group:
        return int(m_groups.at(slotOf(parent)).vehicles.size());
    case Level::Vehicle:
        return 0;
    }
    return 0;
}

int GroupTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

Qt::ItemFlags GroupTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable; // never draggable
    if (rowCount(index) == 0)
        flags |= Qt::ItemNeverHasChildren;
    return flags;
}

QVariant GroupTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int slot = slotOf(index);
    const Level level = levelOf(index);

    NodeKind kind = NodeKind::Root;
    qint64 id = 0;
    if (level == Level::Top)
        kind = slot == 0 ? NodeKind::Root : NodeKind::Other;
    else if (level == Level::Group)
        kind = NodeKind::Group, id = m_groups.at(slot).id;
    else
        kind = NodeKind::Vehicle, id = m_vehicles.at(slot).id;

    auto image = [&](bool selected) {
        switch (kind) {
        case NodeKind::Root:
        case NodeKind::Other: return kImageTop;
        case NodeKind::Group: return selected ? kImageGroupSelected : kImageGroup;
        case NodeKind::Vehicle:
            if (m_vehicles.at(slot).group < 0)
                return selected ? kImageLooseVehicleSelected : kImageLooseVehicle;
            return selected ? kImageVehicleSelected : kImageVehicle;
        }
        return 0;
    };

    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (kind) {
        case NodeKind::Root: return QStringLiteral("Tow Groups");
        case NodeKind::Other: return QStringLiteral("Other");
        case NodeKind::Group: return m_groups.at(slot).name;
        case NodeKind::Vehicle: return labelOf(m_vehicles.at(slot));
        }
        break;
    case KeyRole:
        switch (kind) {
        case NodeKind::Root: return m_rootKey;
        case NodeKind::Other: return m_otherKey;
        case NodeKind::Group: return QStringLiteral("G") + QString::number(id);
        case NodeKind::Vehicle: return QStringLiteral("C") + QString::number(id);
        }
        break;
    case TagRole:
        switch (kind) {
        case NodeKind::Root:
        case NodeKind::Other: return QString();
        case NodeKind::Group: return QStringLiteral("G|") + QString::number(id);
        case NodeKind::Vehicle: return QStringLiteral("C|") + QString::number(id);
        }
        break;
    case KindRole: return int(kind);
    case IdRole: return id;
    case ImageRole: return image(false);
    case SelectedImageRole: return image(true);
    case ExpandedRole:
        return kind == NodeKind::Root || kind == NodeKind::Other
               || (kind == NodeKind::Group && m_expanded);
    case Qt::FontRole:
        if (kind == NodeKind::Root || kind == NodeKind::Other) {
            QFont font;
            font.setBold(true);
            return font;
        }
        break;
    case Qt::ForegroundRole:
        if (kind == NodeKind::Vehicle)
            return QColor(100, 100, 130);
        break;
    case Qt::DecorationRole: {
        const int number = image(false);
        if (number < m_images.size())
            return m_images.at(number);
        break;
    }
    default: break;
    }
    return {};
}

} // namespace tarnvale
