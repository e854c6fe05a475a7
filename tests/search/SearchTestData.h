// A small business of tow records for the search tests.
#pragma once

#include <QString>
#include <QStringList>

#include "RecordStore.h"
#include "StoreFolder.h"
#include "TowRecord.h"

namespace tarnvale::test {

// Name, city, year, make, model, body, color, VIN and group of each sample vehicle; written
// in this order, so their ids are 1, 2, 3, ...
inline const QStringList &sampleVehicles()
{
    static const QStringList vehicles = {
        "Ann Lee|Springfield|2004|Ford|Taurus|Sedan|Red|VINANN|Lot 1",
        "Joann Smith|Riverton|1999|Honda|Civic|Coupe|Blue|VINJOANN|Lot 1",
        "Anne Marie|Salem|2015||Camry|SUV|Ann Blue|VINANNE|Lot 2",
        "ANN BROWN|Ann Arbor|2020|Toyota|Corolla||White|VINBROWN|lot 1",
        "Bob Stone|Fairview|1988|Ford|F-150|Pickup|Black|VINBOB|",
        QString::fromUtf16(u"Ren\u00E9e \u00C5ngstr\u00F6m|Malm\u00F6|2011|Volvo|V70|Wagon|"
                           u"Silver|VINRENEE|Police Hold"),
        "Carl Ford|Madison|2001|Dodge|Ram|Pickup|Green|VINCARL| Lot 1",
    };
    return vehicles;
}

// The sample vehicle at index, with the fields every vehicle shares.
inline TowRecord sampleRecord(int index)
{
    using F = TowField;
    const QStringList v = sampleVehicles().at(index).split(u'|');
    TowRecord r;
    const F fields[] = {F::custname, F::custcity, F::vehyear, F::vehmake,  F::vehmodel,
                        F::vehstyle, F::vehcolor, F::vehvin,  F::groupname};
    for (int i = 0; i < v.size(); ++i)
        r.set(fields[i], v[i]);
    r.set(F::custaddress, QStringLiteral("12 Main St"));
    r.set(F::custstate, QStringLiteral("OH"));
    r.set(F::custzip, QStringLiteral("45501"));
    r.set(F::custphone, QStringLiteral("555-0100 Ann"));
    r.set(F::vehtag, v[7].mid(3) + u'-' + v[2]);
    r.set(F::vehnotes, QStringLiteral("Ann called twice"));
    return r;
}

// Groups "Lot 1", "Lot 2", "lot 1", "Police Hold" and the sample vehicles; false on failure.
inline bool fillSampleStore(RecordStore &store)
{
    for (const char *name : {"Lot 1", "Lot 2", "lot 1", "Police Hold"})
        if (!store.addGroup(QString::fromLatin1(name)))
            return false;
    for (int i = 0; i < sampleVehicles().size(); ++i)
        if (!store.addTowRecord(sampleRecord(i)))
            return false;
    return true;
}

// A store in a fresh folder, on the engine of the run, opened (created) on construction.
struct SearchStore
{
    StoreFolder folder;
    RecordStore store;
    bool opened = store.open(folder.databasePath(), RecordStore::OpenMode::CreateIfMissing);
};

} // namespace tarnvale::test
