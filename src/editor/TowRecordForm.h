// frmAddEditContact: the form in which one tow record is added ("Add Vehicle") or edited
// ("Edit Vehicle"). Application-modal while open; deletes itself when closed. Leaving a record
// with typed changes (Previous, Next, Cancel/Exit, the close box) asks first: save, discard or
// stay. No box ever cuts what it holds: every field is stored back whole.
#pragma once

#include <QWidget>

#include <array>

#include "TowRecord.h"
#include "PricingPlan.h"
#include "TowRecordEditor.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QToolBar;

namespace tarnvale {

class Dialogs;
class DatabaseCommands;
class RecordStore;
class SettingsFile;

class TowRecordForm : public QWidget
{
    Q_OBJECT

  public:
    static constexpr int kFullWidthTwips = 12030;
    static constexpr int kNarrowWidthTwips = 6435;

    TowRecordForm(RecordStore &store, DatabaseCommands &database, const SettingsFile &settings,
                  Dialogs &dialogs, QWidget *parent = nullptr);

    // Set by the caller before the window is shown: edit mode (EDT) and the id of the record
    // (EDTID).
    void setEditing(bool edit) { m_editing = edit; }
    void setRecordId(const QString &id) { m_recordId = id; }
    bool isEditing() const { return m_editing; }
    const QString &recordId() const { return m_recordId; }

    // The window's load (run once, at the latest when it is first shown): group list, class
    // lists, the record in Edit mode, captions.
    void load();
    // LoadGroupList: fills the group box: every group name, then "<None>"; the box shows the first item.
    void fillGroupList();
    // GCTIFO: puts a record into the controls and keeps its id. Every field is shown, an
    // empty one as empty text.
    void showRecord(const TowRecord &record);
    // The record as the controls hold it (groupname: the group box's text; id: recordId()).
    TowRecord record() const;

    // The group box's text ("&Add vehicle to this group..." sets it after showing the form);
    // not a typed change.
    void setGroupText(const QString &name);

    // True when the boxes hold something other than what was loaded (or the defaults).
    bool hasTypedChanges() const;

    // Toolbar1's buttons by position: 1 Cancel/Exit, 3 Add/Apply, 5 Previous, 6 Next.
    void toolbarClick(int number);

    // "Calculate Total": false when the charges cannot be added up (reported).
    bool CalculateTotal();
    // The hookup rule for the text now in the hookup box (run when the user picks a class).
    void HookupFeeLookup();
    void checkVin();
    void widen();
    void narrow();

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    QString fieldText(int index) const;
    void setFieldText(int index, const QString &text);
    void setWidthTwips(int twips);
    bool save();
    void saveAndClose();
    bool confirmLeave();
    void step(bool forward);
    void markCharge(int index);
    void resetBaseline();
    static TowRecord comparable(TowRecord record);
    // The pricing boxes: the plans to choose from, the vehicle's own as stored.
    void loadPricing(qint64 vehicleId);
    void fillPlanList(); // keeps the plan chosen while it is still kept
    void followDefaultPlan();
    // The record's fields held by controls other than tFields (a line or a combo box each).
    QList<std::pair<TowField, QWidget *>> otherBoxes() const;
    VehiclePricing shownPricing() const;
    QStringList pricingBoxes() const; // plan, class and time as shown

    TowRecordEditor m_editor;
    RecordStore &m_store;
    QList<PricingPlan> m_plans;
    bool m_planChosen = false;  // the plan was chosen, or stored: the tow type no longer sets it
    bool m_pricingKept = false; // the vehicle has pricing stored
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;
    bool m_editing = false;
    QString m_recordId;
    qint64 m_recordVersion = 0; // of the record shown, as it was read
    bool m_loaded = false;
    bool m_leaving = false; // the close was confirmed or follows a save
    TowRecord m_baseline;   // what the boxes held when the record was shown
    QStringList m_pricingBaseline; // and the pricing boxes
    QString m_notesLoaded;  // the notes as stored, and as the notes box shows them: an
    QString m_notesShown;   // unchanged box gives back the stored text exactly

    QToolBar *m_toolbar = nullptr;
    std::array<QAction *, 6> m_buttons{};
    std::array<QLineEdit *, 18> m_fields{}; // tFields(0..17); 13 is the notes box
    QPlainTextEdit *m_notes = nullptr;
    QCheckBox *m_owner = nullptr;
    QLabel *m_yearMarker = nullptr;        // Label45
    QLabel *m_vinMark = nullptr;           // lblVinCheck
    QLabel *m_mustLabel = nullptr;         // lblmust
    QLabel *m_dateTowedLabel = nullptr;    // Label16
    QLabel *m_dateReleasedLabel = nullptr; // Label17
    QLineEdit *m_towFee = nullptr;         // Text1
    QLineEdit *m_time = nullptr;           // txttime
    QComboBox *m_hookup = nullptr;
    QComboBox *m_type = nullptr;
    QComboBox *m_recovery = nullptr;
    QComboBox *m_reason = nullptr;
    QLineEdit *m_mileStart = nullptr;     // Text2
    QLineEdit *m_mileStop = nullptr;      // Text3
    QLineEdit *m_idle = nullptr;          // Text4
    QLineEdit *m_other = nullptr;         // Text5
    std::array<QLineEdit *, 8> m_costs{}; // Text6..Text13
    QLineEdit *m_total = nullptr;         // Text14
    QComboBox *m_groups = nullptr;        // lstGroups
    QComboBox *m_plan = nullptr;          // cmbPlan: 0 the group's plan, -1 Standard, or an id
    QComboBox *m_class = nullptr;         // cmbClass: by hookup, or a class
    QLineEdit *m_towedAt = nullptr;       // txtTowedAt, HH:mm
    QWidget *m_feeDetails = nullptr;      // the right part, "Tow Fee Details"
    QWidget *m_content = nullptr;         // both parts, in m_scroll
    QScrollArea *m_scroll = nullptr;
};

} // namespace tarnvale
