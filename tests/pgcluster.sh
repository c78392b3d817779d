#!/bin/sh
# A throwaway PostgreSQL cluster for the tests, never the system's one.
#
#   pgcluster.sh start DIR   new cluster in DIR/data, socket in DIR,
#                            connection options written to DIR/env
#   pgcluster.sh restart DIR restart it, as an administrator does: every
#                            connection is ended, the data kept
#   pgcluster.sh stop DIR    stop it (if running) and remove DIR
#
# The server listens on no TCP port: the port number (PGCLUSTER_PORT, 55432
# unless set) only names the socket, so clusters in different folders never
# clash.
set -eu

PGBIN=/usr/lib/postgresql/15/bin
PORT=${PGCLUSTER_PORT:-55432}
ROLE=tallymere

usage() {
    echo "usage: $0 start|restart|stop DIR" >&2
    exit 2
}

[ $# -eq 2 ] || usage
action=$1
dir=$2
case $dir in
    /*) ;;
    *) dir=$(pwd)/$dir ;;
esac
data=$dir/data

# Settings in the caller's environment must not steer the tools elsewhere.
unset PGDATA PGHOST PGHOSTADDR PGPORT PGUSER PGDATABASE PGSERVICE PGOPTIONS 2>/dev/null || true

# PostgreSQL refuses to run as root: then the cluster belongs to nobody.
# setpriv execs the program itself, so nobody's missing login shell is no bar.
if [ "$(id -u)" -eq 0 ]; then
    owner=nobody
    asowner() { (cd "$dir" && setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"); }
else
    owner=
    asowner() { (cd "$dir" && "$@"); }
fi

running() {
    [ -f "$data/postmaster.pid" ] && asowner "$PGBIN/pg_ctl" status -D "$data" >/dev/null 2>&1
}

stop() {
    if [ -d "$dir" ] && running; then
        asowner "$PGBIN/pg_ctl" stop -D "$data" -m immediate -w >/dev/null
    fi
    rm -rf "$dir"
}

# A half-started cluster is not left behind.
fail() {
    echo "pgcluster: $1" >&2
    [ ! -f "$dir/server.log" ] || cat "$dir/server.log" >&2
    stop
    exit 1
}

start() {
    # A cluster left by an earlier run that never reached its stop.
    stop

    # The socket's path has to fit in sun_path (107 bytes).
    socket=$dir/.s.PGSQL.$PORT
    if [ ${#socket} -gt 107 ]; then
        echo "pgcluster: socket path too long: $socket" >&2
        exit 1
    fi

    mkdir -p "$dir"
    if [ -n "$owner" ]; then
        chown nobody:nogroup "$dir"
        # Searchable by all, so that the tests (as root or not) reach the socket.
        chmod 0755 "$dir"
        if ! setpriv --reuid=nobody --regid=nogroup --clear-groups -- test -w "$dir"; then
            echo "pgcluster: nobody cannot reach $dir; every folder above it must be searchable by all" >&2
            rm -rf "$dir"
            exit 1
        fi
    fi

    if ! asowner "$PGBIN/initdb" -D "$data" -U "$ROLE" --auth=trust \
            --encoding=UTF8 --locale=C.UTF-8 --no-sync >"$dir/initdb.log" 2>&1; then
        cat "$dir/initdb.log" >&2
        exit 1
    fi
    cat >>"$data/postgresql.conf" <<EOF

# A test cluster: nothing here needs to survive a crash.
listen_addresses = ''
port = $PORT
unix_socket_directories = '$dir'
fsync = off
full_page_writes = off
synchronous_commit = off
EOF

    if ! asowner "$PGBIN/pg_ctl" start -D "$data" -l "$dir/server.log" -w -t 60 >/dev/null; then
        fail "the server did not start"
    fi
    # pg_ctl -w has waited already; this confirms the socket itself answers.
    tries=0
    until "$PGBIN/pg_isready" -q -h "$dir" -p "$PORT" -U "$ROLE" -d postgres; do
        tries=$((tries + 1))
        [ $tries -lt 100 ] || fail "the server does not accept connections"
        sleep 0.1
    done

    # Every test database is made from template1: having the extension there
    # spares each one the cost of creating it.
    "$PGBIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$PORT" -U "$ROLE" -d template1 \
        -c 'CREATE EXTENSION IF NOT EXISTS pg_trgm' || fail "pg_trgm could not be created"

    # Roles for the tests of refused connections: one with a password
    # (asked for by the server, unlike the trusted owner), one that may
    # log in but create nothing.
    "$PGBIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$PORT" -U "$ROLE" -d postgres \
        -c "CREATE ROLE tallymere_pw LOGIN PASSWORD 'right'" \
        -c "CREATE ROLE tallymere_plain LOGIN" || fail "the test roles could not be made"
    hba=$data/pg_hba.conf
    { echo "local all tallymere_pw scram-sha-256"; cat "$hba"; } >"$hba.new"
    mv "$hba.new" "$hba"
    [ -z "$owner" ] || chown nobody:nogroup "$hba"
    asowner "$PGBIN/pg_ctl" reload -D "$data" >/dev/null || fail "the server did not reload"

    echo "host=$dir port=$PORT user=$ROLE dbname=postgres" >"$dir/env"
}

restart() {
    running || { echo "pgcluster: no cluster runs in $dir" >&2; exit 1; }
    asowner "$PGBIN/pg_ctl" restart -D "$data" -m fast -w -t 60 -l "$dir/server.log" >/dev/null \
        || fail "the server did not start again"
}

case $action in
    start) start ;;
    restart) restart ;;
    stop) stop ;;
    *) usage ;;
esac
