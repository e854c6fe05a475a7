// Stops, from any thread, the statement a connection of another thread is running: a server is
// sent libpq's cancel request, a file's engine is interrupted. Made on the connection's own
// thread while the connection is open, and destroyed there before it closes; cancel() may come
// from any thread in between. The statement then fails (a server's "canceling statement due to
// user request", SQLite's "interrupted"), and the connection stays usable.
#pragma once

#include <QSqlDatabase>

#include <mutex>

struct pg_cancel;
struct sqlite3;

namespace tarnvale {

class StatementCanceller
{
  public:
    explicit StatementCanceller(const QSqlDatabase &db);
    ~StatementCanceller();
    StatementCanceller(const StatementCanceller &) = delete;
    StatementCanceller &operator=(const StatementCanceller &) = delete;

    // Whether the connection's engine can be stopped this way.
    bool canCancel() const { return m_server || m_file; }
    // Stops the statement that runs now, if any. False when the request could not be made.
    bool cancel();

  private:
    std::mutex m_mutex;
    pg_cancel *m_server = nullptr;
    sqlite3 *m_file = nullptr;
};

} // namespace tarnvale
