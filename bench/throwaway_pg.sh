# bench/throwaway_pg.sh: sourced by the bench run scripts; starts a PostgreSQL 15 of its own on
# 127.0.0.1 (a free port, a random password, as scripts/test does), exports PGHOST, PGPORT,
# PGUSER, PGPASSWORD and PGTZ, and removes the server when the script exits.
pg_bin=/usr/lib/postgresql/15/bin
pg_dir=$(mktemp -d "${TMPDIR:-/tmp}/zov-pg-bench.XXXXXX")
as_pg_owner() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
cleanup_pg() {
    as_pg_owner "$pg_bin/pg_ctl" -D "$pg_dir/data" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$pg_dir"
}
trap cleanup_pg EXIT

PGPASSWORD=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
printf '%s\n' "$PGPASSWORD" >"$pg_dir/pwfile"
mkdir "$pg_dir/socket"
[ "$(id -u)" -ne 0 ] || chown -R postgres: "$pg_dir"
as_pg_owner "$pg_bin/initdb" -D "$pg_dir/data" -U postgres --pwfile="$pg_dir/pwfile" \
    --auth=scram-sha-256 -E UTF8 --locale=C.UTF-8 >/dev/null
started=""
for attempt in $(seq 1 20); do
    PGPORT=$((20000 + RANDOM % 40000))
    if (exec 3<>"/dev/tcp/127.0.0.1/$PGPORT") 2>/dev/null; then continue; fi
    if as_pg_owner "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w -t 60 \
        -o "-c listen_addresses=127.0.0.1 -p $PGPORT -c unix_socket_directories=$pg_dir/socket" \
        start >/dev/null; then
        started=yes
        break
    fi
done
[ -n "$started" ] || { cat "$pg_dir/server.log" >&2; exit 1; }

export PGHOST=127.0.0.1 PGPORT PGUSER=postgres PGPASSWORD PGTZ=Asia/Kolkata
