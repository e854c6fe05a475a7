// Dates, amounts and VINs come from the database as whatever text was typed: reading them must
// never fail badly, and what is read must write back to text that reads the same.
#include <QByteArray>
#include <QLocale>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "DateText.h"
#include "IsValidVin.h"
#include "LeadingNumber.h"
#include "MoneyFormat.h"
#include "NumberText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace tarnvale;
    static const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QString text =
        QString::fromUtf8(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));

    const double leading = LeadingNumber(text);
    if (!std::isfinite(leading))
        std::abort();
    const QString money = MoneyFormat(leading, kMoneyDollar);
    if (!money.contains(u'.') || money.size() < 3)
        std::abort();

    if (const auto value = NumberText::read(text, us)) {
        if (!std::isfinite(*value))
            std::abort();
        MoneyFormat(text, kMoneyPlain, us);
    } else if (MoneyFormat(text, kMoneyPlain, us) != text) {
        std::abort(); // text that is not a number comes back unchanged
    }

    const QDate reference(2026, 12, 6);
    if (const auto date = DateText::read(text, us, reference)) {
        if (!date->isValid())
            std::abort();
        if (DateText::read(DateText::shortForm(*date, us), us, reference) != date)
            std::abort();
    }

    IsValidVin(text);
    return 0;
}
