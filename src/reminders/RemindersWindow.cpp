#include "RemindersWindow.h"

#include <QAction>
#include <QDate>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QStatusBar>
#include <QToolBar>

#include "Dialogs.h"
#include "DateText.h"

namespace tarnvale {

namespace {

QString crlf()
{
    return QString::fromUtf16(kCrLf);
}

constexpr int kIdRole = Qt::UserRole + 1; // the row's id

// The toolbar picture: a note sheet with a green plus.
QIcon addReminderIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(90, 90, 90), 1.5));
    painter.setBrush(QColor(255, 246, 170));
    painter.drawRect(QRectF(4.5, 3.5, 20, 25));
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    for (int y = 10; y <= 22; y += 4)
        painter.drawLine(8, y, 21, y);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 140, 50));
    painter.drawEllipse(QRectF(17, 17, 14, 14));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(19.5, 23, 9, 2));
    painter.drawRect(QRectF(23, 19.5, 2, 9));
    return QIcon(pixmap);
}

} // namespace

RemindersWindow::RemindersWindow(RecordStore &store, Dialogs &dialogs, QWidget *parent)
    : QMainWindow(parent), m_reminders(store), m_ticks(m_reminders, dialogs), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmReminders"));
    setWindowTitle(QStringLiteral("Reminders"));
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);

    m_toolbar = addToolBar(QStringLiteral("Reminders"));
    m_toolbar->setObjectName(QStringLiteral("tbReminders"));
    m_toolbar->setMovable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    QAction *add = m_toolbar->addAction(addReminderIcon(), QStringLiteral("Add Reminder"));
    add->setObjectName(QStringLiteral("tbReminders_1"));
    add->setToolTip(QStringLiteral("Add a reminder"));
    connect(add, &QAction::triggered, this, &RemindersWindow::AddReminder);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("lstReminders"));
    m_list->setFont(QFont(QStringLiteral("Tahoma")));
    setCentralWidget(m_list);
    connect(m_list, &QListWidget::itemChanged, this, &RemindersWindow::onItemChanged);

    m_status = new QStatusBar(this);
    m_status->setObjectName(QStringLiteral("sbReminders"));
    m_status->setSizeGripEnabled(false);
    setStatusBar(m_status);

    resize(360, 400);
    FillReminderList();
}

void RemindersWindow::reportError()
{
    m_dialogs.notify(QStringLiteral("Database Error!"),
                     QStringLiteral("Unknown database error: ") + crlf() + crlf() +
                         m_reminders.lastError().description,
                     MessageIcon::Critical);
}

void RemindersWindow::FillReminderList()
{
    m_listReady = false;
    m_list->clear();
    const auto items = m_reminders.items();
    if (!items) {
        reportError();
        return;
    }
    for (const ReminderItem &row : *items) {
        auto *entry = new QListWidgetItem(entryText(row), m_list);
        entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        entry->setCheckState(row.done ? Qt::Checked : Qt::Unchecked);
        // The row itself, not its text: two items may read the same.
        entry->setData(kIdRole, row.id);
    }
    m_listReady = true;
    // An empty table shows "0 items" too, so deleting the last item never leaves a stale count.
    m_status->showMessage(QStringLiteral("%1 items").arg(items->size()));
}

QString RemindersWindow::entryText(const ReminderItem &row)
{
    if (row.dateFor.isEmpty())
        return row.item;
    return row.item + QStringLiteral(" \u2014 due ") + row.dateFor;
}

void RemindersWindow::AddReminder()
{
    const std::optional<QString> item =
        m_dialogs.inputText(QStringLiteral("New Item"), QStringLiteral("Enter To Do Item:"));
    // The due date is asked for even when the item was cancelled; the hint shows the form of
    // the date offered.
    const QDate today = QDate::currentDate();
    const QString prompt =
        QStringLiteral("Enter Due Date: ( ") + DateText::shortFormHint() + QStringLiteral(" )");
    QString offered = DateText::shortForm(today);
    for (;;) {
        const std::optional<QString> due =
            m_dialogs.inputText(QStringLiteral("Date Due"), prompt, offered);
        if (!item || !due)
            return;
        switch (m_reminders.add(*item, *due, today)) {
        case ReminderList::AddResult::Added:
            FillReminderList();
            return;
        case ReminderList::AddResult::Failed:
            reportError();
            return;
        case ReminderList::AddResult::Refused:
            return;
        case ReminderList::AddResult::NotADate:
            // Asked again with the text as typed, so that a slip is mended, not retyped.
            m_dialogs.notify(QStringLiteral("Date Due"),
                             QStringLiteral("\"") + *due + QStringLiteral("\" is not a date.")
                                 + crlf() + QStringLiteral("Please enter the due date as ")
                                 + DateText::shortFormHint() + u'.',
                             MessageIcon::Exclamation);
            offered = *due;
            break;
        }
    }
}

void RemindersWindow::CheckItem(int item)
{
    if (QListWidgetItem *entry = m_list->item(item))
        showTickOutcome(m_ticks.tick(entry->data(kIdRole).toLongLong(), entry->text()));
}

void RemindersWindow::UnCheckItem(int item)
{
    if (QListWidgetItem *entry = m_list->item(item))
        showTickOutcome(m_ticks.untick(entry->data(kIdRole).toLongLong()));
}

void RemindersWindow::showTickOutcome(ReminderTicks::Outcome outcome)
{
    if (outcome == ReminderTicks::Outcome::Failed)
        reportError();
    else if (outcome == ReminderTicks::Outcome::Changed)
        FillReminderList();
}

void RemindersWindow::onItemChanged(QListWidgetItem *entry)
{
    if (!m_listReady)
        return;
    const int position = m_list->row(entry);
    if (entry->checkState() == Qt::Checked)
        CheckItem(position);
    else
        UnCheckItem(position);
}

} // namespace tarnvale
