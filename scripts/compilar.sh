#!/usr/bin/env bash
# Configures (once) and builds the project in build/, incrementally.
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
if [[ ! -f "$raiz/build/CMakeCache.txt" ]]; then
  cmake -S "$raiz" -B "$raiz/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$raiz/build" -j"$(nproc)" -- --no-print-directory
