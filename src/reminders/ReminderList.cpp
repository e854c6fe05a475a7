#include "ReminderList.h"

#include "DateText.h"
#include "RecordStore.h"

namespace tarnvale {

ReminderList::ReminderList(RecordStore &store) : m_table(store) {}

bool ReminderList::tableFailed()
{
    m_error = m_table.lastError();
    return false;
}

std::optional<QList<ReminderItem>> ReminderList::items()
{
    m_error = {};
    auto result = m_table.items();
    if (!result)
        tableFailed();
    return result;
}

std::optional<qint64> ReminderList::count()
{
    m_error = {};
    const auto result = m_table.count();
    if (!result)
        tableFailed();
    return result;
}

ReminderList::AddResult ReminderList::add(const QString &item, const QString &dateFor,
                                          const QDate &today, const QLocale &locale)
{
    m_error = {};
    if (item.isEmpty() || dateFor.isEmpty())
        return AddResult::Refused;
    const std::optional<QDate> due = DateText::read(dateFor, locale, today);
    if (!due || !DateText::yearAllowed(*due, today))
        return AddResult::NotADate;
    return m_table.add(item, dateFor, DateText::shortForm(today, locale)) || tableFailed()
               ? AddResult::Added
               : AddResult::Failed;
}

bool ReminderList::setDone(qint64 id, bool done)
{
    m_error = {};
    return m_table.setDone(id, done) || tableFailed();
}

bool ReminderList::remove(qint64 id)
{
    m_error = {};
    return m_table.remove(id) || tableFailed();
}

} // namespace tarnvale
