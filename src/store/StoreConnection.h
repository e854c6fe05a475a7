// Opening a Qt SQL connection on a database: the one routine that opens an SQLite file and
// hardens it before any statement reads its schema, whoever opens it (the store, a move between
// file and server, a backup's check, a search in its own thread). A file may come from anywhere:
// nothing in its schema runs with this program's rights (see SchemaCheck::harden).
#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

#include <functional>
#include <optional>

struct sqlite3;

namespace tarnvale {

class StoreConnection
{
  public:
    // Writing: the program's own database. ReadOnly: the file is opened for reading only,
    // its triggers and views are off and every write is refused (query_only).
    enum class Access { Writing, ReadOnly };

    // Why a connection could not be used.
    struct Failure
    {
        bool atOpen = false; // the engine did not open the file (else: hardening failed)
        QSqlError openError; // the engine's answer when atOpen
        QString reason;      // a text for a person: the engine's, or why hardening failed
    };

    // Adds the connection `name` on the file, with the store's busy wait, opens and hardens it.
    // On failure the connection is closed but stays added: the caller removes it.
    static std::optional<Failure> openFile(const QString &name, const QString &path,
                                           Access access);
    // A second connection `name` to the database of the open connection `source`, for reading
    // in another thread: a file is opened read-only and hardened, a server's connection is
    // cloned (its schema is the server's business). Removed by the caller, as above.
    static std::optional<Failure> openReadingCopy(const QString &source, const QString &name);
    // Opens such a copy under a name of its own, hands it to `use`, then closes and removes it:
    // the whole life of a worker thread's connection. The failure, when it could not be opened
    // (`use` is then not called).
    static std::optional<Failure> useReadingCopy(const QString &source,
                                                 const std::function<void(QSqlDatabase &)> &use);

    // Defensive mode and trusted_schema off on a connection of the engine's own interface,
    // the last two with triggers and views off as well; false when the engine refuses.
    static bool harden(sqlite3 *engine, bool triggersAndViewsOff);
};

} // namespace tarnvale
