// Today's date as the reminders store and offer it: the locale's short date form with the
// year always written in four digits.
#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

namespace tarnvale::reminders {

QString shortDateText(const QDate &date, const QLocale &locale = QLocale());

} // namespace tarnvale::reminders
