// A small tow-record database for the backup tests, and a row-for-row comparison of two.
#pragma once

#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include "RecordStore.h"
#include "TableRows.h"

namespace tarnvale::test {

inline bool fillSampleDatabase(RecordStore &store, int records, const QString &tag = {})
{
    TransactionGuard guard(store.database()); // one write to the disk, not one per row
    const QStringList groups = {"Police holds " + tag, "Private property " + tag,
                                "Accidents " + tag};
    for (const QString &g : groups)
        if (!store.addGroup(g))
            return false;
    for (int i = 0; i < records; ++i) {
        TowRecord r;
        r.set(TowField::custname, QString("Customer %1 %2").arg(i).arg(tag));
        r.set(TowField::vehyear, QString::number(1990 + i % 30));
        r.set(TowField::vehmake, i % 2 ? "Ford" : "Chevrolet");
        r.set(TowField::vehvin, QString("1FTEW1E5%1").arg(i, 9, 10, QLatin1Char('0')));
        r.set(TowField::groupname, groups[i % 3]);
        r.set(TowField::cost1, QString("%1.50").arg(50 + i % 90));
        r.set(TowField::vehnotes, "Left rear tyre flat.\r\nKeys in office.");
        if (!store.addTowRecord(r))
            return false;
    }
    QSqlQuery q(store.database());
    q.prepare("INSERT INTO reminders (item, DateFor, Done, Date) VALUES (?, ?, ?, ?)");
    q.addBindValue("Call the police about lot 4" + tag);
    q.addBindValue("12/24/2026");
    q.addBindValue(0);
    q.addBindValue("12/06/2026");
    return q.exec() && guard.commit();
}

// A database at path with the sample records; false on failure.
inline bool makeSampleDatabase(const QString &path, int records, const QString &tag = {})
{
    RecordStore store;
    return store.open(path, RecordStore::OpenMode::CreateIfMissing) &&
           fillSampleDatabase(store, records, tag);
}

// Every row of the database at path, or "cannot open".
inline QStringList rowsOf(const QString &path)
{
    RecordStore store;
    return store.open(path, RecordStore::OpenMode::ExistingOnly) ? rowsOf(store)
                                                                 : QStringList{"cannot open"};
}

} // namespace tarnvale::test
