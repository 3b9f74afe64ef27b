#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the archive tests, in a folder of its own:
#   pg_cluster.sh start DIR   initdb into DIR/data, a Unix socket in DIR and 127.0.0.1 only;
#                             writes DIR/url (the superuser's URL over the socket) and DIR/port
#   pg_cluster.sh stop DIR    stops it (the files stay until the folder goes)
#   pg_cluster.sh pause DIR / resume DIR   stops and starts the same cluster again
#   pg_cluster.sh psql DIR ...             psql as the cluster's superuser
# The server refuses to run as root: started by root, everything runs as nobody.
# Local socket connections are trusted (only the folder's owner reaches the socket);
# TCP connections on 127.0.0.1 need a password.
set -euo pipefail
cmd=${1:?start, stop, pause, resume or psql}
dir=${2:?cluster folder}
shift 2
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || { echo "PostgreSQL server programs not found (package postgresql)" >&2; exit 1; }
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    setpriv --reuid=nobody --regid="$(id -gn nobody)" --clear-groups env HOME="$dir" "$@"
  else
    "$@"
  fi
}
case $cmd in
  start)
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown nobody:"$(id -gn nobody)" "$dir"
    rm -rf "$dir/data"
    as_owner "$bin/initdb" -D "$dir/data" -U postgres -A trust --no-sync -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 \
      || { cat "$dir/initdb.log" >&2; exit 1; }
    cat > "$dir/data/pg_hba.conf" <<HBA
local all all trust
host  all all 127.0.0.1/32 scram-sha-256
HBA
    # A free port: a few random tries.
    for try in 1 2 3 4 5 6 7 8; do
      port=$((20000 + (RANDOM % 20000)))
      if as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
           -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$dir -c fsync=off" \
           start >/dev/null 2>&1; then
        echo "$port" > "$dir/port"
        echo "postgresql://postgres@/postgres?host=$dir&port=$port" > "$dir/url"
        [ "$(id -u)" -eq 0 ] && chown nobody "$dir/port" "$dir/url"
        cat "$dir/url"
        exit 0
      fi
    done
    cat "$dir/server.log" >&2
    exit 1
    ;;
  pause)
    as_owner "$bin/pg_ctl" -D "$dir/data" -w -m fast stop >/dev/null
    ;;
  resume)
    port=$(cat "$dir/port")
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
      -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$dir -c fsync=off" start >/dev/null
    ;;
  stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
      as_owner "$bin/pg_ctl" -D "$dir/data" -w -m immediate stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  psql)
    port=$(cat "$dir/port")
    as_owner psql -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U postgres "$@"
    ;;
  *) echo "unknown: $cmd" >&2; exit 2 ;;
esac
