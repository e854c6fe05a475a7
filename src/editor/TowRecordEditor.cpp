#include "TowRecordEditor.h"

#include <QSqlQuery>
#include <QVariant>

#include "DateText.h"
#include "Dialogs.h"
#include "IsValidVin.h"
#include "ModDatabase.h"
#include "SettingsFile.h"

namespace tarnvale {

TowRecordEditor::TowRecordEditor(ModDatabase &database, const SettingsFile &settings,
                                 Dialogs &dialogs)
    : m_database(database), m_settings(settings), m_dialogs(dialogs)
{
}

QStringList TowRecordEditor::LoadGroupList()
{
    QStringList list;
    if (!m_database.store().isOpen()) {
        // The database could not be opened, which has been reported once already.
        list << kNone.toString();
        return list;
    }
    const auto groups = m_database.store().groups();
    if (!groups) {
        m_database.ReportUnknownError(m_database.store().lastError());
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
    return neighbour(id, false);
}

std::optional<TowRecord> TowRecordEditor::next(qint64 id)
{
    return neighbour(id, true);
}

std::optional<TowRecord> TowRecordEditor::neighbour(qint64 id, bool forward)
{
    QSqlQuery query(m_database.store().database());
    query.setForwardOnly(true);
    query.prepare(
        forward ? QStringLiteral("SELECT id FROM wrecker WHERE id > ? ORDER BY id LIMIT 1")
                : QStringLiteral("SELECT id FROM wrecker WHERE id < ? ORDER BY id DESC LIMIT 1"));
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return m_database.store().towRecord(query.value(0).toLongLong());
}

TowRecordEditor::Outcome TowRecordEditor::add(TowRecord &record, const QString &groupBoxText,
                                              const QDate &today)
{
    record.set(TowField::groupname, groupNameFromBox(groupBoxText));
    if (record.value(TowField::vehyear).isEmpty())
        return Outcome::YearMissing;
    if (record.value(TowField::toweddate).isEmpty())
        record.set(TowField::toweddate, DateText::shortForm(today));

    RecordStore &store = m_database.store();
    const std::optional<qint64> id = store.addTowRecord(record);
    if (!id) {
        m_database.ReportUnknownError(store.lastError());
        return Outcome::Failed;
    }
    record.id = *id;
    m_database.refresh();
    return Outcome::Saved;
}

TowRecordEditor::Outcome TowRecordEditor::apply(TowRecord &record, const QString &groupBoxText)
{
    QString group = groupNameFromBox(groupBoxText);
    if (!isNone(groupBoxText)) {
        if (!m_database.GroupExists(group)) {
            const QString text =
                QStringLiteral("The group '") + group +
                QStringLiteral("' does not exist, Would you like to create it now?");
            if (m_dialogs.ask(QStringLiteral("Could not find group"), text,
                              MessageIcon::Exclamation) == Answer::Yes) {
                // A group that could not be created has been reported; the record waits.
                if (m_database.AddGroup(group) != 1)
                    return Outcome::Failed;
            } else {
                group.clear();
            }
        }
    }
    record.set(TowField::groupname, group);

    RecordStore &store = m_database.store();
    if (!store.updateTowRecord(record)) {
        m_database.ReportUnknownError(store.lastError());
        return Outcome::Failed;
    }
    m_database.refresh();
    return Outcome::Saved;
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
