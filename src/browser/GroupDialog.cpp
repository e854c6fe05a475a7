#include "GroupDialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>

#include "DatabaseCommands.h"
#include "ScreenFit.h"

namespace tarnvale {

GroupDialog::GroupDialog(RecordStore &store, DatabaseCommands &database, Mode mode, QWidget *parent)
    : QWidget(parent, Qt::Dialog), m_store(store), m_database(database), m_mode(mode)
{
    setObjectName(QStringLiteral("frmAddRemoveGroup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_cancel = m_toolbar->addAction(QStringLiteral("Cancel"));
    m_toolbar->addSeparator();
    m_action = m_toolbar->addAction(QStringLiteral("Add"));
    QAction *lastSeparator = m_toolbar->addSeparator();
    m_exit = m_toolbar->addAction(QStringLiteral("Exit"));
    connect(m_cancel, &QAction::triggered, this, [this] { buttonClick(1); });
    connect(m_action, &QAction::triggered, this, [this] { buttonClick(3); });
    connect(m_exit, &QAction::triggered, this, [this] { buttonClick(5); });

    m_nameFrame = new QGroupBox(QStringLiteral("Group name"), this);
    m_nameFrame->setObjectName(QStringLiteral("Frame1"));
    m_name = new QLineEdit(m_nameFrame);
    m_name->setObjectName(QStringLiteral("txtGroup"));
    (new QVBoxLayout(m_nameFrame))->addWidget(m_name);
    connect(m_name, &QLineEdit::returnPressed, this, [this] { buttonClick(3); });

    m_listFrame = new QGroupBox(QStringLiteral("Group"), this);
    m_listFrame->setObjectName(QStringLiteral("Frame2"));
    m_groups = new QComboBox(m_listFrame);
    m_groups->setObjectName(QStringLiteral("lstGroups"));
    m_groups->setEditable(false);
    (new QVBoxLayout(m_listFrame))->addWidget(m_groups);

    m_fill = new QPushButton(QStringLiteral("Command1"), this);
    m_fill->setObjectName(QStringLiteral("Command1"));
    m_fill->setVisible(false);
    connect(m_fill, &QPushButton::clicked, this, &GroupDialog::fillList);

    auto *layout = new QVBoxLayout(this);
    layout->setMenuBar(m_toolbar);
    layout->addWidget(m_nameFrame);
    layout->addWidget(m_listFrame);
    layout->addStretch();
    setMinimumWidth(320);
    if (parent) {
        adjustSize();
        move(parent->geometry().center() - rect().center());
    }

    if (m_mode == Mode::Add) {
        setWindowTitle(QStringLiteral("Add Group"));
        m_nameFrame->setVisible(true);
        m_listFrame->setVisible(false);
        m_action->setText(QStringLiteral("Add"));
        m_exit->setVisible(false);
        lastSeparator->setVisible(false);
    } else {
        setWindowTitle(QStringLiteral("Remove Group"));
        m_action->setText(QStringLiteral("Remove"));
        m_exit->setVisible(true);
        m_nameFrame->setVisible(false);
        m_listFrame->setVisible(true);
        fillList();
    }
}

void GroupDialog::fillList()
{
    m_groups->clear();
    if (const auto groups = m_store.groups()) {
        for (const GroupRecord &group : *groups)
            m_groups->addItem(group.name);
    }
    m_groups->setCurrentIndex(m_groups->count() > 0 ? 0 : -1);
}

void GroupDialog::buttonClick(int number)
{
    if (number == 1 || number == 5) {
        m_leaving = true;
        close();
        return;
    }
    if (number != 3)
        return;
    const QString caption = m_action->text().trimmed().toLower();
    if (caption == u"add") {
        if (m_database.AddGroup(m_name->text()) == 1) {
            m_leaving = true;
            close();
            return;
        }
        m_name->setFocus();
        m_name->selectAll();
    } else if (caption == u"remove") {
        if (m_database.RemoveGroup(m_groups->currentText()) == 1)
            fillList();
    }
}

void GroupDialog::closeEvent(QCloseEvent *event)
{
    if (!m_leaving && ScreenFit::typedInto(this)
        && !ScreenFit::discardTyped(m_database.dialogs(), this)) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace tarnvale
