// Dates on the charge sheet: reading the date texts of a record and writing the long form.
#pragma once

#include <QDate>
#include <QString>

namespace tarnvale {

class ReportDate
{
  public:
    // A date as the user typed it or the system wrote it: the locale's short form with a
    // two- or four-digit year, month/day/year, ISO, or the long forms. Two-digit years 00-29
    // are 2000-2029, 30-99 are 1930-1999. An unreadable text gives an invalid date.
    static QDate read(const QString &text);
    // "MMMM dd, yyyy" in the user's locale, e.g. March 05, 2005.
    static QString longForm(const QDate &date);
};

} // namespace tarnvale
