#!/usr/bin/env bash
# Installs what is missing, builds, starts a throwaway PostgreSQL on 127.0.0.1, runs every
# test through CTest and stops the server, whatever the tests did.
set -euo pipefail
raiz=$(cd "$(dirname "$0")" && pwd)
cd "$raiz"

scripts/dependencias.sh --pruebas
inicio=$(date +%s)
scripts/compilar.sh
echo "Compilación: $(( $(date +%s) - inicio )) s" >&2

pg=$(mktemp -d /tmp/remitos-pg.XXXXXX)
trap 'scripts/postgres.sh detener "$pg"' EXIT
scripts/postgres.sh iniciar "$pg"
# shellcheck disable=SC1091
source "$pg/entorno.sh"
# The ODBC tests must not skip here: a server that did not start is a failure.
export REMITOS_PG_EXIGIDO=1
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/remitos-xdg.XXXXXX)}
chmod 700 "$XDG_RUNTIME_DIR"

inicio=$(date +%s)
ctest --test-dir build --output-on-failure -j"$(nproc)" "$@"
echo "Pruebas: $(( $(date +%s) - inicio )) s" >&2
