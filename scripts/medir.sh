#!/usr/bin/env bash
# Runs the benchmarks: the embedded database, and PostgreSQL (through its own client library;
# REMITOS_POSTGRESQL_POR_ODBC=1 for its ODBC driver) on a throwaway server
# with the default durability (every commit flushed to disk).
#   scripts/medir.sh [--sin-compilar] [bench_registro options: --notas N --repeticiones R ...]
# --sin-compilar measures the programs as they are built, so that the figures can be taken on
# a quiet machine with no build in the way (they must have been built before).
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
cd "$raiz"
if [[ "${1:-}" == --sin-compilar ]]; then
  shift
  [[ -x build/bin/bench_registro ]] || { echo "medir: falta build/bin/bench_registro; compile antes" >&2; exit 1; }
else
  scripts/dependencias.sh --pruebas
  scripts/compilar.sh >/dev/null
fi
pg=$(mktemp -d /tmp/remitos-pg.XXXXXX)
trap 'scripts/postgres.sh detener "$pg"' EXIT
REMITOS_PG_DURADERO=1 scripts/postgres.sh iniciar "$pg"
# shellcheck disable=SC1091
source "$pg/entorno.sh"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$pg}
build/bin/bench_registro "$@"
