#!/usr/bin/env bash
# remitos --ejecutar against faults that only whole processes show:
#   - two runs at once on the same embedded database, and on the same PostgreSQL database:
#     one does the work, the other stops at once (or, with --esperar, waits for it);
#   - the PostgreSQL server stopped in the middle of a run (immediately, and in a fast
#     shutdown), then started again.
# Every run must end (no hang), say what failed in its exit status and its log, and once the
# fault is gone every note ends registered exactly once. This script starts its own
# PostgreSQL cluster, since it stops it.
set -uo pipefail
remitos=${1:?programa}
raiz=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(mktemp -d /tmp/remitos-fallas.XXXXXX)
chmod 755 "$dir"
pg=$dir/pg
falla() {
  echo "FALLA: $*" >&2
  exit 1
}
trap '"$raiz/scripts/postgres.sh" detener "$pg" 2>/dev/null; [[ -n "${REMITOS_CONSERVAR:-}" ]] || rm -rf "$dir"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$dir/xdg
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY
log=$dir/RQ857196.LOG

# "ejecutar NAME ARGS...": a run in the background, its output in $dir/NAME.*, its process
# number in $corrida.
ejecutar() {
  local nombre=$1
  shift
  "$remitos" --carpeta "$dir" --ejecutar "$@" >"$dir/$nombre.salida" 2>"$dir/$nombre.errores" &
  corrida=$!
}
# Waits for a run for at most 120 s; its exit status, or 124 when it hung (and is killed).
esperar() {
  local pid=$1
  for _ in $(seq 1200); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      return $?
    fi
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 124
}
resumen() { sed -n "s/^$2: //p" "$dir/$1.salida"; }
lineas_de_log() { if [[ -f "$log" ]]; then wc -l <"$log"; else echo 0; fi; }

# Notes that are not registered exactly once (a missing or extra row). The dates are ISO
# text or timestamps on both engines; the sqlite3 tool has no day-first collation, so the
# comparison is made on the text as it is stored.
consulta_malas="SELECT count(*) FROM V_MV_Cpte n
  JOIN (SELECT TC, IDCOMPROBANTE, count(*) AS r FROM V_Mv_CpteInsumos GROUP BY TC, IDCOMPROBANTE) l
    ON l.TC = n.TC AND l.IDCOMPROBANTE = n.IDCOMPROBANTE
  LEFT JOIN (SELECT TC, IDCOMPROBANTE, IDCOMPLEMENTO, count(*) AS h, min(SECUENCIA) AS p,
                    max(SECUENCIA) AS u FROM V_MV_Stock GROUP BY TC, IDCOMPROBANTE, IDCOMPLEMENTO) s
    ON s.TC = n.TC AND s.IDCOMPROBANTE = n.IDCOMPROBANTE AND s.IDCOMPLEMENTO = n.IDCOMPLEMENTO
  WHERE n.TC = 'RM' AND n.ANULADA = 0 AND n.FECHA FECHA_TEXTO > '2003-03-01'
    AND (s.h IS NULL OR s.h <> l.r OR s.p <> 1 OR s.u <> l.r)"

# Two runs started together: one takes the database and registers every note; the other
# ends at once with status 3, having written nothing, not even a log line. With --esperar the
# second waits for the first, then finds nothing left to do.
dos_a_la_vez() {
  local motor=$1 total=$2
  shift 2
  rm -f "$log"
  ejecutar "$motor-a" "$@"
  local a=$corrida
  ejecutar "$motor-b" "$@"
  local b=$corrida
  esperar "$a"
  local ea=$?
  esperar "$b"
  local eb=$?
  [[ $ea -ne 124 && $eb -ne 124 ]] || falla "$motor: una de las corridas no terminó"
  local hizo otra
  if [[ $ea -eq 3 ]]; then hizo=b otra=a; else hizo=a otra=b; fi
  [[ "$ea:$eb" == "0:3" || "$ea:$eb" == "3:0" ]] \
    || falla "$motor: las corridas terminaron con $ea y $eb: $(tail -2 "$dir/$motor-a.errores" "$dir/$motor-b.errores")"
  grep -q "Otra corrida está registrando" "$dir/$motor-$otra.errores" \
    || falla "$motor: la corrida que no entró no dice por qué: $(cat "$dir/$motor-$otra.errores")"
  [[ ! -s "$dir/$motor-$otra.salida" ]] || falla "$motor: la corrida que no entró escribió un resumen"
  [[ $(resumen "$motor-$hizo" "Renglones registrados") -eq $total ]] \
    || falla "$motor: la corrida que entró registró $(resumen "$motor-$hizo" "Renglones registrados") de $total renglones"
  [[ $(grep -c "^RM" "$log") -eq $(resumen "$motor-$hizo" "Remitos procesados") ]] \
    || falla "$motor: el registro tiene líneas de la corrida que no entró"
  echo "$motor: dos corridas a la vez: una registró $total renglones, la otra terminó con 3"
}

# The same with --esperar: the second runs once the first is done, and finds nothing.
dos_esperando() {
  local motor=$1
  shift
  ejecutar "$motor-c" --esperar 120 "$@"
  local c=$corrida
  ejecutar "$motor-d" --esperar 120 "$@"
  local d=$corrida
  esperar "$c" || falla "$motor: la corrida c con --esperar terminó con $?: $(tail -2 "$dir/$motor-c.errores")"
  esperar "$d" || falla "$motor: la corrida d con --esperar terminó con $?: $(tail -2 "$dir/$motor-d.errores")"
  local pc pd
  pc=$(resumen "$motor-c" "Remitos procesados")
  pd=$(resumen "$motor-d" "Remitos procesados")
  [[ $pc -eq 0 || $pd -eq 0 ]] && [[ $((pc + pd)) -gt 0 ]] \
    || falla "$motor: con --esperar procesaron $pc y $pd remitos"
  echo "$motor: con --esperar, una corrida procesó $((pc + pd)) remitos y la otra, después, ninguno"
}

# --- The embedded database -------------------------------------------------------------
"$remitos" --crear-base "$dir/remitos.db" --demo 6000 >"$dir/creada" || falla "no se creó la base"
total_sqlite=$(sqlite3 "$dir/remitos.db" "SELECT count(*) FROM V_Mv_CpteInsumos i JOIN V_MV_Cpte n
  ON n.TC = i.TC AND n.IDCOMPROBANTE = i.IDCOMPROBANTE
  WHERE n.TC = 'RM' AND n.ANULADA = 0 AND n.FECHA COLLATE BINARY > '2003-03-01'
    AND NOT EXISTS (SELECT 1 FROM V_MV_Stock s WHERE s.TC = n.TC AND s.IDCOMPROBANTE = n.IDCOMPROBANTE)") \
  || falla "sqlite3 no lee la base"
dos_a_la_vez sqlite "$total_sqlite" "@DbName=remitos.db;"
sqlite3 "$dir/remitos.db" "DELETE FROM V_MV_Stock" || falla "sqlite3 no vació los movimientos"
dos_esperando sqlite "@DbName=remitos.db;"
malas=$(sqlite3 "$dir/remitos.db" "${consulta_malas/FECHA_TEXTO/COLLATE BINARY}") || falla "sqlite3 no lee la base"
[[ $malas -eq 0 ]] || falla "sqlite: $malas remitos no quedaron registrados exactamente una vez"

# --- PostgreSQL ------------------------------------------------------------------------
REMITOS_PG_PUERTO=55400 "$raiz/scripts/postgres.sh" iniciar "$pg" 2>/dev/null || falla "no arrancó PostgreSQL"
# shellcheck disable=SC1091
source "$pg/entorno.sh"
base=remitos_prueba
psql_base() { psql -q -X -h 127.0.0.1 -p "$REMITOS_PG_PUERTO" -U postgres -d "$base" -v ON_ERROR_STOP=1 "$@"; }
cargar_notas() {
  psql_base -c "TRUNCATE V_MV_Cpte, V_Mv_CpteInsumos, V_MV_Stock" \
    -c "INSERT INTO V_MV_Cpte (TC, IDCOMPROBANTE, IDCOMPLEMENTO, FECHA, CUENTA, ANULADA)
        SELECT 'RM', 'R' || g, 0, TIMESTAMP '2024-01-01' + g * INTERVAL '1 minute', 'C00001', 0
        FROM generate_series(1, $1) g" \
    -c "INSERT INTO V_Mv_CpteInsumos (TC, IDCOMPROBANTE, IDCOMPLEMENTO, RENGLON, IDARTICULO,
          DESCRIPCION, IDUNIDAD, CANTIDAD, COSTO, IMPORTE, CLASEPRECIO)
        SELECT 'RM', 'R' || g, 0, r, 'A' || r, 'Artículo ' || r, 'UN', r, 1.25, 10.5, 2
        FROM generate_series(1, $1) g, generate_series(1, 3) r" || falla "no se cargaron los remitos"
}
como_postgres() { if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi; }
# ANALYZE first: after the server was stopped abruptly its statistics are gone, and the
# planner would join the grouped tables pair by pair.
malas_pg() { psql_base -tA -c "ANALYZE" -c "${consulta_malas/FECHA_TEXTO/}"; }
psql_base -f "$raiz/sql/esquema-postgresql.sql" >/dev/null || falla "no se creó el esquema"
conexion="@Server=$REMITOS_PG_DSN;@DbName=$base;@Usuario=postgres;"

cargar_notas 4000
dos_a_la_vez postgresql 12000 "$conexion"
psql_base -c "TRUNCATE V_MV_Stock" >/dev/null || falla "no se vaciaron los movimientos"
dos_esperando postgresql "$conexion"
[[ $(malas_pg) -eq 0 ]] || falla "postgresql: $(malas_pg) remitos no quedaron registrados exactamente una vez"

# The server stopped in the middle of a run: the run ends (exit 2, the loss in its log),
# and once the server is back the next run completes every note.
cargar_notas 30000
for modo in immediate fast; do
  rm -f "$log"
  ejecutar "detenido-$modo" "$conexion"
  for _ in $(seq 600); do
    [[ $(lineas_de_log) -ge 1500 ]] && break
    kill -0 "$corrida" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$corrida" 2>/dev/null || falla "$modo: la corrida terminó antes de detener el servidor"
  como_postgres /usr/lib/postgresql/15/bin/pg_ctl -D "$pg/datos" -m "$modo" -w stop >/dev/null \
    || falla "$modo: no se detuvo el servidor"
  esperar "$corrida"
  estado=$?
  [[ $estado -ne 124 ]] || falla "$modo: la corrida se colgó con el servidor detenido"
  [[ $estado -eq 2 ]] || falla "$modo: la corrida terminó con $estado: $(tail -3 "$dir/detenido-$modo.errores")"
  # The log is Windows-1252 text.
  LC_ALL=C grep -aq "^\*\*\* La corrida se detuvo: .*Quedan [0-9]* remitos para la pr.xima corrida" "$log" \
    || falla "$modo: el registro no dice que la corrida se detuvo: $(grep -a '^\*\*\*' "$log" | tail -3 | iconv -f cp1252)"
  grep -q "La corrida se detuvo: .* Quedaron [0-9]* remitos sin procesar" "$dir/detenido-$modo.salida" \
    || falla "$modo: el mensaje final no dice qué quedó: $(head -3 "$dir/detenido-$modo.salida")"
  # Nothing of the stop is counted as a refused line.
  [[ $(resumen "detenido-$modo" "Renglones rechazados") -eq 0 ]] \
    || falla "$modo: la detención se contó como renglones rechazados: $(cat "$dir/detenido-$modo.salida")"
  echo "postgresql: servidor detenido ($modo) tras $(grep -ac '^RM' "$log") remitos; la corrida terminó con $estado"
  "$raiz/scripts/postgres.sh" reanudar "$pg" || falla "$modo: no se reanudó el servidor"
done
ejecutar final "$conexion"
esperar "$corrida" || falla "la corrida tras reanudar el servidor terminó con $?: $(tail -3 "$dir/final.errores")"

# Killed in the middle of a run whose notes share transactions: the notes not confirmed yet
# are lost whole, and the next run registers them whole.
psql_base -c "TRUNCATE V_MV_Stock" >/dev/null || falla "no se vaciaron los movimientos"
rm -f "$log"
ejecutar matada "$conexion"
for _ in $(seq 600); do
  [[ $(lineas_de_log) -ge 3000 ]] && break
  kill -0 "$corrida" 2>/dev/null || break
  sleep 0.02
done
kill -9 "$corrida" 2>/dev/null || falla "la corrida terminó antes de poder matarla"
wait "$corrida" 2>/dev/null
confirmadas=$(psql_base -tA -c "SELECT count(DISTINCT IDCOMPROBANTE) FROM V_MV_Stock")
[[ $(malas_pg) -eq $((30000 - confirmadas)) ]] \
  || falla "tras matar la corrida quedaron remitos a medias ($confirmadas confirmados)"
# The log names only notes the database holds: a note's line is written once it is committed.
nombradas=$(grep -a '^RM' "$log" | tr -d '\r' | sed 's/^RM//' | sort -u)
sin_filas=$(comm -23 <(printf '%s\n' "$nombradas" | grep .) \
  <(psql_base -tA -c "SELECT DISTINCT IDCOMPROBANTE FROM V_MV_Stock" | sort -u) | wc -l)
[[ $sin_filas -eq 0 ]] || falla "el registro de la corrida matada nombra $sin_filas remitos que la base no tiene"
[[ -n "$nombradas" ]] || falla "la corrida matada no llegó a confirmar ningún remito"
ejecutar tras_matar "$conexion"
esperar "$corrida" || falla "la corrida tras matar la anterior terminó con $?: $(tail -3 "$dir/tras_matar.errores")"
[[ $(resumen tras_matar "Remitos procesados") -eq $((30000 - confirmadas)) ]] \
  || falla "la corrida tras matar la anterior procesó $(resumen tras_matar "Remitos procesados") remitos, no $((30000 - confirmadas))"
echo "postgresql: corrida matada tras $confirmadas remitos confirmados; la siguiente registró el resto entero"
ejecutar nada "$conexion"
esperar "$corrida" || falla "la última corrida terminó con $?"
[[ $(resumen nada "Remitos procesados") -eq 0 ]] || falla "quedaron remitos pendientes"
[[ $(malas_pg) -eq 0 ]] || falla "postgresql: $(malas_pg) remitos no quedaron registrados exactamente una vez"
[[ $(psql_base -tA -c "SELECT count(*) FROM V_MV_Stock") -eq 90000 ]] || falla "no hay 90000 renglones en stock"
echo "bien: cada remito quedó registrado una sola vez"
