// Days in storage, storage charge, tax and grand total of one tow record, figured each time the
// record is shown and never stored.
#pragma once

#include <QDate>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimeZone>

#include <optional>
#include <utility>

#include "PricingPlan.h"

namespace tarnvale {

class SettingsFile;
struct TowRecord;

// What the plan of a vehicle needs beyond its record: the plan (Standard when none), the
// vehicle's class, the times of day of the tow and of the release (midnight when not known),
// the time of day now for a vehicle still held, and the yard's time zone.
struct PricedStay
{
    std::optional<PricingPlan> plan;
    VehicleClass vehicleClass = VehicleClass::Light;
    QTime towedAt;
    QTime releasedAt;
    QTime now;
    QTimeZone zone = QTimeZone::systemTimeZone();
    // A released vehicle's bill as kept at its release: storage, fees and tax are these.
    std::optional<KeptBill> kept;
};

struct ChargeFigures
{
    QString dateTowed; // toweddate as stored
    QString dateOut;   // towedrelease, or today's date (short form) when that is blank
    qint64 days = 0;   // calendar days from dateTowed to dateOut, never below 0
    // Amounts, each in whole cents (MoneyCents), so that the printed lines add up to the
    // printed total.
    double rate = 0;       // Fee/Storage Fee per day in cents, never below 0
    double storage = 0;    // rate x days
    double tax = 0;        // Taxrate x (tow fee + storage), rounded to cents
    double grandTotal = 0; // tow fee + storage + tax; 0 when there is no usable tow fee
    bool feeReadable = false;
    bool totalFormed = false; // a tow fee of 0 or more gave the grand total
    // Why a figure is 0 that the record would not make 0 by itself (a date that is no date,
    // a date outside the years of DateText::yearAllowed, a release before the tow, a tow fee
    // that is no amount, a setting below zero), or that the settings hold a tax rate of 100 %
    // or more; empty when every figure is as the record and the settings give it. One
    // sentence per reason.
    QString note;
    // What the plan billed: its name, the storage line by line (days x rate), and each fee on
    // its own line; storage and feesTotal are their sums. periods: days counts 24-hour periods.
    QString planName = PricingPlan::standardName();
    bool periods = false;
    QList<BillLine> storageLines;
    QList<BillLine> fees;
    double feesTotal = 0;
    qint64 taxCents = 0; // tax, in cents as billed

    // What a release keeps of these figures.
    KeptBill keep() const;
    // The charges one to a line, "label<tab>amount", as a customer checks them: the tow fee
    // (the record's `towFee`), every storage line and every fee, and the tax; the tow fee and
    // the tax only when a total is formed.
    QStringList chargeLines(const QString &towFee) const;

    // The shown forms.
    QString daysText() const;       // plain integer
    QString rateText() const;       // "$#####.00"
    QString storageText() const;    // "$######.00"
    QString grandTotalText() const; // "$######.00"

    // Figures the record as of the given day. Dates are read in the locale, by their day when
    // they carry a time; a release before the tow, or a date in a year no tow has, counts 0
    // days. The tow fee and
    // Tow Fee/Taxrate are read as the program writes them, under any locale (see
    // NumberText::readStored); the rate with LeadingNumber. Tax is added unless Tow Fee/Tax is
    // exactly "No"; an empty, unreadable or negative Taxrate adds none. Nothing shown is ever
    // below zero: a negative tow fee gives no total, a negative rate no storage charge.
    static ChargeFigures compute(const TowRecord &record, const SettingsFile &settings,
                                 const QDate &today, const QLocale &locale = QLocale());

    // The note every sheet carries while the stored Taxrate is 1 or more and tax is added
    // ("The tax rate 725 % in settings.ini is added as it stands: ..."); empty otherwise.
    static QString taxRateWarning(const SettingsFile &settings, const QLocale &locale = QLocale());

    // The tax a sheet adds to a sum of cents by the settings as they were read once: what a
    // report adds to a million sums, each exactly as the sheet does.
    class TaxRule
    {
      public:
        TaxRule(const SettingsFile &settings, const QLocale &locale);
        // In cents: 0 when the settings add none, or their rate is below zero or too large
        // for the sum.
        qint64 on(qint64 subtotalCents) const;

      private:
        std::optional<double> m_rate;
    };

    // The same from the hidden boxes of the detail sheet: the two dates and the fee text.
    static ChargeFigures compute(const QString &dateTowed, const QString &dateOut,
                                 const QString &towFee, const SettingsFile &settings,
                                 const QDate &today, const QLocale &locale = QLocale());

    // The same under a pricing plan: storage as the plan bills it, and its fees added to the
    // tow fee and storage before tax. Under Standard every figure is the one above.
    static ChargeFigures compute(const TowRecord &record, const SettingsFile &settings,
                                 const QDate &today, const PricedStay &stay,
                                 const QLocale &locale = QLocale());
    static ChargeFigures compute(const QString &dateTowed, const QString &dateOut,
                                 const QString &towFee, const SettingsFile &settings,
                                 const QDate &today, const PricedStay &stay,
                                 const QLocale &locale = QLocale());

  private:
    // Reads the two dates into dateTowed and dateOut; the days between them when both are
    // usable, with the reason in `notes` when not.
    static std::optional<std::pair<QDate, QDate>>
    readDates(ChargeFigures &f, QStringList &notes, const QDate &today, const QLocale &locale);
    // The storage fee of the settings in cents; 0, with the reason, when below zero or too
    // large (*usable false for too large).
    static qint64 settingsRate(const SettingsFile &settings, QStringList &notes, bool *usable);
    // Tax and grand total from the tow fee and the cents billed beside it; the tax as kept
    // when given.
    static void addTotal(ChargeFigures &f, const QString &towFee, qint64 billedCents,
                         const SettingsFile &settings, const QLocale &locale, QStringList &notes,
                         std::optional<qint64> keptTax = std::nullopt);
};

} // namespace tarnvale
