// A small tow-record database for the backup tests, and a row-for-row comparison of two.
#pragma once

#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "RecordStore.h"

namespace tarnvale::test {

inline bool fillSampleDatabase(RecordStore &store, int records, const QString &tag = {})
{
    TransactionGuard guard(store.database()); // one write to the disk, not one per row
    const QStringList groups = {QStringLiteral("Police holds ") + tag, QStringLiteral("Private property ") + tag,
                                QStringLiteral("Accidents ") + tag};
    for (const QString &g : groups)
        if (!store.addGroup(g))
            return false;
    for (int i = 0; i < records; ++i) {
        TowRecord r;
        r.set(TowField::custname, QStringLiteral("Customer %1 %2").arg(i).arg(tag));
        r.set(TowField::vehyear, QString::number(1990 + i % 30));
        r.set(TowField::vehmake, i % 2 ? QStringLiteral("Ford") : QStringLiteral("Chevrolet"));
        r.set(TowField::vehvin, QStringLiteral("1FTEW1E5%1").arg(i, 9, 10, QLatin1Char('0')));
        r.set(TowField::groupname, groups[i % 3]);
        r.set(TowField::cost1, QStringLiteral("%1.50").arg(50 + i % 90));
        r.set(TowField::vehnotes, QStringLiteral("Left rear tyre flat.\r\nKeys in office."));
        if (!store.addTowRecord(r))
            return false;
    }
    QSqlQuery q(store.database());
    q.prepare(QStringLiteral("INSERT INTO reminders (item, DateFor, Done, Date) VALUES (?, ?, ?, ?)"));
    q.addBindValue(QStringLiteral("Call the police about lot 4") + tag);
    q.addBindValue(QStringLiteral("12/24/2026"));
    q.addBindValue(0);
    q.addBindValue(QStringLiteral("12/06/2026"));
    return q.exec() && guard.commit();
}

// Every row of the four tables, in table order, as text.
inline QStringList allRows(RecordStore &store)
{
    QStringList rows;
    for (const QString &table : {QStringLiteral("groups"), QStringLiteral("wrecker"),
                                 QStringLiteral("reminders"), QStringLiteral("lb_type")}) {
        QSqlQuery q(store.database());
        if (!q.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table))) {
            rows << QStringLiteral("cannot read ") + table;
            continue;
        }
        while (q.next()) {
            QStringList values;
            for (int c = 0; c < q.record().count(); ++c)
                values << q.value(c).toString();
            rows << table + QLatin1Char(':') + values.join(QLatin1Char('|'));
        }
    }
    return rows;
}

// A database at path with the sample records; false on failure.
inline bool makeSampleDatabase(const QString &path, int records, const QString &tag = {})
{
    RecordStore store;
    return store.open(path, RecordStore::OpenMode::CreateIfMissing)
           && fillSampleDatabase(store, records, tag);
}

// Every row of the database at path, or "cannot open".
inline QStringList rowsOf(const QString &path)
{
    RecordStore store;
    return store.open(path, RecordStore::OpenMode::ExistingOnly) ? allRows(store)
                                                                 : QStringList{"cannot open"};
}

} // namespace tarnvale::test
