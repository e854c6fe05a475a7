// Reads rows straight from libpq on a server connection: the hot scans (the tree, the search)
// take the server's UTF-8 text without a QVariant per cell, as SqliteReader does on a file.
// The whole result of a statement comes in one exchange (the rows are then stepped through
// in memory); it is freed by the next exec() and by the destructor.
#pragma once

#include "DbError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QSqlDatabase>

#include <atomic>

struct pg_conn;
struct pg_result;

namespace tarnvale {

class PgReader
{
  public:
    // Failed is never answered (a statement fails whole, at exec()); it is there so that code
    // written for SqliteReader reads rows from either.
    enum class Step { Row, Done, Failed };

    // Borrows the libpq connection of db when it is an open PostgreSQL connection; otherwise
    // the reader is not open (the caller then reads through Qt SQL).
    explicit PgReader(const QSqlDatabase &db);
    // The libpq connection under db when it is an open PostgreSQL connection, else nullptr.
    static pg_conn *connectionOf(const QSqlDatabase &db);
    ~PgReader();
    PgReader(const PgReader &) = delete;
    PgReader &operator=(const PgReader &) = delete;

    bool isOpen() const { return m_conn != nullptr; }
    // Runs a statement written with '?' placeholders, the values bound to them in order as
    // text; false, with error() set, when the server refuses it. `cancel` is looked at while
    // the server works: once set, the server is asked to stop, and exec() answers false with
    // cancelled() true.
    bool exec(QByteArrayView sql, const QList<QByteArray> &values = {},
              const std::atomic<bool> *cancel = nullptr);
    bool cancelled() const { return m_cancelled; }
    Step step() { return ++m_row < m_rows ? Step::Row : Step::Done; }
    qint64 integer(int column) const;
    // The cell's UTF-8 bytes, valid until the next exec(); a NULL cell has a null data().
    QByteArrayView text(int column) const;

    // Why the last exec() failed, numbered as the portable path numbers the server's errors.
    const DbError &error() const { return m_error; }
    int errorCode() const { return m_error.number; }
    const QString &errorText() const { return m_error.description; }

    // The statement with its '?' placeholders (outside quotes) numbered $1, $2, ...
    static QByteArray numberPlaceholders(QByteArrayView sql);

  private:
    pg_conn *m_conn = nullptr;
    pg_result *m_result = nullptr;
    int m_rows = 0;
    int m_row = -1;
    bool m_cancelled = false;
    DbError m_error;
};

} // namespace tarnvale
