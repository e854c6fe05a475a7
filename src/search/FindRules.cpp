#include "FindRules.h"

#include <QStringList>
#include <QVarLengthArray>

namespace tarnvale {

namespace {

struct KeyEntry
{
    const char16_t *key;
    QList<TowField> fields;
};

const QList<KeyEntry> &keyTable()
{
    using F = TowField;
    static const QList<KeyEntry> table = {
        {u"<All>",
         {F::custname, F::custaddress, F::custcity, F::custstate, F::custzip, F::vehcolor,
          F::vehyear, F::vehmake, F::vehmodel, F::vehstyle}},
        {u"Name", {F::custname}},
        {u"full name", {F::custname}},
        {u"Address", {F::custaddress}},
        {u"customer address", {F::custaddress}},
        {u"City", {F::custcity}},
        {u"State", {F::custstate}},
        {u"Zip", {F::custzip}},
        {u"zip code", {F::custzip}},
        {u"Vehicle Year", {F::vehyear}},
        {u"Vehicle Make", {F::vehmake}},
        {u"Vehicle Model", {F::vehmodel}},
        {u"Vehicle Color", {F::vehcolor}},
        {u"Vehicle Body", {F::vehstyle}},
        {u"groupname", {F::groupname}},
        {u"Vehicle Tag", {F::vehtag}},
        {u"Plate", {F::vehtag}},
        {u"Vehicle Vin", {F::vehvin}},
        {u"VIN", {F::vehvin}},
        {u"Phone", {F::custphone}},
    };
    return table;
}

} // namespace

MatchMode FindRules::matchMode(bool wholeWord, bool matchCase)
{
    if (wholeWord)
        return matchCase ? MatchMode::WholeWordMatchCase : MatchMode::WholeWord;
    return matchCase ? MatchMode::MatchCase : MatchMode::AnyCase;
}

bool FindRules::keepsCase(MatchMode mode)
{
    return mode == MatchMode::MatchCase || mode == MatchMode::WholeWordMatchCase;
}

bool FindRules::isWholeWord(MatchMode mode)
{
    return mode == MatchMode::WholeWord || mode == MatchMode::WholeWordMatchCase;
}

std::optional<QList<TowField>> FindRules::fieldsForKey(QStringView key)
{
    const QStringView trimmed = key.trimmed();
    for (const KeyEntry &entry : keyTable()) {
        if (trimmed.compare(QStringView(entry.key), Qt::CaseInsensitive) == 0)
            return entry.fields;
    }
    return std::nullopt;
}

QStringList FindRules::fieldKeys()
{
    return {QStringLiteral("<All>"),         QStringLiteral("Name"),
            QStringLiteral("Address"),       QStringLiteral("City"),
            QStringLiteral("State"),         QStringLiteral("Zip"),
            QStringLiteral("Vehicle Year"),  QStringLiteral("Vehicle Make"),
            QStringLiteral("Vehicle Model"), QStringLiteral("Vehicle Color"),
            QStringLiteral("Vehicle Body"),  QStringLiteral("Vehicle Tag"),
            QStringLiteral("Vehicle Vin"),   QStringLiteral("Phone")};
}

QString FindRules::outcomeText(qsizetype found, const QString &groupText)
{
    const GroupFilter filter = groupFilter(groupText);
    QString where;
    if (filter.all)
        where = found == 0 ? QStringLiteral("in any group") : QStringLiteral("in all groups");
    else if (filter.name.isEmpty())
        where = QStringLiteral("among vehicles without a group");
    else
        where = QStringLiteral("in group \"%1\"").arg(filter.name);
    if (found == 0)
        return QStringLiteral("Nothing found ") + where + u'.';
    const QString what = found == 1 ? QStringLiteral("vehicle") : QStringLiteral("vehicles");
    return QStringLiteral("%1 %2 found ").arg(found).arg(what) + where +
           QStringLiteral(": see the Results tab.");
}

GroupFilter FindRules::groupFilter(const QString &groupText)
{
    const QString lowered = groupText.trimmed().toLower();
    if (lowered == QLatin1String("<all>") || lowered == QLatin1String("*"))
        return GroupFilter{true, {}};
    if (lowered == QLatin1String("<none>"))
        return GroupFilter{false, QString()};
    return GroupFilter{false, groupText};
}

QString FindRules::prepared(QStringView text, MatchMode mode)
{
    return keepsCase(mode) ? text.toString() : text.toString().toLower();
}

bool FindRules::matchesPrepared(QStringView text, QStringView find, bool wholeWord)
{
    if (text.isEmpty() || find.isEmpty())
        return false;
    const qsizetype at = text.indexOf(find);
    if (at < 0)
        return false;
    if (!wholeWord)
        return true;
    const qsizetype after = at + find.size();
    const bool blankBefore = at == 0 || text.at(at - 1) == u' ';
    const bool blankAfter = after >= text.size() || text.at(after) == u' ';
    return blankBefore && blankAfter;
}

bool FindRules::matches(QStringView text, QStringView find, MatchMode mode)
{
    if (text.isEmpty() || find.isEmpty())
        return false;
    return matchesPrepared(prepared(text, mode), prepared(find, mode), isWholeWord(mode));
}

} // namespace tarnvale
