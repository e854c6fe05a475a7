#!/usr/bin/env bash
# Runs CTest in the build folder $1 (default build; further arguments go to ctest) with a
# throwaway PostgreSQL server of its own: a fresh cluster, reached only through a Unix socket in
# a folder of its own, stopped again at the end whatever the tests do. The tests find it through
# TARNVALE_TEST_PG; without a server they skip their PostgreSQL cases and say so.
set -uo pipefail
BUILD=${1:-build}
shift || true
BIN=${PG_BIN:-/usr/lib/postgresql/15/bin}
PORT=${TARNVALE_PG_PORT:-55437}

run_ctest() { (cd "$BUILD" && ctest "$@"); }

if [ ! -x "$BIN/initdb" ] || [ ! -x "$BIN/pg_ctl" ]; then
    echo "pg-test: no PostgreSQL server in $BIN; the PostgreSQL cases are skipped"
    run_ctest "$@"
    exit $?
fi

# As root (CI) the server runs as the user postgres, which must be able to reach its folders: a
# checkout under /root is closed to it, so the folders then go under /tmp.
as_server() { "$@"; }
OWNER=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    OWNER=postgres
    as_server() { runuser -u postgres -- "$@"; }
fi
BASE="$(cd "$BUILD" && pwd)/pg-test"
TEMP_BASE=0
mkdir -p "$BASE" 2>/dev/null
[ "$OWNER" != "$(id -un)" ] && chown "$OWNER" "$BASE" 2>/dev/null
if ! as_server test -w "$BASE" 2>/dev/null; then
    rmdir "$BASE" 2>/dev/null
    BASE=$(mktemp -d /tmp/tarnvale-pg.XXXXXX)
    TEMP_BASE=1
    [ "$OWNER" != "$(id -un)" ] && chown "$OWNER" "$BASE"
fi
DATA="$BASE/data"
SOCKET="$BASE/socket"
LOG="$BASE/server.log"

# The server's folders go when the run ends: after the tests, a failure or an interruption.
stop_server() {
    as_server "$BIN/pg_ctl" -D "$DATA" -m immediate stop >/dev/null 2>&1
    rm -rf "$DATA" "$SOCKET"
    [ "$TEMP_BASE" -eq 1 ] && rm -rf "$BASE"
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

rm -rf "$DATA" "$SOCKET"
as_server mkdir -p "$SOCKET"
started=0
# One role signs in with a password (scram-sha-256; its line comes before the trust lines), for
# the tests of a refused password: TARNVALE_TEST_PG_BADPASS names it with a wrong one.
PW_ROLE=tarnvale_pw
if as_server "$BIN/initdb" -D "$DATA" -U "$OWNER" --auth=trust -E UTF8 --locale=C.UTF-8 \
        >"$BASE/initdb.log" 2>&1 \
    && as_server sh -c "{ echo 'local all $PW_ROLE scram-sha-256'; cat '$DATA/pg_hba.conf'; } \
        >'$DATA/pg_hba.new' && mv '$DATA/pg_hba.new' '$DATA/pg_hba.conf'" \
    && as_server "$BIN/pg_ctl" -D "$DATA" -l "$LOG" -w -t 30 \
        -o "-k $SOCKET -p $PORT -c listen_addresses='' -c fsync=off" start >/dev/null 2>&1; then
    started=1
fi
if [ $started -eq 1 ]; then
    # The keyword=value form, with a quoted value: every server case reads it through libpq.
    # A server case that cannot reach it then fails instead of being skipped.
    export TARNVALE_TEST_PG_STARTED=1
    export TARNVALE_TEST_PG="host=$SOCKET port=$PORT user=$OWNER dbname=postgres application_name='tarnvale tests'"
    as_server "$BIN/psql" -q -h "$SOCKET" -p "$PORT" -U "$OWNER" -d postgres \
        -c "CREATE ROLE $PW_ROLE LOGIN PASSWORD 'Right-0f-Way'" >/dev/null 2>&1 \
        && export TARNVALE_TEST_PG_BADPASS="postgresql://$PW_ROLE:Wr0ng-Tow-Pass@/postgres?host=$SOCKET&port=$PORT"
    echo "pg-test: PostgreSQL server for the tests at $SOCKET, port $PORT"
else
    echo "pg-test: the PostgreSQL server did not start; the PostgreSQL cases are skipped"
    tail -n 5 "$BASE/initdb.log" "$LOG" 2>/dev/null
fi
run_ctest "$@"
status=$?
exit $status
