#include "PgReader.h"

#include <QElapsedTimer>
#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include <libpq-fe.h>

#include <poll.h>

#include <cstdlib>
#include <vector>

namespace tarnvale {

namespace {
constexpr qint64 kCancelAgainMs = 500;
} // namespace

PGconn *PgReader::connectionOf(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    // The type's name as Qt 6 spells it (the struct behind libpq's typedef), or as declared.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0))
        return nullptr;
    // libpq is one shared library (one soname) in the process: the driver's connection is the
    // one this program's calls act on.
    return *static_cast<PGconn *const *>(handle.constData());
}

PgReader::PgReader(const QSqlDatabase &db)
{
    PGconn *conn = connectionOf(db);
    if (!conn || PQstatus(conn) != CONNECTION_OK)
        return;
    // What a forward-only query of Qt SQL left unread (one read to its first row only) is
    // discarded, as the driver's own next statement would discard it.
    while (PQtransactionStatus(conn) == PQTRANS_ACTIVE) {
        PGresult *left = PQgetResult(conn);
        if (!left)
            break;
        PQclear(left);
    }
    if (PQtransactionStatus(conn) != PQTRANS_ACTIVE)
        m_conn = conn;
}

PgReader::~PgReader()
{
    PQclear(m_result);
}

QByteArray PgReader::numberPlaceholders(QByteArrayView sql)
{
    QByteArray out;
    out.reserve(sql.size() + 8);
    char quote = 0;
    int number = 0;
    for (const char c : sql) {
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?') {
            out += '$' + QByteArray::number(++number);
            continue;
        }
        out += c;
    }
    return out;
}

bool PgReader::exec(QByteArrayView sql, const QList<QByteArray> &values,
                    const std::atomic<bool> *cancel)
{
    PQclear(m_result);
    m_result = nullptr;
    m_rows = 0;
    m_row = -1;
    m_cancelled = false;
    if (!m_conn) {
        m_error = DbError{DbError::kNotOpen, QStringLiteral("The database is not open.")};
        return false;
    }
    std::vector<const char *> params;
    params.reserve(size_t(values.size()));
    for (const QByteArray &value : values)
        params.push_back(value.constData());
    if (PQsendQueryParams(m_conn, numberPlaceholders(sql).constData(), int(params.size()), nullptr,
                          params.data(), nullptr, nullptr, 0)) {
        // The answer is gathered as it comes, so that a cancel need not wait for all of it.
        // A request the server gets before the statement has started is dropped by it, so
        // one is sent again each half second until the answer is in.
        QElapsedTimer sinceRequest;
        while (PQisBusy(m_conn)) {
            if (cancel && cancel->load(std::memory_order_relaxed) &&
                (!m_cancelled || sinceRequest.hasExpired(kCancelAgainMs))) {
                m_cancelled = true;
                sinceRequest.start();
                if (PGcancel *request = PQgetCancel(m_conn)) {
                    char reason[256];
                    PQcancel(request, reason, sizeof reason);
                    PQfreeCancel(request);
                }
            }
            pollfd socket{PQsocket(m_conn), POLLIN, 0};
            poll(&socket, 1, 50);
            if (!PQconsumeInput(m_conn))
                break;
        }
    }
    // The statement's one result (or the connection's error), then the end of the answer.
    m_result = PQgetResult(m_conn);
    if (!m_result)
        m_result = PQmakeEmptyPGresult(m_conn, PGRES_FATAL_ERROR);
    while (PGresult *more = PQgetResult(m_conn))
        PQclear(more);
    if (m_cancelled) {
        PQclear(m_result);
        m_result = nullptr;
        return false;
    }
    const ExecStatusType status = PQresultStatus(m_result);
    if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
        m_rows = PQntuples(m_result);
        return true;
    }
    const char *state = PQresultErrorField(m_result, PG_DIAG_SQLSTATE);
    const char *message = PQresultErrorMessage(m_result);
    const QSqlError sqlError(
        QString(), QString::fromUtf8(*message ? message : PQerrorMessage(m_conn)).trimmed(),
        QSqlError::StatementError, state ? QString::fromLatin1(state) : QString());
    m_error = DbError::fromSql(sqlError);
    PQclear(m_result);
    m_result = nullptr;
    return false;
}

qint64 PgReader::integer(int column) const
{
    return std::strtoll(PQgetvalue(m_result, m_row, column), nullptr, 10);
}

QByteArrayView PgReader::text(int column) const
{
    if (PQgetisnull(m_result, m_row, column))
        return {};
    return QByteArrayView(PQgetvalue(m_result, m_row, column),
                          PQgetlength(m_result, m_row, column));
}

} // namespace tarnvale
