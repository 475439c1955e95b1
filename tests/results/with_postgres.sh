#!/bin/sh
# Runs a test program against a throw-away PostgreSQL server: a cluster made with initdb in a
# temporary folder, listening on a Unix socket in that folder (trust) and on 127.0.0.1 (a
# password, SCRAM), started with pg_ctl under a user that is not root (the server refuses root),
# removed at the end.
#   with_postgres.sh PROGRAM [ARGUMENTS...]
set -eu

pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$pgbin" ] || [ ! -x "$pgbin/initdb" ]; then
  echo "with_postgres: PostgreSQL server programs not installed (Debian package postgresql)" >&2
  exit 1
fi

dir=$(mktemp -d /tmp/vexa-pg.XXXXXX)
as=""
if [ "$(id -u)" -eq 0 ]; then
  owner=postgres
  id "$owner" >/dev/null 2>&1 || owner=nobody
  chown "$owner" "$dir"
  as="runuser -u $owner --"
fi
# A port number of this run's own, so two runs on one machine keep apart (it names the socket).
port=$((20000 + $$ % 20000))
ctl="$as $pgbin/pg_ctl -D $dir/data -l $dir/server.log -w"
stop="$ctl -m fast stop"
start="$ctl -o \"-k $dir -p $port -c listen_addresses=127.0.0.1 -F\" start"

cleanup() {
  sh -c "$stop" >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap cleanup EXIT INT TERM

password=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
printf '%s\n' "$password" >"$dir/password"
[ -z "$as" ] || chown "$owner" "$dir/password"
$as "$pgbin/initdb" -D "$dir/data" -U vexa --auth-local=trust --auth-host=scram-sha-256 \
  --pwfile="$dir/password" --no-sync -E UTF8 >"$dir/initdb.log" 2>&1 ||
  { cat "$dir/initdb.log" >&2; exit 1; }
sh -c "$start" >/dev/null || { cat "$dir/server.log" >&2; exit 1; }

socket=$(printf '%s' "$dir" | sed 's|/|%2F|g')
export VEXA_TEST_PG_URL="postgresql://vexa@$socket:$port/"
# The same server over TCP, where the password (SCRAM) is asked.
export VEXA_TEST_PG_TCP_URL="postgresql://vexa@127.0.0.1:$port/"
export VEXA_TEST_PG_PASSWORD="$password"
export VEXA_TEST_PG_STOP="$stop >/dev/null"
export VEXA_TEST_PG_START="$start >/dev/null"
"$@"
