#!/usr/bin/env bash
# A throwaway PostgreSQL 15 for the tests, listening on 127.0.0.1 only.
#   scripts/postgres.sh iniciar DIR   creates a cluster in DIR, starts it, writes DIR/entorno.sh
#   scripts/postgres.sh detener DIR   stops it (the folder stays for inspection)
#   scripts/postgres.sh reanudar DIR  starts a stopped cluster again, on the same port
# The tests' server skips flushing to disk, for speed; with REMITOS_PG_DURADERO=1 it keeps the
# server's default durability (every commit flushed), as the benchmarks need.
# DIR/entorno.sh exports the private ODBC configuration (ODBCSYSINI, with psqlODBC's
# communication log off) and the data source the tests use.
set -euo pipefail

accion=${1:?iniciar o detener}
dir=${2:?carpeta}
bin=/usr/lib/postgresql/15/bin

como_postgres() {
  if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "$accion" in
iniciar)
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  # initdb refuses to run as root; the cluster belongs to postgres, who must be able to
  # enter every folder above it.
  chmod 755 "$dir"
  if [[ $(id -u) -eq 0 ]]; then chown postgres: "$dir"; fi
  puerto=${REMITOS_PG_PUERTO:-54329}
  while (exec 3<>"/dev/tcp/127.0.0.1/$puerto") 2>/dev/null; do puerto=$((puerto + 1)); done
  como_postgres "$bin/initdb" -D "$dir/datos" -A trust -U postgres -E UTF8 --locale=C \
    --no-sync >"$dir/initdb.log"
  opciones="-c listen_addresses=127.0.0.1 -p $puerto -c unix_socket_directories=$dir -c datestyle='ISO, DMY'"
  if [[ "${REMITOS_PG_DURADERO:-0}" != 1 ]]; then
    opciones+=" -c fsync=off -c synchronous_commit=off -c full_page_writes=off"
  fi
  printf '%s\n' "$opciones" >"$dir/opciones"
  como_postgres "$bin/pg_ctl" -D "$dir/datos" -l "$dir/servidor.log" -w -t 60 -o "$opciones" \
    start >/dev/null
  psql -q -h 127.0.0.1 -p "$puerto" -U postgres -d postgres -v ON_ERROR_STOP=1 \
    -c "CREATE DATABASE remitos_prueba" \
    -c "ALTER DATABASE remitos_prueba SET datestyle = 'ISO, DMY'"

  mkdir -p "$dir/odbc"
  cat >"$dir/odbc/odbcinst.ini" <<INI
[PostgreSQL Unicode]
Description=PostgreSQL ODBC driver (Unicode version)
Driver=psqlodbcw.so
Setup=libodbcpsqlS.so
Debug=0
CommLog=0

[FreeTDS]
Description=TDS driver (Sybase/MS SQL)
Driver=libtdsodbc.so
Setup=libtdsS.so

[SQLite3]
Description=SQLite3 ODBC Driver
Driver=libsqlite3odbc.so
Setup=libsqlite3odbc.so
INI
  cat >"$dir/odbc/odbc.ini" <<INI
[remitos_prueba]
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$puerto
Database=remitos_prueba
Username=postgres
INI
  cat >"$dir/entorno.sh" <<ENV
export ODBCSYSINI=$dir/odbc
export ODBCINI=$dir/odbc/odbc.ini
export REMITOS_PG_DSN=remitos_prueba
export REMITOS_PG_PUERTO=$puerto
export REMITOS_PG_USUARIO=postgres
ENV
  echo "PostgreSQL en 127.0.0.1:$puerto ($dir)" >&2
  ;;
detener)
  if [[ -f "$dir/datos/postmaster.pid" ]]; then
    como_postgres "$bin/pg_ctl" -D "$dir/datos" -m immediate -w stop >/dev/null || true
  fi
  ;;
reanudar)
  como_postgres "$bin/pg_ctl" -D "$dir/datos" -l "$dir/servidor.log" -w -t 60 \
    -o "$(cat "$dir/opciones")" start >/dev/null
  ;;
*)
  echo "uso: $0 iniciar|detener|reanudar CARPETA" >&2
  exit 64
  ;;
esac
