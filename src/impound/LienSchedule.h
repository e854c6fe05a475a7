// The lien-notice schedule: the steps a yard must take for a vehicle nobody claims (a name
// and the number of calendar days after the tow date), kept in the settings section
// LienSchedule, and the dates they fall due. None by default.
#pragma once

#include <QDate>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace tarnvale {

class SettingsFile;

struct LienStep
{
    QString name;
    int days = 0;

    friend bool operator==(const LienStep &, const LienStep &) = default;
};

// One step of one vehicle: due on `due`; done on `doneOn` when it is done.
struct LienDeadline
{
    QString step;
    QDate due;
    QDate doneOn; // invalid while the step is not done

    bool isDone() const { return doneOn.isValid(); }
    friend bool operator==(const LienDeadline &, const LienDeadline &) = default;
};

// A step due for a vehicle, as the reminders list it.
struct LienItem
{
    qint64 vehicleId = 0;
    QString vehicle; // year, make, model, colour and "(plate)", upper-cased
    LienDeadline deadline;
    bool overdue = false; // its day has passed

    friend bool operator==(const LienItem &, const LienItem &) = default;
};

class LienSchedule
{
  public:
    static constexpr int kMaxSteps = 20;
    static constexpr int kMaxDays = 3650;

    // The steps in the settings, in order. A step with no name, or whose days are not a whole
    // number from 0 to kMaxDays, is left out.
    static QList<LienStep> read(const SettingsFile &settings);
    // Replaces the steps in the settings in one write; false, with the reason, on failure.
    static bool write(const SettingsFile &settings, const QList<LienStep> &steps,
                      QString *error = nullptr);

    // The steps as typed, one (name, days) row each; rows left wholly blank are skipped.
    // nullopt, with the reason, for a row without a name, with days that are not a whole
    // number from 0 to kMaxDays, a name given twice, or more than kMaxSteps steps.
    static std::optional<QList<LienStep>> fromRows(const QList<QPair<QString, QString>> &rows,
                                                   QString *problem = nullptr);

    // Every step of a vehicle towed on `towed`, in schedule order: due that many calendar days
    // after the tow date, and done when the vehicle's done steps hold its name. Done steps
    // keep the day they were done; the dates of the others follow the schedule as it is now.
    static QList<LienDeadline> deadlines(const QList<LienStep> &schedule, const QDate &towed,
                                         const QList<QPair<QString, QDate>> &stepsDone);
    // The steps not done whose day has come (today or earlier).
    static QList<LienDeadline> dueBy(const QList<LienDeadline> &deadlines, const QDate &today);
    // The earliest day of a step not done; nullopt when every step is done.
    static std::optional<QDate> nextDeadline(const QList<LienDeadline> &deadlines);
};

} // namespace tarnvale
