// Dates as the user reads and types them, in the user's locale. Every window writes and reads
// dates through here, so that a date written today reads back as the same day.
#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

#include <optional>

namespace tarnvale {

class DateText
{
  public:
    // The locale's short date form with the year always in four digits ("12/6/2026" in en_US):
    // a two-digit year would be read back in the wrong century.
    static QString shortForm(const QDate &date, const QLocale &locale = QLocale());
    static QString today(const QLocale &locale = QLocale());
    // How shortForm() writes a date, for a prompt: "M/D/YYYY" in en_US, "DD.MM.YYYY" in de_DE.
    static QString shortFormHint(const QLocale &locale = QLocale());

    // The long form "MMMM dd, yyyy" with the locale's month names ("March 05, 2005").
    static QString longForm(const QDate &date, const QLocale &locale = QLocale());

    // Reads a date typed by the user or stored earlier: the locale's short form (with a one-,
    // two- or four-digit year), the locale's long form, "MMMM d, yyyy", and ISO (2005-03-05).
    // A one- or two-digit year is taken in the century that puts it nearest to the reference
    // date's year (a tie goes to the past). Blanks around the text do not matter. A time of
    // day after the date ("3/1/2026 10:30", "3/1/2026 10:30 PM", "2026-03-01T10:30:00") is
    // allowed and the date is that day; a time that is no real time makes the text unreadable.
    static std::optional<QDate> read(const QString &text, const QLocale &locale = QLocale(),
                                     const QDate &reference = QDate::currentDate());

    // The years a date of a tow may have: from kFirstYear to the year after today's. A date
    // outside them ("1/5/0206") is a slip, and would count centuries of storage.
    static constexpr int kFirstYear = 1900;
    static int lastYear(const QDate &today) { return today.year() + 1; }
    static bool yearAllowed(const QDate &date, const QDate &today)
    {
        return date.year() >= kFirstYear && date.year() <= lastYear(today);
    }

    // The year nearest to the reference year whose last two digits are yy (0..99).
    static int nearestCenturyYear(int yy, int referenceYear);

  private:
    static std::optional<QDate> readDay(const QString &text, const QLocale &locale,
                                        const QDate &reference);
};

} // namespace tarnvale
