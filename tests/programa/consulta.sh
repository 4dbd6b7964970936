#!/usr/bin/env bash
# The consulta program as scripts use it: its exit statuses, the masks file written at the
# first start, a lookup under a real X server accepted with Enter and cancelled with Escape,
# accepted with nothing to choose, refused before or while loading, and left without its
# screen; values that hold line ends and tabs; a database on a read-only file system.
#   consulta.sh REMITOS CONSULTA
set -uo pipefail
remitos=${1:?remitos}
consulta=${2:?consulta}
raiz=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(mktemp -d)
# shellcheck source=../../scripts/x-virtual.sh
source "$raiz/scripts/x-virtual.sh"
trap 'x_terminar; rm -rf "$dir"' EXIT
falla() { echo "FALLA: $*" >&2; exit 1; }

"$consulta" --help | grep -q -- "--tabla" || falla "--help no describe --tabla"
"$consulta" 2>/dev/null; [[ $? -eq 64 ]] || falla "sin --tabla no es un error de uso"
env -u DISPLAY "$consulta" --carpeta "$dir" "@DbName=no-esta.db;" --tabla v_ma_articulos 2>"$dir/error"
[[ $? -eq 2 ]] || falla "sin base de datos no terminó con 2"
grep -q "no-esta.db" "$dir/error" || falla "no dice qué base falta: $(cat "$dir/error")"
# Options written with "=" are options like the others.
env -u DISPLAY "$consulta" --carpeta="$dir" "@DbName=no-esta.db;" --tabla=v_ma_articulos 2>"$dir/error"
[[ $? -eq 2 ]] || falla "--tabla=X no se leyó como --tabla X: $(cat "$dir/error")"
# A misspelt key is a malformed command line: said, and nothing is opened or written.
mkdir "$dir/vacia"
env -u DISPLAY "$consulta" --carpeta "$dir/vacia" "@DbNme=no-esta.db;" --tabla v_ma_articulos 2>"$dir/error"
[[ $? -eq 64 ]] || falla "una clave mal escrita no es un error de uso"
grep -q "^consulta: clave desconocida «@DbNme»: ¿quiso decir @DbName?$" "$dir/error" || falla "clave mal escrita: $(cat "$dir/error")"
[[ -z "$(ls "$dir/vacia")" ]] || falla "con una clave mal escrita se escribió $(ls "$dir/vacia")"

# remitos in an empty application folder writes the default masks file, and leaves it alone
# afterwards.
"$remitos" --crear-base "$dir/demo.db" --demo 30 >/dev/null || falla "no se creó la base"
mkdir "$dir/app"
env -u DISPLAY "$remitos" --carpeta "$dir/app" --ejecutar "@DbName=$dir/demo.db;" >/dev/null 2>&1 \
  || falla "remitos no corrió en la carpeta vacía"
[[ $(stat -c %s "$dir/app/consultas.zvr") == 4808 ]] || falla "consultas.zvr no mide 4808 bytes"
printf 'cambiado' >"$dir/app/consultas.zvr"
env -u DISPLAY "$remitos" --carpeta "$dir/app" --ejecutar "@DbName=$dir/demo.db;" >/dev/null 2>&1
[[ $(cat "$dir/app/consultas.zvr") == cambiado ]] || falla "un segundo arranque reescribió consultas.zvr"
# Shorter than one record it names no table: a table's name is then said to be no statement,
# and why, and what to do.
env -u DISPLAY "$consulta" --carpeta "$dir/app" "@DbName=$dir/demo.db;" --tabla v_ma_articulos 2>"$dir/error"
[[ $? -eq 2 ]] || falla "una tabla con el archivo de máscaras corto no terminó con 2"
grep -q "«v_ma_articulos» no es una consulta.*; el archivo de máscaras $dir/app/consultas.zvr mide menos que un registro (8 bytes).*bórrelo" "$dir/error" \
  || falla "no dice que el archivo de máscaras es corto: $(cat "$dir/error")"
rm "$dir/app/consultas.zvr"

# A screen named but gone: said, and the window is not drawn where nobody sees it.
DISPLAY=:9999 WAYLAND_DISPLAY= QT_QPA_PLATFORM= timeout 60 "$consulta" --carpeta "$dir/app" \
  "@DbName=$dir/demo.db;" --tabla v_ma_articulos 2>"$dir/error"
estado=$?
[[ $estado -eq 64 ]] || falla "con una pantalla que no se puede abrir terminó con $estado: $(cat "$dir/error")"
grep -q "no se pudo abrir la pantalla «:9999»" "$dir/error" || falla "no dice qué pantalla: $(cat "$dir/error")"

x_iniciar || falla "sin servidor X"
"$consulta" --carpeta "$dir/app" "@DbName=$dir/demo.db;" --tabla v_ma_articulos >"$dir/salida" 2>"$dir/error" &
programa=$!
x_procesos+=($programa)
ventana=$(x_esperar_ventana "^Consulta\.\.\.$") || falla "no apareció la consulta: $(cat "$dir/error")"
sleep 0.5
x_teclas "$ventana" t o r n
sleep 0.3
x_teclas "$ventana" Return
wait "$programa"; estado=$?
[[ $estado -eq 0 ]] || falla "Enter terminó con $estado: $(cat "$dir/error")"
[[ $(cat "$dir/salida") == Tornillo* ]] || falla "escribió «$(cat "$dir/salida")», no un tornillo"
[[ -f "$dir/app/consultas.zvr" ]] || falla "consulta no escribió el archivo de máscaras"

"$consulta" --carpeta "$dir/app" "@DbName=$dir/demo.db;" --tabla VT_CLIENTES >"$dir/salida" 2>"$dir/error" &
programa=$!
x_procesos+=($programa)
ventana=$(x_esperar_ventana "^Consulta\.\.\.$") || { wait "$programa"; falla "no apareció la segunda consulta (estado $?): $(cat "$dir/error")"; }
x_teclas "$ventana" Escape
wait "$programa"; estado=$?
[[ $estado -eq 1 ]] || falla "Escape terminó con $estado"
[[ -z "$(cat "$dir/salida")" ]] || falla "una consulta cancelada escribió «$(cat "$dir/salida")»"

# Runs consulta on the demo database (or on $base) with the given options; when a lookup window
# appears, its id goes to $dir/ventana and the keys are pressed in it. The exit status goes to
# $estado.
consultar() {
  local teclas=$1
  shift
  rm -f "$dir/ventana"
  "$consulta" --carpeta "$dir/app" "@DbName=${base:-$dir/demo.db};" "$@" >"$dir/salida" 2>"$dir/error" &
  local programa=$!
  x_procesos+=($programa)
  local v=
  for _ in $(seq 100); do
    kill -0 "$programa" 2>/dev/null || break
    v=$(xdotool search --onlyvisible --pid "$programa" --name "^Consulta\.\.\.$" 2>/dev/null | head -n 1)
    [[ -n "$v" ]] && break
    sleep 0.1
  done
  if [[ -n "$v" ]]; then
    echo "$v" >"$dir/ventana"
    sleep 0.5
    # shellcheck disable=SC2086
    x_teclas "$v" $teclas
  fi
  wait "$programa"; estado=$?
}

# The desktop menu's way: Enter accepts, the value goes to the clipboard and a window says so;
# the clipboard holds it while that window is open.
"$consulta" --carpeta "$dir/app" "@DbName=$dir/demo.db;" --tabla=v_ma_articulos --devuelto=IDARTICULO \
  --portapapeles >"$dir/salida" 2>"$dir/error" &
programa=$!
x_procesos+=($programa)
ventana=$(x_esperar_ventana "^Consulta\.\.\.$") || falla "no apareció la consulta con --portapapeles: $(cat "$dir/error")"
sleep 0.5
x_teclas "$ventana" Return
aviso=$(x_esperar_ventana "^Consulta$") || falla "no dijo que copió al portapapeles: $(cat "$dir/error")"
copiado=$(timeout 5 xclip -o -selection clipboard 2>&1)
x_teclas "$aviso" Return
wait "$programa"; estado=$?
[[ $estado -eq 0 ]] || falla "--portapapeles terminó con $estado: $(cat "$dir/error")"
[[ -n "$copiado" && "$copiado" == "$(cat "$dir/salida")" ]] || falla "el portapapeles tiene «$copiado», la salida «$(cat "$dir/salida")»"
[[ $(sqlite3 "$dir/demo.db" "SELECT COUNT(*) FROM V_MA_ARTICULOS WHERE IDARTICULO = '$copiado'") == 1 ]] \
  || falla "«$copiado» no es el código de un artículo"

# Accepted with nothing to choose: no row, or no check mark.
consultar Return --tabla "SELECT DESCRIPCION FROM V_MA_ARTICULOS WHERE 1 = 0" --devuelto DESCRIPCION
[[ $estado -eq 1 && -z "$(cat "$dir/salida")" ]] || falla "aceptar sin filas terminó con $estado: «$(cat "$dir/salida")»"
consultar Return --tabla v_ma_articulos --casillas
[[ $estado -eq 1 && -z "$(cat "$dir/salida")" ]] || falla "aceptar sin marcas terminó con $estado"

# A statement the database refuses: said on standard error, no window, status 2.
consultar Return --tabla "SELECT * FROM NO_EXISTE" --devuelto X
[[ $estado -eq 2 ]] || falla "una sentencia rechazada terminó con $estado"
[[ ! -f "$dir/ventana" ]] || falla "una sentencia rechazada mostró la ventana"
grep -q "NO_EXISTE" "$dir/error" || falla "no dice qué falló: $(cat "$dir/error")"

# A statement that would write is refused before it reaches the database.
antes=$(sqlite3 "$dir/demo.db" "SELECT COUNT(*) FROM V_MA_ARTICULOS")
consultar Return --tabla "DELETE FROM V_MA_ARTICULOS" --devuelto X
[[ $estado -eq 2 ]] || falla "una sentencia que escribe terminó con $estado"
grep -q "solo lee" "$dir/error" || falla "no dice por qué rechaza: $(cat "$dir/error")"
[[ $(sqlite3 "$dir/demo.db" "SELECT COUNT(*) FROM V_MA_ARTICULOS") == "$antes" ]] || falla "se borraron artículos"

# One short column: the window is still wide enough for both buttons (5175 twips, 345 pixels).
"$consulta" --carpeta "$dir/app" "@DbName=$dir/demo.db;" --tabla "SELECT IDUNIDAD FROM V_MA_ARTICULOS" \
  --devuelto IDUNIDAD >"$dir/salida" 2>"$dir/error" &
programa=$!
x_procesos+=($programa)
ventana=$(x_esperar_ventana "^Consulta\.\.\.$") || falla "no apareció la consulta angosta"
sleep 0.5
ancho=$(xwininfo -id "$ventana" | awk '/Width:/ {print $2}')
x_teclas "$ventana" Escape
wait "$programa"
((ancho >= 345)) || falla "la consulta angosta mide $ancho píxeles: los botones no caben"

# A value with a tab and a line end keeps its line: both are written as escapes.
consultar Return --tabla "SELECT 'a' || char(9) || 'b' || char(10) || 'c\d' AS V" --devuelto V
[[ $estado -eq 0 ]] || falla "la consulta del valor con tabulador terminó con $estado"
[[ "$(cat "$dir/salida")" == 'a\tb\nc\\d' ]] || falla "el valor se escribió «$(cat "$dir/salida")»"

# A database in WAL mode on a file system mounted read-only (a mounted backup): the lookup and
# --revisar read it; a run is refused, saying why. Mounting takes root: without it this part is
# left out.
mkdir "$dir/ro"
if mount -t tmpfs -o size=16m,mode=0755 tmpfs "$dir/ro" 2>"$dir/error"; then
  trap 'x_terminar; umount "$dir/ro"; rm -rf "$dir"' EXIT
  cp "$dir/demo.db" "$dir/ro/remitos.db"
  [[ $(sqlite3 "$dir/ro/remitos.db" "PRAGMA journal_mode") == wal && $(ls "$dir/ro") == remitos.db ]] \
    || falla "la base copiada no está en modo WAL, o quedó algo junto a ella: $(ls "$dir/ro")"
  mount -o remount,ro "$dir/ro" || falla "no se pudo volver a montar de sólo lectura"
  base=$dir/ro/remitos.db consultar Return --tabla "SELECT DESCRIPCION FROM V_MA_ARTICULOS WHERE DESCRIPCION LIKE 'Tornillo%'" --devuelto DESCRIPCION
  [[ $estado -eq 0 && $(cat "$dir/salida") == Tornillo* ]] \
    || falla "la consulta en sólo lectura terminó con $estado: «$(cat "$dir/salida")» $(cat "$dir/error")"
  # With the application folder elsewhere, or there too.
  for carpeta in "$dir/app" "$dir/ro"; do
    "$remitos" --carpeta "$carpeta" --revisar "@DbName=$dir/ro/remitos.db;" >"$dir/salida" 2>"$dir/error"
    estado=$?
    [[ $estado -eq 0 ]] && grep -qx "No hay remitos incompletos." "$dir/salida" \
      || falla "--revisar en sólo lectura ($carpeta) terminó con $estado: $(cat "$dir/salida" "$dir/error")"
  done
  "$remitos" --carpeta "$dir/app" --ejecutar "@DbName=$dir/ro/remitos.db;" >"$dir/salida" 2>"$dir/error"
  estado=$?
  [[ $estado -eq 1 ]] || falla "--ejecutar en sólo lectura terminó con $estado: $(cat "$dir/error")"
  grep -qF "el sistema de archivos de $dir/ro/remitos.db es de sólo lectura" "$dir/error" \
    || falla "--ejecutar no dice que el sistema de archivos es de sólo lectura: $(cat "$dir/error")"
else
  echo "sin la base en sólo lectura: no se puede montar un tmpfs aquí ($(cat "$dir/error"))"
fi

# The screen goes away while the lookup is shown: status 64, as without a screen.
pantalla=${#x_procesos[@]}
x_iniciar || falla "sin segundo servidor X"
"$consulta" --carpeta "$dir/app" "@DbName=$dir/demo.db;" --tabla v_ma_articulos >"$dir/salida" 2>"$dir/error" &
programa=$!
x_esperar_ventana "^Consulta\.\.\.$" >/dev/null || falla "no apareció la consulta en la segunda pantalla: $(cat "$dir/error")"
kill "${x_procesos[pantalla]}"
wait "$programa"; estado=$?
[[ $estado -eq 64 ]] || falla "perder la pantalla terminó con $estado: $(cat "$dir/error")"
echo "bien"
