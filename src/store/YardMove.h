// A yard's records between its SQLite file and a PostgreSQL database, either way: the move onto
// an empty server, the copy of a server into a new file (its backup) and the replacement of a
// server's records by a file's (its restore). One place knows the tables and how their rows and
// ids are carried.
#pragma once

#include <QString>

#include <functional>

namespace tarnvale {

class RecordStore;

class YardMove
{
  public:
    // Told the rows copied and the rows there are to copy; returning false stops the copy
    // (the reason is then "Stopped.", and nothing is written).
    using Progress = std::function<bool(qint64 done, qint64 total)>;

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

    // Writes the server's records, read in one consistent snapshot, into `file` (absent or
    // empty), which becomes a database of the current schema as the program makes one, row
    // counts checked and each table's next id as on the server. On failure the file may hold
    // a part of the copy: the caller removes it. On connections of its own: any thread may run it.
    static Result toFile(const QString &uri, const QString &file, const Progress &progress = {});

    // Replaces every row of ours on the server named by the URI with the file's (a checked
    // database, brought up to the current schema here), in one transaction under the write
    // lock every workstation takes: row counts checked, each id sequence set to go on after the
    // highest id either side ever gave. Other connections, the store in use among them, learn
    // it through the revisions: every record is reported added, changed or removed to them;
    // the caller then has its store announce a reset. On failure nothing is changed. On a
    // connection of its own: any thread may run it.
    static Result replaceOnServer(const QString &file, const QString &uri,
                                  const Progress &progress = {});
};

} // namespace tarnvale
