#!/usr/bin/env bash
# Installs what is missing, builds, creates the embedded demo database when there is none,
# and starts the program on it: the window when there is a screen, otherwise the registration
# in batch mode (progress and a summary on the terminal).
set -euo pipefail
raiz=$(cd "$(dirname "$0")" && pwd)
cd "$raiz"

scripts/dependencias.sh
scripts/compilar.sh

base=build/bin/remitos.db
if [[ ! -f "$base" ]]; then
  build/bin/remitos --crear-base "$base" --demo 1000
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  exec build/bin/remitos --ejecutar "$@"
fi
exec build/bin/remitos "$@"
