#!/usr/bin/env bash
# Installs what is missing, builds, creates the embedded demo database when there is none,
# and starts the program on it.
set -euo pipefail
raiz=$(cd "$(dirname "$0")" && pwd)
cd "$raiz"

scripts/dependencias.sh
scripts/compilar.sh

base=build/bin/remitos.db
if [[ ! -f "$base" ]]; then
  build/bin/remitos --crear-base "$base" --demo 1000
fi
exec build/bin/remitos "$@"
