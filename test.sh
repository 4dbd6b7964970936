#!/usr/bin/env bash
# Installs what is missing, builds, starts a throwaway PostgreSQL on 127.0.0.1, runs every
# test through CTest and stops the server, whatever the tests did.
set -euo pipefail
raiz=$(cd "$(dirname "$0")" && pwd)
cd "$raiz"

scripts/dependencias.sh --pruebas
inicio=$(date +%s)
scripts/compilar.sh
# The same sources again with AddressSanitizer and UndefinedBehaviorSanitizer: every test
# runs there too, and a leak, an invalid access or undefined behaviour fails it.
scripts/compilar.sh asan
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

inicio=$(date +%s)
(
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1
  export LSAN_OPTIONS=suppressions=$raiz/tests/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)" "$@"
)
echo "Pruebas con sanitizadores: $(( $(date +%s) - inicio )) s" >&2

# Each fuzzing target for a few seconds from its seeds (scripts/fuzz.sh largo runs them longer).
# Skipped when only some tests were asked for.
if [[ $# -eq 0 ]]; then
  inicio=$(date +%s)
  scripts/fuzz.sh corto
  echo "Fuzzing: $(( $(date +%s) - inicio )) s" >&2

  # The Debian package, checked; in CI (or with REMITOS_PROBAR_INSTALACION=1) also installed
  # on this machine, used by ordinary users, and removed.
  tests/paquete.sh build
fi
