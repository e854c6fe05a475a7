#include "ContactsWindow.h"

#include <QApplication>
#include <QCursor>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

#include "RecordSheets.h"
#include "Dialogs.h"
#include "GroupTreeModel.h"
#include "ImpoundStore.h"
#include "DatabaseCommands.h"
#include "ReadableColor.h"
#include "RecordStore.h"
#include "SettingsFile.h"
#include "VehicleListModel.h"

namespace tarnvale {

namespace {

QLabel *valueLabel(const char *name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QVector<QIcon> treeImages(const QStyle *style)
{
    QVector<QIcon> images(9);
    images[GroupTreeModel::kImageTop] = style->standardIcon(QStyle::SP_DriveHDIcon);
    images[GroupTreeModel::kImageGroup] = style->standardIcon(QStyle::SP_DirIcon);
    images[GroupTreeModel::kImageGroupSelected] = style->standardIcon(QStyle::SP_DirOpenIcon);
    images[GroupTreeModel::kImageVehicle] = style->standardIcon(QStyle::SP_FileIcon);
    images[GroupTreeModel::kImageVehicleSelected] = style->standardIcon(QStyle::SP_FileIcon);
    images[GroupTreeModel::kImageLooseVehicle] = style->standardIcon(QStyle::SP_FileLinkIcon);
    images[GroupTreeModel::kImageLooseVehicleSelected] = style->standardIcon(QStyle::SP_FileLinkIcon);
    return images;
}

} // namespace

ContactsWindow::ContactsWindow(RecordStore &store, DatabaseCommands &database,
                               const SettingsFile &settings, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent), m_store(store), m_database(database), m_settings(settings),
      m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmContacts"));
    setWindowTitle(QStringLiteral("Vehicle Viewer"));

    m_model = new GroupTreeModel(this);
    m_model->setImages(treeImages(style()));
    // Every change to records or groups, by any window, reaches the tree by this one path.
    connect(&m_store, &RecordStore::changed, this, &ContactsWindow::storeChanged);
    connect(m_model, &GroupTreeModel::fetchFailed, this,
            [this](const DbError &error) { m_database.ReportUnknownError(error); });

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("lstGroups"));
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setDragEnabled(false);
    m_tree->setAcceptDrops(false);
    m_tree->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setModel(m_model);
    m_tree->setContextMenuPolicy(Qt::PreventContextMenu);
    m_tree->viewport()->installEventFilter(this);
    m_tree->installEventFilter(this);
    connect(m_tree, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        if (!m_rebuilding)
            m_userExpansion.insert(nodeIdentity(index), true);
    });
    connect(m_tree, &QTreeView::collapsed, this, [this](const QModelIndex &index) {
        if (!m_rebuilding)
            m_userExpansion.insert(nodeIdentity(index), false);
    });
    connect(m_tree, &QTreeView::pressed, this,
            [this](const QModelIndex &index) { nodeClick(index, m_lastButton); });
    // Moving through the tree with the keys shows each node as a click would.
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (m_keyMoved && !m_restoring)
                    nodeClick(current, Qt::LeftButton);
            });

    m_listModel = new VehicleListModel(this);
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("lstContacts"));
    m_list->setModel(m_listModel);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setShowGrid(true);
    m_list->verticalHeader()->setVisible(false);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setWordWrap(false);
    connect(m_list->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) {
                if (m_list->isSortingEnabled()) {
                    m_sortColumn = column;
                    m_sortOrder = order;
                }
            });
    // Rows read as they come into sight may need wider columns (after the paint that read them).
    connect(m_listModel, &VehicleListModel::rowsRead, this, &ContactsWindow::showWidths,
            Qt::QueuedConnection);

    auto *summary = new QGroupBox(this);
    summary->setObjectName(QStringLiteral("fraSummary"));
    auto *summaryLayout = new QFormLayout(summary);
    m_storageDays = valueLabel("Label3", summary);
    m_storageFee = valueLabel("Label5", summary);
    m_towingFee = valueLabel("Label7", summary);
    m_totalCost = valueLabel("Label1", summary);
    QFont big = m_totalCost->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_totalCost->setFont(big);
    QPalette red = m_totalCost->palette();
    red.setColor(QPalette::WindowText, ReadableColor::text(Qt::red, red, QPalette::Window));
    m_totalCost->setPalette(red);
    summaryLayout->addRow(QStringLiteral("Storage Days:"), m_storageDays);
    summaryLayout->addRow(QStringLiteral("Storage Fee:"), m_storageFee);
    summaryLayout->addRow(QStringLiteral("Towing Fee:"), m_towingFee);
    summaryLayout->addRow(QStringLiteral("Total Cost:"), m_totalCost);

    m_notes = new QPlainTextEdit(this);
    m_notes->setObjectName(QStringLiteral("txtnotes"));
    m_notes->setPlainText(QStringLiteral("Type what you need here \r\nand press save.\r\n"));
    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setObjectName(QStringLiteral("Command1"));
    connect(m_save, &QPushButton::clicked, this, &ContactsWindow::saveNotes);

    m_countCaption = new QLabel(QStringLiteral("  Total Vehicles in list:"), this);
    m_countCaption->setObjectName(QStringLiteral("Label9"));
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("Label10"));
    m_countText = new QLineEdit(this);
    m_countText->setObjectName(QStringLiteral("Text4"));
    m_countText->setVisible(false);

    // Left: tree, notes and count. Right: the list and the summary figures.
    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_tree, 3);
    auto *notesBox = new QGroupBox(QStringLiteral("Notes"), left);
    auto *notesLayout = new QVBoxLayout(notesBox);
    notesLayout->addWidget(m_notes);
    notesLayout->addWidget(m_save, 0, Qt::AlignRight);
    leftLayout->addWidget(notesBox, 1);
    auto *countRow = new QHBoxLayout;
    countRow->addWidget(m_countCaption);
    countRow->addWidget(m_count);
    countRow->addStretch();
    leftLayout->addLayout(countRow);

    auto *right = new QWidget(this);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(m_list, 1);
    rightLayout->addWidget(summary);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({330, 700});
    splitter->setChildrenCollapsible(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);
}

void ContactsWindow::load()
{
    RefContactList();
    m_list->viewport()->update();
    if (m_settings.read(QStringLiteral("Tips"), QStringLiteral("StartupTips")) == u"1")
        Q_EMIT startupTipsRequested();
    m_notes->setPlainText(m_settings.read(QStringLiteral("Notes"), QStringLiteral("notes")));
}

void ContactsWindow::RefContactList()
{
    if (!m_store.isOpen()) {
        // The database could not be opened; that has been reported once already.
        m_model->clear();
        m_rebuilding = true;
        applyExpansion();
        m_rebuilding = false;
        reselect();
        // Not an empty yard: the records are out of reach.
        m_countText->setText(QStringLiteral("0"));
        m_count->setText(QStringLiteral("none shown, no database is open"));
        m_tree->setEnabled(false);
        return;
    }
    m_tree->setEnabled(true);
    // What the user opened and closed stays so across the rebuild; every other node opens as
    // the setting says. The selected node is selected again (reselect).
    m_rebuilding = true;
    const bool expanded =
        m_settings.read(QStringLiteral("Program"), QStringLiteral("Expanded")) == u"Yes";
    // The groups and the count at once, a group's vehicles when it is first expanded; with
    // every group open, one pass over the table reads them all faster than group by group.
    const DbError error = m_model->rebuild(m_store, expanded,
                                           expanded ? GroupTreeModel::Loading::Whole
                                                    : GroupTreeModel::Loading::Lazy);
    applyExpansion();
    for (auto it = m_userExpansion.constBegin(); it != m_userExpansion.constEnd(); ++it) {
        const QModelIndex node = indexOfIdentity(it.key());
        if (node.isValid())
            m_tree->setExpanded(node, it.value());
    }
    m_rebuilding = false;
    reselect();
    if (error.isError()) {
        m_database.ReportUnknownError(error);
        return;
    }
    m_countText->setText(QString::number(m_model->recordCount()));
    m_count->setText(m_countText->text());
}

void ContactsWindow::storeChanged(const StoreChange &change)
{
    if (change.reset || !m_store.isOpen()) {
        RefContactList();
        return;
    }
    // Only the touched nodes change; the view keeps every other node's expansion, and a new
    // group opens as a rebuild would open it.
    m_rebuilding = true;
    const DbError error = m_model->apply(change);
    const QModelIndex root = m_model->rootIndex();
    for (const QString &name : change.addedGroups) {
        for (int row = 0; row < m_model->rowCount(root); ++row) {
            const QModelIndex group = m_model->index(row, 0, root);
            if (group.data().toString() != name)
                continue;
            const auto chosen = m_userExpansion.constFind(nodeIdentity(group));
            m_tree->setExpanded(group, chosen != m_userExpansion.constEnd()
                                           ? chosen.value()
                                           : group.data(GroupTreeModel::ExpandedRole).toBool());
        }
    }
    m_rebuilding = false;
    if (error.isError()) {
        m_database.ReportUnknownError(error);
        RefContactList(); // the tree may lag behind the tables: read it afresh
        return;
    }
    reselect(&change);
    m_countText->setText(QString::number(m_model->recordCount()));
    m_count->setText(m_countText->text());
}

void ContactsWindow::reselect(const StoreChange *change)
{
    QModelIndex node;
    if (m_selected.kind() == u"c")
        node = m_model->vehicleIndex(m_selected.id().toLongLong());
    else if (m_selected.kind() == u"g")
        node = m_model->groupIndex(m_selected.id().toLongLong());
    if (!node.isValid()) {
        // The node is gone (removed, or another database): nothing is selected any more.
        const bool wasSet = m_selected.isSet();
        m_selected = {};
        if (wasSet) {
            m_listModel->clear();
            clearSummary();
        }
        return;
    }
    m_selected.text = node.data(Qt::DisplayRole).toString();
    m_restoring = true;
    m_tree->setCurrentIndex(node);
    m_restoring = false;
    m_tree->scrollTo(node);
    if (!change || !updateGroupRows(*change))
        showSelected(); // the rows may have changed
}

bool ContactsWindow::updateGroupRows(const StoreChange &change)
{
    if (m_selected.kind() != u"g" || m_listModel->group().isNull() ||
        m_listModel->group() != m_selected.text)
        return false;
    return m_listModel->update(change);
}

void ContactsWindow::applyExpansion()
{
    m_tree->setUpdatesEnabled(false);
    m_tree->expand(m_model->rootIndex());
    m_tree->expand(m_model->otherIndex());
    const QModelIndex root = m_model->rootIndex();
    const int groups = m_model->rowCount(root);
    for (int row = 0; row < groups; ++row) {
        const QModelIndex group = m_model->index(row, 0, root);
        if (group.data(GroupTreeModel::ExpandedRole).toBool())
            m_tree->expand(group);
    }
    m_tree->setUpdatesEnabled(true);
}

QString ContactsWindow::nodeIdentity(const QModelIndex &index)
{
    if (!index.isValid())
        return {};
    const auto id = QString::number(index.data(GroupTreeModel::IdRole).toLongLong());
    switch (index.data(GroupTreeModel::KindRole).value<GroupTreeModel::NodeKind>()) {
    case GroupTreeModel::NodeKind::Root: return QStringLiteral("R");
    case GroupTreeModel::NodeKind::Other: return QStringLiteral("O");
    case GroupTreeModel::NodeKind::Group: return u'G' + id;
    case GroupTreeModel::NodeKind::Vehicle: return u'C' + id;
    }
    return {};
}

QModelIndex ContactsWindow::indexOfIdentity(const QString &identity) const
{
    if (identity.isEmpty())
        return {};
    const qint64 id = identity.mid(1).toLongLong();
    switch (identity.at(0).unicode()) {
    case u'R': return m_model->rootIndex();
    case u'O': return m_model->otherIndex();
    case u'G': return m_model->groupIndex(id);
    case u'C': return m_model->vehicleIndex(id);
    }
    return {};
}

bool ContactsWindow::showVehicle(qint64 recordId)
{
    const QModelIndex node = m_model->vehicleIndex(recordId);
    if (!node.isValid())
        return false;
    m_tree->expand(node.parent());
    m_restoring = true;
    m_tree->setCurrentIndex(node);
    m_restoring = false;
    m_tree->scrollTo(node);
    nodeClick(node, Qt::LeftButton);
    return true;
}

bool ContactsWindow::treeKeyPress(QKeyEvent *event)
{
    m_keyMoved = true;
    const QModelIndex current = m_tree->currentIndex();
    const bool onVehicle = current.isValid() && m_selected.isSet() && m_selected.kind() == u"c" &&
                           current.data(GroupTreeModel::TagRole).toString() == m_selected.tag;
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && onVehicle) {
        Q_EMIT editRequested();
        return true;
    }
    if (key == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && onVehicle) {
        Q_EMIT removeRequested();
        return true;
    }
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        if (current.isValid()) {
            const QRect rect = m_tree->visualRect(current);
            nodeClick(current, Qt::RightButton,
                      m_tree->viewport()->mapToGlobal(rect.isValid() ? rect.bottomLeft()
                                                                     : QPoint(0, 0)));
        }
        return true;
    }
    return false;
}

void ContactsWindow::setContextMenus(QMenu *groupMenu, QMenu *vehicleMenu)
{
    m_groupMenu = groupMenu;
    m_vehicleMenu = vehicleMenu;
}

void ContactsWindow::setGridVisible(bool visible)
{
    m_list->setShowGrid(visible);
}

bool ContactsWindow::isGridVisible() const
{
    return m_list->showGrid();
}

bool ContactsWindow::saveNotes()
{
    QString error;
    if (m_settings.write(QStringLiteral("Notes"), QStringLiteral("notes"), m_notes->toPlainText(),
                         &error))
        return true;
    m_dialogs.notify(m_settings.companyName(),
                     QStringLiteral("The notes could not be saved.") + QString::fromUtf16(kCrLf) +
                         error,
                     MessageIcon::Exclamation);
    return false;
}

bool ContactsWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_tree->viewport() && event->type() == QEvent::MouseButtonPress) {
        m_lastButton = static_cast<QMouseEvent *>(event)->button();
        m_keyMoved = false;
    }
    if (watched == m_tree && event->type() == QEvent::KeyPress &&
        treeKeyPress(static_cast<QKeyEvent *>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

void ContactsWindow::nodeClick(const QModelIndex &index, Qt::MouseButton button, QPoint popupAt)
{
    const QString tag = index.data(GroupTreeModel::TagRole).toString();
    if (!tag.contains(u'|'))
        return; // Root and Other: nothing happens
    m_selected = SelectedNode{tag, index.data(Qt::DisplayRole).toString()};
    // The right button selects the node as the left one does, so that the sheet, the summary
    // and Print always belong to the node the tree shows selected.
    showSelected();
    if (button == Qt::RightButton) {
        QMenu *menu = m_selected.kind() == u"c" ? m_vehicleMenu
                      : m_selected.kind() == u"g" ? m_groupMenu
                                                  : nullptr;
        if (menu)
            menu->popup(popupAt.isNull() ? QCursor::pos() : popupAt);
    }
}

void ContactsWindow::showSelected()
{
    if (m_selected.kind() == u"c") {
        fillVehicleSheet(m_selected.id());
        return;
    }
    clearSummary();
    if (m_selected.kind() == u"g")
        fillGroupList(m_selected.text);
}

void ContactsWindow::clearSummary()
{
    for (QLabel *label : {m_storageDays, m_storageFee, m_towingFee, m_totalCost})
        label->clear();
}

PrintSnapshot ContactsWindow::printSnapshot() const
{
    if (m_selected.kind() != u"c")
        return {};
    const auto vehicle =
        RecordSheets::vehicleSheet(m_store, m_selected.id(), m_settings, QDate::currentDate());
    return vehicle ? vehicle->snapshot : PrintSnapshot{};
}

void ContactsWindow::fillGroupList(const QString &groupName)
{
    // Sorting is off while the rows go in (the model sorts them as the user chose); a failing
    // read lists nothing, with the columns set all the same.
    m_list->setSortingEnabled(false);
    m_listModel->showGroup(m_store, groupName, m_settings, QDate::currentDate(), m_sortColumn,
                           m_sortOrder);
    showOrderAndWidths(true);
}

void ContactsWindow::fillVehicleSheet(const QString &idText)
{
    const auto vehicle =
        RecordSheets::vehicleSheet(m_store, idText, m_settings, QDate::currentDate());
    if (!vehicle) {
        m_listModel->clear();
        clearSummary(); // no such record: no figures of another one stay in sight
        return;
    }
    m_storageDays->setText(vehicle->label3);
    m_storageFee->setText(vehicle->label5);
    m_towingFee->setText(vehicle->label7);
    m_totalCost->setText(vehicle->label1);
    showSheet(vehicle->sheet);
}

void ContactsWindow::showSheet(const SheetContents &contents)
{
    // A sheet keeps its order.
    m_list->setSortingEnabled(false);
    m_listModel->showSheet(contents);
    showOrderAndWidths(false);
}

void ContactsWindow::showOrderAndWidths(bool sortable)
{
    // A vehicle list keeps the order the user last chose for one.
    m_list->horizontalHeader()->setSortIndicator(sortable ? m_sortColumn : -1, m_sortOrder);
    m_list->horizontalHeader()->setSortIndicatorShown(sortable);
    m_list->setSortingEnabled(sortable);
    m_widths.clear();
    showWidths();
}

void ContactsWindow::showWidths()
{
    QList<int> widths = RecordSheets::columnWidths(m_listModel->longestTexts(),
                                                  m_list->fontMetrics(), m_list->logicalDpiX());
    // No column narrower than its caption in the list's font; the first (a sheet's labels) as
    // wide as what it shows when a new sheet or list comes.
    if (m_widths.isEmpty() && !widths.isEmpty())
        m_list->resizeColumnToContents(0);
    for (int column = 1; column < widths.size(); ++column) {
        widths[column] = std::max(widths.at(column),
                                  m_list->horizontalHeader()->sectionSizeHint(column));
        if (widths.at(column) != m_widths.value(column, -1))
            m_list->setColumnWidth(column, widths.at(column));
    }
    m_widths = widths;
}

} // namespace tarnvale
