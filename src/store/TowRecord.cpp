#include "TowRecord.h"

namespace tarnvale {

namespace {

constexpr std::array<const char16_t *, kTowFieldCount> kNames = {
    u"custname", u"custaddress", u"custcity", u"custstate", u"custzip", u"custphone",
    u"vehyear", u"vehmake", u"vehmodel", u"vehstyle", u"vehcolor", u"vehtag", u"vehvin",
    u"vehnotes", u"towedfee", u"towedfrom", u"towedto", u"toweddate", u"towedrelease",
    u"groupname", u"cost1", u"cost2", u"cost3", u"cost4", u"cost5", u"cost6", u"cost7",
    u"cost8", u"total", u"Hookup", u"Type", u"milestart", u"milestop", u"Recovery", u"reason",
    u"idletime", u"other", u"Time"};

} // namespace

QString TowRecord::fieldName(TowField field)
{
    return QString::fromUtf16(kNames[size_t(field)]);
}

bool TowRecord::fieldByName(QStringView name, TowField *field)
{
    for (int i = 0; i < kTowFieldCount; ++i) {
        if (name.compare(QStringView(kNames[size_t(i)]), Qt::CaseInsensitive) == 0) {
            *field = TowField(i);
            return true;
        }
    }
    return false;
}

QString TowRecord::field(QStringView name) const
{
    if (name.compare(u"id", Qt::CaseInsensitive) == 0)
        return QString::number(id);
    TowField f;
    return fieldByName(name, &f) ? value(f) : QString();
}

bool TowRecord::setField(QStringView name, const QString &text)
{
    TowField f;
    if (!fieldByName(name, &f))
        return false;
    set(f, text);
    return true;
}

} // namespace tarnvale
