#!/usr/bin/env bash
# Builds and runs the benchmarks: the embedded database, and PostgreSQL over ODBC on a
# throwaway server with the default durability (every commit flushed to disk).
#   scripts/medir.sh [--notas N] [--repeticiones R]
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
cd "$raiz"
scripts/dependencias.sh --pruebas
scripts/compilar.sh >/dev/null
pg=$(mktemp -d /tmp/remitos-pg.XXXXXX)
trap 'scripts/postgres.sh detener "$pg"' EXIT
REMITOS_PG_DURADERO=1 scripts/postgres.sh iniciar "$pg"
# shellcheck disable=SC1091
source "$pg/entorno.sh"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$pg}
build/bin/bench_registro "$@"
