#!/usr/bin/env bash
# Configures (once) and builds the project, incrementally:
#   scripts/compilar.sh          build/       (RelWithDebInfo)
#   scripts/compilar.sh asan     build-asan/  (AddressSanitizer and UndefinedBehaviorSanitizer)
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
case "${1:-}" in
"")
  carpeta=$raiz/build
  opciones=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  ;;
asan)
  carpeta=$raiz/build-asan
  banderas="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
  opciones=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS=$banderas -O1"
            "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined")
  ;;
*)
  echo "uso: $0 [asan]" >&2
  exit 64
  ;;
esac
if [[ ! -f "$carpeta/CMakeCache.txt" ]]; then
  cmake -S "$raiz" -B "$carpeta" "${opciones[@]}" >/dev/null
fi
cmake --build "$carpeta" -j"$(nproc)" -- --no-print-directory
