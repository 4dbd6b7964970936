#!/usr/bin/env bash
# remitos --ejecutar as a scheduled job runs it: exit statuses, the summary, and a run killed
# in the middle that the next run completes with no note half registered and no row twice.
# Then a refused line completed as an administrator does it: --revisar, the data mended,
# --completar.
set -uo pipefail
remitos=$(realpath "${1:?programa}")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
falla() { echo "FALLA: $*" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$dir

# A fresh demo database: every pending note is registered, then nothing is left.
"$remitos" --crear-base "$dir/remitos.db" --demo 400 >"$dir/creada" || falla "no se creó la base"
pendientes=$(sed -n 's/.*, \([0-9]*\) pendientes de registrar.*/\1/p' "$dir/creada")

# --simular first: the database and the log stay byte for byte as they were, and what it
# announces is what the real run then does on a copy.
printf 'RMANTERIOR\r\n' >"$dir/RQ857196.LOG"
mkdir "$dir/copia"
cp "$dir/remitos.db" "$dir/RQ857196.LOG" "$dir/copia/"
"$remitos" --carpeta "$dir" --simular >"$dir/simulada" 2>"$dir/simulada.errores"
estado=$?
[[ $estado -eq 0 ]] || falla "--simular terminó con $estado: $(cat "$dir/simulada.errores")"
cmp -s "$dir/remitos.db" "$dir/copia/remitos.db" || falla "--simular cambió la base"
cmp -s "$dir/RQ857196.LOG" "$dir/copia/RQ857196.LOG" || falla "--simular cambió el registro"
# Reading a database in write-ahead mode from a file opened read-only leaves the engine's
# index and an empty log beside it; nothing may have been written to them.
[[ ! -e "$dir/remitos.db-journal" && ! -s "$dir/remitos.db-wal" ]] || falla "--simular escribió en un diario de la base: $(ls -l "$dir")"
"$remitos" --carpeta "$dir/copia" --ejecutar >"$dir/copia.salida" 2>/dev/null || falla "la corrida en la copia falló"
# The preview tells its rows in the conditional, the run as done.
grep -q "^Renglones que se registrarían: [1-9]" "$dir/simulada" && ! grep -q "^Renglones registrados" "$dir/simulada" \
  || falla "el resumen de --simular no habla en condicional: $(cat "$dir/simulada" | tail -8)"
cifras() { grep -E "^(Proceso|Remitos |Renglones )" "$1" | sed 's/^Renglones que se registrarían:/Renglones registrados:/'; }
[[ "$(cifras "$dir/simulada")" == "$(cifras "$dir/copia.salida")" ]] \
  || falla "el resumen de --simular no es el de la corrida: $(cifras "$dir/simulada") / $(cifras "$dir/copia.salida")"
[[ "$(grep -c "^  INSERT INTO V_MV_STOCK " "$dir/simulada")" -eq "$(sed -n 's/^Renglones registrados: //p' "$dir/copia.salida")" ]] \
  || falla "--simular no mostró una fila por renglón"
[[ "$(grep "^RM" "$dir/simulada" | sort)" == "$(tail -n +2 "$dir/copia/RQ857196.LOG" | tr -d '\r' | grep -v '^=== ' | sort)" ]] \
  || falla "las líneas de registro que anuncia --simular no son las que escribe la corrida"
grep -q "^Simulación: no se escribió nada" "$dir/simulada" || falla "--simular no dice que no escribió"
rm "$dir/RQ857196.LOG"

# --silencioso, as cron runs it: a run where every line goes in says nothing at all.
"$remitos" --carpeta "$dir/copia" --crear-base "$dir/copia/callada.db" --demo 50 >/dev/null || falla "no se creó la base callada"
"$remitos" --carpeta "$dir/copia" --ejecutar --silencioso "@DbName=callada.db;" >"$dir/callada" 2>&1 \
  || falla "la corrida silenciosa terminó con $?: $(cat "$dir/callada")"
[[ ! -s "$dir/callada" ]] || falla "la corrida silenciosa escribió: $(cat "$dir/callada")"
[[ $(sqlite3 "$dir/copia/callada.db" "SELECT count(*) FROM V_MV_Stock") -gt 0 ]] || falla "la corrida silenciosa no registró nada"
env -u DISPLAY "$remitos" --carpeta "$dir" --ejecutar "@DbName=remitos.db;" >"$dir/salida" 2>"$dir/avance"
estado=$?
[[ $estado -eq 0 ]] || falla "la corrida terminó con $estado: $(cat "$dir/avance")"
grep -q "^Proceso Finalizado!$" "$dir/salida" || falla "falta el mensaje final"
grep -q "^Remitos procesados: $pendientes$" "$dir/salida" || falla "resumen: $(cat "$dir/salida")"
grep -q "^Renglones rechazados: 0$" "$dir/salida" || falla "resumen: $(cat "$dir/salida")"
grep -q "renglones/s" "$dir/avance" || falla "sin avance en la salida de errores"
# As cron starts it, with next to nothing in the environment: no window system, so no word
# from Qt on standard error, only the run's own progress.
env -i PATH=/usr/bin:/bin "$remitos" --carpeta "$dir" --ejecutar >"$dir/salida" 2>"$dir/avance" \
  || falla "la segunda corrida falló: $(cat "$dir/avance")"
grep -q "^Remitos procesados: 0$" "$dir/salida" || falla "la segunda corrida encontró remitos"
grep -v "^remitos: Remitos pendientes: " "$dir/avance" | grep . && falla "la corrida sin entorno escribió otra cosa en la salida de errores"

# A line the database refuses: status 2, and the log says which.
sqlite3 "$dir/remitos.db" "INSERT INTO V_MV_Cpte (TC,IDCOMPROBANTE,IDCOMPLEMENTO,FECHA,ANULADA) VALUES ('RM','MALO',0,'2024-05-05',0);
  INSERT INTO V_Mv_CpteInsumos (TC,IDCOMPROBANTE,IDCOMPLEMENTO,RENGLON,IDARTICULO,CANTIDAD) VALUES ('RM','MALO',0,1,NULL,1),('RM','MALO',0,2,'A00001',1);" \
  || falla "sqlite3 no pudo agregar el remito"
"$remitos" --carpeta "$dir" --simular >"$dir/simulada" 2>/dev/null
estado=$?
[[ $estado -eq 2 ]] || falla "--simular con un renglón rechazado terminó con $estado"
grep -q "^\*\*\* RMMALO renglón 1: .*IDARTICULO" "$dir/simulada" || falla "--simular no dice qué renglón se rechazaría y por qué"
grep -q "^No se registró 1 renglón\.$" "$dir/simulada" || falla "--simular: $(cat "$dir/simulada")"
# Quiet, a failure still comes out whole, on standard error only.
"$remitos" --carpeta "$dir" --ejecutar --silencioso >"$dir/salida" 2>"$dir/errores"
estado=$?
[[ $estado -eq 2 ]] || falla "un renglón rechazado terminó con $estado"
[[ ! -s "$dir/salida" ]] || falla "--silencioso escribió en la salida: $(cat "$dir/salida")"
grep -q "^remitos: Renglones rechazados: 1$" "$dir/errores" || falla "resumen: $(cat "$dir/errores")"
grep -q "^remitos: \*\*\* RMMALO renglón 1: " "$dir/errores" || falla "--silencioso calló el renglón rechazado"
LC_ALL=C grep -q "^\*\*\* RMMALO rengl.n 1: " "$dir/RQ857196.LOG" || falla "el registro no anota el renglón rechazado"

# The note has a row now: the next run leaves it alone, --revisar shows what it lacks, and
# --completar writes it once the line is mended, and only then.
"$remitos" --carpeta "$dir" --ejecutar >"$dir/salida" 2>/dev/null || falla "la corrida siguiente terminó con $?"
grep -q "^Remitos procesados: 0$" "$dir/salida" || falla "la corrida siguiente volvió al remito: $(cat "$dir/salida")"
"$remitos" --carpeta "$dir" --revisar >"$dir/revision" 2>&1
estado=$?
[[ $estado -eq 2 ]] || falla "--revisar con un remito incompleto terminó con $estado: $(cat "$dir/revision")"
grep -q "^RMMALO: 2 renglones, 1 movimiento de stock; se puede completar:$" "$dir/revision" \
  || falla "--revisar: $(cat "$dir/revision")"
grep -q "SECUENCIA 1 para el renglón artículo nulo" "$dir/revision" || falla "--revisar: $(cat "$dir/revision")"
"$remitos" --carpeta "$dir" --completar >"$dir/completado" 2>"$dir/errores"
estado=$?
[[ $estado -eq 2 ]] || falla "--completar con el renglón sin corregir terminó con $estado"
grep -q "^remitos: \*\*\* RMMALO: no se complet" "$dir/errores" || falla "--completar: $(cat "$dir/errores")"
sqlite3 "$dir/remitos.db" "UPDATE V_Mv_CpteInsumos SET IDARTICULO = 'A00002' WHERE IDCOMPROBANTE = 'MALO' AND RENGLON = 1" \
  || falla "sqlite3 no pudo corregir el renglón"
"$remitos" --carpeta "$dir" --completar >"$dir/completado" 2>"$dir/errores" \
  || falla "--completar terminó con $?: $(cat "$dir/errores")"
grep -q "^Remitos completados: 1$" "$dir/completado" || falla "--completar: $(cat "$dir/completado")"
LC_ALL=C grep -q "^+++ RMMALO SECUENCIA 1: art.culo A00002" "$dir/RQ857196.LOG" || falla "el registro no anota lo completado"
[[ $(sqlite3 "$dir/remitos.db" "SELECT group_concat(SECUENCIA || ':' || IDARTICULO, ' ') FROM
  (SELECT SECUENCIA, IDARTICULO FROM V_MV_Stock WHERE IDCOMPROBANTE = 'MALO' ORDER BY SECUENCIA)") == "1:A00002 2:A00001" ]] \
  || falla "los movimientos de RMMALO no son los esperados"
"$remitos" --carpeta "$dir" --revisar >"$dir/revision" 2>&1 || falla "--revisar tras completar terminó con $?"
grep -q "^No hay remitos incompletos.$" "$dir/revision" || falla "--revisar: $(cat "$dir/revision")"

# A user outside the group that shares the folder is told so, and what to do, both for the
# database and for the log. Needs root to run as another user; the group "users" stands for
# the shared folder's group (nobody is not in it).
if [[ $(id -u) -eq 0 ]] && getent group users >/dev/null && ! id -nG nobody | grep -qw users; then
  chmod 755 "$dir"
  mkdir -m 2775 "$dir/compartida" && chgrp users "$dir/compartida"
  "$remitos" --crear-base "$dir/compartida/remitos.db" --demo 5 >/dev/null || falla "no se creó la base compartida"
  chgrp users "$dir/compartida/remitos.db" && chmod 664 "$dir/compartida/remitos.db"
  como_nobody() { (cd / && runuser -u nobody -- env -i PATH=/usr/bin:/bin "$remitos" "$@"); }
  como_nobody --carpeta "$dir/compartida" --ejecutar >"$dir/salida" 2>"$dir/errores"
  estado=$?
  [[ $estado -eq 1 ]] || falla "un usuario fuera del grupo terminó con $estado"
  grep -q "no es del grupo «users».*adduser nobody users" "$dir/errores" \
    || falla "al usuario fuera del grupo no se le dice qué hacer: $(cat "$dir/errores")"
  # With the journal files of an earlier run beside the database, SQLite would open it for
  # reading only: refused all the same, in one message that names the program.
  "$remitos" --carpeta "$dir/compartida" --simular >/dev/null 2>&1
  [[ -e "$dir/compartida/remitos.db-shm" ]] || falla "la simulación no dejó remitos.db-shm"
  como_nobody --carpeta "$dir/compartida" --ejecutar >"$dir/salida" 2>"$dir/errores"
  estado=$?
  [[ $estado -eq 1 && $(grep -c . "$dir/errores") -eq 1 ]] \
    && grep -q "^remitos: No se puede abrir la base de datos .* para escribir: el usuario nobody no es del grupo «users»" "$dir/errores" \
    || falla "un usuario fuera del grupo, con los diarios de la base presentes, terminó con $estado: $(cat "$dir/errores")"
  # The folder open to all, the log still the group's: the run goes on, and says why not.
  chmod 2777 "$dir/compartida" && chmod 666 "$dir/compartida"/remitos.db*
  : >"$dir/compartida/RQ857196.LOG" && chgrp users "$dir/compartida/RQ857196.LOG" && chmod 664 "$dir/compartida/RQ857196.LOG"
  como_nobody --carpeta "$dir/compartida" --ejecutar >"$dir/salida" 2>"$dir/errores"
  estado=$?
  [[ $estado -eq 2 ]] || falla "sin poder escribir el registro terminó con $estado"
  grep -Eq "^No se pudo abrir el registro .*RQ857196.LOG: (Permission denied|Permiso denegado); el usuario nobody no es del grupo «users»" "$dir/salida" \
    || falla "el registro que no se puede abrir no dice por qué: $(cat "$dir/salida")"
fi

# No database: status 1.
"$remitos" --carpeta "$dir" --ejecutar "@DbName=no-esta.db;" >/dev/null 2>&1
[[ $? -eq 1 ]] || falla "sin base de datos no terminó con 1"

# Killed in the middle of a large run, then run again.
"$remitos" --crear-base "$dir/grande.db" --demo 20000 >/dev/null || falla "no se creó la base grande"
rm -f "$dir/RQ857196.LOG"
"$remitos" --carpeta "$dir" --ejecutar "@DbName=grande.db;" >/dev/null 2>&1 &
corrida=$!
for _ in $(seq 300); do
  [[ $(cat "$dir/RQ857196.LOG" 2>/dev/null | wc -l) -ge 3000 ]] && break
  sleep 0.02
done
kill -9 "$corrida" 2>/dev/null || falla "la corrida terminó antes de poder matarla"
wait "$corrida" 2>/dev/null
# The killed run's log names only notes the database holds (or that have no lines to write): a
# note's line is written once its transaction is committed.
sin_filas=$(comm -23 <(grep -a '^RM' "$dir/RQ857196.LOG" | tr -d '\r' | sort -u) \
  <(sqlite3 "$dir/grande.db" "SELECT DISTINCT TC || IDCOMPROBANTE FROM V_MV_Stock UNION
      SELECT TC || IDCOMPROBANTE FROM V_MV_Cpte c WHERE NOT EXISTS (SELECT 1 FROM V_Mv_CpteInsumos l
        WHERE l.TC = c.TC AND l.IDCOMPROBANTE = c.IDCOMPROBANTE)" | sort -u) | wc -l)
[[ $sin_filas -eq 0 ]] || falla "el registro de la corrida matada nombra $sin_filas remitos que la base no tiene"
"$remitos" --carpeta "$dir" --ejecutar "@DbName=grande.db;" >"$dir/salida" 2>/dev/null || falla "la corrida tras matar la anterior falló"
"$remitos" --carpeta "$dir" --ejecutar "@DbName=grande.db;" >"$dir/salida" 2>/dev/null || falla "la tercera corrida falló"
grep -q "^Remitos procesados: 0$" "$dir/salida" || falla "quedaron remitos pendientes"
# Every registered note has one row for each line of its number, no more and no fewer.
malas=$(sqlite3 "$dir/grande.db" "SELECT count(*) FROM
  (SELECT TC, IDCOMPROBANTE, IDCOMPLEMENTO, count(*) AS n, max(SECUENCIA) AS ultima FROM V_MV_Stock GROUP BY 1, 2, 3) s
  JOIN (SELECT TC, IDCOMPROBANTE, count(*) AS m FROM V_Mv_CpteInsumos GROUP BY 1, 2) l USING (TC, IDCOMPROBANTE)
  WHERE s.n <> l.m OR s.ultima <> l.m") || falla "sqlite3 no lee la base grande"
[[ "$malas" == 0 ]] || falla "$malas remitos quedaron registrados a medias"
echo "bien: $pendientes remitos; la corrida interrumpida se completó sin renglones a medias"
