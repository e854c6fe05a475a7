// The values of the last vehicle shown in the browser, from which the charge sheet is filled.
#pragma once

#include <QString>

#include <array>

namespace tarnvale {

struct PrintSnapshot
{
    // txtprint(0..24): custname, custaddress, custcity, custstate, custzip, vehtag, vehyear,
    // vehmake, vehmodel, vehcolor, vehstyle, vehvin, towedfrom, towedto, towedfee,
    // cost1..cost8, milestart, milestop. Field values as stored (not upper-cased).
    std::array<QString, 25> txtprint;
    QString dateTowed;    // hidden date box 1: toweddate
    QString dateReleased; // hidden date box 2: towedrelease, or today when empty
    QString towFee;       // hidden fee box: towedfee
    QString customerName; // hidden name box: custname
    QString storageDays;  // Label3: days in storage
    QString storageRate;  // Label5: daily rate, "$#####.00"
    QString grandTotal;   // Label1: grand total, "$######.00"
    // What the sheet adds for the customer: the invoice number (the record's id), the phone,
    // and the figures as amounts.
    qint64 recordId = 0;
    QString phone;          // custphone
    double dailyRate = 0;   // Fee/Storage Fee
    double storageCharge = 0;
    double tax = 0;
    double total = 0;       // the grand total
    QString chargeLines;    // ChargeFigures::chargeLines, one to a line
    bool hasRecord = false; // false until a vehicle has been shown

    friend bool operator==(const PrintSnapshot &, const PrintSnapshot &) = default;
};

} // namespace tarnvale
