#include "ImpoundWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTableWidget>
#include <QVBoxLayout>

#include <pwd.h>
#include <unistd.h>

#include "DateText.h"
#include "ContentScrollArea.h"
#include "DatabaseCommands.h"
#include "Dialogs.h"
#include "ImpoundPapers.h"
#include "ImpoundRules.h"
#include "PricingStore.h"
#include "ReadableColor.h"
#include "RecordStore.h"
#include "ScreenFit.h"

namespace tarnvale {

namespace {

QString crlf()
{
    return QString::fromUtf16(kCrLf);
}

QLineEdit *lineEdit(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QPushButton *button(const char *name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLabel *label(const char *name, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

} // namespace

ImpoundWindow::ImpoundWindow(RecordStore &store, qint64 recordId, const SettingsFile &settings,
                             const ProgramFolder &folder, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_store(store), m_impound(store), m_recordId(recordId),
      m_settings(settings), m_folder(folder), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmImpound"));
    setWindowTitle(QStringLiteral("Hold and Release"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_vehicle = label("lblVehicle", this);
    QFont bold = m_vehicle->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    m_vehicle->setFont(bold);
    m_status = label("lblStatus", this);
    m_holdShown = label("lblHold", this);
    m_holdShown->setWordWrap(true);

    m_holdBox = new QGroupBox(QStringLiteral("Hold"), this);
    m_holdBox->setObjectName(QStringLiteral("grpHold"));
    m_holdReason = lineEdit("txtHoldReason", m_holdBox);
    m_holdAgency = lineEdit("txtHoldAgency", m_holdBox);
    m_holdCase = lineEdit("txtHoldCase", m_holdBox);
    m_holdReleaseBy = lineEdit("txtHoldReleaseBy", m_holdBox);
    m_placeHold = button("cmdPlaceHold", QStringLiteral("Place Hold"), m_holdBox);
    m_clearHold = button("cmdClearHold", QStringLiteral("Clear Hold..."), m_holdBox);
    auto *holdForm = new QFormLayout;
    holdForm->addRow(QStringLiteral("Reason:"), m_holdReason);
    holdForm->addRow(QStringLiteral("Agency:"), m_holdAgency);
    holdForm->addRow(QStringLiteral("Case number:"), m_holdCase);
    holdForm->addRow(QStringLiteral("May be released by:"), m_holdReleaseBy);
    auto *holdButtons = new QHBoxLayout;
    holdButtons->addStretch();
    holdButtons->addWidget(m_placeHold);
    holdButtons->addWidget(m_clearHold);
    auto *holdLayout = new QVBoxLayout(m_holdBox);
    holdLayout->addWidget(m_holdShown);
    holdLayout->addLayout(holdForm);
    holdLayout->addLayout(holdButtons);

    m_releaseBox = new QGroupBox(QStringLiteral("Release"), this);
    m_releaseBox->setObjectName(QStringLiteral("grpRelease"));
    m_releasedTo = lineEdit("txtReleasedTo", m_releaseBox);
    m_idType = new QComboBox(m_releaseBox);
    m_idType->setObjectName(QStringLiteral("cboIdType"));
    m_idType->setEditable(true);
    m_idType->addItems({QStringLiteral("Driver's license"), QStringLiteral("State ID"),
                        QStringLiteral("Passport"), QStringLiteral("Other")});
    m_idNumber = lineEdit("txtIdNumber", m_releaseBox);
    m_releasedAt = new QDateTimeEdit(QDateTime::currentDateTime(), m_releaseBox);
    m_releasedAt->setObjectName(QStringLiteral("dtReleased"));
    m_releasedAt->setCalendarPopup(true);
    // A release day in a year no tow has is refused as it is typed.
    m_releasedAt->setDateRange(QDate(DateText::kFirstYear, 1, 1),
                               QDate(DateText::lastYear(QDate::currentDate()), 12, 31));
    m_releasedAt->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat).replace(
                                       QRegularExpression(QStringLiteral("\\by+\\b")),
                                       QStringLiteral("yyyy"))
                                   + QStringLiteral(" HH:mm"));
    m_release = button("cmdRelease", QStringLiteral("Release Vehicle"), m_releaseBox);
    auto *releaseForm = new QFormLayout;
    releaseForm->addRow(QStringLiteral("Released to:"), m_releasedTo);
    releaseForm->addRow(QStringLiteral("ID type:"), m_idType);
    releaseForm->addRow(QStringLiteral("ID number:"), m_idNumber);
    releaseForm->addRow(QStringLiteral("Date and time:"), m_releasedAt);
    auto *releaseButtons = new QHBoxLayout;
    releaseButtons->addStretch();
    releaseButtons->addWidget(m_release);
    auto *releaseLayout = new QVBoxLayout(m_releaseBox);
    releaseLayout->addLayout(releaseForm);
    releaseLayout->addLayout(releaseButtons);

    // Taken at any time, before or after the vehicle leaves; each kept as soon as it is added.
    m_paymentBox = new QGroupBox(QStringLiteral("Payments"), this);
    m_paymentBox->setObjectName(QStringLiteral("grpPayments"));
    m_payments = new QTableWidget(0, 7, m_paymentBox);
    m_payments->setObjectName(QStringLiteral("tblPayments"));
    m_payments->setHorizontalHeaderLabels(
        {QStringLiteral("No."), QStringLiteral("Taken"), QStringLiteral("Amount"),
         QStringLiteral("Method"), QStringLiteral("Reference"), QStringLiteral("Taken by"),
         QStringLiteral("Refund of")});
    m_payments->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_payments->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_payments->setSelectionMode(QAbstractItemView::SingleSelection);
    m_payments->horizontalHeader()->setStretchLastSection(true);
    m_payments->verticalHeader()->hide();
    m_payments->setMinimumHeight(110);
    m_payAmount = lineEdit("txtPayAmount", m_paymentBox);
    m_payAmount->setPlaceholderText(QStringLiteral("125.50"));
    m_payMethod = new QComboBox(m_paymentBox);
    m_payMethod->setObjectName(QStringLiteral("cboPayMethod"));
    m_payMethod->setEditable(true); // a method not in the list is typed
    m_payMethod->setInsertPolicy(QComboBox::NoInsert);
    m_payMethod->setAccessibleName(QStringLiteral("Method"));
    m_payMethod->addItems({QStringLiteral("Cash"), QStringLiteral("Check"), QStringLiteral("Card"),
                           QStringLiteral("Other")});
    m_payReference = lineEdit("txtPayReference", m_paymentBox);
    m_addPayment = button("cmdAddPayment", QStringLiteral("Add Payment"), m_paymentBox);
    m_totalDue = label("lblTotalDue", m_paymentBox);
    m_paid = label("lblPaid", m_paymentBox);
    m_balance = label("lblBalance", m_paymentBox);
    m_balance->setStyleSheet(
        QStringLiteral("color: %1; font-weight: bold")
            .arg(ReadableColor::text(QColor(0xb0, 0, 0), palette(), QPalette::Window).name()));
    auto *entry = new QHBoxLayout;
    // Typed left to right: Amount, Method, Reference, each caption its box's buddy; Enter in
    // any of them adds the payment.
    for (QWidget *box : std::initializer_list<QWidget *>{m_payAmount, m_payMethod, m_payReference,
                                                        m_addPayment}) {
        if (box == m_payAmount || box == m_payReference) {
            auto *caption = new QLabel(box == m_payAmount ? QStringLiteral("Amount:")
                                                          : QStringLiteral("Reference:"),
                                       m_paymentBox);
            caption->setBuddy(box);
            entry->addWidget(caption);
        }
        entry->addWidget(box, box == m_payReference ? 1 : 0);
    }
    QWidget::setTabOrder(m_payAmount, m_payMethod);
    QWidget::setTabOrder(m_payMethod, m_payReference);
    QWidget::setTabOrder(m_payReference, m_addPayment);
    auto *figures = new QFormLayout;
    figures->addRow(QStringLiteral("Total charges:"), m_totalDue);
    figures->addRow(QStringLiteral("Paid:"), m_paid);
    figures->addRow(QStringLiteral("Balance due:"), m_balance);
    auto *paymentLayout = new QVBoxLayout(m_paymentBox);
    paymentLayout->addWidget(m_payments);
    paymentLayout->addWidget(new QLabel(QStringLiteral("A refund: choose the payment it gives "
                                                       "back, then add a negative amount."),
                                        m_paymentBox));
    paymentLayout->addLayout(entry);
    paymentLayout->addLayout(figures);

    m_sold = button("cmdSold", QStringLiteral("Sold..."), this);
    m_disposed = button("cmdDisposed", QStringLiteral("Disposed..."), this);
    m_receipt = button("cmdReceipt", QStringLiteral("Print Receipt"), this);
    auto *close = button("cmdClose", QStringLiteral("Close"), this);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_sold);
    bottom->addWidget(m_disposed);
    bottom->addStretch();
    bottom->addWidget(m_receipt);
    bottom->addWidget(close);

    // The boxes scroll where a large font makes them taller than the screen; the vehicle and
    // the buttons stay in view.
    auto *boxes = new QWidget(this);
    auto *boxLayout = new QVBoxLayout(boxes);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    boxLayout->addWidget(m_holdBox);
    boxLayout->addWidget(m_releaseBox);
    boxLayout->addWidget(m_paymentBox, 1);
    auto *scroll = new ContentScrollArea(this);
    scroll->setWidget(boxes);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_vehicle);
    layout->addWidget(m_status);
    layout->addWidget(scroll, 1);
    layout->addLayout(bottom);

    connect(m_placeHold, &QPushButton::clicked, this, &ImpoundWindow::placeHold);
    connect(m_clearHold, &QPushButton::clicked, this, &ImpoundWindow::clearHold);
    connect(m_release, &QPushButton::clicked, this, &ImpoundWindow::releaseVehicle);
    connect(m_sold, &QPushButton::clicked, this, &ImpoundWindow::markSold);
    connect(m_disposed, &QPushButton::clicked, this, &ImpoundWindow::markDisposed);
    connect(m_addPayment, &QPushButton::clicked, this, &ImpoundWindow::addPayment);
    for (QLineEdit *box : {m_payAmount, m_payMethod->lineEdit(), m_payReference})
        connect(box, &QLineEdit::returnPressed, this, &ImpoundWindow::addPayment);
    connect(m_receipt, &QPushButton::clicked, this, [this] { printReceipt(); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_releasedAt, &QDateTimeEdit::dateTimeChanged, this, &ImpoundWindow::updateBalance);
    connect(&m_store, &RecordStore::changed, this, &ImpoundWindow::onStoreChanged);

    resize(640, 760);
    reload();
}

void ImpoundWindow::onStoreChanged(const StoreChange &change)
{
    if (change.removedRecords.contains(m_recordId)) {
        m_vehicleGone = true;
        close();
        return;
    }
    if (change.reset || change.changedRecords.contains(m_recordId))
        reload();
}

void ImpoundWindow::reload()
{
    const std::optional<TowRecord> record = m_store.towRecord(m_recordId);
    const std::optional<ImpoundState> state =
        record ? m_impound.state(*record) : std::optional<ImpoundState>();
    if (!record || !state) {
        m_record = TowRecord{};
        m_state = ImpoundState{};
        m_vehicle->setText(QStringLiteral("This vehicle cannot be read."));
        for (QWidget *w : std::initializer_list<QWidget *>{m_holdBox, m_releaseBox, m_paymentBox,
                                                           m_sold, m_disposed, m_receipt})
            w->setEnabled(false);
        return;
    }
    m_record = *record;
    m_state = *state;
    showState();
}

void ImpoundWindow::showState()
{
    QStringList vehicle;
    for (TowField field : {TowField::vehyear, TowField::vehmake, TowField::vehmodel,
                           TowField::vehcolor})
        if (!m_record.value(field).trimmed().isEmpty())
            vehicle << m_record.value(field).trimmed().toUpper();
    m_vehicle->setText(vehicle.join(u' ') + QStringLiteral("  (No. %1)").arg(m_recordId));
    m_status->setText(QStringLiteral("Status: ") + ImpoundRules::statusText(m_state.status));

    const bool inStorage = m_state.status == VehicleStatus::InStorage;
    const bool onHold = m_state.status == VehicleStatus::OnHold;
    if (const Hold *hold = m_state.activeHold())
        m_holdShown->setText(QStringLiteral("On hold since %1: %2, %3, case %4; may be released "
                                            "by %5.")
                                 .arg(DateText::shortForm(hold->placedOn), hold->reason,
                                      hold->agency, hold->caseNumber, hold->releaseBy));
    else if (!m_state.holds.isEmpty())
        m_holdShown->setText(QStringLiteral("Last hold cleared by %1 on %2.")
                                 .arg(m_state.holds.last().clearedBy,
                                      DateText::shortForm(m_state.holds.last().clearedOn)));
    else
        m_holdShown->setText(QStringLiteral("No hold."));
    for (QLineEdit *edit : {m_holdReason, m_holdAgency, m_holdCase, m_holdReleaseBy})
        edit->setEnabled(inStorage);
    m_placeHold->setEnabled(inStorage);
    m_clearHold->setEnabled(onHold);
    m_holdBox->setEnabled(inStorage || onHold);

    const bool released = m_state.release.has_value();
    m_releaseBox->setEnabled(inStorage || onHold);
    m_sold->setEnabled(inStorage);
    m_disposed->setEnabled(inStorage);
    m_receipt->setEnabled(released);
    if (released) {
        const Release &r = *m_state.release;
        m_releasedTo->setText(r.releasedTo);
        m_idType->setCurrentText(r.idType);
        m_idNumber->setText(r.idNumber);
        m_releasedAt->setDateTime(QDateTime(r.date, r.time.isValid() ? r.time : QTime(0, 0)));
    }
    m_paymentBox->setEnabled(true);
    m_payments->setRowCount(0);
    for (const Payment &p : m_state.payments) {
        const int row = m_payments->rowCount();
        m_payments->insertRow(row);
        const QStringList cells{
            QString::number(p.id),
            (DateText::shortForm(p.paidOn) + u' ' + p.paidAt.toString(QStringLiteral("HH:mm")))
                .trimmed(),
            ImpoundRules::centsText(p.cents), p.method, p.reference, p.takenBy,
            p.refundOf ? QStringLiteral("No. %1").arg(p.refundOf) : QString()};
        for (int column = 0; column < cells.size(); ++column)
            m_payments->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    m_payments->resizeColumnsToContents();
    updateBalance();
}

ChargeFigures ImpoundWindow::figures() const
{
    const QDate today = QDate::currentDate();
    const bool inYard =
        m_state.status == VehicleStatus::InStorage || m_state.status == VehicleStatus::OnHold;
    // Under the vehicle's plan; as before when its pricing cannot be read.
    std::optional<PricedStay> stay = PricingStore(m_store).stayOf(m_record, QTime::currentTime());
    if (inYard) {
        const QTime at = m_releasedAt->time();
        if (stay)
            stay->releasedAt = QTime(at.hour(), at.minute());
        return ImpoundRules::figuresOn(m_record, m_releasedAt->date(), m_settings, today, stay);
    }
    return stay ? ChargeFigures::compute(m_record, m_settings, today, *stay)
                : ChargeFigures::compute(m_record, m_settings, today);
}

void ImpoundWindow::updateBalance()
{
    const ChargeFigures shown = figures();
    const qint64 paid = ImpoundRules::paidCents(m_state.payments);
    m_totalDue->setText(shown.totalFormed ? ImpoundRules::centsText(
                                                ImpoundRules::toCents(shown.grandTotal))
                                          : QString());
    m_paid->setText(ImpoundRules::centsText(paid));
    m_balance->setText(ImpoundRules::balanceText(ImpoundRules::balanceCents(shown, paid)));
}

QString ImpoundWindow::userName()
{
    if (const passwd *user = getpwuid(geteuid()))
        return QString::fromLocal8Bit(user->pw_name);
    return qEnvironmentVariable("USER");
}

void ImpoundWindow::addPayment()
{
    const QString typed = m_payAmount->text().trimmed();
    const std::optional<qint64> cents = ImpoundRules::readCents(typed);
    if (!cents) {
        m_dialogs.notify(m_settings.companyName(),
                         QStringLiteral("\"%1\" is not an amount.").arg(typed) + crlf()
                             + QStringLiteral("Please enter it as 125.50 (a refund as -20)."),
                         MessageIcon::Exclamation);
        return;
    }
    const int row = m_payments->currentRow();
    const QDateTime now = QDateTime::currentDateTime();
    Payment payment{*cents,
                    m_payMethod->currentText().trimmed(),
                    m_payReference->text().trimmed(),
                    now.date(),
                    QTime(now.time().hour(), now.time().minute(), now.time().second()),
                    userName()};
    if (*cents < 0 && row >= 0 && row < m_state.payments.size())
        payment.refundOf = m_state.payments.at(row).id;
    const ImpoundStore::Result result = m_impound.addPayment(m_record, payment);
    report(result);
    if (result == ImpoundStore::Result::Done) {
        m_payAmount->clear();
        m_payReference->clear();
        m_payAmount->setFocus(); // ready for the next one
    }
}

void ImpoundWindow::report(ImpoundStore::Result result)
{
    if (result == ImpoundStore::Result::Refused)
        m_dialogs.notify(m_settings.companyName(), m_impound.refusal(), MessageIcon::Exclamation);
    else if (result == ImpoundStore::Result::Failed)
        DatabaseCommands::ReportUnknownError(m_dialogs, m_impound.lastError());
}

void ImpoundWindow::placeHold()
{
    if (m_holdReason->text().trimmed().isEmpty()) {
        m_dialogs.notify(m_settings.companyName(), QStringLiteral("Please enter the hold's reason."),
                         MessageIcon::Exclamation);
        return;
    }
    const Hold hold{0,  m_holdReason->text().trimmed(), m_holdAgency->text().trimmed(),
                    m_holdCase->text().trimmed(), m_holdReleaseBy->text().trimmed(),
                    {}, {}, {}};
    const ImpoundStore::Result result = m_impound.placeHold(m_record, hold, QDate::currentDate());
    report(result);
    if (result == ImpoundStore::Result::Done)
        for (QLineEdit *edit : {m_holdReason, m_holdAgency, m_holdCase, m_holdReleaseBy})
            edit->clear();
}

void ImpoundWindow::clearHold()
{
    const std::optional<QString> by = m_dialogs.inputText(
        QStringLiteral("Clear Hold"), QStringLiteral("Hold cleared by (name and agency):"));
    if (!by)
        return;
    report(m_impound.clearHold(m_record, *by, QDate::currentDate()));
}

void ImpoundWindow::releaseVehicle()
{
    const QDateTime at = m_releasedAt->dateTime();
    const Release release{m_releasedTo->text().trimmed(), m_idType->currentText().trimmed(),
                          m_idNumber->text().trimmed(), at.date(),
                          QTime(at.time().hour(), at.time().minute())};
    // Asked only of a release the store would make.
    const std::optional<qint64> balance = ImpoundRules::balanceCents(
        figures(), ImpoundRules::paidCents(m_state.payments));
    if (balance && *balance != 0 && !release.releasedTo.isEmpty()
        && ImpoundRules::refusal(m_state.status, VehicleStatus::Released).isEmpty()) {
        const QString question =
            *balance > 0 ? QStringLiteral("Release with %1 still owed?")
                               .arg(ImpoundRules::centsText(*balance))
                         : QStringLiteral("Release with %1 paid beyond the charges?")
                               .arg(ImpoundRules::centsText(-*balance));
        if (m_dialogs.askDefaultNo(m_settings.companyName(), question, MessageIcon::Question)
            != Answer::Yes)
            return;
    }
    // What is billed now is kept with the release.
    report(m_impound.release(m_record, release, figures()));
}

void ImpoundWindow::dispose(VehicleStatus how)
{
    const QString word = how == VehicleStatus::Sold ? QStringLiteral("sold")
                                                    : QStringLiteral("disposed of");
    if (m_dialogs.askDefaultNo(m_settings.companyName(),
                      QStringLiteral("Mark this vehicle as %1 today?").arg(word) + crlf()
                          + QStringLiteral("Its storage charges stop today, and this cannot be "
                                           "undone."),
                      MessageIcon::Exclamation)
        != Answer::Yes)
        return;
    // What is billed to this day is kept with the sale or disposal: a plan changed later
    // leaves it as it was.
    const QDate today = QDate::currentDate();
    PricingStore pricing(m_store);
    const std::optional<PricedStay> stay = pricing.stayOf(m_record, QTime::currentTime());
    if (!stay) {
        DatabaseCommands::ReportUnknownError(m_dialogs, pricing.lastError());
        return;
    }
    report(m_impound.dispose(m_record, how, today,
                             ImpoundRules::figuresOn(m_record, today, m_settings, today, stay)));
}

void ImpoundWindow::markSold()
{
    dispose(VehicleStatus::Sold);
}

void ImpoundWindow::markDisposed()
{
    dispose(VehicleStatus::Disposed);
}

bool ImpoundWindow::printReceipt()
{
    if (!m_state.release)
        return false;
    PrintSnapshot snapshot;
    snapshot.customerName = m_state.release->releasedTo;
    snapshot.recordId = m_recordId;
    Q_EMIT paperRequested(
        snapshot,
        ImpoundPapers::receipt(m_folder, m_record, m_state, m_settings, QDate::currentDate(),
                               PricingStore(m_store).stayOf(m_record, QTime::currentTime())),
        QStringLiteral("Receipt"));
    return true;
}

void ImpoundWindow::closeEvent(QCloseEvent *event)
{
    if (!m_vehicleGone && ScreenFit::typedInto(this) && !ScreenFit::discardTyped(m_dialogs, this)) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace tarnvale
