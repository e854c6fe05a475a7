// frmAddRemoveGroup: adds a group (add mode) or removes one with its vehicles (remove mode).
// Application-modal while open.
#pragma once

#include <QWidget>

class QAction;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QToolBar;

namespace tarnvale {

class DatabaseCommands;
class RecordStore;

class GroupDialog : public QWidget
{
    Q_OBJECT

public:
    enum class Mode { Add, Remove };

    GroupDialog(RecordStore &store, DatabaseCommands &database, Mode mode, QWidget *parent = nullptr);

    Mode mode() const { return m_mode; }
    // Lists the group names in table order, blank names too, and rebuilds the tree.
    void fillList();

    // The toolbar buttons by number: 1 Cancel, 3 Add/Remove, 5 Exit.
    void buttonClick(int number);

protected:
    // A typed group name not added yet is asked about first (Cancel and Exit leave at once).
    void closeEvent(QCloseEvent *event) override;

private:
    RecordStore &m_store;
    DatabaseCommands &m_database;
    Mode m_mode;
    QToolBar *m_toolbar = nullptr;
    QAction *m_cancel = nullptr;
    QAction *m_action = nullptr;
    QAction *m_exit = nullptr;
    QGroupBox *m_nameFrame = nullptr;
    QGroupBox *m_listFrame = nullptr;
    QLineEdit *m_name = nullptr;
    QComboBox *m_groups = nullptr;
    QPushButton *m_fill = nullptr;
    bool m_leaving = false;
};

} // namespace tarnvale
