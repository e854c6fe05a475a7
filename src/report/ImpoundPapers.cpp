#include "ImpoundPapers.h"

#include <QList>
#include <QPair>

#include "DateText.h"
#include "RecordSheets.h"
#include "ImpoundRules.h"
#include "MoneyFormat.h"
#include "NumberText.h"
#include "ProgramFolder.h"
#include "ReportFiller.h"
#include "SettingsFile.h"
#include "TowRecord.h"

namespace tarnvale {

namespace {

using Values = QList<QPair<QString, QString>>; // placeholder name, RTF to put in

// The values both papers share, escaped.
Values commonValues(const TowRecord &r, const ImpoundState &state, const SettingsFile &settings,
                    const QDate &today)
{
    const auto e = [](const QString &text) { return ReportFiller::escape(text); };
    const auto v = [&r](TowField field) { return r.value(field).trimmed(); };
    const ReportFiller::Company company = ReportFiller::Company::fromSettings(settings);
    const QString cityLine =
        (v(TowField::custcity) + QStringLiteral(", ") + v(TowField::custstate) + u' '
         + v(TowField::custzip))
            .trimmed();
    QStringList vehicle;
    for (TowField field : {TowField::vehyear, TowField::vehmake, TowField::vehmodel,
                           TowField::vehcolor})
        if (!v(field).isEmpty())
            vehicle << v(field);
    return {
        {QStringLiteral("owner.name"), e(v(TowField::custname))},
        {QStringLiteral("owner.address"), e(v(TowField::custaddress))},
        {QStringLiteral("owner.city"), e(cityLine == QLatin1String(",") ? QString() : cityLine)},
        {QStringLiteral("vehicle"), e(vehicle.join(u' '))},
        {QStringLiteral("vehicle.vin"), e(v(TowField::vehvin))},
        {QStringLiteral("vehicle.tag"), e(v(TowField::vehtag))},
        {QStringLiteral("towed.date"), e(ReportFiller::longDate(r.value(TowField::toweddate)))},
        {QStringLiteral("company.name"), e(company.name)},
        {QStringLiteral("company.address"),
         e(QStringList{company.address, company.city, (company.state + u' ' + company.zip).trimmed()}
               .join(QStringLiteral(", ")))},
        {QStringLiteral("today"), e(DateText::longForm(today))},
        {QStringLiteral("status"), e(ImpoundRules::statusText(state.status))},
    };
}

QString fillWith(const QString &source, const Values &values, const TowRecord &record,
                 const SettingsFile &settings, const QDate &today)
{
    QString text = ReportFiller::joinSplitPlaceholders(source);
    for (const auto &[name, with] : values)
        text = ReportFiller::replace(text, QStringLiteral("::") + name + QStringLiteral("::"),
                                     with, -1);
    // The charge sheet's own placeholders work here too.
    const PrintSnapshot snapshot = RecordSheets::vehicleSheet(record, settings, today).snapshot;
    return ReportFiller::fill(text, snapshot, ReportFiller::Company::fromSettings(settings),
                              today);
}

} // namespace

QString ImpoundPapers::receiptPath(const ProgramFolder &folder)
{
    return folder.reportsPath(QStringLiteral("receipt.rtf"));
}

QString ImpoundPapers::noticePath(const ProgramFolder &folder)
{
    return folder.reportsPath(QStringLiteral("notice.rtf"));
}

QString ImpoundPapers::fillReceipt(const QString &source, const TowRecord &record,
                                   const ImpoundState &state, const SettingsFile &settings,
                                   const QDate &today, const std::optional<PricedStay> &stay)
{
    const auto e = [](const QString &text) { return ReportFiller::escape(text); };
    // Charges stop on the release day, which the release wrote to the record.
    const ChargeFigures figures = stay ? ChargeFigures::compute(record, settings, today, *stay)
                                       : ChargeFigures::compute(record, settings, today);
    const QString charges = e(figures.chargeLines(record.value(TowField::towedfee)).join(u'\n'));
    QStringList lines;
    for (const Payment &payment : state.payments)
        lines << e((DateText::shortForm(payment.paidOn) + u' '
                    + payment.paidAt.toString(QStringLiteral("HH:mm")))
                       .trimmed())
                     + QStringLiteral("\\tab ") + e(payment.method) + QStringLiteral("\\tab ")
                     + e(payment.reference) + QStringLiteral("\\tab ")
                     + e(ImpoundRules::centsText(payment.cents));
    const qint64 paid = ImpoundRules::paidCents(state.payments);
    if (lines.isEmpty())
        lines << e(QStringLiteral("No payments taken."));
    const Release release = state.release.value_or(Release{});
    Values values = commonValues(record, state, settings, today);
    values += Values{
        {QStringLiteral("released.to"), e(release.releasedTo)},
        {QStringLiteral("released.idtype"), e(release.idType)},
        {QStringLiteral("released.idnumber"), e(release.idNumber)},
        {QStringLiteral("released.date"),
         e(release.date.isValid() ? DateText::longForm(release.date) : QString())},
        {QStringLiteral("released.time"), e(release.time.toString(QStringLiteral("HH:mm")))},
        {QStringLiteral("payment.lines"), lines.join(QStringLiteral("\\line "))},
        {QStringLiteral("charges.lines"), charges},
        {QStringLiteral("total.due"),
         e(ImpoundRules::centsText(ImpoundRules::toCents(figures.grandTotal)))},
        {QStringLiteral("paid.total"), e(ImpoundRules::centsText(paid))},
        {QStringLiteral("balance"),
         e(ImpoundRules::balanceText(ImpoundRules::balanceCents(figures, paid)))},
    };
    return fillWith(source, values, record, settings, today);
}

QString ImpoundPapers::fillNotice(const QString &source, const TowRecord &record,
                                  const ImpoundState &state, const LienDeadline &step,
                                  const SettingsFile &settings, const QDate &today,
                                  const std::optional<PricedStay> &stay)
{
    const auto e = [](const QString &text) { return ReportFiller::escape(text); };
    const ChargeFigures figures = stay ? ChargeFigures::compute(record, settings, today, *stay)
                                       : ChargeFigures::compute(record, settings, today);
    Values values = commonValues(record, state, settings, today);
    values += Values{
        {QStringLiteral("notice.step"), e(step.step)},
        {QStringLiteral("notice.date"), e(DateText::longForm(step.due))},
        {QStringLiteral("amount.owed"),
         e(ImpoundRules::balanceText(
             ImpoundRules::balanceCents(figures, ImpoundRules::paidCents(state.payments))))},
        {QStringLiteral("daily.rate"),
         e(ImpoundRules::centsText(ImpoundRules::toCents(figures.rate)))},
    };
    return fillWith(source, values, record, settings, today);
}

ChargeSheet::Outcome ImpoundPapers::receipt(const ProgramFolder &folder, const TowRecord &record,
                                            const ImpoundState &state,
                                            const SettingsFile &settings, const QDate &today,
                                            const std::optional<PricedStay> &stay)
{
    return ChargeSheet::buildFrom(receiptPath(folder), settings, [&](const QString &source) {
        return fillReceipt(source, record, state, settings, today, stay);
    });
}

ChargeSheet::Outcome ImpoundPapers::notice(const ProgramFolder &folder, const TowRecord &record,
                                           const ImpoundState &state, const LienDeadline &step,
                                           const SettingsFile &settings, const QDate &today,
                                           const std::optional<PricedStay> &stay)
{
    return ChargeSheet::buildFrom(noticePath(folder), settings, [&](const QString &source) {
        return fillNotice(source, record, state, step, settings, today, stay);
    });
}

} // namespace tarnvale
