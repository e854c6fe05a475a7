// A small business of tow records for the search tests.
#pragma once

#include <QString>
#include <QStringList>

#include "RecordStore.h"
#include "TestFolder.h"
#include "TowRecord.h"

namespace tarnvale::test {

struct SampleVehicle
{
    const char16_t *name;
    const char16_t *city;
    const char16_t *year;
    const char16_t *make;
    const char16_t *model;
    const char16_t *style;
    const char16_t *color;
    const char16_t *vin;
    const char16_t *group;
};

// Written in this order, so their ids are 1, 2, 3, ...
inline const QList<SampleVehicle> &sampleVehicles()
{
    static const QList<SampleVehicle> vehicles = {
        {u"Ann Lee", u"Springfield", u"2004", u"Ford", u"Taurus", u"Sedan", u"Red", u"VINANN",
         u"Lot 1"},
        {u"Joann Smith", u"Riverton", u"1999", u"Honda", u"Civic", u"Coupe", u"Blue", u"VINJOANN",
         u"Lot 1"},
        {u"Anne Marie", u"Salem", u"2015", u"", u"Camry", u"SUV", u"Ann Blue", u"VINANNE",
         u"Lot 2"},
        {u"ANN BROWN", u"Ann Arbor", u"2020", u"Toyota", u"Corolla", u"", u"White", u"VINBROWN",
         u"lot 1"},
        {u"Bob Stone", u"Fairview", u"1988", u"Ford", u"F-150", u"Pickup", u"Black", u"VINBOB",
         u""},
        {u"Ren\u00E9e \u00C5ngstr\u00F6m", u"Malm\u00F6", u"2011", u"Volvo", u"V70", u"Wagon",
         u"Silver", u"VINRENEE", u"Police Hold"},
        {u"Carl Ford", u"Madison", u"2001", u"Dodge", u"Ram", u"Pickup", u"Green", u"VINCARL",
         u" Lot 1"},
    };
    return vehicles;
}

inline TowRecord sampleRecord(const SampleVehicle &v)
{
    TowRecord r;
    r.set(TowField::custname, QString::fromUtf16(v.name));
    r.set(TowField::custaddress, QStringLiteral("12 Main St"));
    r.set(TowField::custcity, QString::fromUtf16(v.city));
    r.set(TowField::custstate, QStringLiteral("OH"));
    r.set(TowField::custzip, QStringLiteral("45501"));
    r.set(TowField::custphone, QStringLiteral("555-0100 Ann"));
    r.set(TowField::vehyear, QString::fromUtf16(v.year));
    r.set(TowField::vehmake, QString::fromUtf16(v.make));
    r.set(TowField::vehmodel, QString::fromUtf16(v.model));
    r.set(TowField::vehstyle, QString::fromUtf16(v.style));
    r.set(TowField::vehcolor, QString::fromUtf16(v.color));
    r.set(TowField::vehvin, QString::fromUtf16(v.vin));
    r.set(TowField::vehtag, QString::fromUtf16(v.vin).mid(3) + QStringLiteral("-") +
                                QString::fromUtf16(v.year));
    r.set(TowField::vehnotes, QStringLiteral("Ann called twice"));
    r.set(TowField::groupname, QString::fromUtf16(v.group));
    return r;
}

// Groups "Lot 1", "Lot 2", "lot 1", "Police Hold" and the sample vehicles; false on failure.
inline bool fillSampleStore(RecordStore &store)
{
    for (const char16_t *name : {u"Lot 1", u"Lot 2", u"lot 1", u"Police Hold"}) {
        if (!store.addGroup(QString::fromUtf16(name)))
            return false;
    }
    for (const SampleVehicle &v : sampleVehicles()) {
        if (!store.addTowRecord(sampleRecord(v)))
            return false;
    }
    return true;
}

// A store in a fresh folder, opened (created) on construction.
struct SearchStore
{
    TestFolder folder;
    RecordStore store;
    bool opened = store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing);
};

} // namespace tarnvale::test
