// The "Pricing" page of the configuration window: the yard's pricing plans, one edited at a
// time, with what it bills for a worked stay beside it, and the default plan of each group.
// Standard (the storage fee of the General page per calendar day) is shown and cannot be
// changed here.
#pragma once

#include <QHash>
#include <QWidget>

#include <optional>

#include "PricingPlan.h"
#include "TowRecord.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTimeEdit;

namespace tarnvale {

class Dialogs;
class RecordStore;
class SettingsFile;

class PricingPage : public QWidget
{
    Q_OBJECT

  public:
    PricingPage(RecordStore &store, const SettingsFile &settings, Dialogs &dialogs,
                QWidget *parent = nullptr);

    // The plan as the boxes hold it; nullopt, with the reason, for a box that holds no
    // amount or number.
    std::optional<PricingPlan> planFromBoxes(QString *problem = nullptr) const;
    void showPlan(const PricingPlan &plan);
    // Whether the boxes hold typing not saved since the plan was shown; asks, when they do,
    // whether to discard it (true: discard, or nothing to discard).
    bool hasUnsavedPlan() const;
    bool discardUnsavedPlan();

  public Q_SLOTS:
    void reload();
    void newPlan();
    // Keeps the plan in the boxes (a new one, or the one chosen); says why when refused.
    bool savePlan();
    void removePlan();
    // Keeps the plan chosen at `index` of the plan box as the default of the group chosen:
    // vehicles of that group with no plan of their own are billed on it.
    void setGroupPlan(int index);

  private:
    void choose(int row);
    void updateExample();
    // The groups and their plans as stored, the group chosen kept.
    void fillGroups();
    void showGroupPlan();
    QString title() const;
    QStringList boxTexts() const; // every box of the plan, as shown

    RecordStore &m_store;
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;
    QList<PricingPlan> m_plans; // Standard first
    qint64 m_shownId = 0;
    bool m_filling = false;
    QStringList m_shownTexts; // boxTexts() when the plan was shown
    int m_shownRow = -1;
    bool m_asking = false; // a question about the typed plan is waiting
    QList<GroupRecord> m_groups;
    QHash<qint64, qint64> m_groupPlans; // plan id by group id

    QListWidget *m_list = nullptr;
    QLineEdit *m_name = nullptr;
    QComboBox *m_dayType = nullptr;
    QCheckBox *m_towDay = nullptr;
    QLineEdit *m_grace = nullptr;
    QTableWidget *m_rates = nullptr;
    QLineEdit *m_capDays = nullptr;
    QLineEdit *m_capAmount = nullptr;
    QLineEdit *m_adminFee = nullptr;
    QLineEdit *m_afterHoursFee = nullptr;
    QTimeEdit *m_opens = nullptr;
    QTimeEdit *m_closes = nullptr;
    QList<QCheckBox *> m_openDays;
    QTableWidget *m_lienFees = nullptr;
    QLineEdit *m_defaultFor = nullptr;
    QLabel *m_example = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_remove = nullptr;
    QComboBox *m_group = nullptr;
    QComboBox *m_groupPlan = nullptr;
};

} // namespace tarnvale
