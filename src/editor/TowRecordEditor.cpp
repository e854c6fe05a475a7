#include "TowRecordEditor.h"

#include <QVariant>

#include "CalculateTotal.h"
#include "DateText.h"
#include "Dialogs.h"
#include "IsValidVin.h"
#include "LeadingNumber.h"
#include "DatabaseCommands.h"
#include "RecordStore.h"
#include "SettingsFile.h"

namespace tarnvale {

TowRecordEditor::TowRecordEditor(RecordStore &store, DatabaseCommands &database,
                                 const SettingsFile &settings, Dialogs &dialogs)
    : m_store(store), m_database(database), m_settings(settings), m_dialogs(dialogs)
{
}

QStringList TowRecordEditor::groupChoices()
{
    QStringList list;
    if (!m_store.isOpen()) {
        // The database could not be opened, which has been reported once already.
        list << kNone.toString();
        return list;
    }
    const auto groups = m_store.groups();
    if (!groups) {
        m_database.ReportUnknownError(m_store.lastError());
        return list;
    }
    for (const GroupRecord &group : *groups)
        list << group.name;
    list << kNone.toString();
    return list;
}

namespace {

bool isNone(const QString &boxText)
{
    return boxText.trimmed().toLower() == QLatin1String("<none>");
}

} // namespace

QString TowRecordEditor::groupNameFromBox(const QString &boxText)
{
    return isNone(boxText) ? QString() : boxText;
}

std::optional<TowRecord> TowRecordEditor::find(const QString &idText)
{
    return m_database.FindVehicleById(idText);
}

std::optional<TowRecord> TowRecordEditor::previous(qint64 id)
{
    return m_store.neighbour(id, RecordStore::Direction::Previous);
}

std::optional<TowRecord> TowRecordEditor::next(qint64 id)
{
    return m_store.neighbour(id, RecordStore::Direction::Next);
}

QString TowRecordEditor::chargeCaption(int index)
{
    static const char *const kCaptions[8] = {"Towing Hookup",   "Type",       "Mileage",
                                             "Recovery",        "Tow Reason", "Standby Time",
                                             "Roadway Cleanup", "Other"};
    return index >= 0 && index < 8 ? QString::fromLatin1(kCaptions[index]) : QString();
}

bool TowRecordEditor::refuse(TowField field, const QString &message)
{
    m_problem = field;
    m_dialogs.notify(m_settings.companyName(), message, MessageIcon::Exclamation);
    return false;
}

bool TowRecordEditor::checkDates(const TowRecord &record, const QDate &today)
{
    const std::pair<TowField, const char *> boxes[] = {{TowField::toweddate, "Date Towed:"},
                                                       {TowField::towedrelease, "Date Released:"}};
    std::optional<QDate> dates[2];
    for (size_t i = 0; i < 2; ++i) {
        const QString text = record.value(boxes[i].first);
        if (text.trimmed().isEmpty())
            continue; // no date given
        dates[i] = DateText::read(text, QLocale(), today);
        if (!dates[i])
            return refuse(
                boxes[i].first,
                QStringLiteral("The \"%1\" box holds \"%2\", which is not a date. "
                               "Type a date such as %3.")
                    .arg(QString::fromLatin1(boxes[i].second), text, DateText::shortForm(today)));
        if (!DateText::yearAllowed(*dates[i], today))
            return refuse(boxes[i].first,
                          QStringLiteral("The \"%1\" box holds \"%2\", a date in the year %3. "
                                         "Type a date from %4 to %5, such as %6.")
                              .arg(QString::fromLatin1(boxes[i].second), text)
                              .arg(dates[i]->year())
                              .arg(DateText::kFirstYear)
                              .arg(DateText::lastYear(today))
                              .arg(DateText::shortForm(today)));
    }
    if (dates[0] && dates[1] && *dates[1] < *dates[0])
        return refuse(
            TowField::towedrelease,
            QStringLiteral("The vehicle cannot be released (%1) before it was towed "
                           "(%2). Correct \"Date Released:\" or \"Date Towed:\".")
                .arg(record.value(TowField::towedrelease), record.value(TowField::toweddate)));
    return true;
}

bool TowRecordEditor::checkCharges(TowRecord &record)
{
    std::array<QString, 8> costs;
    for (size_t i = 0; i < 8; ++i)
        costs[i] = record.value(TowField(int(TowField::cost1) + int(i)));

    const QList<int> unread = UnreadCharges(costs);
    if (!unread.isEmpty()) {
        QStringList lines;
        for (int i : unread)
            lines << QStringLiteral("\"%1\" holds \"%2\", which counts as %3.")
                         .arg(chargeCaption(i), costs[size_t(i)],
                              QString::number(LeadingNumber(costs[size_t(i)]), 'f', 2));
        const QString text = QStringLiteral("These charges are not plain amounts:") +
                             QString::fromUtf16(kCrLf) + lines.join(QString::fromUtf16(kCrLf)) +
                             QString::fromUtf16(kCrLf) + QString::fromUtf16(kCrLf) +
                             QStringLiteral("Save them counted like this?");
        if (m_dialogs.ask(m_settings.companyName(), text, MessageIcon::Exclamation) !=
            Answer::Yes) {
            m_problem = TowField(int(TowField::cost1) + unread.first());
            return false;
        }
    }

    const std::optional<ChargeTotal> total = CalculateTotal(costs);
    if (!total)
        return refuse(TowField::cost1, QStringLiteral("The charges are too large to add up."));
    if (total->sum < 0)
        return refuse(TowField::cost1,
                      QStringLiteral("The charges add up to %1: a tow fee cannot be below zero.")
                          .arg(total->towedFee));
    record.set(TowField::total, total->total);
    record.set(TowField::towedfee, total->towedFee);
    return true;
}

std::optional<TowRecordEditor::GroupChoice>
TowRecordEditor::resolveGroup(const QString &groupBoxText)
{
    const QString group = groupNameFromBox(groupBoxText);
    if (group.isEmpty())
        return GroupChoice{};
    // A group that cannot be looked up is never taken for one that does not exist.
    const std::optional<bool> exists = m_store.hasGroup(group);
    if (!exists) {
        reportSaveFailure(m_store.lastError());
        return std::nullopt;
    }
    if (*exists)
        return GroupChoice{group, RecordStore::GroupCheck::MustExist};
    if (group.trimmed().isEmpty())
        return GroupChoice{}; // blanks name no group
    const QString text = QStringLiteral("The group '") + group +
                         QStringLiteral("' does not exist, Would you like to create it now?");
    if (m_dialogs.ask(QStringLiteral("Could not find group"), text, MessageIcon::Exclamation) !=
        Answer::Yes)
        return GroupChoice{};
    // Made by the save itself, in the record's transaction: a save that fails makes nothing.
    return GroupChoice{group, RecordStore::GroupCheck::Create};
}

bool TowRecordEditor::connected()
{
    if (!m_store.connectionLost() || m_store.reconnect())
        return true;
    reportSaveFailure(m_store.lastError());
    return false;
}

bool TowRecordEditor::saveAsNewAsked()
{
    const QString text =
        QStringLiteral("This vehicle was removed on another workstation after you opened it.") +
        QString::fromUtf16(kCrLf) + QString::fromUtf16(kCrLf) +
        QStringLiteral("Save what you typed as a new record? No goes back to the form without "
                       "saving.");
    return m_dialogs.ask(m_settings.companyName(), text, MessageIcon::Exclamation) == Answer::Yes;
}

TowRecordEditor::Outcome TowRecordEditor::addRecord(TowRecord &record, const GroupChoice &group)
{
    record.set(TowField::groupname, group.name);
    const std::optional<qint64> id = m_store.addTowRecord(record, group.check, pricingWrite());
    if (!id) {
        reportSaveFailure(m_store.lastError());
        return Outcome::Failed;
    }
    record.id = *id;
    record.version = 0;
    return Outcome::Saved;
}

RecordStore::AlsoWrite TowRecordEditor::pricingWrite()
{
    m_pricingRefused = false;
    if (!m_pricing)
        return {};
    return [this](qint64 id) -> std::optional<DbError> {
        PricingStore pricing(m_store);
        QSqlDatabase db = m_store.database();
        switch (pricing.writeVehiclePricing(db, id, *m_pricing)) {
        case PricingStore::Result::Done:
            return std::nullopt;
        case PricingStore::Result::Refused:
            m_pricingRefused = true;
            return DbError{1, pricing.refusal()};
        default:
            return pricing.lastError();
        }
    };
}

TowRecordEditor::Outcome TowRecordEditor::add(TowRecord &record, const QString &groupBoxText,
                                              const QDate &today)
{
    m_problem.reset();
    m_pricingRefused = false;
    if (record.value(TowField::vehyear).isEmpty()) {
        m_problem = TowField::vehyear;
        return Outcome::YearMissing;
    }
    if (record.value(TowField::toweddate).trimmed().isEmpty())
        record.set(TowField::toweddate, DateText::shortForm(today));
    if (!checkDates(record, today) || !checkCharges(record) || !connected())
        return Outcome::Failed;
    const std::optional<GroupChoice> group = resolveGroup(groupBoxText);
    if (!group)
        return Outcome::Failed;
    return addRecord(record, *group);
}

TowRecordEditor::Outcome TowRecordEditor::apply(TowRecord &record, const QString &groupBoxText,
                                                const QDate &today)
{
    m_problem.reset();
    m_pricingRefused = false;
    if (!checkDates(record, today) || !checkCharges(record) || !connected())
        return Outcome::Failed;
    // A record removed meanwhile is said first, before any question about its group.
    if (!m_store.towRecord(record.id)) {
        if (m_store.lastError().isError()) {
            reportSaveFailure(m_store.lastError());
            return Outcome::Failed;
        }
        if (!saveAsNewAsked())
            return Outcome::Failed;
        const std::optional<GroupChoice> group = resolveGroup(groupBoxText);
        return group ? addRecord(record, *group) : Outcome::Failed;
    }
    const std::optional<GroupChoice> group = resolveGroup(groupBoxText);
    if (!group)
        return Outcome::Failed;
    record.set(TowField::groupname, group->name);

    while (!m_store.updateTowRecord(record, group->check, pricingWrite())) {
        if (m_store.lastError().number == DbError::kNoCurrentRow)
            return saveAsNewAsked() ? addRecord(record, *group) : Outcome::Failed;
        if (m_store.lastError().number != DbError::kChangedElsewhere) {
            reportSaveFailure(m_store.lastError());
            return Outcome::Failed;
        }
        const std::optional<TowRecord> theirs = m_store.towRecord(record.id);
        if (!theirs) { // removed after it was saved elsewhere
            if (m_store.lastError().isError()) {
                reportSaveFailure(m_store.lastError());
                return Outcome::Failed;
            }
            return saveAsNewAsked() ? addRecord(record, *group) : Outcome::Failed;
        }
        const QString text =
            QStringLiteral("Another user saved this vehicle after you opened it (now: %1 %2 %3, "
                           "%4).")
                .arg(theirs->value(TowField::vehyear), theirs->value(TowField::vehmake),
                     theirs->value(TowField::vehmodel), theirs->value(TowField::custname)) +
            QString::fromUtf16(kCrLf) + QString::fromUtf16(kCrLf) +
            QStringLiteral("Yes: show their version (your changes are dropped).") +
            QString::fromUtf16(kCrLf) +
            QStringLiteral("No: keep mine (your version is saved over theirs).") +
            QString::fromUtf16(kCrLf) +
            QStringLiteral("Cancel: go back to your changes without saving.");
        switch (
            m_dialogs.askYesNoCancel(m_settings.companyName(), text, MessageIcon::Exclamation)) {
        case Answer::Yes:
            record = *theirs;
            return Outcome::Reloaded;
        case Answer::No:
            // Over the version just shown; a save elsewhere in between asks again.
            record.version = theirs->version;
            break;
        default:
            return Outcome::Failed;
        }
    }
    ++record.version;
    return Outcome::Saved;
}

void TowRecordEditor::reportSaveFailure(const DbError &error)
{
    if (m_pricingRefused) {
        m_dialogs.notify(m_settings.companyName(),
                         error.description + QString::fromUtf16(kCrLf) +
                             QString::fromUtf16(kCrLf) +
                             QStringLiteral("Nothing was saved. Choose another plan."),
                         MessageIcon::Exclamation);
        return;
    }
    if (error.number == DbError::kConnectionLost || error.number == DbError::kBusy) {
        m_database.ReportUnknownError(DbError{
            error.number, error.description + QString::fromUtf16(kCrLf) +
                              QString::fromUtf16(kCrLf) +
                              (error.number == DbError::kBusy
                                   ? QStringLiteral("What you typed is kept in the form.")
                                   : QStringLiteral("Nothing was saved; what you typed is kept "
                                                    "in the form."))});
        return;
    }
    if (error.number != DbError::kGroupGone) {
        m_database.ReportUnknownError(error);
        return;
    }
    refuse(TowField::groupname, error.description + QString::fromUtf16(kCrLf) +
                                    QString::fromUtf16(kCrLf) +
                                    QStringLiteral("Nothing was saved. Choose another group, or "
                                                   "type the name again to create it."));
}

bool TowRecordEditor::checkVin(const QString &boxText)
{
    const QString vin = boxText.toUpper().trimmed();
    const QString title = m_settings.companyName();
    if (IsValidVin(vin)) {
        m_dialogs.notify(title, QStringLiteral("Vehicle VIN Number entered is valid."),
                         MessageIcon::Exclamation);
        return true;
    }
    m_dialogs.notify(title,
                     QStringLiteral("Vehicle VIN Number entered is not valid -") +
                         QString::fromUtf16(kCrLf) + QStringLiteral(" Check Digit is Invalid."),
                     MessageIcon::Critical);
    return false;
}

} // namespace tarnvale
