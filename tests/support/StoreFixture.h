// A program folder with its settings and a scripted user; with a store and the database
// routines that talk to that user, counting the store's announced changes to records and
// groups (opening a database is not counted).
#pragma once

#include "FolderFixture.h"
#include "DatabaseCommands.h"
#include "RecordStore.h"
#include "TowRecord.h"

namespace tarnvale::test {

struct StoreFixture : FolderFixture
{
    RecordStore store;
    DatabaseCommands db{store, settings, folder, dialogs};
    int refreshes = 0;

    StoreFixture()
    {
        QObject::connect(&store, &RecordStore::changed,
                         [this](const StoreChange &change) { refreshes += change.reset ? 0 : 1; });
    }
};

// A vehicle record with the fields the tree and the messages show.
inline TowRecord vehicleRecord(const QString &group, const QString &year = "1999",
                               const QString &make = "Ford", const QString &model = "Taurus",
                               const QString &color = "red")
{
    TowRecord r;
    r.set(TowField::groupname, group);
    r.set(TowField::vehyear, year);
    r.set(TowField::vehmake, make);
    r.set(TowField::vehmodel, model);
    r.set(TowField::vehcolor, color);
    return r;
}

inline qint64 addVehicle(RecordStore &store, const QString &group, const QString &year = "1999",
                         const QString &make = "Ford", const QString &model = "Taurus",
                         const QString &color = "red")
{
    return store.addTowRecord(vehicleRecord(group, year, make, model, color)).value_or(-1);
}

} // namespace tarnvale::test
