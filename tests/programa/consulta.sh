#!/usr/bin/env bash
# The consulta program as scripts use it: its exit statuses, the masks file written at the
# first start, and a lookup under a real X server accepted with Enter and cancelled with
# Escape.
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
rm "$dir/app/consultas.zvr"

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
echo "bien"
