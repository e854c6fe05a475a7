#include "ReminderTicks.h"

#include "Dialogs.h"
#include "ReminderList.h"

namespace tarnvale {

ReminderTicks::Outcome ReminderTicks::tick(qint64 id, const QString &entryText)
{
    const auto rows = m_list.count();
    if (!rows)
        return Outcome::Failed;
    if (*rows == 0)
        return Outcome::Kept;
    if (!m_list.setDone(id, true))
        return Outcome::Failed;
    const Answer answer =
        m_dialogs.ask(QStringLiteral("Item Done"),
                      QStringLiteral("Delete From List?") + QString::fromUtf16(kCrLf) + entryText,
                      MessageIcon::Question);
    if (answer == Answer::No)
        return Outcome::Kept;
    return m_list.remove(id) ? Outcome::Changed : Outcome::Failed;
}

ReminderTicks::Outcome ReminderTicks::untick(qint64 id)
{
    const auto rows = m_list.count();
    if (!rows)
        return Outcome::Failed;
    if (*rows == 0)
        return Outcome::Kept;
    return m_list.setDone(id, false) ? Outcome::Changed : Outcome::Failed;
}

} // namespace tarnvale
