// The rules of the tow record form: the group list, adding and rewriting a record, stepping
// through the records in table order and the VIN check message. The form only moves text
// between its controls and a TowRecord.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

#include "TowRecord.h"

namespace tarnvale {

class Dialogs;
class ModDatabase;
class SettingsFile;

class TowRecordEditor
{
  public:
    static constexpr QStringView kNone = u"<None>";

    TowRecordEditor(ModDatabase &database, const SettingsFile &settings, Dialogs &dialogs);

    // Every GROUPNAME in table order, then "<None>". When the groups cannot be read the
    // failure is reported ("Unknown database error: ") and the list ends there. Without an
    // open database (already reported at start-up) the list is only "<None>".
    QStringList LoadGroupList();

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
        Failed,      // refused by the database (reported) or the user: the form stays open
    };

    // Add: the vehicle year is required; an empty "Date Towed" gets today's date (a date the
    // user typed is kept); the row is appended and the tree rebuilt. `record` comes back with
    // the date filled in and, when saved, the new id. `groupBoxText` is the group box's text.
    Outcome add(TowRecord &record, const QString &groupBoxText, const QDate &today);

    // Apply: a group name that no group has is offered for creation ("Could not find group");
    // declining saves the record without a group. The row with record.id is rewritten; a row
    // that has gone meanwhile is reported and never recreated.
    Outcome apply(TowRecord &record, const QString &groupBoxText);

    // The "C" button: checks the VIN (upper-cased, blanks at both ends removed) and says so.
    // True when valid.
    bool checkVin(const QString &boxText);

  private:
    std::optional<TowRecord> neighbour(qint64 id, bool forward);

    ModDatabase &m_database;
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;
};

} // namespace tarnvale
