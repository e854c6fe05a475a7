#include "PricingPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "Dialogs.h"
#include "ImpoundRules.h"
#include "LeadingNumber.h"
#include "MoneyFormat.h"
#include "PricingStore.h"
#include "RecordStore.h"
#include "SettingsFile.h"

namespace tarnvale {

namespace {

const char *const kDayNames[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

QString amountText(qint64 cents)
{
    return cents == 0 ? QString() : ImpoundRules::centsText(cents).remove(u'$');
}

QString cell(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text().trimmed() : QString();
}

void setCell(QTableWidget *table, int row, int column, const QString &text)
{
    table->setItem(row, column, new QTableWidgetItem(text));
}

QTableWidget *table(const char *name, const QStringList &headers, QWidget *parent)
{
    auto *t = new QTableWidget(0, int(headers.size()), parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setHorizontalHeaderLabels(headers);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    t->verticalHeader()->hide();
    return t;
}

} // namespace

PricingPage::PricingPage(RecordStore &store, const SettingsFile &settings, Dialogs &dialogs,
                         QWidget *parent)
    : QWidget(parent), m_store(store), m_settings(settings), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("f_pricing"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("lstPlans"));
    m_list->setMaximumWidth(160);
    auto *newButton = new QPushButton(QStringLiteral("New Plan"), this);
    newButton->setObjectName(QStringLiteral("cmdNewPlan"));
    m_save = new QPushButton(QStringLiteral("Save Plan"), this);
    m_save->setObjectName(QStringLiteral("cmdSavePlan"));
    m_remove = new QPushButton(QStringLiteral("Remove Plan"), this);
    m_remove->setObjectName(QStringLiteral("cmdRemovePlan"));
    auto *left = new QVBoxLayout;
    left->addWidget(m_list, 1);
    left->addWidget(newButton);
    left->addWidget(m_save);
    left->addWidget(m_remove);

    // A group's default plan is kept the moment it is chosen.
    m_group = new QComboBox(this);
    m_group->setObjectName(QStringLiteral("cmbGroup"));
    m_groupPlan = new QComboBox(this);
    m_groupPlan->setObjectName(QStringLiteral("cmbGroupPlan"));
    m_groupPlan->setToolTip(QStringLiteral("Vehicles of this group with no plan of their own "
                                           "are billed on this plan."));
    auto *groupBox = new QGroupBox(QStringLiteral("Group default plan"), this);
    groupBox->setObjectName(QStringLiteral("grpGroupPlan"));
    groupBox->setMaximumWidth(160);
    auto *groupForm = new QFormLayout(groupBox);
    groupForm->setRowWrapPolicy(QFormLayout::WrapAllRows);
    groupForm->addRow(QStringLiteral("Group:"), m_group);
    groupForm->addRow(QStringLiteral("Plan:"), m_groupPlan);
    left->addWidget(groupBox);
    connect(m_group, &QComboBox::currentIndexChanged, this, &PricingPage::showGroupPlan);
    connect(m_groupPlan, &QComboBox::activated, this, &PricingPage::setGroupPlan);

    const auto box = [this](const char *name) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        connect(edit, &QLineEdit::textChanged, this, &PricingPage::updateExample);
        return edit;
    };
    m_name = box("txtPlanName");
    m_dayType = new QComboBox(this);
    m_dayType->setObjectName(QStringLiteral("cmbDayType"));
    m_dayType->addItems({QStringLiteral("Calendar days"), QStringLiteral("24-hour periods")});
    m_towDay = new QCheckBox(QStringLiteral("The day of the tow counts"), this);
    m_towDay->setObjectName(QStringLiteral("chkTowDay"));
    m_grace = box("txtGraceHours");
    m_rates = table("tblRates",
                    {QStringLiteral("From day"), QStringLiteral("Light"), QStringLiteral("Medium"),
                     QStringLiteral("Heavy"), QStringLiteral("Motorcycle")},
                    this);
    m_rates->setRowCount(PricingPlan::kMaxTiers);
    m_capDays = box("txtCapDays");
    m_capAmount = box("txtCapAmount");
    m_adminFee = box("txtAdminFee");
    m_afterHoursFee = box("txtAfterHoursFee");
    m_opens = new QTimeEdit(this);
    m_opens->setObjectName(QStringLiteral("tmOpens"));
    m_closes = new QTimeEdit(this);
    m_closes->setObjectName(QStringLiteral("tmCloses"));
    for (QTimeEdit *time : {m_opens, m_closes}) {
        time->setDisplayFormat(QStringLiteral("HH:mm"));
        connect(time, &QTimeEdit::timeChanged, this, &PricingPage::updateExample);
    }
    auto *hours = new QHBoxLayout;
    hours->addWidget(m_opens);
    hours->addWidget(new QLabel(QStringLiteral("to"), this));
    hours->addWidget(m_closes);
    for (int day = 0; day < 7; ++day) {
        auto *check = new QCheckBox(QString::fromLatin1(kDayNames[day]), this);
        check->setObjectName(QStringLiteral("chkOpen_%1").arg(day));
        connect(check, &QCheckBox::toggled, this, &PricingPage::updateExample);
        hours->addWidget(check);
        m_openDays.append(check);
    }
    m_lienFees = table(
        "tblLienFees",
        {QStringLiteral("Lien step"), QStringLiteral("After days"), QStringLiteral("Fee")}, this);
    m_lienFees->setRowCount(PricingPlan::kMaxLienFees);
    m_defaultFor = box("txtDefaultFor");
    for (QTableWidget *t : {m_rates, m_lienFees}) {
        connect(t, &QTableWidget::cellChanged, this, &PricingPage::updateExample);
        t->setMaximumHeight(110); // the rows scroll: the window fits a small screen
    }
    connect(m_dayType, &QComboBox::currentIndexChanged, this, &PricingPage::updateExample);
    connect(m_towDay, &QCheckBox::toggled, this, &PricingPage::updateExample);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Plan name:"), m_name);
    form->addRow(QStringLiteral("Storage counted in:"), m_dayType);
    form->addRow(QString(), m_towDay);
    form->addRow(QStringLiteral("Grace period (hours):"), m_grace);
    form->addRow(QStringLiteral("Daily rates:"), m_rates);
    form->addRow(QStringLiteral("Cap (days):"), m_capDays);
    form->addRow(QStringLiteral("Cap (storage amount):"), m_capAmount);
    form->addRow(QStringLiteral("Administrative fee:"), m_adminFee);
    form->addRow(QStringLiteral("After-hours release fee:"), m_afterHoursFee);
    form->addRow(QStringLiteral("Yard hours:"), hours);
    form->addRow(QStringLiteral("Lien fees:"), m_lienFees);
    form->addRow(QStringLiteral("Default for tow types or reasons:"), m_defaultFor);
    m_example = new QLabel(this);
    m_example->setObjectName(QStringLiteral("lblExample"));
    m_example->setWordWrap(true);
    form->addRow(QStringLiteral("Worked example:"), m_example);

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(form, 1);

    connect(m_list, &QListWidget::currentRowChanged, this, &PricingPage::choose);
    connect(newButton, &QPushButton::clicked, this, &PricingPage::newPlan);
    connect(m_save, &QPushButton::clicked, this, &PricingPage::savePlan);
    connect(m_remove, &QPushButton::clicked, this, &PricingPage::removePlan);
    // Groups added or removed, here or on another workstation, are listed at once; a plan
    // being edited is left as typed.
    connect(&m_store, &RecordStore::changed, this, [this](const StoreChange &change) {
        if (change.reset || !change.addedGroups.isEmpty() || !change.removedGroups.isEmpty())
            fillGroups();
    });
    reload();
}

QString PricingPage::title() const
{
    return m_settings.companyName();
}

void PricingPage::reload()
{
    // Shown afresh from the store: at the start, and after the plan shown was saved or removed.
    m_shownTexts = boxTexts();
    m_shownRow = -1;
    const std::optional<QList<PricingPlan>> stored = PricingStore(m_store).plans();
    m_plans = QList{PricingPlan::standard()} + stored.value_or(QList<PricingPlan>());
    const qint64 shown = m_shownId;
    m_list->clear();
    int row = 0;
    for (int i = 0; i < m_plans.size(); ++i) {
        m_list->addItem(m_plans[i].name);
        if (m_plans[i].id == shown)
            row = i;
    }
    m_list->setCurrentRow(row);
    fillGroups();
}

void PricingPage::fillGroups()
{
    const qint64 chosen = m_groups.value(m_group->currentIndex()).id;
    PricingStore pricing(m_store);
    m_groups = m_store.groups().value_or(QList<GroupRecord>());
    m_groupPlans = pricing.groupPlans().value_or(QHash<qint64, qint64>());
    const QSignalBlocker quiet(m_group);
    m_group->clear();
    m_groupPlan->clear();
    for (const PricingPlan &plan : m_plans)
        m_groupPlan->addItem(plan.name, plan.id);
    int row = 0;
    for (int i = 0; i < m_groups.size(); ++i) {
        m_group->addItem(m_groups[i].name);
        if (m_groups[i].id == chosen)
            row = i;
    }
    m_group->setCurrentIndex(m_groups.isEmpty() ? -1 : row);
    showGroupPlan();
}

void PricingPage::showGroupPlan()
{
    const int at = m_group->currentIndex();
    m_groupPlan->setEnabled(at >= 0);
    // A group without a plan of its own, or whose plan is gone, is billed on Standard.
    const int row = at >= 0 ? m_groupPlan->findData(m_groupPlans.value(m_groups[at].id)) : -1;
    m_groupPlan->setCurrentIndex(at >= 0 ? std::max(row, 0) : -1);
}

void PricingPage::setGroupPlan(int index)
{
    const int at = m_group->currentIndex();
    if (at < 0 || index < 0)
        return;
    const qint64 groupId = m_groups[at].id;
    const qint64 planId = m_groupPlan->itemData(index).toLongLong();
    PricingStore pricing(m_store);
    const PricingStore::Result result = pricing.setGroupPlan(groupId, planId);
    if (result != PricingStore::Result::Done) {
        m_dialogs.notify(title(),
                         result == PricingStore::Result::Refused ? pricing.refusal()
                                                                 : pricing.lastError().description,
                         MessageIcon::Exclamation);
        fillGroups(); // as stored now
        return;
    }
    m_groupPlans.insert(groupId, planId);
}

QStringList PricingPage::boxTexts() const
{
    QStringList texts;
    for (const QLineEdit *box : {m_name, m_grace, m_capDays, m_capAmount, m_adminFee,
                                 m_afterHoursFee, m_defaultFor})
        texts << box->text();
    texts << QString::number(m_dayType->currentIndex()) << m_opens->time().toString()
          << m_closes->time().toString();
    for (const QCheckBox *check : m_openDays)
        texts << QString::number(check->isChecked());
    texts << QString::number(m_towDay->isChecked());
    for (const QTableWidget *table : {m_rates, m_lienFees})
        for (int row = 0; row < table->rowCount(); ++row)
            for (int column = 0; column < table->columnCount(); ++column)
                texts << (table->item(row, column) ? table->item(row, column)->text() : QString());
    return texts;
}

bool PricingPage::hasUnsavedPlan() const
{
    return boxTexts() != m_shownTexts;
}

bool PricingPage::discardUnsavedPlan()
{
    if (!hasUnsavedPlan())
        return true;
    const QString text =
        m_shownId == 0 ? QStringLiteral("The new plan has not been saved.\r\n\r\nDiscard it?")
                       : QStringLiteral("The changes to the plan \"%1\" have not been saved."
                                        "\r\n\r\nDiscard them?")
                             .arg(m_name->text().trimmed());
    return m_dialogs.askDefaultNo(title(), text, MessageIcon::Exclamation) == Answer::Yes;
}

void PricingPage::choose(int row)
{
    if (row == m_shownRow || row < 0 || row >= m_plans.size() || m_asking)
        return;
    if (!hasUnsavedPlan()) {
        m_shownRow = row;
        showPlan(m_plans[row]);
        return;
    }
    // Asked once the click that chose the row is over (a box shown inside it would leave the
    // list to finish the click after the answer), the plan typed shown meanwhile.
    m_asking = true;
    QTimer::singleShot(0, this, [this, row] {
        const bool leave = discardUnsavedPlan();
        m_asking = false;
        const QSignalBlocker quiet(m_list);
        if (leave && row < m_plans.size()) {
            m_list->setCurrentRow(row);
            m_shownRow = row;
            showPlan(m_plans[row]);
        } else { // back to the plan being typed
            m_list->setCurrentRow(m_shownRow);
            if (m_shownRow < 0)
                m_list->clearSelection();
        }
    });
}

void PricingPage::newPlan()
{
    if (!discardUnsavedPlan())
        return;
    m_shownRow = -1;
    PricingPlan plan;
    plan.tiers = {StorageTier{}};
    m_list->setCurrentRow(-1);
    showPlan(plan);
    m_name->setFocus();
}

void PricingPage::showPlan(const PricingPlan &plan)
{
    m_filling = true;
    m_shownId = plan.id;
    m_name->setText(plan.name);
    m_dayType->setCurrentIndex(plan.dayType == DayType::Periods ? 1 : 0);
    m_towDay->setChecked(plan.towDayCounts);
    m_grace->setText(plan.graceHours ? QString::number(plan.graceHours) : QString());
    m_rates->clearContents();
    for (int row = 0; row < plan.tiers.size() && row < m_rates->rowCount(); ++row) {
        setCell(m_rates, row, 0, QString::number(plan.tiers[row].fromDay));
        for (int c = 0; c < kVehicleClassCount; ++c)
            setCell(m_rates, row, c + 1,
                    plan.rateFromSettings
                        ? QStringLiteral("Storage Fee")
                        : ImpoundRules::centsText(plan.tiers[row].rateCents[c]).remove(u'$'));
    }
    m_capDays->setText(plan.capDays ? QString::number(plan.capDays) : QString());
    m_capAmount->setText(amountText(plan.capCents));
    m_adminFee->setText(amountText(plan.adminFeeCents));
    m_afterHoursFee->setText(amountText(plan.afterHoursFeeCents));
    m_opens->setTime(plan.opens.isValid() ? plan.opens : QTime(8, 0));
    m_closes->setTime(plan.closes.isValid() ? plan.closes : QTime(17, 0));
    for (int day = 0; day < 7; ++day)
        m_openDays[day]->setChecked(plan.openDays & (1 << day));
    m_lienFees->clearContents();
    for (int row = 0; row < plan.lienFees.size() && row < m_lienFees->rowCount(); ++row) {
        setCell(m_lienFees, row, 0, plan.lienFees[row].step);
        setCell(m_lienFees, row, 1, QString::number(plan.lienFees[row].afterDays));
        setCell(m_lienFees, row, 2, amountText(plan.lienFees[row].cents));
    }
    m_defaultFor->setText(plan.defaultFor.join(QStringLiteral(", ")));
    // Standard follows the General page: nothing here changes it.
    for (QWidget *w : std::initializer_list<QWidget *>{
             m_name, m_dayType, m_towDay, m_grace, m_rates, m_capDays, m_capAmount, m_adminFee,
             m_afterHoursFee, m_opens, m_closes, m_lienFees, m_defaultFor, m_save, m_remove})
        w->setEnabled(!plan.rateFromSettings);
    for (QCheckBox *check : m_openDays)
        check->setEnabled(!plan.rateFromSettings);
    m_remove->setEnabled(plan.id != 0);
    m_filling = false;
    m_shownTexts = boxTexts();
    updateExample();
}

std::optional<PricingPlan> PricingPage::planFromBoxes(QString *problem) const
{
    const auto refuse = [problem](const QString &why) {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    const auto whole = [](const QString &text, int *value) {
        bool ok = text.trimmed().isEmpty();
        *value = ok ? 0 : text.trimmed().toInt(&ok);
        return ok && *value >= 0;
    };
    const auto amount = [](const QString &text, qint64 *cents) {
        const std::optional<qint64> read =
            text.trimmed().isEmpty() ? std::optional<qint64>(0) : ImpoundRules::readCents(text);
        *cents = read.value_or(-1);
        return read && *read >= 0;
    };
    PricingPlan plan;
    plan.id = m_shownId;
    plan.name = m_name->text().trimmed();
    plan.dayType = m_dayType->currentIndex() == 1 ? DayType::Periods : DayType::CalendarDays;
    plan.towDayCounts = m_towDay->isChecked();
    if (!whole(m_grace->text(), &plan.graceHours))
        return refuse(QStringLiteral("The grace period is a whole number of hours."));
    for (int row = 0; row < m_rates->rowCount(); ++row) {
        bool empty = true;
        for (int c = 0; c <= kVehicleClassCount; ++c)
            empty = empty && cell(m_rates, row, c).isEmpty();
        if (empty)
            continue;
        StorageTier tier;
        if (!whole(cell(m_rates, row, 0), &tier.fromDay) || tier.fromDay < 1)
            return refuse(QStringLiteral("Row %1 of the daily rates needs the day it starts "
                                         "from.")
                              .arg(row + 1));
        for (int c = 0; c < kVehicleClassCount; ++c)
            if (!amount(cell(m_rates, row, c + 1), &tier.rateCents[c]))
                return refuse(QStringLiteral("Row %1 of the daily rates holds a rate that is no "
                                             "amount.")
                                  .arg(row + 1));
        plan.tiers.append(tier);
    }
    if (!whole(m_capDays->text(), &plan.capDays))
        return refuse(QStringLiteral("The cap on days is a whole number."));
    if (!amount(m_capAmount->text(), &plan.capCents) ||
        !amount(m_adminFee->text(), &plan.adminFeeCents) ||
        !amount(m_afterHoursFee->text(), &plan.afterHoursFeeCents))
        return refuse(QStringLiteral("A fee or the cap is no amount."));
    plan.opens = m_opens->time();
    plan.closes = m_closes->time();
    plan.openDays = 0;
    for (int day = 0; day < 7; ++day)
        plan.openDays |= m_openDays[day]->isChecked() ? 1 << day : 0;
    for (int row = 0; row < m_lienFees->rowCount(); ++row) {
        LienFee fee{cell(m_lienFees, row, 0), 0, 0};
        if (fee.step.isEmpty() && cell(m_lienFees, row, 1).isEmpty() &&
            cell(m_lienFees, row, 2).isEmpty())
            continue;
        if (!whole(cell(m_lienFees, row, 1), &fee.afterDays) ||
            !amount(cell(m_lienFees, row, 2), &fee.cents))
            return refuse(QStringLiteral("Row %1 of the lien fees needs its days and an "
                                         "amount.")
                              .arg(row + 1));
        plan.lienFees.append(fee);
    }
    for (const QString &word : m_defaultFor->text().split(u',', Qt::SkipEmptyParts))
        if (!word.trimmed().isEmpty())
            plan.defaultFor << word.trimmed();
    return plan;
}

void PricingPage::updateExample()
{
    if (m_filling)
        return;
    const int row = m_list->currentRow();
    if (row == 0) {
        const double rate =
            LeadingNumber(m_settings.read(QStringLiteral("Fee"), QStringLiteral("Storage Fee")));
        m_example->setText(
            Pricing::workedExample(m_plans.first(), rate < 0 ? 0 : MoneyCents(rate).value_or(0)));
        return;
    }
    QString problem;
    const std::optional<PricingPlan> plan = planFromBoxes(&problem);
    if (plan && problem.isEmpty() && plan->tiers.isEmpty())
        problem = QStringLiteral("The first rate applies from day 1.");
    m_example->setText(plan && plan->tiers.size() ? Pricing::workedExample(*plan, 0) : problem);
}

bool PricingPage::savePlan()
{
    QString problem;
    std::optional<PricingPlan> plan = planFromBoxes(&problem);
    PricingStore pricing(m_store);
    const PricingStore::Result result =
        plan ? pricing.savePlan(*plan) : PricingStore::Result::Refused;
    if (result != PricingStore::Result::Done) {
        m_dialogs.notify(title(),
                         !plan ? problem
                         : result == PricingStore::Result::Refused
                             ? pricing.refusal()
                             : pricing.lastError().description,
                         MessageIcon::Exclamation);
        return false;
    }
    m_shownId = plan->id;
    reload();
    return true;
}

void PricingPage::removePlan()
{
    if (m_shownId == 0)
        return;
    if (m_dialogs.askDefaultNo(title(),
                               QStringLiteral("Remove the plan \"%1\"?").arg(m_name->text()),
                               MessageIcon::Question) != Answer::Yes)
        return;
    PricingStore pricing(m_store);
    const PricingStore::Result result = pricing.removePlan(m_shownId);
    if (result != PricingStore::Result::Done) {
        m_dialogs.notify(title(),
                         result == PricingStore::Result::Refused ? pricing.refusal()
                                                                 : pricing.lastError().description,
                         MessageIcon::Exclamation);
        return;
    }
    m_shownId = 0;
    reload();
}

} // namespace tarnvale
