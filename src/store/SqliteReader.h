// Reads rows straight from SQLite's own interface: the hot scans (the tree, the search, the
// export) take the engine's UTF-8 bytes without a QVariant per cell. One statement at a time;
// it is finalised by the next prepare() and by the destructor.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSqlDatabase>
#include <QString>

#include <atomic>

struct sqlite3;
struct sqlite3_stmt;

namespace tarnvale {

class SqliteReader
{
  public:
    enum class Step { Row, Done, Failed };

    // Borrows the connection of db when it is an open SQLite connection; otherwise the reader
    // is not open (the caller then reads through Qt SQL).
    explicit SqliteReader(const QSqlDatabase &db);
    // Opens the file for reading only (query_only) on a connection of its own, closed by the
    // destructor, which leaves no -wal or -shm file of its own. The file may come from
    // anywhere: defensive mode, an untrusted schema, a five-second busy wait.
    static SqliteReader openReadOnly(const QString &path);
    ~SqliteReader();
    SqliteReader(SqliteReader &&other) noexcept;
    SqliteReader(const SqliteReader &) = delete;
    SqliteReader &operator=(const SqliteReader &) = delete;
    SqliteReader &operator=(SqliteReader &&) = delete;

    bool isOpen() const { return m_db != nullptr; }
    // Runs a statement that answers no rows ("BEGIN").
    bool exec(const char *sql);
    // Prepares the statement in use, binding the text to its first parameter when given.
    bool prepare(QByteArrayView sql, const QString *boundText = nullptr);
    // Runs the prepared statement again with new values bound (parameters count from 1).
    bool rebind(qint64 first);
    bool rebind(qint64 first, const QString &second);
    bool rebind(const QString &first);
    // Binds a text to one more parameter of the prepared statement, before its first step.
    bool bindText(int parameter, const QString &text);
    Step step();
    // From now on a statement stops (its step() fails: interrupted) once *flag is true, even
    // inside a long step; nullptr: never. Undone when the reader goes.
    void stopWhen(const std::atomic<bool> *flag);
    qint64 integer(int column) const;
    // The cell's UTF-8 bytes, valid until the next step(); a NULL cell has a null data().
    QByteArrayView text(int column) const;

    // Why the last call failed: the engine's extended code and its text.
    int errorCode() const { return m_errorCode; }
    const QString &errorText() const { return m_errorText; }

  private:
    SqliteReader() = default;
    bool check(int rc);

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    bool m_owned = false;
    const std::atomic<bool> *m_stopFlag = nullptr;
    int m_errorCode = 0;
    QString m_errorText;
};

} // namespace tarnvale
