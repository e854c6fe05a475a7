// The rules of the tow record form: the group list, adding and rewriting a record, stepping
// through the records in table order and the VIN check message. The form only moves text
// between its controls and a TowRecord.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

#include "PricingStore.h"
#include "RecordStore.h"
#include "TowRecord.h"

namespace tarnvale {

class Dialogs;
struct DbError;
class DatabaseCommands;
class SettingsFile;

class TowRecordEditor
{
  public:
    static constexpr QStringView kNone = u"<None>";

    TowRecordEditor(RecordStore &store, DatabaseCommands &database, const SettingsFile &settings,
                    Dialogs &dialogs);

    // LoadGroupList: every GROUPNAME in table order, then "<None>". When the groups cannot be read the
    // failure is reported ("Unknown database error: ") and the list ends there. Without an
    // open database (already reported at start-up) the list is only "<None>".
    QStringList groupChoices();

    // "<None>" (any case, blanks around) means no group: empty text. Anything else as typed.
    static QString groupNameFromBox(const QString &boxText);

    // The record whose id the text names (FindVehicleById); nullopt when there is none.
    std::optional<TowRecord> find(const QString &idText);
    // The record before or after the given id in table order; nullopt at either end (or when
    // the table cannot be read), so that stepping stays where it is.
    std::optional<TowRecord> previous(qint64 id);
    std::optional<TowRecord> next(qint64 id);

    enum class Outcome {
        Saved,       // written, tree rebuilt: the form closes
        YearMissing, // Add without a year: nothing written
        Failed,      // refused by the checks, the database (reported) or the user: the form
                     // stays open, with problemField() the box to correct when there is one
        Reloaded,    // Apply found the record saved by someone else meanwhile and the user
                     // chose to see their version: `record` is now the stored one
    };

    // Before anything is written, Add and Apply check, in this order, and stop at the first
    // refusal with a message naming the box:
    // - each date box that is not blank holds a real date (a time of day after it is allowed),
    //   and the release is not before the tow;
    // - every charge box reads whole as an amount; the ones that do not are named in one
    //   Yes/No question, and only Yes saves them counted as they read;
    // - the charges add up to an amount not below zero: total and towedfee are recomputed
    //   from the eight charges, so the stored tow fee is always their sum;
    // - a group name that no group has is offered for creation ("Could not find group");
    //   Yes creates it, No saves the record without a group. "<None>", an empty or an
    //   all-blank box mean no group and ask nothing. The group is made by the save itself,
    //   only when the record is saved.
    // A lost connection to the server is tried again first; while the server does not
    // answer the save says so and nothing is written (the form keeps what was typed).

    // Add: the vehicle year is required; an empty or blank "Date Towed" gets today's date (a
    // date the user typed is kept); the row is appended and the tree rebuilt. `record` comes back
    // with the date and the totals filled in and, when saved, the new id.
    Outcome add(TowRecord &record, const QString &groupBoxText, const QDate &today);

    // Apply: the row with record.id is rewritten. A row that has gone meanwhile is said first
    // ("This vehicle was removed on another workstation"), and saved as a new record (a new
    // id) only when the user says Yes. `record` comes back with the totals and the group.
    // When another user saved the record after record.version was read, nothing is written
    // before the user chooses: Yes sees theirs (Reloaded), No keeps mine (saved over theirs),
    // Cancel goes back to the form (Failed). A group removed meanwhile is reported, on Add too.
    Outcome apply(TowRecord &record, const QString &groupBoxText,
                  const QDate &today = QDate::currentDate());

    // The vehicle's pricing, written by the next Add or Apply in the record's own transaction
    // (nothing when nullopt): a plan removed elsewhere meanwhile refuses the whole save.
    void setPricing(std::optional<VehiclePricing> pricing) { m_pricing = std::move(pricing); }
    // Whether the last save was refused for its pricing (said to the user).
    bool pricingRefused() const { return m_pricingRefused; }

    // The field whose box the last refused save was about, if any.
    std::optional<TowField> problemField() const { return m_problem; }

    // The caption of charge box 0 ... 7 as the form shows it ("Towing Hookup", ... "Other").
    static QString chargeCaption(int index);

    // The "C" button: checks the VIN (upper-cased, blanks at both ends removed) and says so.
    // True when valid.
    bool checkVin(const QString &boxText);

  private:
    bool checkDates(const TowRecord &record, const QDate &today);
    bool checkCharges(TowRecord &record);
    struct GroupChoice
    {
        QString name;
        RecordStore::GroupCheck check = RecordStore::GroupCheck::None;
    };
    std::optional<GroupChoice> resolveGroup(const QString &groupBoxText);
    bool connected();
    bool saveAsNewAsked();
    Outcome addRecord(TowRecord &record, const GroupChoice &group);
    RecordStore::AlsoWrite pricingWrite();
    bool refuse(TowField field, const QString &message);
    void reportSaveFailure(const DbError &error);

    RecordStore &m_store;
    DatabaseCommands &m_database;
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;
    std::optional<TowField> m_problem;
    std::optional<VehiclePricing> m_pricing;
    bool m_pricingRefused = false;
};

} // namespace tarnvale
