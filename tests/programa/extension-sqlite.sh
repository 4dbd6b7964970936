#!/usr/bin/env bash
# The embedded database read with the sqlite3 program, as an administrator does it: without
# the fecha_dmy extension an order or a comparison on a date column fails; with it, rows come
# in chronological order, day-first texts among the ISO ones, and the extension picks the
# same notes after the cutoff as the program's own run does.
#   tests/programa/extension-sqlite.sh REMITOS FECHA_DMY_SO
set -uo pipefail
remitos=${1:?programa}
extension=${2:?fecha_dmy.so}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
falla() { echo "FALLA: $*" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$dir
base=$dir/remitos.db
# Loaded by its name without the suffix, as the README shows it.
con_extension() { sqlite3 -bail -cmd ".load ${extension%.so}" "$base" "$@"; }

"$remitos" --crear-base "$base" --demo 300 >/dev/null || falla "no se creó la base"
# Notes dated with day-first texts, as the family's other programs may write them, around
# the cutoff 01/03/2003 and elsewhere: read month first, 02/03/2003 would be 3 February and
# 12/01/2004 would be 1 December.
sqlite3 "$base" "
  INSERT INTO V_MV_Cpte (TC,IDCOMPROBANTE,IDCOMPLEMENTO,FECHA,ANULADA) VALUES
    ('RM','DMY-CORTE',0,'01/03/2003',0), ('RM','DMY-CORTE-1S',0,'01/03/2003 00:00:01',0),
    ('RM','DMY-FEB',0,'28/02/2003 23:59:59',0), ('RM','DMY-2MAR',0,'02/03/2003',0),
    ('RM','DMY-ENE04',0,'12/01/2004 08:30:00',0), ('RM','DMY-2001',0,'15/06/2001',0);
  INSERT INTO V_Mv_CpteInsumos (TC,IDCOMPROBANTE,IDCOMPLEMENTO,RENGLON,IDARTICULO,CANTIDAD)
    SELECT TC, IDCOMPROBANTE, 0, 1, 'A00001', 1 FROM V_MV_Cpte WHERE IDCOMPROBANTE LIKE 'DMY-%';" \
  || falla "sqlite3 no pudo agregar los remitos con fechas día primero"

# Without the extension the tools stop at the collation.
for consulta in "SELECT IDCOMPROBANTE FROM V_MV_Cpte ORDER BY FECHA" \
                "SELECT count(*) FROM V_MV_Cpte WHERE FECHA > '01/03/2003'"; do
  sqlite3 "$base" "$consulta" >/dev/null 2>"$dir/error" && falla "sin la extensión, «$consulta» anduvo"
  grep -q "no such collation sequence: FECHA_DMY" "$dir/error" || falla "sin la extensión: $(cat "$dir/error")"
done

# Each date as ISO text with its time, day-first ones turned around: in that form byte order
# is chronological order.
iso="substr(CASE WHEN FECHA LIKE '__/__/____%'
                 THEN substr(FECHA,7,4)||'-'||substr(FECHA,4,2)||'-'||substr(FECHA,1,2)||substr(FECHA,11)
                 ELSE FECHA END || ' 00:00:00', 1, 19)"
sqlite3 "$base" "SELECT $iso FROM V_MV_Cpte ORDER BY 1 COLLATE BINARY" >"$dir/esperado" \
  || falla "no se leyeron las fechas"
con_extension "SELECT $iso FROM V_MV_Cpte ORDER BY FECHA" >"$dir/ordenado" 2>"$dir/error" \
  || falla "con la extensión: $(cat "$dir/error")"
[[ $(wc -l <"$dir/ordenado") -eq $(sqlite3 "$base" "SELECT count(*) FROM V_MV_Cpte") ]] \
  || falla "ORDER BY FECHA no dio todas las filas"
diff -u "$dir/esperado" "$dir/ordenado" >"$dir/diferencias" \
  || falla "ORDER BY FECHA no es cronológico: $(head -20 "$dir/diferencias")"
sqlite3 "$base" "SELECT $iso FROM V_MV_Cpte ORDER BY FECHA COLLATE BINARY" | cmp -s - "$dir/esperado" \
  && falla "el orden por bytes ya era cronológico: la prueba no distingue nada"
# The demo's dates begin in 2002: 15/06/2001 comes first (by bytes, 01/03/2003 would).
primera=$(con_extension "SELECT FECHA FROM V_MV_Cpte ORDER BY FECHA LIMIT 1")
[[ "$primera" == 15/06/2001 ]] || falla "la primera fecha es «$primera», no 15/06/2001"

# The notes after the cutoff by the extension are the ones the program's run registers: the
# run's log has one line per note, type and number together.
con_extension "SELECT c.TC || c.IDCOMPROBANTE FROM V_MV_Cpte c
               WHERE c.TC = 'RM' AND c.ANULADA = 0 AND c.FECHA > '01/03/2003' AND NOT EXISTS
                 (SELECT 1 FROM V_MV_Stock s WHERE s.TC = c.TC AND s.IDCOMPROBANTE = c.IDCOMPROBANTE
                  AND s.IDCOMPLEMENTO = c.IDCOMPLEMENTO)" | sort >"$dir/segun-extension" \
  || falla "con la extensión no se seleccionaron los pendientes"
for id in DMY-CORTE-1S DMY-2MAR DMY-ENE04; do
  grep -qx "RM$id" "$dir/segun-extension" || falla "la extensión no pone RM$id después del corte"
done
for id in DMY-CORTE DMY-FEB DMY-2001; do
  grep -qx "RM$id" "$dir/segun-extension" && falla "la extensión pone RM$id después del corte"
done
"$remitos" --carpeta "$dir" --ejecutar "@DbName=remitos.db;" >"$dir/salida" 2>"$dir/avance" \
  || falla "la corrida terminó con $?: $(cat "$dir/avance")"
tr -d '\r' <"$dir/RQ857196.LOG" | grep -v '^=== ' | sort >"$dir/segun-programa"
diff -u "$dir/segun-extension" "$dir/segun-programa" >"$dir/diferencias" \
  || falla "el programa y la extensión no eligen los mismos remitos: $(head -20 "$dir/diferencias")"
echo "bien: $(wc -l <"$dir/ordenado") fechas en orden, $(wc -l <"$dir/segun-programa") remitos elegidos igual por el programa y por sqlite3"
