// The group tree: "Tow Groups" with every group and its vehicles, and "Other" with the
// vehicles that have no group. One model over plain vectors.
//
// rebuild() reads the tree whole, or (Lazy) only the groups and the record count: a group's
// vehicles, and Other's, are then read when the node is first fetched (canFetchMore /
// fetchMore, as a view does when it expands a node). apply() brings the tree in step with one
// announced change of the store, touching only the nodes the change concerns; the tree then
// holds exactly what a rebuild would, for every node read so far.
#pragma once

#include "DbError.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QIcon>
#include <QString>
#include <QVector>

namespace tarnvale {

class RecordStore;
struct StoreChange;
struct VehicleBrief;

class GroupTreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Role {
        KeyRole = Qt::UserRole + 1, // "ROOT…", "STRY…", "G<GROUPID>", "C<id>"
        TagRole,                    // "", "G|<GROUPID>", "C|<id>"
        KindRole,                   // NodeKind
        IdRole,                     // GROUPID or record id; 0 for Root and Other
        ImageRole,                  // image number, normal
        SelectedImageRole,          // image number, selected
        ExpandedRole,               // whether the view shows the node expanded after a rebuild
    };
    enum class NodeKind { Root, Other, Group, Vehicle };
    enum class Loading { Whole, Lazy };

    // Image numbers of the browser's image list.
    static constexpr int kImageTop = 7;
    static constexpr int kImageGroup = 2, kImageGroupSelected = 8;
    static constexpr int kImageVehicle = 4, kImageVehicleSelected = 3;
    static constexpr int kImageLooseVehicle = 6, kImageLooseVehicleSelected = 5;

    explicit GroupTreeModel(QObject *parent = nullptr);

    // Rebuilds the tree from the store, which must outlive the model's use of it. Group nodes
    // open expanded when `expanded`. On failure the nodes built so far stay, and the error is
    // returned.
    DbError rebuild(RecordStore &store, bool expanded, Loading loading = Loading::Whole);
    // Applies one change announced by the store of the last rebuild (a reset is the caller's
    // business: it rebuilds). On failure the tree may lag behind the store until a rebuild.
    DbError apply(const StoreChange &change);
    // Only the two fixed nodes, and a count of 0 (no database to show).
    void clear();
    // Number of tow records in the table (-1 before a successful rebuild).
    qint64 recordCount() const { return m_recordCount; }

    // Icons by image number, shown as the nodes' decoration.
    void setImages(QVector<QIcon> images);

    QModelIndex rootIndex() const { return index(0, 0); }
    QModelIndex otherIndex() const { return index(1, 0); }
    QModelIndex groupIndex(qint64 groupId) const;
    // The vehicle's node; its group's vehicles are read first when they have not been.
    QModelIndex vehicleIndex(qint64 recordId);
    // Whether the node's children have been read.
    bool isFetched(const QModelIndex &parent) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    // Reading a node's children failed; the node shows what was read.
    void fetchFailed(const tarnvale::DbError &error);

private:
    // Other (slot 0) or a group: a node whose children are vehicles.
    struct Parent
    {
        qint64 id = 0; // GROUPID
        QString name;
        QVector<int> vehicles; // slots in m_vehicles, ascending record id
        bool fetched = false;
    };
    struct Vehicle
    {
        qint64 id = 0;
        qsizetype label = 0; // offset of the UTF-8 label in m_labels
        int labelLength = 0;
        int parent = -1; // slot in m_parents; -1 for a free slot
    };
    // Record id -> vehicle slot. Ids are handed out in order, so most of them sit in a plain
    // array indexed by id (sized at a rebuild to about twice the table's count); the rest, and
    // every id when the table's ids are far apart, in a hash.
    class SlotById
    {
    public:
        void clear(qint64 denseIds = 0);
        void insert(qint64 id, int slot);
        int value(qint64 id) const; // -1 for none
        void remove(qint64 id);

    private:
        QVector<int> m_dense; // by id below m_denseLimit; -1 for none
        qint64 m_denseLimit = 0;
        QHash<qint64, int> m_sparse;
    };
    enum class Level : quintptr { Top = 0, Group = 1, Vehicle = 2 };
    static constexpr int kOther = 0;

    static quintptr pack(Level level, int index) { return (quintptr(level) << 56) | quintptr(index); }
    static Level levelOf(const QModelIndex &index) { return Level(index.internalId() >> 56); }
    static int slotOf(const QModelIndex &index) { return int(index.internalId() & ((quintptr(1) << 56) - 1)); }
    static QString randomKeyNumber();
    static bool isBlank(QByteArrayView text);
    // Appends the text in capitals (the vehicle label's make, model and colour).
    static void appendUpper(QByteArray &out, QByteArrayView text);
    // Appends the vehicle's label to m_labels; its offset.
    qsizetype appendLabel(const VehicleBrief &brief);
    void resetNodes();
    QString labelOf(const Vehicle &vehicle) const;
    // The parent slot a record with this group name belongs under; -1 for none.
    int parentFor(QByteArrayView groupName) const;
    int parentSlotOf(const QModelIndex &index) const;
    QModelIndex parentIndex(int parentSlot) const;
    int groupRow(int parentSlot) const;
    int vehicleRow(const Parent &parent, qint64 id) const;
    int newVehicle(qint64 id, qsizetype label, int labelLength, int parentSlot);
    void insertGroup(qint64 id, const QString &name);
    void removeGroup(int parentSlot);
    void insertVehicle(int parentSlot, const VehicleBrief &brief);
    void removeVehicle(qint64 id);
    void placeVehicle(const VehicleBrief &brief);
    bool fetch(int parentSlot);

    RecordStore *m_store = nullptr;
    Loading m_loading = Loading::Whole;
    QString m_rootKey, m_otherKey;
    QVector<Parent> m_parents;  // slot 0 is Other
    QVector<int> m_freeParents; // slots of removed groups, for reuse
    QVector<int> m_groupOrder;  // the root's children: group slots, ascending GROUPID
    QHash<qint64, int> m_groupById;
    QHash<QByteArray, int> m_groupByName; // UTF-8 name: the group of the lowest GROUPID
    QVector<Vehicle> m_vehicles;
    QVector<int> m_freeVehicles;
    SlotById m_vehicleById;
    QByteArray m_labels; // every vehicle label, UTF-8, back to back
    bool m_expanded = false;
    bool m_announcing = false; // a new group's insertion is being announced
    qint64 m_recordCount = -1;
    QVector<QIcon> m_images;
};

} // namespace tarnvale
