#include "ShortDate.h"

namespace tarnvale::reminders {

QString shortDateText(const QDate &date, const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    // Widen a two-digit year ("yy") to four digits; a pattern already showing "yyyy" stays.
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return locale.toString(date, format);
}

} // namespace tarnvale::reminders
