#include "GroupTreeModel.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>

#include "ReadableColor.h"
#include "RecordStore.h"
#include "StoreChange.h"

namespace tarnvale {

GroupTreeModel::GroupTreeModel(QObject *parent) : QAbstractItemModel(parent), m_parents(1) {}

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
    m_store = nullptr;
    m_recordCount = 0;
    endResetModel();
}

void GroupTreeModel::SlotById::clear(qint64 denseIds)
{
    m_dense.clear();
    m_sparse.clear();
    // Never more than a few times the table's count, whatever the ids: 4 bytes an id.
    m_denseLimit = qBound<qint64>(1024, denseIds, qint64(1) << 28);
}

void GroupTreeModel::SlotById::insert(qint64 id, int slot)
{
    if (id < 0 || id >= m_denseLimit) {
        m_sparse.insert(id, slot);
        return;
    }
    if (id >= m_dense.size()) {
        const qint64 grown = std::max(id + 1, qint64(m_dense.size()) * 2);
        m_dense.resize(qsizetype(std::min(m_denseLimit, grown)), -1);
    }
    m_dense[qsizetype(id)] = slot;
}

int GroupTreeModel::SlotById::value(qint64 id) const
{
    if (id >= 0 && id < m_denseLimit)
        return id < m_dense.size() ? m_dense.at(qsizetype(id)) : -1;
    return m_sparse.value(id, -1);
}

void GroupTreeModel::SlotById::remove(qint64 id)
{
    if (id >= 0 && id < m_denseLimit) {
        if (id < m_dense.size())
            m_dense[qsizetype(id)] = -1;
    } else {
        m_sparse.remove(id);
    }
}

void GroupTreeModel::resetNodes()
{
    m_parents.clear();
    m_parents.append(Parent{});
    m_freeParents.clear();
    m_groupOrder.clear();
    m_groupById.clear();
    m_groupByName.clear();
    m_vehicles.clear();
    m_freeVehicles.clear();
    m_vehicleById.clear();
    m_labels.clear();
    m_rootKey = QStringLiteral("ROOT") + randomKeyNumber();
    do {
        m_otherKey = QStringLiteral("STRY") + randomKeyNumber();
    } while (m_otherKey.mid(4) == m_rootKey.mid(4));
}

DbError GroupTreeModel::rebuild(RecordStore &store, bool expanded, Loading loading)
{
    beginResetModel();
    resetNodes();
    m_store = &store;
    m_loading = loading;
    m_expanded = expanded;

    DbError error;
    if (const auto groups = store.groups()) {
        m_parents.reserve(groups->size() + 1);
        for (const GroupRecord &group : *groups) {
            if (group.name.trimmed().isEmpty())
                continue; // a blank name gets no node
            const int slot = int(m_parents.size());
            m_parents.append(Parent{group.id, group.name, {}, false});
            m_groupOrder.append(slot);
            m_groupById.insert(group.id, slot);
            // groups() reads in GROUPID order: the first group of a name stays its group.
            const QByteArray key = group.name.toUtf8();
            if (!m_groupByName.contains(key))
                m_groupByName.insert(key, slot);
        }
    } else {
        error = store.lastError();
    }

    qint64 count = -1;
    if (!error.isError()) {
        count = store.towRecordCount();
        if (count < 0)
            error = store.lastError();
        else
            m_vehicleById.clear(2 * count + 1024);
    }
    if (!error.isError() && loading == Loading::Whole) {
        m_vehicles.reserve(qsizetype(count));
        const bool ok = store.scanVehicleBriefs([&](const VehicleBrief &brief) {
            const int parent = parentFor(brief.groupname);
            if (parent < 0)
                return; // a vehicle naming a group that does not exist gets no node
            const qsizetype label = appendLabel(brief);
            const int slot = newVehicle(brief.id, label, int(m_labels.size() - label), parent);
            m_parents[parent].vehicles.append(slot);
        });
        if (!ok)
            error = store.lastError();
        for (Parent &parent : m_parents)
            parent.fetched = !error.isError();
    }
    if (!error.isError())
        m_recordCount = count;
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

qsizetype GroupTreeModel::appendLabel(const VehicleBrief &brief)
{
    // The year as stored, then make, model and colour in capitals.
    const qsizetype start = m_labels.size();
    m_labels.append(brief.vehyear).append(' ');
    appendUpper(m_labels, brief.vehmake);
    m_labels.append(' ');
    appendUpper(m_labels, brief.vehmodel);
    m_labels.append(' ');
    appendUpper(m_labels, brief.vehcolor);
    return start;
}

QString GroupTreeModel::labelOf(const Vehicle &vehicle) const
{
    return QString::fromUtf8(m_labels.constData() + vehicle.label, vehicle.labelLength);
}

int GroupTreeModel::parentFor(QByteArrayView groupName) const
{
    if (isBlank(groupName))
        return kOther;
    return m_groupByName.value(QByteArray::fromRawData(groupName.data(), groupName.size()), -1);
}

int GroupTreeModel::newVehicle(qint64 id, qsizetype label, int labelLength, int parentSlot)
{
    int slot = 0;
    if (m_freeVehicles.isEmpty()) {
        slot = int(m_vehicles.size());
        m_vehicles.append(Vehicle{});
    } else {
        slot = m_freeVehicles.takeLast();
    }
    m_vehicles[slot] = Vehicle{id, label, labelLength, parentSlot};
    m_vehicleById.insert(id, slot);
    return slot;
}

int GroupTreeModel::groupRow(int parentSlot) const
{
    const qint64 id = m_parents.at(parentSlot).id;
    const auto at =
        std::lower_bound(m_groupOrder.cbegin(), m_groupOrder.cend(), id,
                         [this](int slot, qint64 v) { return m_parents.at(slot).id < v; });
    return int(at - m_groupOrder.cbegin());
}

int GroupTreeModel::vehicleRow(const Parent &parent, qint64 id) const
{
    const auto at =
        std::lower_bound(parent.vehicles.cbegin(), parent.vehicles.cend(), id,
                         [this](int slot, qint64 v) { return m_vehicles.at(slot).id < v; });
    return int(at - parent.vehicles.cbegin());
}

QModelIndex GroupTreeModel::parentIndex(int parentSlot) const
{
    if (parentSlot == kOther)
        return otherIndex();
    return createIndex(groupRow(parentSlot), 0, pack(Level::Group, parentSlot));
}

int GroupTreeModel::parentSlotOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return -1;
    if (levelOf(index) == Level::Group)
        return slotOf(index);
    if (levelOf(index) == Level::Top && slotOf(index) == 1)
        return kOther;
    return -1;
}

bool GroupTreeModel::isFetched(const QModelIndex &parent) const
{
    const int slot = parentSlotOf(parent);
    return slot < 0 || m_parents.at(slot).fetched;
}

bool GroupTreeModel::canFetchMore(const QModelIndex &parent) const
{
    return m_store && !m_announcing && !isFetched(parent);
}

void GroupTreeModel::fetchMore(const QModelIndex &parent)
{
    const int slot = parentSlotOf(parent);
    if (slot >= 0 && canFetchMore(parent))
        fetch(slot);
}

bool GroupTreeModel::fetch(int parentSlot)
{
    Parent &parent = m_parents[parentSlot];
    if (parent.fetched)
        return true;
    parent.fetched = true; // a failure is reported once, not at every layout of the view
    // Only the group a name stands for holds its vehicles.
    if (parentSlot != kOther && m_groupByName.value(parent.name.toUtf8()) != parentSlot)
        return true;
    QVector<int> added;
    auto visit = [&](const VehicleBrief &brief) {
        if (parentFor(brief.groupname) != parentSlot)
            return;
        const qsizetype label = appendLabel(brief);
        added.append(newVehicle(brief.id, label, int(m_labels.size() - label), parentSlot));
    };
    const bool ok = parentSlot == kOther ? m_store->scanLooseBriefs(visit)
                                         : m_store->scanGroupBriefs(parent.name, visit);
    if (parentSlot == kOther) // read in index order
        std::sort(added.begin(), added.end(),
                  [this](int a, int b) { return m_vehicles.at(a).id < m_vehicles.at(b).id; });
    if (!added.isEmpty()) {
        beginInsertRows(parentIndex(parentSlot), 0, int(added.size() - 1));
        m_parents[parentSlot].vehicles = std::move(added);
        endInsertRows();
    }
    if (!ok)
        Q_EMIT fetchFailed(m_store->lastError());
    return ok;
}

void GroupTreeModel::insertGroup(qint64 id, const QString &name)
{
    int slot = 0;
    if (m_freeParents.isEmpty()) {
        slot = int(m_parents.size());
        m_parents.append(Parent{});
    } else {
        slot = m_freeParents.takeLast();
    }
    m_parents[slot] = Parent{id, name, {}, false};
    const int row = groupRow(slot);
    beginInsertRows(rootIndex(), row, row);
    m_groupOrder.insert(row, slot);
    m_groupById.insert(id, slot);
    const QByteArray key = name.toUtf8();
    const auto named = m_groupByName.constFind(key);
    if (named == m_groupByName.constEnd() || m_parents.at(named.value()).id > id)
        m_groupByName.insert(key, slot);
    // Views (and the model tester) look at the new node while it is announced; it is read
    // when asked for after that.
    m_announcing = true;
    endInsertRows();
    m_announcing = false;
}

void GroupTreeModel::removeGroup(int parentSlot)
{
    const int row = groupRow(parentSlot);
    const QModelIndex group = parentIndex(parentSlot);
    const Parent &parent = m_parents.at(parentSlot);
    if (!parent.vehicles.isEmpty()) {
        beginRemoveRows(group, 0, int(parent.vehicles.size() - 1));
        for (const int slot : parent.vehicles) {
            m_vehicleById.remove(m_vehicles.at(slot).id);
            m_vehicles[slot].parent = -1;
            m_freeVehicles.append(slot);
        }
        m_parents[parentSlot].vehicles.clear();
        endRemoveRows();
    }
    beginRemoveRows(rootIndex(), row, row);
    m_groupOrder.remove(row);
    m_groupById.remove(m_parents.at(parentSlot).id);
    endRemoveRows();
    const QByteArray key = m_parents.at(parentSlot).name.toUtf8();
    m_parents[parentSlot] = Parent{};
    m_freeParents.append(parentSlot);
    if (m_groupByName.value(key, -1) != parentSlot)
        return;
    m_groupByName.remove(key);
    // Another group of the same name (possible only in files made elsewhere) takes over.
    for (const int other : std::as_const(m_groupOrder)) {
        if (m_parents.at(other).name.toUtf8() == key) {
            m_groupByName.insert(key, other);
            m_parents[other].fetched = false;
            if (m_loading == Loading::Whole)
                fetch(other);
            break;
        }
    }
}

void GroupTreeModel::insertVehicle(int parentSlot, const VehicleBrief &brief)
{
    const int row = vehicleRow(m_parents.at(parentSlot), brief.id);
    beginInsertRows(parentIndex(parentSlot), row, row);
    const qsizetype label = appendLabel(brief);
    const int slot = newVehicle(brief.id, label, int(m_labels.size() - label), parentSlot);
    m_parents[parentSlot].vehicles.insert(row, slot);
    endInsertRows();
}

void GroupTreeModel::removeVehicle(qint64 id)
{
    const int slot = m_vehicleById.value(id);
    if (slot < 0)
        return;
    const int parentSlot = m_vehicles.at(slot).parent;
    const int row = vehicleRow(m_parents.at(parentSlot), id);
    beginRemoveRows(parentIndex(parentSlot), row, row);
    m_parents[parentSlot].vehicles.remove(row);
    m_vehicleById.remove(id);
    m_vehicles[slot].parent = -1;
    m_freeVehicles.append(slot);
    endRemoveRows();
}

void GroupTreeModel::placeVehicle(const VehicleBrief &brief)
{
    const int target = parentFor(brief.groupname);
    const int slot = m_vehicleById.value(brief.id);
    if (slot >= 0 && m_vehicles.at(slot).parent == target) {
        // Same place: only the label may differ.
        const qsizetype label = appendLabel(brief);
        const int length = int(m_labels.size() - label);
        Vehicle &vehicle = m_vehicles[slot];
        if (QByteArrayView(m_labels.constData() + vehicle.label, vehicle.labelLength) ==
            QByteArrayView(m_labels.constData() + label, length)) {
            m_labels.truncate(label);
            return;
        }
        vehicle.label = label;
        vehicle.labelLength = length;
        const QModelIndex node =
            createIndex(vehicleRow(m_parents.at(target), brief.id), 0, pack(Level::Vehicle, slot));
        Q_EMIT dataChanged(node, node, {Qt::DisplayRole, Qt::ToolTipRole});
        return;
    }
    if (slot >= 0)
        removeVehicle(brief.id);
    // A node not read yet gets the vehicle when it is.
    if (target >= 0 && m_parents.at(target).fetched)
        insertVehicle(target, brief);
}

DbError GroupTreeModel::apply(const StoreChange &change)
{
    if (!m_store)
        return {};
    for (const QString &name : change.removedGroups) {
        for (qsizetype row = m_groupOrder.size() - 1; row >= 0; --row) {
            if (m_parents.at(m_groupOrder.at(row)).name == name)
                removeGroup(m_groupOrder.at(row));
        }
    }
    DbError error;
    for (const QString &name : change.addedGroups) {
        if (name.trimmed().isEmpty())
            continue;
        const qint64 id = m_store->groupIdByName(name);
        if (id < 0) {
            error = m_store->lastError();
            continue;
        }
        if (m_groupById.contains(id))
            continue;
        const bool claims = !m_groupByName.contains(name.toUtf8());
        insertGroup(id, name);
        // Records may name the group already; a whole tree reads them now.
        if (claims && m_loading == Loading::Whole && !fetch(m_groupById.value(id)))
            error = m_store->lastError();
    }
    for (const qint64 id : change.removedRecords)
        removeVehicle(id);
    const QList<qint64> touched = change.addedRecords + change.changedRecords;
    QSet<qint64> found;
    const bool ok = m_store->scanBriefsById(touched, [&](const VehicleBrief &brief) {
        found.insert(brief.id);
        placeVehicle(brief);
    });
    if (!ok)
        return m_store->lastError();
    for (const qint64 id : touched) {
        if (!found.contains(id))
            removeVehicle(id); // gone again since
    }
    if (m_recordCount >= 0)
        m_recordCount += change.addedRecords.size() - change.removedRecords.size();
    return error;
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
    return parentIndex(found.value());
}

QModelIndex GroupTreeModel::vehicleIndex(qint64 recordId)
{
    int slot = m_vehicleById.value(recordId);
    if (slot < 0 && m_store) {
        // Its group may not have been read yet.
        int parent = -1;
        m_store->scanBriefsById(
            {recordId}, [&](const VehicleBrief &brief) { parent = parentFor(brief.groupname); });
        if (parent >= 0 && !m_parents.at(parent).fetched)
            fetch(parent);
        slot = m_vehicleById.value(recordId);
    }
    if (slot < 0)
        return {};
    const Parent &parent = m_parents.at(m_vehicles.at(slot).parent);
    return createIndex(vehicleRow(parent, recordId), 0, pack(Level::Vehicle, slot));
}

QModelIndex GroupTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < 2 ? createIndex(row, 0, pack(Level::Top, row)) : QModelIndex();
    if (levelOf(parent) == Level::Top && slotOf(parent) == 0)
        return row < m_groupOrder.size()
                   ? createIndex(row, 0, pack(Level::Group, m_groupOrder.at(row)))
                   : QModelIndex();
    const int slot = parentSlotOf(parent);
    if (slot < 0)
        return {};
    const QVector<int> &vehicles = m_parents.at(slot).vehicles;
    return row < vehicles.size() ? createIndex(row, 0, pack(Level::Vehicle, vehicles.at(row)))
                                 : QModelIndex();
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
    case Level::Vehicle:
        return parentIndex(m_vehicles.at(slotOf(child)).parent);
    }
    return {};
}

int GroupTreeModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return 2;
    if (parent.column() != 0)
        return 0;
    if (levelOf(parent) == Level::Top && slotOf(parent) == 0)
        return int(m_groupOrder.size());
    const int slot = parentSlotOf(parent);
    return slot < 0 ? 0 : int(m_parents.at(slot).vehicles.size());
}

int GroupTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool GroupTreeModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0 || canFetchMore(parent);
}

Qt::ItemFlags GroupTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable; // never draggable
    if (levelOf(index) == Level::Vehicle)
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
        kind = NodeKind::Group, id = m_parents.at(slot).id;
    else
        kind = NodeKind::Vehicle, id = m_vehicles.at(slot).id;

    auto image = [&](bool selected) {
        switch (kind) {
        case NodeKind::Root:
        case NodeKind::Other: return kImageTop;
        case NodeKind::Group: return selected ? kImageGroupSelected : kImageGroup;
        case NodeKind::Vehicle:
            if (m_vehicles.at(slot).parent == kOther)
                return selected ? kImageLooseVehicleSelected : kImageLooseVehicle;
            return selected ? kImageVehicleSelected : kImageVehicle;
        }
        return 0;
    };

    if (role == Qt::ToolTipRole && kind == NodeKind::Vehicle && m_store) {
        // The plate and the owner a clerk looks for, read when the tip is asked for.
        QStringList lines{labelOf(m_vehicles.at(slot))};
        if (const std::optional<TowRecord> record = m_store->towRecord(id)) {
            if (const QString plate = record->value(TowField::vehtag).trimmed(); !plate.isEmpty())
                lines << QStringLiteral("Plate: ") + plate;
            if (const QString owner = record->value(TowField::custname).trimmed(); !owner.isEmpty())
                lines << QStringLiteral("Owner: ") + owner;
        }
        return lines.join(u'\n');
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (kind) {
        case NodeKind::Root: return QStringLiteral("Tow Groups");
        case NodeKind::Other: return QStringLiteral("Other");
        case NodeKind::Group:
            return m_parents.at(slot).name;
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
            return ReadableColor::text(QColor(100, 100, 130), QGuiApplication::palette());
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
