#!/usr/bin/env bash
# End to end, as a store administrator does it: the program on a demo database under a real X
# server; Enter (the focus starts on "Ejecutar"), the closing message answered, then "Salir".
# Afterwards the database and the run log are read. Then the window closed from its title bar
# (Alt+F4 through the window manager) in the middle of a long run: the program ends there, as
# "Salir" would, and leaves no note half written.
set -uo pipefail
remitos=${1:?programa}
cerrar_ventana=${2:?cerrar_ventana}
raiz=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(mktemp -d)
# shellcheck source=../../scripts/x-virtual.sh
source "$raiz/scripts/x-virtual.sh"
trap 'x_terminar; rm -rf "$dir"' EXIT
falla() { echo "FALLA: $*" >&2; [[ -f "$dir/salida" ]] && cat "$dir/salida" >&2; exit 1; }

# The notes the run log names (each run also has a first and a last line of its own).
notas() { cat "$dir/RQ857196.LOG" 2>/dev/null | grep -ac '^RM'; }

x_iniciar || falla "sin servidor X"
"$remitos" --crear-base "$dir/remitos.db" --demo 120 >"$dir/creada" || falla "no se creó la base"
pendientes=$(sed -n 's/.*, \([0-9]*\) pendientes de registrar.*/\1/p' "$dir/creada")
[[ "$pendientes" -gt 0 ]] || falla "la demostración no tiene remitos pendientes"

"$remitos" --carpeta "$dir" >"$dir/salida" 2>&1 &
programa=$!
principal=$(x_esperar_ventana "^USO INTERNO - SOLO EL ADMINISTRADOR$") || falla "no apareció la ventana"
x_teclas "$principal" Return
mensaje=$(x_esperar_ventana "^remitos$") || falla "no apareció el mensaje final"
xdotool getwindowname "$mensaje" >/dev/null
x_teclas "$mensaje" Return
for _ in $(seq 50); do xdotool search --onlyvisible --name "^remitos$" >/dev/null 2>&1 || break; sleep 0.1; done

lineas=$(notas)
[[ "$lineas" == "$pendientes" ]] || falla "el registro tiene $lineas líneas, se esperaban $pendientes"
grep -q '^\*\*\* ' "$dir/RQ857196.LOG" && falla "el registro anota fallas"

x_teclas "$principal" Tab Return
for _ in $(seq 50); do kill -0 "$programa" 2>/dev/null || break; sleep 0.1; done
kill -0 "$programa" 2>/dev/null && falla "Salir no terminó el programa"
wait "$programa"; estado=$?
[[ $estado -eq 0 ]] || falla "Salir terminó con estado $estado"

# Every note went in: a batch run right after finds nothing pending.
"$remitos" --carpeta "$dir" --ejecutar >"$dir/segunda" 2>/dev/null || falla "la segunda corrida falló"
grep -q "^Remitos procesados: 0$" "$dir/segunda" || falla "quedaron remitos: $(cat "$dir/segunda")"
echo "bien: $pendientes remitos registrados desde la ventana"

rm -f "$dir/RQ857196.LOG"
"$remitos" --crear-base "$dir/grande.db" --demo 20000 >"$dir/creada" || falla "no se creó la base grande"
pendientes=$(sed -n 's/.*, \([0-9]*\) pendientes de registrar.*/\1/p' "$dir/creada")
# Every row made a little slower, so that the run lasts long enough (tens of seconds) for the
# close request to arrive in the middle of it however loaded the machine is.
sqlite3 "$dir/grande.db" "CREATE TRIGGER despacio AFTER INSERT ON V_MV_Stock BEGIN
  SELECT count(*) FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 4000) SELECT x FROM c);
END" || falla "sqlite3 no pudo agregar el disparador"
"$remitos" --carpeta "$dir" "@DbName=grande.db;" >"$dir/salida" 2>&1 &
programa=$!
principal=$(x_esperar_ventana "^USO INTERNO - SOLO EL ADMINISTRADOR$") || falla "no apareció la ventana"
x_teclas "$principal" Return
for _ in $(seq 400); do
  [[ -f "$dir/RQ857196.LOG" && $(notas) -ge 50 ]] && break
  sleep 0.02
done
# What the close box sends. (Alt+F4 goes through the window manager, which a screen kept busy
# by the run can starve for seconds.)
hechos=$(notas)
"$cerrar_ventana" "$principal" || falla "no se pudo pedir que se cierre la ventana"
for _ in $(seq 100); do kill -0 "$programa" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$programa" 2>/dev/null; then
  xdotool search --onlyvisible --name "^remitos$" >/dev/null 2>&1 \
    && falla "la corrida llegó al final antes de cerrar la ventana ($hechos remitos al pedirlo)"
  falla "cerrar la ventana durante la corrida no terminó el programa ($hechos remitos al pedirlo, $(notas) después)"
fi
wait "$programa"; estado=$?
[[ $estado -eq 0 ]] || falla "cerrar la ventana terminó con estado $estado"
hechos=$(notas)
[[ $hechos -lt $pendientes ]] || falla "la corrida llegó al final ($hechos remitos) antes de cerrar la ventana"
sqlite3 "$dir/grande.db" "DROP TRIGGER despacio" || falla "sqlite3 no pudo quitar el disparador"
"$remitos" --carpeta "$dir" --ejecutar "@DbName=grande.db;" >"$dir/resto" 2>/dev/null \
  || falla "la corrida que sigue falló: $(cat "$dir/resto")"
resto=$(sed -n 's/^Remitos procesados: //p' "$dir/resto")
[[ $((hechos + resto)) -eq $pendientes ]] || falla "$hechos + $resto remitos procesados de $pendientes"
"$remitos" --carpeta "$dir" --revisar "@DbName=grande.db;" >"$dir/revision" \
  || falla "quedaron remitos a medias: $(cat "$dir/revision")"
echo "bien: la ventana cerrada tras $hechos de $pendientes remitos terminó el programa entre dos remitos"
