#include "TowRecordForm.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

#include "CalculateTotal.h"
#include "DateText.h"
#include "ContentScrollArea.h"
#include "Dialogs.h"
#include "FormatPhoneBox.h"
#include "HookupFeeLookup.h"
#include "IsValidVin.h"
#include "LeadingNumber.h"
#include "DatabaseCommands.h"
#include "PricingStore.h"
#include "ReadableColor.h"
#include "SettingsFile.h"

namespace tarnvale {

namespace {

// tFields(0..17) and the record fields they hold.
constexpr TowField kFieldOf[18] = {
    TowField::custname,  TowField::custaddress, TowField::custcity,  TowField::custstate,
    TowField::custzip,   TowField::custphone,   TowField::vehyear,   TowField::vehmake,
    TowField::vehmodel,  TowField::vehstyle,    TowField::vehcolor,  TowField::vehtag,
    TowField::vehvin,    TowField::vehnotes,    TowField::towedfrom, TowField::towedto,
    TowField::toweddate, TowField::towedrelease};

constexpr int kNotes = 13;

QLabel *caption(const QString &text, QWidget *parent, const char *name = nullptr)
{
    auto *label = new QLabel(text, parent);
    if (name)
        label->setObjectName(QLatin1String(name));
    return label;
}

// Line edits hold 32767 characters unless told otherwise; a stored field is longer at times.
constexpr int kNoLimit = std::numeric_limits<int>::max();

QLineEdit *lineEdit(const QString &name, const QString &text, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(kNoLimit);
    edit->setText(text);
    return edit;
}

QComboBox *classBox(const char *name, const QStringList &items, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setEditable(true);
    box->lineEdit()->setMaxLength(kNoLimit);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setEditText(QStringLiteral("N/A"));
    return box;
}

void makeRed(QLabel *label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText,
                     ReadableColor::text(Qt::red, palette, QPalette::Window));
    label->setPalette(palette);
}

// A button whose caption names nothing ("C", "->") gets a name a person and a screen reader
// can use.
void nameButton(QPushButton *button, const QString &name)
{
    button->setToolTip(name);
    button->setAccessibleName(name);
}

} // namespace

TowRecordForm::TowRecordForm(RecordStore &store, DatabaseCommands &database,
                             const SettingsFile &settings, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_editor(store, database, settings, dialogs), m_store(store),
      m_settings(settings), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmAddEditContact"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(QStringLiteral("Add Vehicle"));

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_buttons[0] = m_toolbar->addAction(QStringLiteral("Cancel"));
    m_buttons[1] = m_toolbar->addSeparator();
    m_buttons[2] = m_toolbar->addAction(QStringLiteral("Add"));
    m_buttons[3] = m_toolbar->addSeparator();
    m_buttons[4] = m_toolbar->addAction(QStringLiteral("Previous"));
    m_buttons[5] = m_toolbar->addAction(QStringLiteral("Next"));
    for (int i : {0, 2, 4, 5}) {
        m_buttons[size_t(i)]->setObjectName(QStringLiteral("Toolbar1_%1").arg(i + 1));
        connect(m_buttons[size_t(i)], &QAction::triggered, this,
                [this, i] { toolbarClick(i + 1); });
    }
    // Add or Apply, and Cancel or Exit, by the platform's usual keys for save and close.
    m_buttons[2]->setShortcut(QKeySequence::Save);
    m_buttons[0]->setShortcut(QKeySequence::Close);

    // Left part: contact and vehicle information.
    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);

    auto *contact = new QGroupBox(QStringLiteral("Contact Information"), left);
    contact->setObjectName(QStringLiteral("Frame1"));
    auto *grid = new QGridLayout(contact);
    grid->setVerticalSpacing(3);
    for (int i = 0; i < 18; ++i) {
        if (i == kNotes)
            continue;
        m_fields[size_t(i)] = lineEdit(QStringLiteral("tFields_%1").arg(i), QString(), contact);
    }
    m_notes = new QPlainTextEdit(contact);
    m_notes->setObjectName(QStringLiteral("tFields_13"));
    m_notes->setTabChangesFocus(true);
    m_notes->setFixedHeight(48);

    int row = 0;
    auto addRow = [&](const QString &text, QWidget *field, QWidget *extra = nullptr,
                      const char *labelName = nullptr) {
        QLabel *label = caption(text, contact, labelName);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        if (extra) {
            auto *line = new QHBoxLayout;
            line->setSpacing(3);
            line->addWidget(field, 1);
            line->addWidget(extra);
            grid->addLayout(line, row, 1);
        } else {
            grid->addWidget(field, row, 1);
        }
        ++row;
        return label;
    };
    addRow(QStringLiteral("Name"), m_fields[0]);
    addRow(QStringLiteral("Address"), m_fields[1]);
    {
        auto *line = new QHBoxLayout;
        line->setSpacing(3);
        line->addWidget(m_fields[2], 4);
        line->addWidget(m_fields[3], 1);
        line->addWidget(m_fields[4], 2);
        QLabel *label = caption(QStringLiteral("City,State,Zip"), contact);
        label->setBuddy(m_fields[2]);
        grid->addWidget(label, row, 0);
        grid->addLayout(line, row, 1);
        ++row;
    }
    addRow(QStringLiteral("Phone"), m_fields[5]);
    m_owner = new QCheckBox(QStringLiteral("Owner Information Unknown"), contact);
    m_owner->setObjectName(QStringLiteral("Owner"));
    grid->addWidget(m_owner, row++, 1);

    QLabel *vehicleHeading = caption(QStringLiteral("Vehicle Information"), contact);
    QFont bold = vehicleHeading->font();
    bold.setBold(true);
    vehicleHeading->setFont(bold);
    grid->addWidget(vehicleHeading, row++, 0, 1, 2);

    m_yearMarker = caption(QStringLiteral("*"), contact, "Label45");
    makeRed(m_yearMarker);
    m_yearMarker->setVisible(false);
    addRow(QStringLiteral("Year"), m_fields[6], m_yearMarker);
    addRow(QStringLiteral("Make"), m_fields[7]);
    addRow(QStringLiteral("Model"), m_fields[8]);
    addRow(QStringLiteral("Body Style"), m_fields[9]);
    addRow(QStringLiteral("Color"), m_fields[10]);
    addRow(QStringLiteral("Tag"), m_fields[11]);
    auto *vinButton = new QPushButton(QStringLiteral("C"), contact);
    vinButton->setObjectName(QStringLiteral("Command4"));
    vinButton->setFixedWidth(24);
    nameButton(vinButton, QStringLiteral("Check the VIN's check digit"));
    connect(vinButton, &QPushButton::clicked, this, &TowRecordForm::checkVin);
    // A whole VIN whose check digit does not match is marked while it is typed; it still
    // saves, since older and foreign vehicles carry other numbers.
    m_vinMark = caption(QStringLiteral("Check digit does not match"), contact, "lblVinCheck");
    makeRed(m_vinMark);
    m_vinMark->setVisible(false);
    connect(m_fields[12], &QLineEdit::textChanged, this, [this](const QString &text) {
        const QString vin = text.toUpper().trimmed(); // as the button reads it
        m_vinMark->setVisible(vin.size() == 17 && !IsValidVin(vin));
    });
    addRow(QStringLiteral("Vehicle Vin Number"), m_fields[12], vinButton);
    grid->addWidget(m_vinMark, row++, 1); // under the box, which keeps its width
    addRow(QStringLiteral("Notes"), m_notes);
    addRow(QStringLiteral("Towed From:"), m_fields[14]);
    auto *homeButton = new QPushButton(QStringLiteral("Home"), contact);
    homeButton->setObjectName(QStringLiteral("Command1"));
    connect(homeButton, &QPushButton::clicked, this, [this] {
        m_fields[15]->setText(m_settings.read(QStringLiteral("Company"), QStringLiteral("Name")));
    });
    addRow(QStringLiteral("Towed To:"), m_fields[15], homeButton);
    m_dateTowedLabel = addRow(QStringLiteral("Date Towed:"), m_fields[16], nullptr, "Label16");
    m_dateReleasedLabel =
        addRow(QStringLiteral("Date Released:"), m_fields[17], nullptr, "Label17");
    for (QLabel *label : {m_dateTowedLabel, m_dateReleasedLabel}) {
        label->setCursor(Qt::PointingHandCursor);
        label->setToolTip(QStringLiteral("Click for today's date"));
        label->installEventFilter(this);
    }
    m_towFee = lineEdit(QStringLiteral("Text1"), QStringLiteral("$0.00"), contact);
    m_towFee->setReadOnly(true);
    addRow(QStringLiteral("Tow Fee:"), m_towFee);
    m_time = lineEdit(QStringLiteral("txttime"), QString(), contact);
    auto *wideButton = new QPushButton(QStringLiteral("->"), contact);
    wideButton->setObjectName(QStringLiteral("Command3"));
    wideButton->setFixedWidth(36);
    nameButton(wideButton, QStringLiteral("Show the charges"));
    connect(wideButton, &QPushButton::clicked, this, &TowRecordForm::widen);
    addRow(QStringLiteral("Tow Time:"), m_time, wideButton);
    leftLayout->addWidget(contact);

    auto *groupFrame = new QGroupBox(QStringLiteral("Group"), left);
    groupFrame->setObjectName(QStringLiteral("Frame2"));
    m_groups = new QComboBox(groupFrame);
    m_groups->setObjectName(QStringLiteral("lstGroups"));
    m_groups->setEditable(true);
    m_groups->lineEdit()->setMaxLength(kNoLimit);
    m_groups->setInsertPolicy(QComboBox::NoInsert);
    (new QVBoxLayout(groupFrame))->addWidget(m_groups);
    leftLayout->addWidget(groupFrame);

    auto *pricingFrame = new QGroupBox(QStringLiteral("Pricing"), this);
    pricingFrame->setObjectName(QStringLiteral("FramePricing"));
    auto *pricing = new QFormLayout(pricingFrame);
    m_plan = new QComboBox(pricingFrame);
    m_plan->setObjectName(QStringLiteral("cmbPlan"));
    connect(m_plan, &QComboBox::activated, this, [this] { m_planChosen = true; });
    m_class = new QComboBox(pricingFrame);
    m_class->setObjectName(QStringLiteral("cmbClass"));
    m_class->addItem(QStringLiteral("By hookup"));
    for (int c = 0; c < kVehicleClassCount; ++c)
        m_class->addItem(Pricing::className(VehicleClass(c)));
    m_towedAt = lineEdit(QStringLiteral("txtTowedAt"), QString(), pricingFrame);
    m_towedAt->setPlaceholderText(QStringLiteral("HH:mm"));
    pricing->addRow(QStringLiteral("Plan:"), m_plan);
    pricing->addRow(QStringLiteral("Class:"), m_class);
    pricing->addRow(QStringLiteral("Time of day towed:"), m_towedAt);

    m_mustLabel =
        caption(QStringLiteral("*Please Enter the Year of the Vehicle*"), left, "lblmust");
    makeRed(m_mustLabel);
    m_mustLabel->setVisible(false);
    leftLayout->addWidget(m_mustLabel);
    leftLayout->addStretch(1);

    // Right part: "Tow Fee Details".
    m_feeDetails = new QGroupBox(QStringLiteral("Tow Fee Details"), this);
    m_feeDetails->setObjectName(QStringLiteral("Frame3"));
    auto *fees = new QGridLayout(m_feeDetails);
    fees->setVerticalSpacing(4);
    fees->addWidget(caption(QStringLiteral("Service"), m_feeDetails), 0, 0, 1, 2);
    fees->addWidget(caption(QStringLiteral("Fee"), m_feeDetails), 0, 3);
    for (int i = 0; i < 8; ++i) {
        m_costs[size_t(i)] =
            lineEdit(QStringLiteral("Text%1").arg(6 + i), QStringLiteral("0.00"), m_feeDetails);
        connect(m_costs[size_t(i)], &QLineEdit::textChanged, this, [this, i] { markCharge(i); });
    }
    m_costs[0]->setReadOnly(true);
    m_hookup = classBox("cmbhookup", {"Light", "Medium", "Heavy", "Other"}, m_feeDetails);
    connect(m_hookup, &QComboBox::activated, this, [this] { HookupFeeLookup(); });
    m_type = classBox("cmbtype", {"Accident", "Police Tow", "Abandoned", "Other"}, m_feeDetails);
    m_recovery = classBox("cmbrecovery", {"Winch", "Rollover", "Cushion", "Other"}, m_feeDetails);
    connect(m_type, &QComboBox::currentTextChanged, this, &TowRecordForm::followDefaultPlan);
    m_reason =
        classBox("cmbreason",
                 {"Start", "Battery", "Moisture", "County", "City", "State", "Brakes", "Lock Out",
                  "Flooded", "Flat Tire", "Gas", "Wreck", "Owner Request", "DUI", "Deer", "Other"},
                 m_feeDetails);
    connect(m_reason, &QComboBox::currentTextChanged, this, &TowRecordForm::followDefaultPlan);
    m_mileStart = lineEdit(QStringLiteral("Text2"), QStringLiteral("0"), m_feeDetails);
    m_mileStop = lineEdit(QStringLiteral("Text3"), QStringLiteral("0"), m_feeDetails);
    m_idle = lineEdit(QStringLiteral("Text4"), QStringLiteral("0"), m_feeDetails);
    m_other = lineEdit(QStringLiteral("Text5"), QStringLiteral("N/A"), m_feeDetails);
    m_total = lineEdit(QStringLiteral("Text14"), QStringLiteral("0.00"), m_feeDetails);
    m_total->setReadOnly(true);
    m_total->setVisible(false);
    // Below the charges, where the form has room to spare.
    pricingFrame->setParent(m_feeDetails);
    fees->addWidget(pricingFrame, 100, 0, 1, 4);

    int feeRow = 1;
    auto addFee = [&](QWidget *label, QWidget *field, int cost) {
        fees->addWidget(label, feeRow, 0);
        if (field)
            fees->addWidget(field, feeRow, 1);
        fees->addWidget(caption(QStringLiteral("$"), m_feeDetails), feeRow, 2);
        fees->addWidget(m_costs[size_t(cost)], feeRow, 3);
        ++feeRow;
    };
    addFee(caption(QStringLiteral("Towing Hookup:"), m_feeDetails), m_hookup, 0);
    addFee(caption(QStringLiteral("Type:"), m_feeDetails), m_type, 1);
    {
        auto *mileage = new QWidget(m_feeDetails);
        auto *line = new QHBoxLayout(mileage);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(caption(QStringLiteral("Start:"), mileage));
        line->addWidget(m_mileStart);
        line->addWidget(caption(QStringLiteral("End:"), mileage));
        line->addWidget(m_mileStop);
        addFee(caption(QStringLiteral("Mileage"), m_feeDetails), mileage, 2);
    }
    addFee(caption(QStringLiteral("Recovery:"), m_feeDetails), m_recovery, 3);
    addFee(caption(QStringLiteral("Tow Reason:"), m_feeDetails), m_reason, 4);
    {
        auto *standby = new QWidget(m_feeDetails);
        auto *line = new QHBoxLayout(standby);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(m_idle);
        line->addWidget(caption(QStringLiteral("minutes."), standby));
        addFee(caption(QStringLiteral("Standby Time:"), m_feeDetails), standby, 5);
    }
    addFee(caption(QStringLiteral("Roadway Cleanup"), m_feeDetails), nullptr, 6);
    addFee(caption(QStringLiteral("Other:"), m_feeDetails), m_other, 7);
    auto *note = caption(
        QStringLiteral("After Entering the towing fee's, Please press the Calculate Total Button."),
        m_feeDetails);
    note->setWordWrap(true);
    fees->addWidget(note, feeRow++, 0, 1, 4);
    auto *calculate = new QPushButton(QStringLiteral("Calculate Total"), m_feeDetails);
    calculate->setObjectName(QStringLiteral("Command2"));
    connect(calculate, &QPushButton::clicked, this, [this] { CalculateTotal(); });
    auto *narrowButton = new QPushButton(QStringLiteral("<-"), m_feeDetails);
    narrowButton->setObjectName(QStringLiteral("Command5"));
    narrowButton->setFixedWidth(36);
    connect(narrowButton, &QPushButton::clicked, this, &TowRecordForm::narrow);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(narrowButton);
    buttons->addStretch(1);
    buttons->addWidget(calculate);
    fees->addLayout(buttons, feeRow++, 0, 1, 4);
    fees->addWidget(m_total, feeRow++, 3);
    fees->setRowStretch(feeRow, 1);
    fees->setColumnStretch(1, 1);

    for (int i : {3, 4, 5, 6})
        m_fields[size_t(i)]->installEventFilter(this);
    connect(m_owner, &QCheckBox::toggled, this, [this](bool checked) {
        if (!checked)
            return;
        for (int i = 0; i <= 5; ++i)
            m_fields[size_t(i)]->setText(QStringLiteral("Unknown"));
    });

    // The boxes scroll where the screen is lower than they need (a large font on a small one).
    m_content = new QWidget;
    auto *body = new QHBoxLayout(m_content);
    body->setContentsMargins(6, 0, 6, 6);
    body->setSpacing(8);
    body->addWidget(left, 0, Qt::AlignTop);
    body->addWidget(m_feeDetails, 1);
    m_scroll = new ContentScrollArea(this);
    m_scroll->setWidget(m_content);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(m_toolbar);
    layout->addWidget(m_scroll);

    // The left part fits the narrow window; the right part the rest of the wide one.
    const int narrowPx = int(std::lround(kNarrowWidthTwips * logicalDpiX() / 1440.0));
    left->setFixedWidth(std::max(narrowPx - 12, left->minimumSizeHint().width()));
    narrow();

    // Tab through the boxes in the order they are shown.
    QList<QWidget *> order;
    for (int i = 0; i <= 5; ++i)
        order << m_fields[size_t(i)];
    order << m_owner;
    for (int i = 6; i <= 12; ++i)
        order << m_fields[size_t(i)];
    order << vinButton << m_notes << m_fields[14] << m_fields[15] << homeButton << m_fields[16]
          << m_fields[17] << m_towFee << m_time << wideButton << m_groups << m_hookup << m_costs[0]
          << m_type << m_costs[1] << m_mileStart << m_mileStop << m_costs[2] << m_recovery
          << m_costs[3] << m_reason << m_costs[4] << m_idle << m_costs[5] << m_costs[6] << m_other
          << m_costs[7] << narrowButton << calculate;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    if (parent) {
        adjustSize();
        move(parent->geometry().center() - QPoint(width() / 2, height() / 2));
    }
}

void TowRecordForm::showEvent(QShowEvent *event)
{
    if (!m_loaded)
        load();
    QWidget::showEvent(event);
}

void TowRecordForm::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    fillGroupList();
    loadPricing(0);
    if (m_editing) {
        if (const auto found = m_editor.find(m_recordId))
            showRecord(*found);
        m_buttons[2]->setText(QStringLiteral("Apply"));
        m_buttons[0]->setText(QStringLiteral("Exit"));
        setWindowTitle(QStringLiteral("Edit Vehicle"));
    } else {
        m_buttons[2]->setText(QStringLiteral("Add"));
        m_buttons[0]->setText(QStringLiteral("Cancel"));
        setWindowTitle(QStringLiteral("Add Vehicle"));
    }
    for (size_t i : {3u, 4u, 5u})
        m_buttons[i]->setVisible(m_editing);
    resetBaseline();
}

TowRecord TowRecordForm::comparable(TowRecord record)
{
    // Worked out from the charges, never typed.
    record.set(TowField::total, QString());
    record.set(TowField::towedfee, QString());
    return record;
}

void TowRecordForm::resetBaseline()
{
    m_baseline = comparable(record());
    m_pricingBaseline = pricingBoxes();
}

QStringList TowRecordForm::pricingBoxes() const
{
    return {m_plan->currentText(), m_class->currentText(), m_towedAt->text().trimmed()};
}

bool TowRecordForm::hasTypedChanges() const
{
    return comparable(record()) != m_baseline || pricingBoxes() != m_pricingBaseline;
}

void TowRecordForm::fillGroupList()
{
    m_groups->clear();
    const QStringList names = m_editor.groupChoices();
    m_groups->addItems(names);
    if (!names.isEmpty()) {
        m_groups->setCurrentIndex(0);
        m_groups->setEditText(names.first());
    }
}

void TowRecordForm::setGroupText(const QString &name)
{
    m_groups->setEditText(name);
    m_baseline.set(TowField::groupname, m_groups->currentText());
}

QString TowRecordForm::fieldText(int index) const
{
    if (index != kNotes)
        return m_fields[size_t(index)]->text();
    // The notes box turns line ends into "\n" and some characters into others; as long as
    // the notes were not edited they go back exactly as stored, else with their line ends.
    QString text = m_notes->toPlainText();
    if (text == m_notesShown)
        return m_notesLoaded;
    if (m_notesLoaded.contains(QLatin1String("\r\n")))
        text.replace(u'\n', QLatin1String("\r\n"));
    return text;
}

void TowRecordForm::setFieldText(int index, const QString &text)
{
    if (index == kNotes) {
        m_notes->setPlainText(text);
        m_notesLoaded = text;
        m_notesShown = m_notes->toPlainText();
    } else {
        m_fields[size_t(index)]->setText(text);
    }
}

void TowRecordForm::showRecord(const TowRecord &r)
{
    // A vehicle in no group shows the list's "<None>", which saves as no group.
    const QString group = r.value(TowField::groupname);
    m_groups->setEditText(group.isEmpty() ? TowRecordEditor::kNone.toString() : group);
    for (int i = 0; i < 18; ++i)
        setFieldText(i, r.value(kFieldOf[i]));
    for (const auto &[field, box] : otherBoxes()) {
        if (auto *line = qobject_cast<QLineEdit *>(box))
            line->setText(r.value(field));
        else
            static_cast<QComboBox *>(box)->setEditText(r.value(field));
    }
    loadPricing(r.id);
    m_recordId = QString::number(r.id);
    m_recordVersion = r.version;
    resetBaseline();
}

TowRecord TowRecordForm::record() const
{
    TowRecord r;
    r.id = m_recordId.trimmed().toLongLong();
    r.version = m_recordVersion;
    for (int i = 0; i < 18; ++i)
        r.set(kFieldOf[i], fieldText(i));
    r.set(TowField::groupname, m_groups->currentText());
    for (const auto &[field, box] : otherBoxes()) {
        if (auto *line = qobject_cast<QLineEdit *>(box))
            r.set(field, line->text());
        else
            r.set(field, static_cast<QComboBox *>(box)->currentText());
    }
    return r;
}

QList<std::pair<TowField, QWidget *>> TowRecordForm::otherBoxes() const
{
    // In the order they are filled: the charges after the lists that may fill them, the total
    // after the charges.
    QList<std::pair<TowField, QWidget *>> boxes = {
        {TowField::towedfee, m_towFee},     {TowField::Hookup, m_hookup},
        {TowField::Type, m_type},           {TowField::reason, m_reason},
        {TowField::Recovery, m_recovery},   {TowField::milestop, m_mileStop},
        {TowField::milestart, m_mileStart}, {TowField::idletime, m_idle},
        {TowField::other, m_other}};
    for (int i = 0; i < 8; ++i)
        boxes.append({TowField(int(TowField::cost1) + i), m_costs[size_t(i)]});
    boxes.append({{TowField::total, m_total}, {TowField::Time, m_time}});
    return boxes;
}

void TowRecordForm::toolbarClick(int number)
{
    switch (number) {
    case 1:
        close();
        break;
    case 3:
        saveAndClose();
        break;
    case 5:
        step(false);
        break;
    case 6:
        step(true);
        break;
    default:
        break;
    }
}

bool TowRecordForm::save()
{
    const bool adding = !m_editing;
    const QString towedAt = m_towedAt->text().trimmed();
    if (!towedAt.isEmpty() && !QTime::fromString(towedAt, QStringLiteral("H:mm")).isValid()) {
        m_dialogs.notify(m_settings.companyName(),
                         QStringLiteral("The time of day towed \"%1\" is not a time such as "
                                        "23:10.")
                             .arg(towedAt),
                         MessageIcon::Exclamation);
        m_towedAt->setFocus();
        m_towedAt->selectAll();
        return false;
    }
    TowRecord r = record();
    // A yard that never chooses a plan keeps no pricing rows.
    const VehiclePricing pricing = shownPricing();
    const bool writePricing = pricing != VehiclePricing{} || m_pricingKept;
    m_editor.setPricing(writePricing ? std::optional(pricing) : std::nullopt);
    const QDate today = QDate::currentDate();
    const auto outcome = adding ? m_editor.add(r, m_groups->currentText(), today)
                                : m_editor.apply(r, m_groups->currentText(), today);
    if (outcome == TowRecordEditor::Outcome::Reloaded) {
        fillGroupList();
        showRecord(r);
        return false;
    }
    // The form shows what was (or would have been) stored: the date stamp and the totals.
    m_fields[16]->setText(r.value(TowField::toweddate));
    if (!r.value(TowField::towedfee).isEmpty()) {
        m_total->setText(r.value(TowField::total));
        m_towFee->setText(r.value(TowField::towedfee));
    }
    if (adding)
        widen();
    if (outcome == TowRecordEditor::Outcome::YearMissing) {
        m_mustLabel->setVisible(true);
        m_yearMarker->setVisible(true);
    }
    if (outcome != TowRecordEditor::Outcome::Saved) {
        if (const auto field = m_editor.problemField()) {
            QLineEdit *box = nullptr;
            for (int i = 0; i < 18; ++i)
                if (kFieldOf[i] == *field && i != kNotes)
                    box = m_fields[size_t(i)];
            const int cost = int(*field) - int(TowField::cost1);
            if (cost >= 0 && cost < 8) {
                widen();
                box = m_costs[size_t(cost)];
            }
            if (box) {
                box->setFocus();
                box->selectAll();
            }
        }
        if (m_editor.pricingRefused()) { // the list without the plan removed
            fillPlanList();
            m_plan->setFocus();
        }
        return false;
    }
    m_recordId = QString::number(r.id);
    m_recordVersion = r.version;
    if (writePricing)
        m_pricingKept = m_planChosen = true;
    return true;
}

void TowRecordForm::fillPlanList()
{
    const qint64 chosen = m_plan->currentData().toLongLong();
    m_plans = PricingStore(m_store).plans().value_or(QList<PricingPlan>());
    m_plan->clear();
    m_plan->addItem(QStringLiteral("Group's plan"), qint64(0));
    m_plan->addItem(PricingPlan::standardName(), qint64(-1));
    for (const PricingPlan &plan : m_plans)
        m_plan->addItem(plan.name, plan.id);
    m_plan->setCurrentIndex(std::max(0, m_plan->findData(chosen)));
}

void TowRecordForm::loadPricing(qint64 vehicleId)
{
    PricingStore pricing(m_store);
    fillPlanList();
    const VehiclePricing stored =
        vehicleId ? pricing.vehiclePricing(vehicleId).value_or(VehiclePricing{}) : VehiclePricing{};
    m_pricingKept = stored != VehiclePricing{};
    m_planChosen = m_pricingKept;
    m_plan->setCurrentIndex(std::max(0, m_plan->findData(stored.planId)));
    m_class->setCurrentIndex(stored.vehicleClass ? int(*stored.vehicleClass) + 1 : 0);
    m_towedAt->setText(stored.towedAt.isValid() ? stored.towedAt.toString(QStringLiteral("HH:mm"))
                                                : QString());
    if (!m_planChosen)
        followDefaultPlan();
}

void TowRecordForm::followDefaultPlan()
{
    if (m_planChosen || !m_plan || !m_reason)
        return;
    const qint64 id =
        Pricing::defaultPlanId(m_type->currentText(), m_reason->currentText(), 0, m_plans);
    m_plan->setCurrentIndex(std::max(0, m_plan->findData(id)));
}

VehiclePricing TowRecordForm::shownPricing() const
{
    return {m_plan->currentData().toLongLong(),
            m_class->currentIndex() > 0 ? std::optional(VehicleClass(m_class->currentIndex() - 1))
                                        : std::nullopt,
            QTime::fromString(m_towedAt->text().trimmed(), QStringLiteral("H:mm"))};
}

void TowRecordForm::saveAndClose()
{
    if (!save())
        return;
    m_leaving = true;
    close();
}

bool TowRecordForm::confirmLeave()
{
    if (!hasTypedChanges())
        return true;
    const QString text = QStringLiteral("The changes to this vehicle have not been saved.") +
                         QString::fromUtf16(kCrLf) + QString::fromUtf16(kCrLf) +
                         QStringLiteral("Save them now? No discards them, Cancel stays here.");
    switch (m_dialogs.askYesNoCancel(m_settings.companyName(), text, MessageIcon::Exclamation)) {
    case Answer::Yes:
        return save();
    case Answer::No:
        return true;
    default:
        return false;
    }
}

void TowRecordForm::closeEvent(QCloseEvent *event)
{
    if (!m_leaving && !confirmLeave()) {
        event->ignore();
        return;
    }
    m_leaving = true;
    QWidget::closeEvent(event);
}

void TowRecordForm::step(bool forward)
{
    if (!m_editing)
        return;
    const qint64 id = m_recordId.trimmed().toLongLong();
    const auto record = forward ? m_editor.next(id) : m_editor.previous(id);
    if (!record || !confirmLeave())
        return;
    // A save may have changed the neighbour's group list; read the neighbour again.
    if (const auto fresh = m_editor.find(QString::number(record->id)))
        showRecord(*fresh);
}

void TowRecordForm::markCharge(int index)
{
    QLineEdit *box = m_costs[size_t(index)];
    const bool unread = !ReadsWhole(box->text());
    if (box->property("unread").toBool() != unread) {
        box->setProperty("unread", unread);
        QPalette palette = box->palette();
        palette.setColor(QPalette::Base,
                         unread ? ReadableColor::background(QColor(255, 214, 214), palette)
                                : QPalette().color(QPalette::Base));
        box->setPalette(palette);
    }
    box->setToolTip(unread ? QStringLiteral("Not a plain amount: it counts as %1 in the total.")
                                 .arg(QString::number(LeadingNumber(box->text()), 'f', 2))
                           : QString());
}

bool TowRecordForm::CalculateTotal()
{
    std::array<QString, 8> costs;
    for (size_t i = 0; i < 8; ++i)
        costs[i] = m_costs[i]->text();
    const auto total = tarnvale::CalculateTotal(costs);
    if (!total) {
        m_dialogs.notify(m_settings.companyName(),
                         QStringLiteral("The charges are too large to add up."),
                         MessageIcon::Critical);
        return false;
    }
    m_total->setText(total->total);
    m_towFee->setText(total->towedFee);
    widen();
    return true;
}

void TowRecordForm::HookupFeeLookup()
{
    const auto fee = tarnvale::HookupFeeLookup(m_hookup->currentText(), m_settings);
    if (!fee)
        return;
    m_costs[0]->setText(fee->charge);
    if (fee->makeEditable)
        m_costs[0]->setReadOnly(false);
}

void TowRecordForm::checkVin()
{
    if (!m_editor.checkVin(m_fields[12]->text())) {
        m_fields[12]->setFocus();
        m_fields[12]->selectAll();
    }
}

void TowRecordForm::setWidthTwips(int twips)
{
    m_feeDetails->setVisible(twips >= kFullWidthTwips);
    // Never narrower than its captions need in the font of the day.
    m_content->adjustSize();
    const int needed = m_content->minimumSizeHint().width() +
                       m_scroll->verticalScrollBar()->sizeHint().width();
    setFixedWidth(std::max(int(std::lround(twips * logicalDpiX() / 1440.0)), needed));
}

void TowRecordForm::widen()
{
    setWidthTwips(kFullWidthTwips);
}

void TowRecordForm::narrow()
{
    setWidthTwips(kNarrowWidthTwips);
}

bool TowRecordForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == m_dateTowedLabel)
            m_fields[16]->setText(DateText::today());
        else if (watched == m_dateReleasedLabel)
            m_fields[17]->setText(DateText::today());
    } else if (event->type() == QEvent::FocusOut) {
        for (int i : {3, 4, 5, 6}) {
            if (watched == m_fields[size_t(i)]) {
                const QString text = m_fields[size_t(i)]->text();
                const QString formatted = FormatPhoneBox(text);
                if (formatted != text)
                    m_fields[size_t(i)]->setText(formatted);
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tarnvale
