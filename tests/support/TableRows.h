// Every row of every table of a yard, as text, for comparing two databases whole.
#pragma once

#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

#include "RecordStore.h"

namespace tarnvale::test {

inline const QStringList kYardTables = {
    "groups",         "wrecker",       "wrecker_version",  "reminders",        "lb_type",
    "impound_status", "impound_holds", "impound_releases", "impound_payments", "lien_steps_done"};

// In id order; the revisions' table only with `versions`.
inline QStringList rowsOf(RecordStore &store, bool versions = true)
{
    QStringList rows;
    for (const QString &table : kYardTables) {
        QSqlQuery query(store.database());
        if (table == "wrecker_version" && !versions)
            continue;
        if (!query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table)))
            return {"failed: " + table};
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < query.record().count(); ++i)
                fields << query.value(i).toString();
            rows << table + ": " + fields.join('|');
        }
    }
    return rows;
}

} // namespace tarnvale::test
