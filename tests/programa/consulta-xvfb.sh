#!/usr/bin/env bash
# Opens the lookup window on the demo database's articles under a real X server, saves a
# screenshot of it, then cancels it with Escape.
#   tests/programa/consulta-xvfb.sh REMITOS VER_CONSULTA IMAGEN.png
set -euo pipefail
raiz=$(cd "$(dirname "$0")/../.." && pwd)
remitos=${1:?remitos}
ver=${2:?ver_consulta}
imagen=${3:?imagen}
dir=$(mktemp -d)
# shellcheck source=../../scripts/x-virtual.sh
source "$raiz/scripts/x-virtual.sh"
trap 'x_terminar; rm -rf "$dir"' EXIT
x_iniciar

"$remitos" --crear-base "$dir/remitos.db" --demo 50 >/dev/null
"$ver" "$dir/remitos.db" "SELECT DESCRIPCION, IDARTICULO, IDUNIDAD, PRECIO FROM V_MA_ARTICULOS WHERE SUSPENDIDO = 0" \
  --filtro "Cable" >"$dir/salida" 2>&1 &
programa=$!
x_procesos+=($programa)

ventana=$(x_esperar_ventana "^Consulta\.\.\.$") || { cat "$dir/salida" >&2; exit 1; }
sleep 1
mkdir -p "$(dirname "$imagen")"
import -frame -window "$ventana" "$imagen"
geometria=$(xdotool getwindowgeometry "$ventana" | sed -n 's/.*Geometry: //p')
x_teclas "$ventana" Escape
for _ in $(seq 50); do kill -0 "$programa" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$programa" 2>/dev/null; then
  echo "Escape no cerró la consulta" >&2
  exit 1
fi
estado=0
wait "$programa" || estado=$?
if [[ $estado -ne 1 ]]; then
  echo "la consulta cancelada terminó con $estado" >&2
  exit 1
fi
echo "consulta $geometria; captura en $imagen"
