#!/usr/bin/env bash
# The README cannot drift from the programs: every command of its ```sh blocks is run here (in a
# scratch folder, against the test PostgreSQL server and under Xvfb for the windows) or, when it
# changes the machine, found in the test that runs it; its INI blocks are the configuration the
# commands use, its SQL blocks run on the server. A command this script does not know fails the
# test, so a new example in the manual needs a way to be checked. The manual pages (English and
# Spanish) are checked against --help: every option the programs list is documented.
#   tests/programa/manual.sh BIN_FOLDER       (remitos and consulta are taken from there)
set -uo pipefail
bin=$(cd "${1:?carpeta de los programas}" && pwd)
raiz=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$bin/.." && pwd)
dir=$(mktemp -d /tmp/remitos-manual.XXXXXX)
chmod 755 "$dir"
# shellcheck source=../../scripts/x-virtual.sh
source "$raiz/scripts/x-virtual.sh"
trap 'x_terminar; [[ -n "${REMITOS_CONSERVAR:-}" ]] || rm -rf "$dir"' EXIT
falla() {
  echo "FALLA (README): $*" >&2
  exit 1
}
contiene() { grep -qF -- "$2" "$raiz/$1" || falla "«$3» no lo ejecuta $1 (no contiene «$2»)"; }

# --- The manual pages document every option of --help ------------------------------------
for programa in remitos consulta; do
  while read -r opcion; do
    for pagina in "docs/man/$programa.1" "docs/man/es/$programa.1"; do
      grep -qF -- "${opcion//-/\\-}" "$raiz/$pagina" || falla "$pagina no documenta $opcion"
    done
    grep -qF -- "$opcion" "$raiz/README.md" || [[ $programa == consulta && $opcion == --version ]] \
      || falla "el README no menciona $opcion de $programa"
  done < <(QT_QPA_PLATFORM=offscreen "$bin/$programa" --help | grep -o -- '--[a-z-]*' | sort -u)
done

# --- The blocks, in the README's order --------------------------------------------------
mkdir "$dir/bloques"
awk -v d="$dir/bloques" '
  /^ *```(sh|ini|sql)$/ { n++; t = $0; sub(/^ *```/, "", t); f = sprintf("%s/%03d.%s", d, n, t); next }
  /^ *```/ { f = ""; next }
  f { sub(/^  /, ""); print > f }' "$raiz/README.md"
[[ $(ls "$dir/bloques" | wc -l) -gt 8 ]] || falla "no se encontraron los bloques de órdenes"

trabajo=$dir/trabajo
mkdir "$trabajo"
export PATH=$bin:$PATH REMITOS_CARPETA=$trabajo
export XDG_RUNTIME_DIR=$dir/xdg
mkdir -m 700 "$XDG_RUNTIME_DIR"
x_iniciar || falla "sin servidor X"

# The test server stands for the company's: the data source "empresa" of the manual points
# at it, and "empresa-sql" at a port where nothing listens (there is no SQL Server here).
[[ -n "${REMITOS_PG_PUERTO:-}" && -n "${ODBCSYSINI:-}" ]] || falla "hace falta el servidor de prueba (test.sh lo arranca)"
# The manual's own commands create the role and the databases; what an earlier run left is
# dropped first, and again at the end.
export PGHOST=127.0.0.1 PGPORT=$REMITOS_PG_PUERTO PGUSER=${REMITOS_PG_USUARIO:-postgres}
export PGOPTIONS="-c client_min_messages=warning"
limpiar_servidor() {
  psql -q -X -d postgres -c "DROP DATABASE IF EXISTS prueba" -c "DROP DATABASE IF EXISTS empresa" \
    -c "DROP ROLE IF EXISTS stock" >/dev/null 2>&1
}
limpiar_servidor
# The program's role logs in with its password, as on a real server (the test server trusts
# everyone else): the manual's commands must find it in ~/.pgpass, never on the command line.
hba=$(psql -X -tA -d postgres -c "SHOW hba_file")
hba_copia=$dir/pg_hba.conf
if cp "$hba" "$hba_copia" 2>/dev/null && sed -i "1i host all stock 127.0.0.1/32 scram-sha-256" "$hba"; then
  psql -q -X -d postgres -c "SELECT pg_reload_conf()" >/dev/null
else
  echo "aviso: no se puede cambiar $hba; el rol stock entra sin contraseña" >&2
  hba_copia=
fi
restaurar_hba() {
  [[ -n "$hba_copia" ]] && cp "$hba_copia" "$hba" && psql -q -X -d postgres -c "SELECT pg_reload_conf()" >/dev/null
}
export PGPASSFILE=$dir/pgpass
echo "127.0.0.1:$REMITOS_PG_PUERTO:*:stock:secreto" >"$PGPASSFILE"
chmod 600 "$PGPASSFILE"
trap 'x_terminar; restaurar_hba; limpiar_servidor; [[ -n "${REMITOS_CONSERVAR:-}" ]] || rm -rf "$dir"' EXIT

# A password typed on a command line is shown by ps to every user: no example does it.
grep -hE '^ *remitos .*@Password=' "$dir"/bloques/*.sh && falla "una orden del README lleva @Password"
export ODBCINI=$dir/odbc.ini
: >"$ODBCINI"
notas_cargadas=0
cargar_notas() {
  [[ $notas_cargadas -eq 1 ]] && return
  psql -q -X -d empresa -v ON_ERROR_STOP=1 \
    -c "INSERT INTO V_MV_Cpte (TC, IDCOMPROBANTE, IDCOMPLEMENTO, FECHA, CUENTA, ANULADA)
        SELECT 'RM', 'R' || g, 0, TIMESTAMP '2003-01-01' + g * INTERVAL '1 day', 'C00001', 0
        FROM generate_series(1, 200) g" \
    -c "INSERT INTO V_Mv_CpteInsumos (TC, IDCOMPROBANTE, IDCOMPLEMENTO, RENGLON, IDARTICULO, CANTIDAD)
        SELECT 'RM', 'R' || g, 0, r, 'A' || r, r FROM generate_series(1, 200) g, generate_series(1, 2) r" \
    || falla "no se cargaron los remitos de prueba"
  notas_cargadas=1
}

# A program with a window: it must open, then Salir (remitos) or Aceptar (consulta) ends it.
con_ventana() {
  local titulo=$1 teclas=$2 linea=$3 programa estado ventana
  (cd "$trabajo" && eval "$linea") >"$dir/ventana.salida" 2>&1 &
  programa=$!
  ventana=$(x_esperar_ventana "$titulo") || { cat "$dir/ventana.salida" >&2; falla "$linea: no apareció la ventana"; }
  sleep 0.5
  # shellcheck disable=SC2086
  x_teclas "$ventana" $teclas
  for _ in $(seq 100); do kill -0 "$programa" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$programa" 2>/dev/null && { kill "$programa"; falla "$linea: la ventana no se cerró"; }
  wait "$programa"
  estado=$?
  [[ $estado -eq 0 ]] || { cat "$dir/ventana.salida" >&2; falla "$linea: terminó con $estado"; }
}
# A command run as the manual shows it, from the scratch folder; its exit status must be the
# one given.
correr() {
  local esperado=$1 linea=$2 estado
  (cd "${3:-$trabajo}" && eval "$linea") >"$dir/salida" 2>&1
  estado=$?
  [[ $estado -eq $esperado ]] || { tail -5 "$dir/salida" >&2; falla "$linea: terminó con $estado, no con $esperado"; }
}

# First the configuration the commands rely on, wherever the manual shows it: the INI blocks,
# the SQL blocks and the psql commands that set up the server's database.
for bloque in "$dir"/bloques/*; do
  case "$bloque" in
  *.ini)
    if grep -q '^\[ODBC\]' "$bloque"; then
      cp "$bloque" "$trabajo/KD000pr.INI"
    elif grep -q '^Driver=FreeTDS' "$bloque"; then
      sed -e 's/^Server=.*/Server=127.0.0.1/' -e 's/^Port=.*/Port=9/' "$bloque" >>"$ODBCINI"
    else
      sed -e 's/^Servername=.*/Servername=127.0.0.1/' -e "s/^Port=.*/Port=$REMITOS_PG_PUERTO/" \
        "$bloque" >>"$ODBCINI"
    fi
    ;;
  *.sql)
    psql -q -X -d empresa -v ON_ERROR_STOP=1 -f "$bloque" >/dev/null || falla "el bloque SQL $(basename "$bloque") falló"
    ;;
  *.sh)
    while IFS= read -r linea; do
      # The postgres user's psql is the test server's superuser; the installed schemas are
      # this tree's. Listening on other addresses is set, then undone (it would take a restart).
      orden=${linea#runuser -u postgres -- }
      [[ "$orden" == "psql "* ]] || continue
      orden=${orden//\/usr\/share\/remitos\/sql\//sql\/}
      [[ "$orden" == *"ALTER SYSTEM SET listen_addresses"* ]] && orden+=' && psql -q -X -c "ALTER SYSTEM RESET listen_addresses"'
      (cd "$raiz" && eval "$orden") >"$dir/salida" 2>&1 || { cat "$dir/salida" >&2; falla "$linea falló"; }
    done <"$bloque"
    ;;
  esac
done

# Then every command, in order.
ordenes=0
for bloque in "$dir"/bloques/*.sh; do
    while IFS= read -r linea; do
      [[ -z "$linea" || "$linea" == \#* ]] && continue
      ordenes=$((ordenes + 1))
      # The server on this machine is the test server, which the data source "empresa" names.
      linea=${linea//@Server=localhost;/@Server=empresa;}
      case "$linea" in
      ./test.sh*) contiene .ci/run "./test.sh" "$linea" ;;
      ./run.sh)
        # Without a screen it builds, creates the demo database when missing and registers it.
        correr 0 "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u REMITOS_CARPETA ./run.sh" "$raiz"
        grep -q "^Proceso Finalizado!" "$dir/salida" || falla "./run.sh no hizo la corrida"
        ;;
      "cmake --install build")
        DESTDIR=$dir/instalada cmake --install "$build" >/dev/null || falla "$linea falló"
        prefijo=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
        for f in bin/remitos bin/consulta lib/remitos/preparar-carpeta lib/remitos/fecha_dmy.so \
          share/man/man1/remitos.1.gz share/man/es/man1/remitos.1.gz share/applications/remitos.desktop; do
          [[ -e "$dir/instalada$prefijo/$f" ]] || falla "$linea no instaló $prefijo/$f"
        done
        # The system's own places, whatever the prefix.
        for f in /etc/logrotate.d/remitos /etc/default/remitos /lib/systemd/system/remitos.service \
          /lib/systemd/system/remitos.timer; do
          [[ -e "$dir/instalada$f" ]] || falla "$linea no instaló $f"
        done
        ;;
      /usr/lib/remitos/preparar-carpeta) contiene paquete/postinst "$linea" "$linea" ;;
      "(cd build && cpack -G DEB)") contiene tests/paquete.sh "cpack -G DEB" "$linea" ;;
      "apt install ./build/deb/"*) contiene tests/paquete.sh "apt-get install" "$linea" ;;
      "apt install postgresql") contiene scripts/dependencias.sh "postgresql-15" "$linea" ;;
      "systemctl start postgresql" | "systemctl restart postgresql") contiene test.sh "scripts/postgres.sh iniciar" "$linea" ;;
      # The README's nightly run on a server, and its clean-up after a purge, are run by the
      # package test on the installed package, line by line from the README.
      "install -o remitos "* | *">> /etc/remitos/pgpass" | *">> /etc/default/remitos" | "systemctl start remitos.service")
        contiene tests/paquete.sh "bloque_del_readme /etc/remitos/pgpass" "$linea"
        ;;
      "ls -l /etc/remitos/pgpass" | "grep -E '^(REMITOS_CLAVES|PGPASSFILE)=' /etc/default/remitos")
        contiene tests/paquete.sh 'bloque_del_readme "ls -l /etc/remitos/pgpass"' "$linea"
        ;;
      "apt purge remitos libremitos-consulta0" | "deluser --system remitos" | "delgroup --system remitos" | "rm -rf /var/lib/remitos /etc/remitos")
        contiene tests/paquete.sh 'bloque_del_readme "deluser --system remitos"' "$linea"
        ;;
      'echo "'*'" >> ~/.pgpass')
        # The line the manual gives the program's role is the one this test's password file has
        # (the host and port are this test server's).
        dada=${linea#echo \"}
        dada=${dada%%\"*}
        [[ "$(cut -d: -f3- <<<"$dada")" == "$(cut -d: -f3- "$PGPASSFILE")" ]] || falla "$linea no es la línea del rol del programa"
        ;;
      "chmod 600 ~/.pgpass") contiene tests/programa/manual.sh 'chmod 600 "$PGPASSFILE"' "$linea" ;;
      'echo "host '*'" >> /etc/postgresql/15/main/pg_hba.conf')
        # The line is one the server reads without an error; then it goes.
        if [[ -n "$hba_copia" ]]; then
          cp "$hba" "$dir/pg_hba.antes"
          correr 0 "${linea/\/etc\/postgresql\/15\/main\/pg_hba.conf/$hba}"
          errores=$(psql -X -tA -d postgres -c "SELECT count(*) FROM pg_hba_file_rules WHERE error IS NOT NULL")
          cp "$dir/pg_hba.antes" "$hba"
          [[ "$errores" == 0 ]] || falla "$linea: el servidor no lee la línea"
        fi
        ;;
      "iconv -f cp1252 -t utf-8 /var/lib/remitos/RQ857196.LOG"*)
        # The manual's own runs wrote the log: the last run's first and last lines.
        correr 0 "${linea/\/var\/lib\/remitos/$trabajo}"
        [[ $(grep -c "^=== .* Inicio de " "$dir/salida") -eq 1 && $(grep -c "^=== .* Fin de " "$dir/salida") -eq 1 ]] \
          || falla "$linea: $(cat "$dir/salida")"
        ;;
      "adduser "*" remitos") contiene tests/paquete.sh "-G remitos" "$linea" ;;
      "systemctl enable "*remitos.timer) contiene tests/paquete.sh "systemctl enable remitos.timer" "$linea" ;;
      "sqlite3 -cmd '.load /usr/lib/remitos/fecha_dmy' /var/lib/remitos/remitos.db "*)
        # The build's extension, on a demo database of its own: the rows come newest first.
        [[ -f "$dir/sqlite3.db" ]] || correr 0 "remitos --crear-base $dir/sqlite3.db --demo 200"
        linea=${linea/\/usr\/lib\/remitos\/fecha_dmy/$bin/fecha_dmy}
        correr 0 "${linea/\/var\/lib\/remitos\/remitos.db/$dir/sqlite3.db}"
        [[ $(grep -c . "$dir/salida") -gt 1 ]] || falla "$linea: $(cat "$dir/salida")"
        cut -d'|' -f2 "$dir/salida" | sort -rc || falla "$linea no ordenó por fecha: $(cat "$dir/salida")"
        ;;
      scripts/capturas.sh*)
        correr 0 "scripts/capturas.sh $bin $dir/capturas" "$raiz"
        for f in ventana-principal ventana-fin consulta consulta-casillas consulta-angosta consulta-ancha; do
          [[ -s "$dir/capturas/$f.png" ]] || falla "$linea no sacó $f.png"
        done
        ;;
      "scripts/compilar.sh asan") contiene test.sh "$linea" "$linea" ;;
      "scripts/fuzz.sh largo"*) contiene test.sh "scripts/fuzz.sh corto" "$linea" ;;
      "scripts/medir.sh --sin-compilar"*) correr 0 "scripts/medir.sh --sin-compilar --notas 50 --repeticiones 1 --nocturna" "$raiz" ;;
      scripts/medir.sh*) correr 0 "scripts/medir.sh --notas 50 --repeticiones 1" "$raiz" ;;
      build/bin/bench_consulta*) correr 0 "$bin/bench_consulta --filas 300" ;;
      "scripts/postgres.sh iniciar "*)
        correr 0 "scripts/postgres.sh iniciar $dir/pg && scripts/postgres.sh detener $dir/pg" "$raiz"
        ;;
      "g++ "*"pkg-config --cflags --libs remitos-consulta"*) contiene tests/programa/biblioteca.sh "pkg-config --cflags --libs remitos-consulta" "$linea" ;;
      "psql "*|"runuser -u postgres -- psql "*) ;;
      "odbcinst -q -s")
        correr 0 "$linea"
        grep -q '^\[empresa\]$' "$dir/salida" || falla "$linea no muestra el origen de datos empresa"
        ;;
      "odbcinst "*) correr 0 "$linea" ;;
      remitos*--crear-base*@Server=*)
        # A server's empty database gets the tables and the demo, as the program's role.
        correr 0 "$linea"
        grep -q "remitos de demostración" "$dir/salida" || falla "$linea: $(cat "$dir/salida")"
        [[ $(psql -X -tA -d prueba -c "SELECT count(DISTINCT tableowner) || ' ' || min(tableowner) FROM pg_tables WHERE schemaname = 'public'") == "1 stock" ]] \
          || falla "$linea: las tablas no son del rol del programa"
        ;;
      remitos*--crear-base*) correr 0 "$linea" ;;
      remitos*empresa-sql*)
        # No SQL Server here: the FreeTDS data source is used, and the failure is reported.
        correr 1 "$linea"
        grep -q "No se puede conectar con el servidor empresa-sql" "$dir/salida" \
          || falla "$linea: $(cat "$dir/salida")"
        ;;
      remitos*--simular*)
        # Shows what the run would write, and writes nothing: the next run does it all.
        antes=$(sqlite3 "$trabajo/empresa.db" "SELECT count(*) FROM V_MV_Stock")
        correr 0 "$linea"
        grep -q "^Simulación: no se escribió nada" "$dir/salida" || falla "$linea: $(tail -3 "$dir/salida")"
        simulados=$(sed -n 's/^Remitos procesados: //p' "$dir/salida")
        [[ ${simulados:-0} -gt 0 && $(grep -c "^  INSERT INTO V_MV_STOCK " "$dir/salida") -gt 0 ]] \
          || falla "$linea no mostró qué registraría"
        [[ $(sqlite3 "$trabajo/empresa.db" "SELECT count(*) FROM V_MV_Stock") == "$antes" ]] || falla "$linea escribió en la base"
        ;;
      remitos*--esperar*)
        # Another run, standing for the session that holds the run's lock: without --esperar
        # the command ends with 3 and writes nothing; with it, it waits and then runs.
        cargar_notas
        sin_esperar=$(sed -E 's/--esperar [0-9]+ //' <<<"$linea")
        psql -q -X -d empresa -c "SELECT pg_advisory_lock(857196), pg_sleep(4)" >/dev/null &
        otra=$!
        sleep 1
        correr 3 "$sin_esperar"
        grep -q "Otra corrida está registrando" "$dir/salida" || falla "$sin_esperar: $(cat "$dir/salida")"
        [[ $(psql -X -tA -d empresa -c "SELECT count(*) FROM V_MV_Stock") == 0 ]] || falla "$sin_esperar escribió con la base tomada"
        inicio=$(date +%s)
        correr 0 "$linea"
        wait "$otra"
        [[ $(($(date +%s) - inicio)) -ge 2 ]] || falla "$linea no esperó a la otra corrida"
        grep -q "^Renglones registrados: [1-9]" "$dir/salida" || falla "$linea: $(cat "$dir/salida")"
        ;;
      remitos*--silencioso*)
        [[ "$linea" == *@Server=empresa\;* ]] && cargar_notas
        correr 0 "$linea"
        [[ ! -s "$dir/salida" ]] || falla "$linea escribió: $(cat "$dir/salida")"
        ;;
      remitos*--revisar*|remitos*--completar*)
        # After the manual's run nothing is left incomplete: both say so and exit 0.
        correr 0 "$linea"
        grep -Eq "^(No hay remitos incompletos\.|Remitos completados: 0)$" "$dir/salida" \
          || falla "$linea: $(cat "$dir/salida")"
        ;;
      remitos*--ejecutar*)
        [[ "$linea" == *@Server=empresa\;* ]] && cargar_notas
        correr 0 "$linea"
        grep -q "^Renglones registrados: " "$dir/salida" || falla "$linea no dio el resumen"
        if [[ "$linea" == *@Server=empresa\;* ]]; then
          # Read day first, the cutoff is 1 March 2003: the notes of January and February stay.
          antes=$(psql -X -tA -d empresa -c "SELECT count(*) FROM V_MV_Stock s JOIN V_MV_Cpte n
            ON n.TC = s.TC AND n.IDCOMPROBANTE = s.IDCOMPROBANTE WHERE n.FECHA <= '2003-03-01'")
          despues=$(psql -X -tA -d empresa -c "SELECT count(DISTINCT IDCOMPROBANTE) FROM V_MV_Stock")
          [[ "$antes" == 0 && "$despues" -gt 100 ]] \
            || falla "$linea: $antes renglones de antes del corte, $despues remitos registrados"
        fi
        ;;
      remitos*)
        [[ "$linea" == *@Server=empresa\;* ]] && cargar_notas
        con_ventana "^USO INTERNO - SOLO EL ADMINISTRADOR$" "Tab Return" "$linea"
        ;;
      consulta*DELETE*)
        # Refused before the database sees it.
        correr 2 "$linea"
        grep -q "solo lee" "$dir/salida" || falla "$linea: $(cat "$dir/salida")"
        ;;
      # With check boxes, accepting with nothing checked is a cancel: a row is checked first.
      consulta*--casillas*--cantidades*) con_ventana "^Consulta\.\.\.$" "Down Insert Return" "$linea" ;;
      consulta*) con_ventana "^Consulta\.\.\.$" "Return" "$linea" ;;
      *) falla "el README muestra una orden que ninguna prueba ejecuta: $linea" ;;
      esac
    done <"$bloque"
done
[[ $ordenes -gt 20 ]] || falla "sólo se encontraron $ordenes órdenes"
echo "bien: las $ordenes órdenes del README se ejecutaron o están en la prueba que las ejecuta"
