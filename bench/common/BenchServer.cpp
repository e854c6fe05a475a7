#include "BenchServer.h"

#include <QElapsedTimer>

#include <libpq-fe.h>

#include <cstdio>

#include "ServerAddress.h"
#include "YardMove.h"

namespace tarnvale::bench {

namespace {

qint64 rowCount(PGconn *conn)
{
    PGresult *result = PQexec(conn, "SELECT count(*) FROM wrecker");
    const qint64 count = PQresultStatus(result) == PGRES_TUPLES_OK
                             ? QByteArray(PQgetvalue(result, 0, 0)).toLongLong()
                             : -1;
    PQclear(result);
    return count;
}

bool run(PGconn *conn, const QByteArray &sql, QString *reason)
{
    PGresult *result = PQexec(conn, sql.constData());
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok)
        *reason = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
    PQclear(result);
    return ok;
}

} // namespace

PGconn *BenchServer::connect(const QString &uri)
{
    PGconn *conn = PQconnectdb(uri.toUtf8().constData());
    if (PQstatus(conn) == CONNECTION_OK)
        return conn;
    std::fprintf(stderr, "cannot connect: %s\n", PQerrorMessage(conn));
    PQfinish(conn);
    return nullptr;
}

void BenchServer::disconnect(PGconn *conn)
{
    PQfinish(conn);
}

QString BenchServer::database(const QString &file, int records, QString *reason,
                              const QString &kind)
{
    const QString base = qEnvironmentVariable("TARNVALE_BENCH_PG");
    if (base.isEmpty()) {
        *reason = QStringLiteral("TARNVALE_BENCH_PG is not set (a postgresql:// URI)");
        return {};
    }
    const auto address = ServerAddress::parse(base, reason);
    if (!address)
        return {};
    const QString name = QStringLiteral("tarnvale_bench_%1%2").arg(kind).arg(records);
    const QString uri = address->withDatabase(name).uri();

    PGconn *conn = PQconnectdb(uri.toUtf8().constData());
    const bool ready = PQstatus(conn) == CONNECTION_OK && rowCount(conn) == records;
    PQfinish(conn);
    if (ready)
        return uri;

    PGconn *admin = PQconnectdb(base.toUtf8().constData());
    if (PQstatus(admin) != CONNECTION_OK) {
        *reason = QString::fromUtf8(PQerrorMessage(admin)).trimmed();
        PQfinish(admin);
        return {};
    }
    const bool made = run(admin, "DROP DATABASE IF EXISTS " + name.toUtf8(), reason) &&
                      run(admin, "CREATE DATABASE " + name.toUtf8(), reason);
    PQfinish(admin);
    if (!made)
        return {};
    std::printf("moving %d records to the server database %s ...\n", records, qPrintable(name));
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    const YardMove::Result moved = YardMove::toServer(file, uri);
    if (!moved.moved) {
        *reason = moved.reason;
        return {};
    }
    std::printf("%s (%.1f s)\n", qPrintable(moved.summary()), timer.elapsed() / 1000.0);
    return uri;
}

qint64 BenchServer::bareScan(PGconn *conn, const char *sql)
{
    PGresult *result = PQexec(conn, sql);
    if (PQresultStatus(result) != PGRES_TUPLES_OK) {
        PQclear(result);
        return -1;
    }
    const int rows = PQntuples(result), columns = PQnfields(result);
    qint64 bytes = 0;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const char *value = PQgetvalue(result, row, column);
            bytes += PQgetlength(result, row, column) + (value[0] != 0);
        }
    }
    PQclear(result);
    return bytes;
}

} // namespace tarnvale::bench
