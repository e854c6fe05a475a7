// The record browser frmContacts: the group tree, the vehicle list / detail sheet, the summary
// figures, the notes pane and the record count. It is the main window's central area.
#pragma once

#include "RecordSheets.h"
#include "PrintSnapshot.h"

#include <QHash>
#include <QPoint>
#include <QWidget>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QTreeView;

namespace tarnvale {

class Dialogs;
class GroupTreeModel;
class VehicleListModel;
struct SheetContents;
class DatabaseCommands;
class RecordStore;
class SettingsFile;
struct StoreChange;

// The last tree node clicked whose tag has two pieces ("G|12", "C|7").
struct SelectedNode
{
    QString tag;
    QString text;

    bool isSet() const { return tag.contains(u'|'); }
    // "g" or "c", lower-cased.
    QString kind() const { return tag.section(u'|', 0, 0).toLower(); }
    QString id() const { return tag.section(u'|', 1, 1).trimmed(); }
};

class ContactsWindow : public QWidget
{
    Q_OBJECT

public:
    ContactsWindow(RecordStore &store, DatabaseCommands &database, const SettingsFile &settings,
                   Dialogs &dialogs, QWidget *parent = nullptr);

    // The window's load: builds the tree, asks for the tip window when tips at start are on,
    // and fills the notes pane from the settings.
    void load();
    // Rebuilds the whole tree and the record count from the tables.
    void RefContactList();

    // SelNde: the node last selected in the tree.
    const SelectedNode &selectedNode() const { return m_selected; }
    // The values the charge sheet is printed from: the vehicle selected now, read afresh;
    // empty (nothing to print) when the selected node is not a vehicle or it is gone.
    PrintSnapshot printSnapshot() const;

    // The context menus popped up on a right click of a group or vehicle node.
    void setContextMenus(QMenu *groupMenu, QMenu *vehicleMenu);
    void setGridVisible(bool visible);
    bool isGridVisible() const;

    // Writes the notes pane to the settings (the "Save" button and closing do this); a
    // failure is reported and answers false.
    bool saveNotes();

    // A click on a tree node with the given button (what the mouse handler does). A context
    // menu pops up at popupAt, or at the mouse pointer when that is null.
    void nodeClick(const QModelIndex &index, Qt::MouseButton button, QPoint popupAt = {});

    // Selects the vehicle's node (opening its group) and shows its sheet, as a click does;
    // false when the tree has no node for that record.
    bool showVehicle(qint64 recordId);

    GroupTreeModel *treeModel() const { return m_model; }
    QTreeView *tree() const { return m_tree; }
    QTableView *list() const { return m_list; }
    VehicleListModel *listModel() const { return m_listModel; }

Q_SIGNALS:
    // Tips/StartupTips is exactly "1" at load.
    void startupTipsRequested();
    // Enter and Delete on a vehicle node of the tree (it is selectedNode by then).
    void editRequested();
    void removeRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // One change of the store: the touched nodes only; a reset rebuilds.
    void storeChanged(const StoreChange &change);
    // Fills the list and the summary for the selected node: a vehicle's sheet and figures, a
    // group's vehicles with an empty summary.
    void showSelected();
    void fillGroupList(const QString &groupName);
    // A change to the group listed: only the rows of the vehicles it names are read again;
    // false when the list is to be filled anew.
    bool updateGroupRows(const StoreChange &change);
    void fillVehicleSheet(const QString &idText);
    void showSheet(const SheetContents &contents);
    void showOrderAndWidths(bool sortable);
    // Each column after the first as wide as its longest text read so far needs; a column
    // is set again only when that width changes (a width the user chose stays till then).
    void showWidths();
    void clearSummary();
    // After a rebuild or a change: the selected node again, or nothing when it is gone.
    void reselect(const StoreChange *change = nullptr);
    void applyExpansion();
    // Where a node is after a rebuild: "R", "O", "G<GROUPID>" or "C<id>".
    static QString nodeIdentity(const QModelIndex &index);
    QModelIndex indexOfIdentity(const QString &identity) const;
    bool treeKeyPress(QKeyEvent *event);

    RecordStore &m_store;
    DatabaseCommands &m_database;
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;
    GroupTreeModel *m_model = nullptr;
    QTreeView *m_tree = nullptr;
    QTableView *m_list = nullptr;
    VehicleListModel *m_listModel = nullptr;
    QPlainTextEdit *m_notes = nullptr;
    QPushButton *m_save = nullptr;
    QLabel *m_countCaption = nullptr;
    QLabel *m_count = nullptr;
    QLineEdit *m_countText = nullptr;
    QLabel *m_storageDays = nullptr;
    QLabel *m_storageFee = nullptr;
    QLabel *m_towingFee = nullptr;
    QLabel *m_totalCost = nullptr;
    QMenu *m_groupMenu = nullptr;
    QMenu *m_vehicleMenu = nullptr;
    SelectedNode m_selected;
    Qt::MouseButton m_lastButton = Qt::LeftButton;
    bool m_rebuilding = false;
    QHash<QString, bool> m_userExpansion; // nodes opened (true) or closed by the user
    bool m_keyMoved = false;    // the current node is moving by the keyboard
    bool m_restoring = false;   // the current node is being put back after a rebuild
    QList<int> m_widths;        // the columns' widths as last set
    int m_sortColumn = -1;      // the order of a vehicle list, as the user last chose it
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace tarnvale
