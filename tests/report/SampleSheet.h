// The sample record the filler, the template and the window tests fill their sheets with.
#pragma once

#include <QStringList>

#include "PrintSnapshot.h"

namespace tarnvale::test {

inline PrintSnapshot sampleSheet()
{
    PrintSnapshot s;
    const QStringList values =
        QString::fromUtf8(
            "maria gonzález|77 harbor rd|portland|me|04101|7XK-221|2011|subaru|outback|green|wagon|"
            "4S4BRBCC1B3312345|i-295 exit 7|lot b|265.00|125.00|40.00|30.00|20.00|15.00|25.00|5.00|"
            "7.50|88120|88131")
            .split(u'|');
    std::copy(values.begin(), values.end(), s.txtprint.begin());
    s.dateTowed = QStringLiteral("2/1/2026");
    s.dateReleased = QStringLiteral("2/5/2026");
    s.storageDays = QStringLiteral("4");
    s.storageRate = QStringLiteral("$35.00");
    s.grandTotal = QStringLiteral("$437.40");
    s.recordId = 1207;
    s.phone = QStringLiteral("207-555-0142");
    s.dailyRate = 35;
    s.storageCharge = 140;
    s.tax = 32.4;
    s.total = 437.4;
    s.hasRecord = true;
    return s;
}

} // namespace tarnvale::test
