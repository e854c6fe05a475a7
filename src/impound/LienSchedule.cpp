#include "LienSchedule.h"

#include <algorithm>

#include "SettingsFile.h"

namespace tarnvale {

namespace {

const QString kSection = QStringLiteral("LienSchedule");

} // namespace

QList<LienStep> LienSchedule::read(const SettingsFile &settings)
{
    QList<LienStep> steps;
    bool ok = false;
    const int count = std::min(settings.read(kSection, QStringLiteral("Count")).toInt(&ok),
                               kMaxSteps);
    for (int i = 1; ok && i <= count; ++i) {
        const QString name = settings.read(kSection, QStringLiteral("Step%1Name").arg(i)).trimmed();
        bool daysOk = false;
        const int days =
            settings.read(kSection, QStringLiteral("Step%1Days").arg(i)).trimmed().toInt(&daysOk);
        if (!name.isEmpty() && daysOk && days >= 0 && days <= kMaxDays)
            steps.append(LienStep{name, days});
    }
    return steps;
}

bool LienSchedule::write(const SettingsFile &settings, const QList<LienStep> &steps,
                         QString *error)
{
    QList<IniEntry> entries{{kSection, QStringLiteral("Count"), QString::number(steps.size())}};
    for (qsizetype i = 0; i < steps.size(); ++i) {
        entries.append({kSection, QStringLiteral("Step%1Name").arg(i + 1), steps[i].name});
        entries.append(
            {kSection, QStringLiteral("Step%1Days").arg(i + 1), QString::number(steps[i].days)});
    }
    return settings.writeAll(entries, error);
}

std::optional<QList<LienStep>>
LienSchedule::fromRows(const QList<QPair<QString, QString>> &rows, QString *problem)
{
    const auto refuse = [problem](const QString &why) {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    QList<LienStep> steps;
    for (const auto &[nameText, daysText] : rows) {
        const QString name = nameText.trimmed();
        const QString days = daysText.trimmed();
        if (name.isEmpty() && days.isEmpty())
            continue;
        if (name.isEmpty())
            return refuse(QStringLiteral("A lien step needs a name."));
        bool ok = false;
        const int n = days.toInt(&ok);
        if (!ok || n < 0 || n > kMaxDays)
            return refuse(QStringLiteral("The days of the lien step \"%1\" must be a whole number "
                                         "from 0 to %2.")
                              .arg(name)
                              .arg(kMaxDays));
        for (const LienStep &step : steps)
            if (step.name == name)
                return refuse(QStringLiteral("The lien step \"%1\" is named twice.").arg(name));
        steps.append(LienStep{name, n});
    }
    if (steps.size() > kMaxSteps)
        return refuse(QStringLiteral("The lien schedule holds at most %1 steps.").arg(kMaxSteps));
    return steps;
}

QList<LienDeadline> LienSchedule::deadlines(const QList<LienStep> &schedule, const QDate &towed,
                                            const QList<QPair<QString, QDate>> &stepsDone)
{
    QList<LienDeadline> result;
    if (!towed.isValid())
        return result;
    for (const LienStep &step : schedule) {
        LienDeadline deadline{step.name, towed.addDays(step.days), QDate()};
        for (const auto &done : stepsDone)
            if (done.first == step.name)
                deadline.doneOn = done.second;
        result.append(deadline);
    }
    return result;
}

QList<LienDeadline> LienSchedule::dueBy(const QList<LienDeadline> &deadlines, const QDate &today)
{
    QList<LienDeadline> due;
    for (const LienDeadline &deadline : deadlines)
        if (!deadline.isDone() && deadline.due <= today)
            due.append(deadline);
    return due;
}

std::optional<QDate> LienSchedule::nextDeadline(const QList<LienDeadline> &deadlines)
{
    std::optional<QDate> next;
    for (const LienDeadline &deadline : deadlines)
        if (!deadline.isDone() && (!next || deadline.due < *next))
            next = deadline.due;
    return next;
}

} // namespace tarnvale
