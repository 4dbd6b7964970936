#!/usr/bin/env bash
# The program as a script starts it: creating a database, a database that is missing,
# a malformed command line, --help and --version.
set -uo pipefail
remitos=${1:?programa}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
falla() { echo "FALLA: $*" >&2; exit 1; }

"$remitos" --crear-base "$dir/x.db" --demo 200 >"$dir/salida" || falla "--crear-base terminó con $?"
grep -q "200 remitos" "$dir/salida" || falla "el resumen no cuenta 200 remitos: $(cat "$dir/salida")"
n=$(sqlite3 "$dir/x.db" "SELECT count(*) FROM V_MV_Cpte WHERE TC = 'RM'") || falla "sqlite3 no lee la base"
[[ "$n" == 200 ]] || falla "sqlite3 cuenta $n remitos"
"$remitos" --crear-base "$dir/x.db" 2>"$dir/error" && falla "sobrescribió una base existente"
grep -q "ya existe" "$dir/error" || falla "mensaje al sobrescribir: $(cat "$dir/error")"

# As cron or a service starts them, with next to nothing in the environment: every line on
# standard error begins with the program's name, and Qt adds nothing of its own.
sin_entorno() { (cd / && env -i PATH=/usr/bin:/bin "$@" 2>"$dir/error"); }
nombrado() {
  local programa=$1 lineas=$2 estado=$3 esperado=$4
  [[ $estado -eq $esperado && $(grep -c . "$dir/error") -eq $lineas ]] && ! grep -v "^$programa: " "$dir/error" \
    || falla "$programa terminó con $estado (no con $esperado) y escribió: $(cat "$dir/error")"
}
sin_entorno "$remitos" --carpeta "$dir" --ejecutar "@Server=127.0.0.1;@DbName=x;"
nombrado remitos 1 $? 1
sin_entorno "$remitos" --crear-base "$dir/no-hay/x.db"
nombrado remitos 1 $? 1
sin_entorno "$(dirname "$remitos")/consulta" --carpeta "$dir" "@DbName=x.db;" --tabla v_ma_articulos
nombrado consulta 1 $? 64

env -u DISPLAY "$remitos" --carpeta "$dir" "@DbName=missing.db;" 2>"$dir/error"
estado=$?
[[ $estado -ne 0 ]] || falla "una base inexistente terminó bien"
grep -q "missing.db" "$dir/error" || falla "no dice qué base falta: $(cat "$dir/error")"
[[ ! -e "$dir/missing.db" ]] || falla "creó la base que faltaba"

# A platform nobody sees is no screen: the window is not shown, and nothing waits for an
# answer that cannot come.
QT_QPA_PLATFORM=offscreen timeout 60 "$remitos" --carpeta "$dir" "@DbName=missing.db;" 2>/dev/null
estado=$?
[[ $estado -ne 124 ]] || falla "con QT_QPA_PLATFORM=offscreen esperó una respuesta imposible"
[[ $estado -ne 0 ]] || falla "con QT_QPA_PLATFORM=offscreen terminó bien"
QT_QPA_PLATFORM=offscreen timeout 60 "$remitos" --carpeta "$dir" "@DbName=x.db;" 2>/dev/null
estado=$?
[[ $estado -eq 64 ]] || falla "con QT_QPA_PLATFORM=offscreen y una base válida terminó con $estado"

# A screen named but gone (a remote session that ended): said, not a crash.
DISPLAY=:9999 WAYLAND_DISPLAY= QT_QPA_PLATFORM= timeout 60 "$remitos" --carpeta "$dir" "@DbName=x.db;" 2>"$dir/error"
estado=$?
[[ $estado -eq 64 ]] || falla "con una pantalla que no se puede abrir terminó con $estado: $(cat "$dir/error")"
grep -q "no se pudo abrir la pantalla «:9999»" "$dir/error" || falla "no dice qué pantalla: $(cat "$dir/error")"

"$remitos" --demo 2>/dev/null; [[ $? -eq 64 ]] || falla "--demo sin valor no es un error de uso"
"$remitos" --desconocida 2>/dev/null; [[ $? -eq 64 ]] || falla "una opción desconocida no es un error de uso"
# Each malformed line is refused with status 64 and a message naming what is wrong.
mal() {
  local esperado=$1
  shift
  "$remitos" "$@" >"$dir/salida" 2>"$dir/error"
  local estado=$?
  [[ $estado -eq 64 ]] || falla "$* terminó con $estado, no con 64"
  grep -q -- "$esperado" "$dir/error" || falla "$*: el mensaje no dice «$esperado»: $(cat "$dir/error")"
  [[ ! -s "$dir/salida" ]] || falla "$*: escribió en la salida estándar"
}
mal "opción desconocida: --ejecuta" --ejecuta
mal "--esperar necesita un número de segundos" --ejecutar --esperar diez
mal "--esperar necesita un número de segundos" --ejecutar --esperar=-1
mal "no van juntas" --simular --revisar
mal "--silencioso sólo se usa" --silencioso
mal "--demo sólo se usa con --crear-base" --ejecutar --demo 3
mal "--crear-base necesita" --crear-base=
mal "texto fuera de las claves: «basura»" --simular "@DbName=x.db;" basura
mal "falta el «;» que cierra el valor de @DbName" --revisar "@Server=;@DbName=x.db"
mal "falta el «;» que cierra el valor de @Server (antes de @DbName)" --completar "@Server=empresa @DbName=x.db;"
mal "la clave @DbName está más de una vez" --ejecutar "@DbName=x.db;" "@dbname=y.db;"
mal "clave desconocida «@Servr»: ¿quiso decir @Server?" --crear-base "@Servr=empresa;@DbName=x;"

# A misspelt key in a nightly job: refused before anything is opened. Read by the family's
# rule it would register the embedded database of the folder instead of the server's.
mkdir "$dir/noche"
cp "$dir/x.db" "$dir/noche/remitos.db"
antes=$(sqlite3 "$dir/noche/remitos.db" "SELECT count(*) FROM V_MV_STOCK")
"$remitos" --carpeta "$dir/noche" --ejecutar --silencioso "@Sever=empresa;@Usuario=stock;" >"$dir/salida" 2>"$dir/error"
estado=$?
[[ $estado -eq 64 ]] || falla "una clave mal escrita terminó con $estado: $(cat "$dir/error")"
[[ "$(cat "$dir/error")" == "remitos: clave desconocida «@Sever»: ¿quiso decir @Server?
Pruebe «remitos --help»." ]] || falla "el mensaje de la clave mal escrita: $(cat "$dir/error")"
[[ ! -s "$dir/salida" ]] || falla "la clave mal escrita escribió en la salida estándar"
[[ ! -e "$dir/noche/RQ857196.LOG" && ! -e "$dir/noche/consultas.zvr" ]] \
  || falla "con una clave mal escrita se escribió en la carpeta: $(ls "$dir/noche")"
n=$(sqlite3 "$dir/noche/remitos.db" "SELECT count(*) FROM V_MV_STOCK")
[[ "$n" == "$antes" ]] || falla "con una clave mal escrita se registraron $((n - antes)) movimientos"

# --opción=valor and "--": the keys after "--" are read even when they start with "-".
mkdir "$dir/otra carpeta"
cp "$dir/x.db" "$dir/otra carpeta/remitos.db"
"$remitos" --carpeta="$dir/otra carpeta" --ejecutar --silencioso -- "@DbName=remitos.db;" >"$dir/salida" 2>&1 \
  || falla "--carpeta=DIR y -- : $(cat "$dir/salida")"
[[ -s "$dir/otra carpeta/RQ857196.LOG" ]] || falla "--carpeta=DIR no fue la carpeta de la aplicación"
# After "--" a text beginning with "-" reaches the keys, which refuse what is not a key.
"$remitos" --carpeta "$dir/otra carpeta" --revisar -- "-x @DbName=remitos.db;" >"$dir/salida" 2>&1
estado=$?
[[ $estado -eq 64 ]] && grep -q "texto fuera de las claves: «-x»" "$dir/salida" \
  || falla "las claves tras -- terminaron con $estado: $(cat "$dir/salida")"

# --help names the application folder a run would use: the one given, or the program's own.
"$remitos" --carpeta "$dir/otra carpeta" --help | grep -qF "ahora: $dir/otra carpeta/" || falla "--help no muestra la carpeta dada"
REMITOS_CARPETA=$dir "$remitos" --help | grep -qF "ahora: $dir/" || falla "--help no muestra REMITOS_CARPETA"
"$remitos" --help | grep -qF "ahora: $(cd "$(dirname "$remitos")" && pwd)/" || falla "--help no muestra la carpeta del programa"
"$remitos" --help | grep -q "@UsuarioLogeado" || falla "--help no lista las claves"
"$remitos" --version | grep -Eq "^remitos [0-9]+\.[0-9]+" || falla "--version"
echo "bien"
