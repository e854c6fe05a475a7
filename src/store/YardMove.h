// Moving a yard's records from its SQLite file onto an empty PostgreSQL database.
#pragma once

#include <QString>

namespace tarnvale {

class YardMove
{
  public:
    struct Result
    {
        bool moved = false;
        QString reason; // why nothing was moved; never holds a password
        qint64 vehicles = 0;
        qint64 groups = 0;
        qint64 reminders = 0;

        // "Moved N vehicles, G groups, R reminders to the server."
        QString summary() const
        {
            return QStringLiteral("Moved %1 vehicles, %2 groups, %3 reminders to the server.")
                .arg(vehicles)
                .arg(groups)
                .arg(reminders);
        }
    };

    // Copies every row of every table of the file (opened read-only) into the server database
    // named by the URI, ids kept, in one transaction that also sets each id sequence to go on
    // after the file's highest id and compares the tables' row counts with the file's. The
    // server database must hold no rows of ours; the file must be of the current schema.
    // Either everything is copied or nothing is written.
    static Result toServer(const QString &file, const QString &uri);
};

} // namespace tarnvale
