// The group tree: "Tow Groups" with every group and its vehicles, and "Other" with the
// vehicles that have no group. One model over plain vectors, rebuilt whole by rebuild().
#pragma once

#include "DbError.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QHash>
#include <QIcon>
#include <QString>
#include <QVector>

namespace tarnvale {

class RecordStore;

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

    // Image numbers of the browser's image list.
    static constexpr int kImageTop = 7;
    static constexpr int kImageGroup = 2, kImageGroupSelected = 8;
    static constexpr int kImageVehicle = 4, kImageVehicleSelected = 3;
    static constexpr int kImageLooseVehicle = 6, kImageLooseVehicleSelected = 5;

    explicit GroupTreeModel(QObject *parent = nullptr);

    // Rebuilds the whole tree from the store. Group nodes open expanded when `expanded`.
    // On failure the nodes built so far stay, and the error is returned.
    DbError rebuild(RecordStore &store, bool expanded);
    // Only the two fixed nodes, and a count of 0 (no database to show).
    void clear();
    // Number of tow records in the table, counted by the last successful rebuild (-1 before).
    qint64 recordCount() const { return m_recordCount; }

    // Icons by image number, shown as the nodes' decoration.
    void setImages(QVector<QIcon> images);

    QModelIndex rootIndex() const { return index(0, 0); }
    QModelIndex otherIndex() const { return index(1, 0); }
    QModelIndex groupIndex(qint64 groupId) const;
    QModelIndex vehicleIndex(qint64 recordId) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Group
    {
        qint64 id;
        QString name;
        QVector<int> vehicles; // indexes into m_vehicles, in table order
    };
    struct Vehicle
    {
        qint64 id;         // ascending along m_vehicles (the table's order)
        qsizetype label;   // offset of the UTF-8 label in m_labels
        int labelLength;
        int group;         // index into m_groups, -1 for Other
        int row;           // row under its parent
    };
    enum class Level : quintptr { Top = 0, Group = 1, Vehicle = 2 };

    static quintptr pack(Level level, int index) { return (quintptr(level) << 56) | quintptr(index); }
    static Level levelOf(const QModelIndex &index) { return Level(index.internalId() >> 56); }
    static int slotOf(const QModelIndex &index) { return int(index.internalId() & ((quintptr(1) << 56) - 1)); }
    static QString randomKeyNumber();
    static bool isBlank(QByteArrayView text);
    // Appends the text in capitals (the vehicle label's make, model and colour).
    static void appendUpper(QByteArray &out, QByteArrayView text);
    void resetNodes();
    QString labelOf(const Vehicle &vehicle) const;

    QString m_rootKey, m_otherKey;
    QVector<Group> m_groups;
    QVector<Vehicle> m_vehicles;
    QVector<int> m_otherVehicles;
    QHash<qint64, int> m_groupById;
    QByteArray m_labels; // every vehicle label, UTF-8, back to back
    bool m_expanded = false;
    qint64 m_recordCount = -1;
    QVector<QIcon> m_images;
};

} // namespace tarnvale
