// What the configuration window checks before "Apply" stores anything: every fee box must read
// as the amount typed, and the tax rate must be understood as a fraction or asked about.
#pragma once

#include <QList>
#include <QLocale>
#include <QString>

#include <optional>

#include "ConfigValues.h"

namespace tarnvale {

struct ConfigFinding
{
    QString control;       // objectName of the box (Text2, Text8, ...)
    QString message;       // what is wrong, naming the box by its caption
    bool question = false; // true: a Yes/No question whose Yes accepts the reading

    friend bool operator==(const ConfigFinding &, const ConfigFinding &) = default;
};

class ConfigCheck
{
  public:
    // In the order of the window: storage fee, the three hookup fees, the tax rate. A fee is
    // empty (no fee) or one plain amount not below zero, read as the charges read it; anything
    // else would count as another amount. The tax rate: see TaxRate.
    static QList<ConfigFinding> check(const ConfigValues &values,
                                      const QLocale &locale = QLocale());

    // A database path typed in the "Database File:" box (Text3) that the program could not
    // open: a folder that does not exist or a missing file is asked about, a folder refused.
    // Nothing for a blank box or a server address.
    static std::optional<ConfigFinding> checkDatabasePath(const QString &typed);

    // The values as they are stored once every question was answered Yes: the tax rate as
    // its fraction (TaxRate::stored); every other value as typed.
    static ConfigValues toStore(const ConfigValues &values, const QLocale &locale = QLocale());
};

} // namespace tarnvale
