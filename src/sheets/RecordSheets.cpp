#include "RecordSheets.h"

#include <QFontMetrics>

#include <cmath>

#include "DateText.h"
#include "ImpoundRules.h"
#include "ImpoundStore.h"
#include "LeadingNumber.h"
#include "MoneyFormat.h"
#include "PricingStore.h"
#include "RecordStore.h"
#include "SettingsFile.h"
#include "TowRecord.h"

namespace tarnvale {

namespace {

// Up to this many vehicles, their pricing is read vehicle by vehicle.
constexpr qsizetype kBookByIds = 400;

} // namespace

namespace {

void addRow(SheetContents &sheet, const QString &label, const QString &value)
{
    sheet.rows.append(QStringList{label, value});
}

void addRowIfAny(SheetContents &sheet, const QString &label, const QString &value)
{
    if (!value.isEmpty())
        addRow(sheet, label, value);
}

void addEmptyRows(SheetContents &sheet)
{
    addRow(sheet, QString(), QString());
    addRow(sheet, QString(), QString());
}

} // namespace

bool SheetContents::sortsBefore(const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return !a.isValid() && b.isValid();
    const bool aNumber = a.typeId() == QMetaType::Double;
    const bool bNumber = b.typeId() == QMetaType::Double;
    if (aNumber != bNumber)
        return aNumber;
    if (aNumber)
        return a.toDouble() < b.toDouble();
    return QString::compare(a.toString(), b.toString(), Qt::CaseInsensitive) < 0;
}

SheetContents RecordSheets::groupListing(const QList<TowRecord> &records, const QString &groupName,
                                        const SettingsFile &settings, const QDate &today,
                                        const QLocale &locale,
                                        const QHash<qint64, VehicleStatus> *statuses,
                                        const QHash<qint64, qint64> *paid,
                                        const PricingBook *book)
{
    const QTime now = QTime::currentTime();
    SheetContents sheet;
    sheet.columns = {QStringLiteral("Name"),  QStringLiteral("Year"),  QStringLiteral("Make"),
                     QStringLiteral("Model"), QStringLiteral("Color"), QStringLiteral("Towed"),
                     QStringLiteral("Plate"), QStringLiteral("Days"),  QStringLiteral("Amount Due")};
    for (const TowRecord &r : records) {
        if (r.value(TowField::groupname) != groupName)
            continue;
        const ChargeFigures figures =
            book ? ChargeFigures::compute(r, settings, today, book->stayOf(r, now), locale)
                 : ChargeFigures::compute(r, settings, today, locale);
        const QString towed = r.value(TowField::toweddate);
        const std::optional<qint64> balance =
            ImpoundRules::balanceCents(figures, paid ? paid->value(r.id) : 0);
        sheet.rows.append(QStringList{
            r.value(TowField::custname).toUpper(), r.value(TowField::vehyear).toUpper(),
            r.value(TowField::vehmake).toUpper(), r.value(TowField::vehmodel).toUpper(),
            r.value(TowField::vehcolor).toUpper(), towed.toUpper(),
            r.value(TowField::vehtag).toUpper(), figures.daysText(),
            ImpoundRules::balanceText(balance)});
        QVariantList keys;
        for (int column = 0; const std::optional<TowField> field = listedField(column); ++column)
            keys.append(fieldKey(column, r.value(*field), today, locale));
        sheet.sortKeys.append(keys << QVariant(double(figures.days))
                                   << (balance ? QVariant(double(*balance) / 100.0) : QVariant()));
        if (statuses) {
            const QString status = ImpoundRules::statusText(
                ImpoundRules::statusOf(statuses->contains(r.id),
                                       statuses->value(r.id, VehicleStatus::InStorage),
                                       r.value(TowField::towedrelease)));
            sheet.rows.last().append(status);
            sheet.sortKeys.last().append(status);
        }
    }
    if (statuses)
        sheet.columns.append(QStringLiteral("Status"));
    return sheet;
}

std::optional<TowField> RecordSheets::listedField(int column)
{
    static const TowField kFields[] = {TowField::custname, TowField::vehyear,  TowField::vehmake,
                                       TowField::vehmodel, TowField::vehcolor, TowField::toweddate,
                                       TowField::vehtag};
    if (column < 0 || column >= int(std::size(kFields)))
        return std::nullopt;
    return kFields[column];
}

QVariant RecordSheets::fieldKey(int column, const QString &value, const QDate &today,
                               const QLocale &locale)
{
    // The year as a number, the tow date as a day, where they read as such; text otherwise.
    if (column == 1) {
        bool ok = false;
        const double n = value.trimmed().toDouble(&ok);
        return ok ? QVariant(n) : QVariant(value);
    }
    if (column == 5) {
        const auto day = DateText::read(value, locale, today);
        return day ? QVariant(double(day->toJulianDay())) : QVariant(value);
    }
    return value;
}

namespace {

void listedIds(const QList<TowRecord> &records, const QString &groupName, QList<qint64> *rowIds)
{
    if (!rowIds)
        return;
    rowIds->clear();
    for (const TowRecord &r : records)
        if (r.value(TowField::groupname) == groupName)
            rowIds->append(r.id);
}

} // namespace

std::optional<SheetContents> RecordSheets::groupListing(RecordStore &store, const QString &groupName,
                                                       const SettingsFile &settings,
                                                       const QDate &today, const QLocale &locale,
                                                       QList<qint64> *rowIds)
{
    const auto records = store.towRecordsInGroup(groupName);
    if (!records)
        return std::nullopt;
    ImpoundStore impound(store);
    const std::optional<bool> inUse = impound.inUse();
    const auto statuses =
        inUse.value_or(false) ? impound.storedStatuses() : std::optional<QHash<qint64, VehicleStatus>>();
    // A file whose payments cannot be read (an older schema opened to read) has none.
    QHash<qint64, qint64> paid;
    for (const auto &[id, payments] :
         impound.payments().value_or(QHash<qint64, QList<Payment>>()).asKeyValueRange())
        paid.insert(id, ImpoundRules::paidCents(payments));
    listedIds(*records, groupName, rowIds);
    QList<qint64> ids;
    for (const TowRecord &r : *records)
        ids.append(r.id);
    // A large group is read with the rest of the yard: fewer statements.
    const std::optional<PricingBook> book =
        PricingStore(store).book(ids.size() <= kBookByIds ? &ids : nullptr);
    return groupListing(*records, groupName, SettingsFile::snapshot(settings.path()), today,
                        locale, statuses ? &*statuses : nullptr, &paid, book ? &*book : nullptr);
}

std::optional<SheetContents> RecordSheets::groupRows(RecordStore &store, const QString &groupName,
                                                    const QList<qint64> &ids, bool withStatus,
                                                    const SettingsFile &settings,
                                                    const QDate &today, QList<qint64> *rowIds,
                                                    const QLocale &locale)
{
    QList<TowRecord> records;
    QHash<qint64, VehicleStatus> statuses;
    QHash<qint64, qint64> paid;
    ImpoundStore impound(store);
    for (const qint64 id : ids) {
        std::optional<TowRecord> record = store.towRecord(id);
        if (!store.isOpen())
            return std::nullopt;
        if (!record)
            continue; // removed
        const auto state = impound.state(*record);
        if (withStatus && !state)
            return std::nullopt;
        if (state) {
            if (state->kept)
                statuses.insert(id, state->status);
            paid.insert(id, ImpoundRules::paidCents(state->payments));
        }
        records.append(*record);
    }
    listedIds(records, groupName, rowIds);
    const std::optional<PricingBook> book =
        PricingStore(store).book(ids.size() <= kBookByIds ? &ids : nullptr);
    return groupListing(records, groupName, settings, today, locale,
                        withStatus ? &statuses : nullptr, &paid, book ? &*book : nullptr);
}

VehicleSheet RecordSheets::vehicleSheet(const TowRecord &r, const SettingsFile &settings,
                                       const QDate &today, const QLocale &locale,
                                       const ImpoundState *impound, const PricedStay *stay)
{
    VehicleSheet v;
    SheetContents &s = v.sheet;
    s.columns = {QStringLiteral("Field"), QStringLiteral("Value")};
    auto upper = [&r](TowField f) { return r.value(f).toUpper(); };
    const QString blank = QStringLiteral(" ");

    addRow(s, QStringLiteral("Name:"), upper(TowField::custname));
    addRow(s, QStringLiteral("Address:"), upper(TowField::custaddress));
    addRowIfAny(s, blank, upper(TowField::custcity));
    addRowIfAny(s, blank, upper(TowField::custstate));
    addRowIfAny(s, blank, upper(TowField::custzip));

    // The summary figures, from the hidden boxes of the print values.
    PrintSnapshot &p = v.snapshot;
    p.dateTowed = r.value(TowField::toweddate);
    // A blank release date is no release date, as the form saves it.
    p.dateReleased = r.value(TowField::towedrelease).trimmed().isEmpty()
                         ? DateText::shortForm(today, locale)
                         : r.value(TowField::towedrelease);
    p.towFee = r.value(TowField::towedfee);
    v.figures = stay ? ChargeFigures::compute(p.dateTowed, r.value(TowField::towedrelease),
                                              p.towFee, settings, today, *stay, locale)
                     : ChargeFigures::compute(p.dateTowed, p.dateReleased, p.towFee, settings,
                                              today, locale);
    v.label3 = v.figures.daysText();
    v.label5 = v.figures.rateText();
    v.label7 = r.value(TowField::towedfee);
    v.label1 = v.figures.grandTotalText();

    addEmptyRows(s);
    addRow(s, QStringLiteral("Vehicle Year:"), r.value(TowField::vehyear));
    addRow(s, QStringLiteral("Vehicle Make:"), upper(TowField::vehmake));
    addRow(s, QStringLiteral("Vehicle Model:"), upper(TowField::vehmodel));
    addRow(s, QStringLiteral("Vehicle Body:"), upper(TowField::vehstyle));
    addRowIfAny(s, QStringLiteral("Vehicle Vin:"), upper(TowField::vehvin));
    addRow(s, QStringLiteral("Vehicle Tag:"), upper(TowField::vehtag));
    addRow(s, QStringLiteral("Vehicle Color:"), upper(TowField::vehcolor));
    addRowIfAny(s, QStringLiteral("Vehicle Notes:"), upper(TowField::vehnotes));
    addEmptyRows(s);
    addRowIfAny(s, QStringLiteral("Towed From:"), upper(TowField::towedfrom));
    addRowIfAny(s, QStringLiteral("Towed To:"), upper(TowField::towedto));
    addRowIfAny(s, QStringLiteral("Tow Fee:"), r.value(TowField::towedfee));
    addRowIfAny(s, QStringLiteral("Date Towed:"), r.value(TowField::toweddate));
    addRowIfAny(s, QStringLiteral("Time Towed:"), r.value(TowField::Time));
    addRowIfAny(s, QStringLiteral("Date Released:"), r.value(TowField::towedrelease));
    addEmptyRows(s);
    static const char *const kChargeLabels[8] = {
        "Hookup:",     "Type:",         "Mileage:",         "Recovery:",
        "Tow Reason:", "Standby Time:", "Roadway Cleanup:", "Other Charges:"};
    for (int i = 0; i < 8; ++i)
        addRowIfAny(s, QString::fromLatin1(kChargeLabels[i]),
                    r.value(TowField(int(TowField::cost1) + i)));
    addEmptyRows(s);
    addRow(s, QStringLiteral("Days In Storage:"), v.figures.daysText());
    addRow(s, QStringLiteral("Total Storage:"), v.figures.storageText());
    if (v.figures.planName != PricingPlan::standardName() || !v.figures.fees.isEmpty()) {
        const auto money = [](qint64 cents) { return MoneyFormat(cents / 100.0, kMoneyDollar); };
        addRow(s, QStringLiteral("Pricing Plan:"),
               v.figures.planName
                   + (v.figures.periods ? QStringLiteral(", 24-hour periods") : QString()));
        for (const BillLine &line : v.figures.storageLines)
            addRow(s, line.label + u':',
                   QStringLiteral("%1 x %2 = %3")
                       .arg(line.units)
                       .arg(money(line.rateCents), money(line.cents)));
        for (const BillLine &fee : v.figures.fees)
            addRow(s, fee.label + u':', money(fee.cents));
    }
    // A figure that is 0 for a reason the record does not show says so.
    addRowIfAny(s, QStringLiteral("Note:"), v.figures.note);
    if (impound && (impound->kept || !impound->payments.isEmpty())) {
        auto day = [&locale](const QDate &date) { return DateText::shortForm(date, locale); };
        addEmptyRows(s);
        addRow(s, QStringLiteral("Status:"), ImpoundRules::statusText(impound->status));
        if (const Hold *hold = impound->activeHold()) {
            addRow(s, QStringLiteral("Hold Reason:"), hold->reason);
            addRowIfAny(s, QStringLiteral("Hold Agency:"), hold->agency);
            addRowIfAny(s, QStringLiteral("Case Number:"), hold->caseNumber);
            addRowIfAny(s, QStringLiteral("Release By:"), hold->releaseBy);
            addRow(s, QStringLiteral("Hold Placed:"), day(hold->placedOn));
        } else if (!impound->holds.isEmpty()) {
            const Hold &last = impound->holds.last();
            addRow(s, QStringLiteral("Hold Cleared:"),
                   last.clearedBy + QStringLiteral(" on ") + day(last.clearedOn));
        }
        if (impound->release) {
            const Release &release = *impound->release;
            addRow(s, QStringLiteral("Released To:"), release.releasedTo);
            addRowIfAny(s, QStringLiteral("ID:"),
                        (release.idType + u' ' + release.idNumber).trimmed());
            addRow(s, QStringLiteral("Released At:"),
                   (day(release.date) + u' ' + release.time.toString(QStringLiteral("HH:mm")))
                       .trimmed());
        }
        if (!impound->payments.isEmpty() || impound->release) {
            const qint64 paid = ImpoundRules::paidCents(impound->payments);
            addRow(s, QStringLiteral("Paid:"), ImpoundRules::centsText(paid));
            addRow(s, QStringLiteral("Balance Due:"),
                   ImpoundRules::balanceText(ImpoundRules::balanceCents(v.figures, paid)));
        }
    }

    static const TowField kSlots[25] = {
        TowField::custname,  TowField::custaddress, TowField::custcity, TowField::custstate,
        TowField::custzip,   TowField::vehtag,      TowField::vehyear,  TowField::vehmake,
        TowField::vehmodel,  TowField::vehcolor,    TowField::vehstyle, TowField::vehvin,
        TowField::towedfrom, TowField::towedto,     TowField::towedfee, TowField::cost1,
        TowField::cost2,     TowField::cost3,       TowField::cost4,    TowField::cost5,
        TowField::cost6,     TowField::cost7,       TowField::cost8,    TowField::milestart,
        TowField::milestop};
    for (size_t i = 0; i < p.txtprint.size(); ++i)
        p.txtprint[i] = r.value(kSlots[i]);
    p.customerName = r.value(TowField::custname);
    p.storageDays = v.label3;
    p.storageRate = v.label5;
    p.grandTotal = v.label1;
    p.recordId = r.id;
    p.phone = r.value(TowField::custphone);
    p.dailyRate = v.figures.rate;
    p.storageCharge = v.figures.storage;
    p.tax = v.figures.tax;
    p.total = v.figures.grandTotal;
    p.chargeLines = v.figures.chargeLines(r.value(TowField::towedfee)).join(u'\n');
    p.hasRecord = true;
    return v;
}

std::optional<VehicleSheet> RecordSheets::vehicleSheet(RecordStore &store, const QString &idText,
                                                      const SettingsFile &settings,
                                                      const QDate &today, const QLocale &locale)
{
    const double id = LeadingNumber(idText);
    if (id != std::floor(id) || std::fabs(id) > 9.0e18)
        return std::nullopt;
    const std::optional<TowRecord> record = store.towRecord(qint64(id));
    if (!record)
        return std::nullopt;
    // A vehicle whose impound or pricing cannot be read shows its record as before.
    const std::optional<ImpoundState> impound = ImpoundStore(store).state(*record);
    const std::optional<PricedStay> stay =
        PricingStore(store).stayOf(*record, QTime::currentTime());
    return vehicleSheet(*record, settings, today, locale, impound ? &*impound : nullptr,
                        stay ? &*stay : nullptr);
}

int RecordSheets::twipsToPixels(int twips, int dotsPerInch)
{
    return int(std::lround(double(twips) * dotsPerInch / 1440.0));
}

QList<int> RecordSheets::columnWidths(const SheetContents &contents, const QFontMetrics &metrics,
                                     int dotsPerInch)
{
    QList<int> widths;
    const int extra = twipsToPixels(300, dotsPerInch);
    for (qsizetype c = 0; c < contents.columns.size(); ++c) {
        if (c == 0) {
            widths.append(-1);
            continue;
        }
        QString longest;
        for (const QStringList &row : contents.rows) {
            const QString text = c < row.size() ? row.at(c) : QString();
            if (text.size() > longest.size())
                longest = text;
        }
        widths.append(metrics.horizontalAdvance(longest) + extra);
    }
    return widths;
}

} // namespace tarnvale
