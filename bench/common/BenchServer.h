// The PostgreSQL server the benchmarks measure on, named by TARNVALE_BENCH_PG (a connection URI,
// e.g. postgresql://postgres@/postgres?host=/tmp/pg&port=5432). Each size gets a database of its
// own on it (tarnvale_bench_<records>), filled once from a generated file and reused while it
// holds that many records.
#pragma once

#include <QString>

struct pg_conn;

namespace tarnvale::bench {

class BenchServer
{
  public:
    // The URI of the server database holding the records of `file` (`records` of them), made
    // and filled when needed; empty, with the reason in *reason, when there is no server.
    // `kind` names files of other contents with as many records (tarnvale_bench_<kind><records>).
    static QString database(const QString &file, int records, QString *reason,
                            const QString &kind = QString());

    // A libpq connection of its own to the URI (nullptr, reason printed, when it fails).
    static pg_conn *connect(const QString &uri);
    static void disconnect(pg_conn *conn);

    // The peer of the program's reads: the statement run with PQexec, every value of every
    // row read with PQgetvalue/PQgetlength. Answers the bytes read, -1 on failure.
    static qint64 bareScan(pg_conn *conn, const char *sql);
};

} // namespace tarnvale::bench
