#include "ReportDate.h"

#include <QLocale>
#include <QStringList>

namespace tarnvale {

namespace {

QDate withCentury(QDate date)
{
    // Two-digit years read as 1900-1999; the years up to 1929 stand for 2000-2029.
    if (date.isValid() && date.year() < 1930)
        date = date.addYears(100);
    return date;
}

} // namespace

QDate ReportDate::read(const QString &text)
{
    const QString t = text.simplified();
    if (t.isEmpty())
        return {};
    const QLocale locale;
    QString shortFormat = locale.dateFormat(QLocale::ShortFormat);
    QString fourDigit = shortFormat;
    if (!fourDigit.contains(QLatin1String("yyyy")))
        fourDigit.replace(QLatin1String("yy"), QLatin1String("yyyy"));

    const QStringList fullYear = {fourDigit,
                                  QStringLiteral("M/d/yyyy"),
                                  QStringLiteral("yyyy-MM-dd"),
                                  locale.dateFormat(QLocale::LongFormat),
                                  QStringLiteral("MMMM d, yyyy"),
                                  QStringLiteral("MMM d, yyyy"),
                                  QStringLiteral("d MMMM yyyy")};
    for (const QString &format : fullYear) {
        const QDate date = locale.toDate(t, format);
        if (date.isValid() && date.year() >= 1000) // "05" is not the year 5
            return date;
    }
    QString twoDigit = shortFormat;
    if (twoDigit.contains(QLatin1String("yyyy")))
        twoDigit.replace(QLatin1String("yyyy"), QLatin1String("yy"));
    for (const QString &format : {twoDigit, QStringLiteral("M/d/yy")}) {
        const QDate date = locale.toDate(t, format);
        if (date.isValid())
            return withCentury(date);
    }
    return {};
}

QString ReportDate::longForm(const QDate &date)
{
    return QLocale().toString(date, QStringLiteral("MMMM dd, yyyy"));
}

} // namespace tarnvale
