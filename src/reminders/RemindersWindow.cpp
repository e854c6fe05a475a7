#include "RemindersWindow.h"

#include <QAction>
#include <QDate>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QPainter>
#include <QPixmap>
#include <QStatusBar>
#include <QToolBar>

#include "DatabaseCommands.h"
#include "Dialogs.h"
#include "DateText.h"
#include "ImpoundPapers.h"
#include "PricingStore.h"
#include "ReadableColor.h"
#include "RecordStore.h"
#include "ReportWindow.h"
#include "TowRecord.h"

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
    : QMainWindow(parent), m_reminders(store), m_store(store), m_impound(store), m_lienDue(m_impound),
      m_ticks(m_reminders, dialogs), m_dialogs(dialogs)
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

    auto *central = new QWidget(this);
    m_list = new QListWidget(central);
    m_list->setObjectName(QStringLiteral("lstReminders"));
    m_list->setFont(QFont(QStringLiteral("Tahoma")));
    m_lienCaption = new QLabel(QStringLiteral("Lien notices due:"), central);
    m_lienCaption->setObjectName(QStringLiteral("lblLienSteps"));
    m_lienList = new QListWidget(central);
    m_lienList->setObjectName(QStringLiteral("lstLienSteps"));
    m_lienList->setToolTip(QStringLiteral("Tick a step when it is done; double-click to show "
                                          "the vehicle."));
    // The window opens wide enough for the longest line of either list.
    for (QListWidget *list : {m_list, m_lienList})
        list->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    m_notice = new QPushButton(QStringLiteral("Print Notice"), central);
    m_notice->setObjectName(QStringLiteral("cmdNotice"));
    auto *noticeRow = new QHBoxLayout;
    noticeRow->addStretch();
    noticeRow->addWidget(m_notice);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_lienCaption);
    layout->addWidget(m_lienList, 1);
    layout->addLayout(noticeRow);
    for (QWidget *w : std::initializer_list<QWidget *>{m_lienCaption, m_lienList, m_notice})
        w->hide();
    setCentralWidget(central);
    connect(m_lienList, &QListWidget::itemChanged, this, &RemindersWindow::onLienItemChanged);
    connect(m_lienList, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *entry) {
        const int at = m_lienList->row(entry);
        if (at >= 0 && at < lienItems().size())
            Q_EMIT vehicleRequested(lienItems().at(at).vehicleId);
    });
    connect(m_notice, &QPushButton::clicked, this,
            [this] { printNotice(m_lienList->currentRow()); });
    connect(m_list, &QListWidget::itemChanged, this, &RemindersWindow::onItemChanged);

    m_status = new QStatusBar(this);
    m_status->setObjectName(QStringLiteral("sbReminders"));
    m_status->setSizeGripEnabled(false);
    setStatusBar(m_status);

    resize(360, 400);
    FillReminderList();
}

void RemindersWindow::showLienSteps(const SettingsFile &settings, const ProgramFolder &folder)
{
    m_settings = settings;
    m_folder = folder;
    connect(&m_store, &RecordStore::changed, this, &RemindersWindow::onStoreChanged,
            Qt::UniqueConnection);
    FillLienSteps();
}

bool RemindersWindow::showSchedule(const QList<LienStep> &schedule)
{
    for (QWidget *w : std::initializer_list<QWidget *>{m_lienCaption, m_lienList, m_notice})
        w->setVisible(!schedule.isEmpty());
    return !schedule.isEmpty() && m_store.isOpen();
}

void RemindersWindow::showLienError()
{
    m_lienList->clear();
    m_lienList->addItem(QStringLiteral("The lien steps cannot be read: ")
                        + m_impound.lastError().description);
}

QListWidgetItem *RemindersWindow::lienEntry(const LienItem &item) const
{
    const QString text = QStringLiteral("%1 \u2014 No. %2 %3 \u2014 %4 %5")
                             .arg(item.deadline.step)
                             .arg(item.vehicleId)
                             .arg(item.vehicle,
                                  item.overdue ? QStringLiteral("overdue since")
                                               : QStringLiteral("due"),
                                  DateText::shortForm(item.deadline.due));
    auto *entry = new QListWidgetItem(text);
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    entry->setCheckState(Qt::Unchecked);
    if (item.overdue)
        entry->setForeground(ReadableColor::text(QColor(176, 0, 0), QGuiApplication::palette()));
    return entry;
}

void RemindersWindow::FillLienSteps()
{
    if (!m_settings)
        return;
    m_lienReady = false;
    m_lienList->clear();
    m_lienDue.fill({}, QDate::currentDate());
    const QList<LienStep> schedule = LienSchedule::read(*m_settings);
    if (!showSchedule(schedule))
        return;
    if (!m_lienDue.fill(schedule, QDate::currentDate()))
        return showLienError();
    for (const LienItem &item : lienItems())
        m_lienList->addItem(lienEntry(item));
    m_lienReady = true;
}

void RemindersWindow::onStoreChanged(const StoreChange &change)
{
    if (!m_settings)
        return;
    const QList<LienStep> schedule = LienSchedule::read(*m_settings);
    if (!showSchedule(schedule))
        return FillLienSteps();
    m_lienReady = false;
    const auto update = m_lienDue.apply(change, schedule, QDate::currentDate());
    if (!update)
        return showLienError();
    if (update->refilled) {
        m_lienList->clear();
        for (const LienItem &item : lienItems())
            m_lienList->addItem(lienEntry(item));
    }
    for (const int at : update->removed)
        delete m_lienList->takeItem(at);
    for (const int at : update->inserted)
        m_lienList->insertItem(at, lienEntry(lienItems().at(at)));
    m_lienReady = true;
}

void RemindersWindow::onLienItemChanged(QListWidgetItem *entry)
{
    const int at = m_lienList->row(entry);
    if (!m_lienReady || entry->checkState() != Qt::Checked || at < 0 || at >= lienItems().size())
        return;
    const LienItem item = lienItems().at(at);
    // The store announces the vehicle as changed, and the list is filled again from there.
    if (m_impound.markStepDone(item.vehicleId, item.deadline.step, QDate::currentDate())
        != ImpoundStore::Result::Done)
        DatabaseCommands::ReportUnknownError(m_dialogs, m_impound.lastError());
}

QWidget *RemindersWindow::printNotice(int item)
{
    if (!m_settings || !m_folder || item < 0 || item >= lienItems().size()) {
        m_dialogs.notify(QStringLiteral("Reminders"),
                         QStringLiteral("Please select a lien step to print its notice."),
                         MessageIcon::None);
        return nullptr;
    }
    const LienItem step = lienItems().at(item);
    const std::optional<TowRecord> record = m_store.towRecord(step.vehicleId);
    const std::optional<ImpoundState> state =
        record ? m_impound.state(*record) : std::optional<ImpoundState>();
    if (!state)
        return nullptr;
    PrintSnapshot snapshot;
    snapshot.customerName = record->value(TowField::custname);
    snapshot.recordId = record->id;
    auto *window = new ReportWindow(snapshot, *m_settings, *m_folder, m_dialogs, this);
    if (!window->showDocument(ImpoundPapers::notice(*m_folder, *record, *state, step.deadline,
                                                    *m_settings, QDate::currentDate(),
                                                    PricingStore(m_store).stayOf(
                                                        *record, QTime::currentTime())),
                              QStringLiteral("Notice")))
        return nullptr;
    window->show();
    return window;
}

void RemindersWindow::reportError()
{
    DatabaseCommands::ReportUnknownError(m_dialogs, m_reminders.lastError());
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
        {
            const std::optional<QDate> read = DateText::read(*due, QLocale(), today);
            m_dialogs.notify(QStringLiteral("Date Due"),
                             QStringLiteral("\"") + *due
                                 + (read ? QStringLiteral("\" is in the year %1.").arg(read->year())
                                         : QStringLiteral("\" is not a date."))
                                 + crlf() + QStringLiteral("Please enter the due date as ")
                                 + DateText::shortFormHint()
                                 + (read ? QStringLiteral(", from %1 to %2.")
                                               .arg(DateText::kFirstYear)
                                               .arg(DateText::lastYear(today))
                                         : QStringLiteral(".")),
                             MessageIcon::Exclamation);
        }
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
