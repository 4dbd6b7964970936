#!/usr/bin/env bash
# Starts the program on a fresh demo database under a real X server (Xvfb, with a window
# manager so that the title bar shows), checks the window, and saves a screenshot of it.
#   tests/programa/ventana-xvfb.sh PROGRAMA IMAGEN.png
set -euo pipefail
raiz=$(cd "$(dirname "$0")/../.." && pwd)
remitos=${1:?programa}
imagen=${2:?imagen}
dir=$(mktemp -d)
# shellcheck source=../../scripts/x-virtual.sh
source "$raiz/scripts/x-virtual.sh"
trap 'x_terminar; rm -rf "$dir"' EXIT
x_iniciar

"$remitos" --crear-base "$dir/remitos.db" --demo 50 >/dev/null
"$remitos" --carpeta "$dir" >"$dir/salida" 2>&1 &
x_procesos+=($!)

ventana=$(x_esperar_ventana "^USO INTERNO - SOLO EL ADMINISTRADOR$") || {
  cat "$dir/salida" >&2
  xwininfo -root -tree >&2
  pgrep -a remitos >&2
  exit 1
}
sleep 1
geometria=$(xdotool getwindowgeometry "$ventana" | sed -n 's/.*Geometry: //p')
dpi=$(xdpyinfo | sed -n 's/.*resolution: *\([0-9]*\)x.*/\1/p')
if [[ "$dpi" == 96 && "$geometria" != "382x206" ]]; then
  echo "la ventana mide $geometria, no 382x206" >&2
  exit 1
fi
mkdir -p "$(dirname "$imagen")"
import -frame -window "$ventana" "$imagen"
echo "ventana $geometria; captura en $imagen"
