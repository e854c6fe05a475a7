// Days in storage, storage charge, tax and grand total of one tow record, figured each time the
// record is shown and never stored.
#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

namespace tarnvale {

class SettingsFile;
struct TowRecord;

struct ChargeFigures
{
    QString dateTowed;     // toweddate as stored
    QString dateOut;       // towedrelease, or today's date (short form) when that is empty
    qint64 days = 0;       // calendar days from dateTowed to dateOut; 0 when either is unreadable
    double rate = 0;       // Fee/Storage Fee per day
    double storage = 0;    // rate x days
    double tax = 0;        // the tax part of the grand total
    double grandTotal = 0; // tow fee + storage (+ tax); 0 when the tow fee is not a number
    bool feeReadable = false;

    // The shown forms.
    QString daysText() const;       // plain integer
    QString rateText() const;       // "$#####.00"
    QString storageText() const;    // "$######.00"
    QString grandTotalText() const; // "$######.00"

    // Figures the record as of the given day. Dates are read in the locale; the tow fee and
    // Tow Fee/Taxrate by the locale's number rules; the rate with LeadingNumber. Tax is added
    // unless Tow Fee/Tax is exactly "No"; an empty or unreadable Taxrate adds none.
    static ChargeFigures compute(const TowRecord &record, const SettingsFile &settings,
                                 const QDate &today, const QLocale &locale = QLocale());

    // The same from the hidden boxes of the detail sheet: the two dates and the fee text.
    static ChargeFigures compute(const QString &dateTowed, const QString &dateOut,
                                 const QString &towFee, const SettingsFile &settings,
                                 const QDate &today, const QLocale &locale = QLocale());
};

} // namespace tarnvale
