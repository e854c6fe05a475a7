// One row of table wrecker: a towed vehicle. Every field is text, exactly as typed.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>

namespace tarnvale {

// The fields of table wrecker in the order a new record is written.
enum class TowField {
    custname, custaddress, custcity, custstate, custzip, custphone,
    vehyear, vehmake, vehmodel, vehstyle, vehcolor, vehtag, vehvin, vehnotes,
    towedfee, towedfrom, towedto, toweddate, towedrelease, groupname,
    cost1, cost2, cost3, cost4, cost5, cost6, cost7, cost8, total,
    Hookup, Type, milestart, milestop, Recovery, reason, idletime, other, Time,
};
inline constexpr int kTowFieldCount = int(TowField::Time) + 1;

struct TowRecord
{
    qint64 id = 0; // engine-assigned; 0 for a record not stored yet
    std::array<QString, kTowFieldCount> values;
    // How many times the stored row had been saved when this copy was read: a save that finds
    // another number refuses to overwrite what someone else saved meanwhile. Not content:
    // equality ignores it.
    qint64 version = 0;

    const QString &value(TowField field) const { return values[size_t(field)]; }
    void set(TowField field, const QString &text) { values[size_t(field)] = text; }

    // Field by name without regard to case ("GROUPNAME", "hookup", "ID"); "" for an unknown name.
    QString field(QStringView name) const;
    // False for an unknown name (and for id, which the engine assigns).
    bool setField(QStringView name, const QString &text);

    // The field's name as written ("Hookup", "vehmake", ...).
    static QString fieldName(TowField field);
    // Looks a field up by name without regard to case.
    static bool fieldByName(QStringView name, TowField *field);

    friend bool operator==(const TowRecord &a, const TowRecord &b)
    {
        return a.id == b.id && a.values == b.values;
    }
};

// One row of table groups.
struct GroupRecord
{
    qint64 id = 0; // GROUPID
    QString name;  // GROUPNAME

    friend bool operator==(const GroupRecord &, const GroupRecord &) = default;
};

// The columns of a tow record that the group tree needs, as UTF-8 bytes valid only for the
// duration of the visit.
struct VehicleBrief
{
    qint64 id = 0;
    QByteArrayView groupname;
    QByteArrayView vehyear;
    QByteArrayView vehmake;
    QByteArrayView vehmodel;
    QByteArrayView vehcolor;
};

} // namespace tarnvale
