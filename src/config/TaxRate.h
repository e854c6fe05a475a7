// The "Tax %:" box: what a typed rate means, and the fraction that is stored for it.
#pragma once

#include <QLocale>
#include <QString>

namespace tarnvale {

struct TaxRate
{
    enum class Kind {
        Empty,     // nothing typed: no tax is added
        Fraction,  // a fraction below 1 (".08", "0,08" in a comma locale): stored as it reads
        Percent,   // a percentage with "%" ("8%", "7.25 %"): stored as its fraction
        Ambiguous, // a number of 1 or more without "%" ("7.25"): a percentage or a misprint
        Invalid,   // not a number, below zero, or 100 % or more
    };

    Kind kind = Kind::Empty;
    double fraction = 0; // the rate as a fraction; for Ambiguous, the number read as a percent

    // Reads the box's text: "." or the locale's decimal separator, blanks around ignored.
    static TaxRate read(const QString &typed, const QLocale &locale = QLocale());

    // The Taxrate setting for this reading: the typed text itself when it already is a
    // fraction in the stored form (so ".08" stays ".08"), otherwise the fraction in plain text
    // with "." ("8%" gives "0.08"). Empty for Empty and Invalid.
    QString stored(const QString &typed) const;

    // What the box means as a stored fraction, shown beside it: "= 8 %", "no tax", "not a rate",
    // and for 7.25 "= 725 % (or 7.25 %?)".
    QString meaning() const;

    // A fraction as a percentage: 0.0725 gives "7.25 %".
    static QString percentText(double fraction);
};

} // namespace tarnvale
