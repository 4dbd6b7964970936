#!/usr/bin/env bash
# Builds the fuzzing targets with clang in build-fuzz/ (incrementally) and runs them:
#   scripts/fuzz.sh corto             each target about 8 s, on a throwaway copy of its seeds
#   scripts/fuzz.sh largo [SEGUNDOS]  each target SEGUNDOS (600 by default); what it learns is
#                                     kept in build-fuzz/corpus/<target>/ for the next run
# Exit status 0 when no target found a fault, 1 when one did (the input that caused it is in
# build-fuzz/hallazgos/, each target's output in build-fuzz/registros/), 64 for bad usage.
# Needs clang and its fuzzer run-time: scripts/dependencias.sh --pruebas installs them.
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
carpeta=$raiz/build-fuzz
objetivos=(difuso_claves difuso_ini difuso_mascaras difuso_valor_sql difuso_colacion)

modo=${1:-}
case "$modo" in
corto)
  [[ $# -le 1 ]] || { echo "uso: $0 corto | largo [SEGUNDOS]" >&2; exit 64; }
  segundos=8
  ;;
largo)
  segundos=${2:-600}
  [[ $# -le 2 && "$segundos" =~ ^[1-9][0-9]*$ ]] || { echo "uso: $0 corto | largo [SEGUNDOS]" >&2; exit 64; }
  ;;
*)
  echo "uso: $0 corto | largo [SEGUNDOS]" >&2
  exit 64
  ;;
esac

if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
  echo "Falta clang: ejecute scripts/dependencias.sh --pruebas" >&2
  exit 1
fi

# The libraries get their instrumentation from fuzz/CMakeLists.txt; the tests are not needed.
cmake -S "$raiz" -B "$carpeta" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREMITOS_FUZZ=ON -DREMITOS_TESTS=OFF >/dev/null
cmake --build "$carpeta" -j2 --target difusos -- --no-print-directory

temporal=$(mktemp -d /tmp/remitos-fuzz.XXXXXX)
trap 'rm -rf "$temporal"' EXIT
export TMPDIR=$temporal
export XDG_RUNTIME_DIR=$temporal/xdg
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}

mkdir -p "$carpeta/hallazgos" "$carpeta/registros"
fallidos=()
for objetivo in "${objetivos[@]}"; do
  semillas=$raiz/fuzz/semillas/$objetivo
  registro=$carpeta/registros/$objetivo.log
  if [[ "$modo" == corto ]]; then
    # New inputs go to the first folder: a copy, so the seeds in the repository stay as they are.
    corpus=$temporal/corpus/$objetivo
    mkdir -p "$corpus"
    cp -r "$semillas/." "$corpus/"
    carpetas=("$corpus")
  else
    corpus=$carpeta/corpus/$objetivo
    mkdir -p "$corpus"
    carpetas=("$corpus" "$semillas")
  fi
  echo "== $objetivo: $segundos s" >&2
  estado=0
  (cd "$temporal" && "$carpeta/bin/$objetivo" -max_total_time="$segundos" -timeout=30 \
     -print_final_stats=1 -artifact_prefix="$carpeta/hallazgos/$objetivo-" \
     "${carpetas[@]}") >"$registro" 2>&1 || estado=$?

  ejecuciones=$(sed -n 's/^stat::number_of_executed_units: *//p' "$registro" | tail -1)
  por_segundo=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$registro" | tail -1)
  cobertura=$(grep -o 'cov: [0-9]*' "$registro" | tail -1 || true)
  echo "   ${ejecuciones:-?} ejecuciones, ${por_segundo:-?}/s, ${cobertura:-cov: ?}" >&2
  if [[ $estado -ne 0 ]]; then
    fallidos+=("$objetivo")
    echo "   FALLA (estado $estado); registro: $registro" >&2
    grep -E 'No se cumple|ERROR: |runtime error|SUMMARY|Test unit written' "$registro" | head -20 >&2 || true
    continue
  fi
  if [[ "$modo" == largo ]]; then
    # Only the inputs that add coverage stay in the kept corpus.
    minimo=$temporal/minimo-$objetivo
    mkdir -p "$minimo"
    if (cd "$temporal" && "$carpeta/bin/$objetivo" -merge=1 "$minimo" "$corpus") \
         >>"$registro" 2>&1; then
      rm -rf "$corpus" && mv "$minimo" "$corpus"
    fi
    echo "   corpus: $(find "$corpus" -type f | wc -l) archivos en $corpus" >&2
  fi
done

if [[ ${#fallidos[@]} -gt 0 ]]; then
  echo "Fallas encontradas en: ${fallidos[*]} (entradas en $carpeta/hallazgos/)" >&2
  exit 1
fi
echo "Sin fallas." >&2
