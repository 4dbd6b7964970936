#!/usr/bin/env bash
# Starts the program on a fresh demo database under a real X server (Xvfb, with a window
# manager so that the title bar shows), checks the window, and saves a screenshot.
#   scripts/captura.sh [PROGRAMA] [IMAGEN.png]
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
remitos=${1:-$raiz/build/bin/remitos}
imagen=${2:-$raiz/docs/ventana-principal.png}
dir=$(mktemp -d)
pids=()
terminar() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$dir"; }
trap terminar EXIT

pantalla=:$((90 + RANDOM % 400))
Xvfb "$pantalla" -screen 0 800x500x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$pantalla
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
export XDG_RUNTIME_DIR=$dir

"$remitos" --crear-base "$dir/remitos.db" --demo 50 >/dev/null
"$remitos" --carpeta "$dir" >"$dir/salida" 2>&1 &
pids+=($!)

ventana=
for _ in $(seq 100); do
  ventana=$(xdotool search --name "USO INTERNO - SOLO EL ADMINISTRADOR" 2>/dev/null | head -n 1) && [[ -n "$ventana" ]] && break
  sleep 0.1
done
[[ -n "$ventana" ]] || { echo "la ventana no apareció" >&2; cat "$dir/salida" >&2; exit 1; }
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
