#include "ReportFiller.h"

#include <array>
#include <cmath>

#include "DateText.h"
#include "SettingsFile.h"

namespace tarnvale {

ReportFiller::Company ReportFiller::Company::fromSettings(const SettingsFile &settings)
{
    const QString section = QStringLiteral("Company");
    return Company{settings.read(section, QStringLiteral("Name")),
                   settings.read(section, QStringLiteral("address")),
                   settings.read(section, QStringLiteral("city")),
                   settings.read(section, QStringLiteral("state")),
                   settings.read(section, QStringLiteral("zip"))};
}

QString ReportFiller::escape(const QString &value)
{
    QString out;
    out.reserve(value.size() + 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u == ':') {
            out += QLatin1String("\\'3a");
        } else if (u == '\t') {
            out += QLatin1String("\\tab ");
        } else if (u == '\n') {
            out += QLatin1String("\\line ");
        } else if (u < 0x20 || u == 0x7F) {
            // other control characters (a carriage return before a line feed) are dropped
        } else if (u < 0x80) {
            out += c;
        } else {
            // \uN takes a signed 16-bit number; one '?' follows for readers without Unicode.
            out += QStringLiteral("{\\uc1\\u%1?}").arg(int(qint16(u)));
        }
    }
    return out;
}

QString ReportFiller::replace(const QString &text, const QString &find, const QString &with,
                              int count)
{
    if (find.isEmpty() || count == 0)
        return text;
    QString out;
    qsizetype from = 0;
    int done = 0;
    while (count < 0 || done < count) {
        const qsizetype at = text.indexOf(find, from, Qt::CaseSensitive);
        if (at < 0)
            break;
        out += QStringView(text).mid(from, at - from);
        out += with;
        from = at + find.size();
        ++done;
    }
    out += QStringView(text).mid(from);
    return out;
}

QString ReportFiller::money(double amount)
{
    const QString digits = QString::number(std::abs(amount), 'f', 2);
    return (amount < 0 && digits != QLatin1String("0.00") ? QStringLiteral("-$")
                                                           : QStringLiteral("$")) +
           digits;
}

QString ReportFiller::longDate(const QString &dateText)
{
    const std::optional<QDate> date = DateText::read(dateText);
    return date ? DateText::longForm(*date) : dateText;
}

QString ReportFiller::fill(const QString &source, const PrintSnapshot &snapshot,
                           const Company &company, const QDate &today)
{
    const auto &slot = snapshot.txtprint;
    const QString tab = QStringLiteral("\\tab ");
    const QString del = QStringLiteral("\\del ");
    auto upper = [](const QString &value) { return escape(value.toUpper()); };
    const QString released = snapshot.dateReleased.trimmed().isEmpty()
                                 ? DateText::longForm(today)
                                 : longDate(snapshot.dateReleased);

    struct Step
    {
        QString find;
        QString with;
        int count;
    };
    const std::array<Step, 34 + 6> steps = {{
        {QStringLiteral("::FROM.DATE::"), escape(longDate(snapshot.dateTowed)), -1},
        {QStringLiteral("::TO.DATE::"), escape(released), -1},
        {QStringLiteral("::custname::"), tab + tab + upper(slot[0]), 1},
        {QStringLiteral("::custaddress::"), tab + upper(slot[1]), 1},
        {QStringLiteral("::custcity:"),
         tab + upper(slot[2]) + QStringLiteral(" ,") + upper(slot[3]) + QStringLiteral(" ") +
             upper(slot[4]),
         1},
        {QStringLiteral("::address::"),
         tab + escape(company.address) + QStringLiteral(",") + escape(company.city) +
             QStringLiteral(",") + escape(company.state) + QStringLiteral(",") +
             escape(company.zip),
         2},
        {QStringLiteral("::companyname::"), tab + escape(company.name), 2},
        {QStringLiteral("::vehyear::"), tab + upper(slot[6]), 1},
        {QStringLiteral("::vehmake::"), tab + upper(slot[7]), 1},
        {QStringLiteral("::vehmodel::"), tab + upper(slot[8]), 1},
        {QStringLiteral("::vehcolor::"), tab + upper(slot[9]), 1},
        {QStringLiteral("::vehvin::"), tab + upper(slot[11]), 1},
        {QStringLiteral("::vehtag::"), tab + upper(slot[5]), 1},
        {QStringLiteral("::vehstyle::"), tab + upper(slot[10]), 1},
        {QStringLiteral("::towedfrom::"), tab + upper(slot[12]), 1},
        {QStringLiteral("::towedto::"), tab + upper(slot[13]), 1},
        {QStringLiteral("::towedfee::"), tab + upper(slot[14]), 1},
        {QStringLiteral("::storagedays::"), tab + upper(snapshot.storageDays), 1},
        {QStringLiteral("::storagerate::"), upper(snapshot.storageRate), 1},
        {QStringLiteral("::GRAND::"), tab + upper(snapshot.grandTotal), 1},
        {QStringLiteral("::cost1::"), tab + upper(slot[15]), 1},
        {QStringLiteral("::cost2::"), tab + upper(slot[16]), 1},
        {QStringLiteral("::cost3::"), tab + upper(slot[17]), 1},
        {QStringLiteral("::cost4::"), tab + upper(slot[18]), 1},
        {QStringLiteral("::cost5::"), tab + upper(slot[20]), 1}, // field cost6
        {QStringLiteral("::cost6::"), tab + upper(slot[21]), 1}, // field cost7
        {QStringLiteral("::cost7::"), tab + upper(slot[22]), 1}, // field cost8
        {QStringLiteral("::cost8::"), tab + upper(slot[19]), 1}, // field cost5
        {QStringLiteral("::mile1::"), tab + upper(slot[23]), 1},
        {QStringLiteral("::mile2::"), tab + upper(slot[24]), 1},
        {QStringLiteral("::Customer2::"), del, -1},
        {QStringLiteral("\\par ::DATE2::"), del, -1},
        {QStringLiteral("\\par ::CALC2::"), del, -1},
        {QStringLiteral("::GRAND::"), QString(), -1},
        // Added after the first 34: what a customer asks about, every occurrence.
        {QStringLiteral("::invoice::"), escape(QString::number(snapshot.recordId)), -1},
        {QStringLiteral("::custphone::"), escape(snapshot.phone), -1},
        {QStringLiteral("::dailyrate::"), escape(money(snapshot.dailyRate)), -1},
        {QStringLiteral("::storagecharge::"), escape(money(snapshot.storageCharge)), -1},
        {QStringLiteral("::tax::"), escape(money(snapshot.tax)), -1},
        {QStringLiteral("::grandtotal::"), escape(money(snapshot.total)), -1},
    }};
    QString text = source;
    for (const Step &step : steps)
        text = replace(text, step.find, step.with, step.count);
    return text;
}

} // namespace tarnvale
