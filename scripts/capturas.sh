#!/usr/bin/env bash
# Retakes the README's pictures: the real programs on a fresh demo database under Xvfb with a
# window manager, driven with the keyboard as a person would.
#   scripts/capturas.sh [BUILD_BIN_FOLDER] [IMAGES_FOLDER]     (default build/bin and docs)
#   docs/ventana-principal.png  the main window as it opens
#   docs/ventana-fin.png        the main window with the closing message of a run
#   docs/consulta.png           consulta on the articles, "Cable" typed in the first box
#   docs/consulta-casillas.png  consulta with check boxes and quantities
#   docs/consulta-angosta.png   consulta on one short column: the window keeps its buttons whole
#   docs/consulta-ancha.png     consulta on columns wider than the screen
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$raiz/build/bin}" && pwd)
imagenes=$(mkdir -p "${2:-$raiz/docs}" && cd "${2:-$raiz/docs}" && pwd)
dir=$(mktemp -d)
# shellcheck source=x-virtual.sh
source "$raiz/scripts/x-virtual.sh"
trap 'x_terminar; rm -rf "$dir"' EXIT
trap 'echo "capturas.sh: falló la línea $LINENO: $BASH_COMMAND" >&2' ERR

x_iniciar
"$bin/remitos" --crear-base "$dir/remitos.db" --demo 200 >/dev/null

# The picture of what is on the screen around some windows: from the top left corner of the
# first to the bottom right corner of the second, frames included.
captura_de() {
  local imagen=$1 x0=99999 y0=99999 x1=0 y1=0 v
  shift
  for v in "$@"; do
    eval "$(xwininfo -id "$(x_marco "$v")" | awk '
      /Absolute upper-left X/ {print "x=" $4} /Absolute upper-left Y/ {print "y=" $4}
      /Width:/ {print "w=" $2} /Height:/ {print "h=" $2}')"
    ((x < x0)) && x0=$x
    ((y < y0)) && y0=$y
    ((x + w > x1)) && x1=$((x + w))
    ((y + h > y1)) && y1=$((y + h))
  done
  import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$imagen"
  echo "captura en $imagen"
}
# The window manager's frame around a program's window: its ancestor that is a child of the
# root window.
x_marco() {
  local v=$1 padre raiz_x
  raiz_x=$(xwininfo -root | awk '/Window id:/ {print $4}')
  for _ in $(seq 10); do
    padre=$(xwininfo -children -id "$v" | awk '/Parent window id:/ {print $4}')
    [[ -z "$padre" || $((padre)) -eq $((raiz_x)) || $((padre)) -eq 0 ]] && break
    v=$padre
  done
  echo "$v"
}

# The main window as it opens, then after a run with the closing message over it.
"$bin/remitos" --carpeta "$dir" >"$dir/remitos.salida" 2>&1 &
programa=$!
x_procesos+=($programa)
principal=$(x_esperar_ventana "^USO INTERNO - SOLO EL ADMINISTRADOR$")
sleep 1
captura_de "$imagenes/ventana-principal.png" "$principal"
x_teclas "$principal" Return
mensaje=$(x_esperar_ventana "^remitos$")
sleep 1
captura_de "$imagenes/ventana-fin.png" "$principal" "$mensaje"
x_teclas "$mensaje" Return
sleep 0.3
x_teclas "$principal" Tab Return
wait "$programa"

# consulta with the given options, the keys (a text, "" for none) pressed in it, then its
# picture; Escape closes it.
capturar_consulta() {
  local imagen=$1 teclas=$2
  shift 2
  "$bin/consulta" --carpeta "$dir" "$@" >"$dir/consulta.salida" 2>&1 &
  programa=$!
  x_procesos+=($programa)
  ventana=$(x_esperar_ventana "^Consulta\.\.\.$")
  sleep 1
  # shellcheck disable=SC2086
  [[ -n "$teclas" ]] && x_teclas "$ventana" $teclas
  sleep 0.5
  captura_de "$imagen" "$ventana"
  x_teclas "$ventana" Escape
  wait "$programa" || true
}

# consulta on the articles: a search as it is typed.
capturar_consulta "$imagenes/consulta.png" "C a b l e" --tabla v_ma_articulos
# With check boxes and quantities: two rows given quantities with Insert.
capturar_consulta "$imagenes/consulta-casillas.png" "T o r n Down Insert Insert Insert Down Down Insert" \
  --tabla v_ma_articulos --casillas --cantidades
# A result of one short column, and one wider than the screen: the buttons whole in both.
capturar_consulta "$imagenes/consulta-angosta.png" "" --tabla "SELECT IDUNIDAD FROM V_MA_ARTICULOS" \
  --devuelto IDUNIDAD
capturar_consulta "$imagenes/consulta-ancha.png" "" --tabla \
  "SELECT RAZON_SOCIAL, CODIGO, CONTACTO, DOMICILIO, LOCALIDAD, TELEFONO, CUIT FROM VT_CLIENTES" \
  --devuelto CODIGO
