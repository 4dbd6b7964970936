#!/usr/bin/env bash
# Builds the Debian package and checks it without installing it: what it holds (the programs
# and their links, the date extension, the manual pages in man1 and man/es/man1, the desktop
# entries, the run log's rotation rule, the nightly service and timer, none of it enabled),
# its dependencies, its conffiles and maintainer scripts; then the files taken out of it: the
# desktop entries validated, the manual pages found and rendered, the rotation rule rotating
# a log in a scratch folder, the units verified, the program and the extension run; and an
# install under another prefix, which must write nothing outside it.
#
# With CI set (CI=true) or REMITOS_PROBAR_INSTALACION=1 it then installs the package on this
# machine and uses it as the users and the administrator would: the manual pages, a demo
# database created in the shared application folder by a user of the group "remitos", the
# nightly service's command run as its own user, the log rotated, the database read and
# written with sqlite3 and the extension, another user's runs on the same files, the timer
# enabled, the README's nightly run on a PostgreSQL server (when the test server is there);
# then it removes the package, and what purging leaves as the README removes it. That needs root (sudo is
# used when it is not) and a machine where the package is not installed.
#   tests/paquete.sh [BUILD_FOLDER]
set -uo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$raiz/build}" && pwd)
falla() {
  echo "FALLA (paquete): $*" >&2
  exit 1
}
instalar=0
case "${CI:-}" in "" | false | 0) ;; *) instalar=1 ;; esac
[[ "${REMITOS_PROBAR_INSTALACION:-0}" == 1 ]] && instalar=1
if [[ $instalar -eq 1 && $(id -u) -ne 0 ]]; then
  exec sudo --preserve-env=PATH,CI,REMITOS_PROBAR_INSTALACION "$0" "$@"
fi
tmp=$(mktemp -d /tmp/remitos-paquete.XXXXXX)
limpiar() { rm -rf "$tmp"; }
trap 'limpiar' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$tmp/xdg
mkdir -m 700 "$XDG_RUNTIME_DIR"

# A tool a check needs: missing, the check is left out with a word, except where the package
# is installed (CI), which has them all (scripts/dependencias.sh --pruebas).
hay() {
  command -v "$1" >/dev/null && return 0
  [[ $instalar -eq 1 ]] && falla "falta $1: scripts/dependencias.sh --pruebas lo instala"
  echo "aviso (paquete): sin $1 no se prueba $2" >&2
  return 1
}

# A Spanish locale of the test's own (LOCPATH), so that man can be asked as a Spanish-speaking
# user asks it without generating locales on the machine.
locales=$tmp/locales
mkdir "$locales"
localedef -i es_AR -f UTF-8 "$locales/es_AR.UTF-8" >/dev/null 2>&1
[[ -d "$locales/es_AR.UTF-8" ]] || { locales=""; echo "aviso (paquete): sin el locale es_AR (paquete locales) no se prueba man en castellano" >&2; }

# The manual pages under the man folder MAN: the English ones in man1, found by man in the C
# locale; the Spanish ones in es/man1, found there by "man -L es" and by man in a Spanish
# locale; each rendered without a warning, documenting --carpeta.
paginas() {
  local man=$1 pagina ruta
  for pagina in remitos consulta; do
    ruta=$(LC_ALL=C LANG=C LANGUAGE= MANPATH=$man man -w "$pagina" 2>&1)
    [[ "$ruta" == "$man/man1/$pagina.1.gz" ]] || falla "man -w $pagina en el locale C da «$ruta»"
    LC_ALL=C MANWIDTH=80 man --warnings -l "$ruta" 2>"$tmp/avisos" | grep -q -- "--carpeta" \
      || falla "man -l $ruta no muestra la página"
    [[ -s "$tmp/avisos" ]] && falla "man $pagina: $(head -3 "$tmp/avisos")"
    ruta=$(MANPATH=$man man -L es -w "$pagina" 2>&1)
    [[ "$ruta" == "$man/es/man1/$pagina.1.gz" ]] || falla "man -L es -w $pagina da «$ruta»"
    MANWIDTH=80 man --warnings -l "$ruta" 2>"$tmp/avisos" | grep -q -- "--carpeta" \
      || falla "man -l $ruta no muestra la página"
    [[ -s "$tmp/avisos" ]] && falla "man $pagina: $(head -3 "$tmp/avisos")"
    if [[ -n "$locales" ]]; then
      ruta=$(LOCPATH=$locales LC_ALL=es_AR.UTF-8 MANPATH=$man man -w "$pagina" 2>&1)
      [[ "$ruta" == "$man/es/man1/$pagina.1.gz" ]] || falla "man -w $pagina en castellano da «$ruta»"
    fi
  done
}

# The rotation rule RULE on the run log of FOLDER: read as monthly with a year of copies and
# no error; forced, the copy is the log byte for byte, and the log is the same file, emptied,
# with its mode and group, so a run writing at that moment goes on in it.
rotar() {
  local regla=$1 registro=$2/RQ857196.LOG antes
  logrotate -d -s "$tmp/estado" "$regla" >"$tmp/rotacion" 2>&1 || falla "logrotate -d $regla: $(cat "$tmp/rotacion")"
  grep -i "error" "$tmp/rotacion" && falla "logrotate -d $regla informa errores"
  grep -q "monthly (12 rotations)" "$tmp/rotacion" || falla "la regla no rota cada mes con 12 copias: $(cat "$tmp/rotacion")"
  cp "$registro" "$tmp/registro-antes"
  antes=$(stat -c '%i %a %G' "$registro")
  logrotate -f -s "$tmp/estado" "$regla" >"$tmp/rotacion" 2>&1 || falla "logrotate -f $regla: $(cat "$tmp/rotacion")"
  cmp -s "$tmp/registro-antes" "$registro.1" || falla "$registro.1 no es el registro tal como estaba"
  [[ ! -s "$registro" && "$(stat -c '%i %a %G' "$registro")" == "$antes" ]] \
    || falla "el registro rotado no es el mismo archivo vacío ($antes -> $(stat -c '%i %a %G %s' "$registro"))"
}

inicio=$(date +%s)
(cd "$build" && cpack -G DEB >/dev/null) || falla "cpack no armó el paquete"
deb=$(ls -t "$build"/deb/remitos_*_amd64.deb 2>/dev/null | head -1)
[[ -n "$deb" ]] || falla "no hay paquete en $build/deb"
version=$(dpkg-deb -f "$deb" Version)
deb_biblioteca=$build/deb/libremitos-consulta0_${version}_amd64.deb
deb_desarrollo=$build/deb/libremitos-consulta-dev_${version}_amd64.deb
[[ -f $deb_biblioteca && -f $deb_desarrollo ]] || falla "faltan los paquetes de la biblioteca: $(ls "$build/deb")"
depende=$(dpkg-deb -f "$deb" Depends)
for d in libqt6core6 libqt6widgets6 libqt6sql6 libodbc2 libsqlite3-0 libqt6sql6-sqlite qt6-qpa-plugins adduser \
         qt6-translations-l10n; do
  [[ "$depende" == *"$d"* ]] || falla "el paquete no depende de $d: $depende"
done

# --- What the package holds ----------------------------------------------------------------
dpkg-deb -c "$deb" | awk '{ print $1, substr($6, 2) ($7 == "->" ? " -> " $8 : "") }' >"$tmp/contenido"
for f in "-rwxr-xr-x /usr/lib/remitos/remitos" "-rwxr-xr-x /usr/lib/remitos/consulta" \
  "-rwxr-xr-x /usr/lib/remitos/preparar-carpeta" "-rw-r--r-- /usr/lib/remitos/fecha_dmy.so" \
  "lrwxrwxrwx /usr/bin/remitos -> ../lib/remitos/remitos" \
  "lrwxrwxrwx /usr/bin/consulta -> ../lib/remitos/consulta" \
  "-rw-r--r-- /usr/share/man/es/man1/remitos.1.gz" "-rw-r--r-- /usr/share/man/es/man1/consulta.1.gz" \
  "-rw-r--r-- /usr/share/man/man1/remitos.1.gz" "-rw-r--r-- /usr/share/man/man1/consulta.1.gz" \
  "-rw-r--r-- /usr/share/applications/remitos.desktop" "-rw-r--r-- /usr/share/applications/consulta.desktop" \
  "-rw-r--r-- /usr/share/icons/hicolor/48x48/apps/remitos.png" \
  "-rw-r--r-- /etc/logrotate.d/remitos" "-rw-r--r-- /etc/default/remitos" \
  "-rw-r--r-- /lib/systemd/system/remitos.service" "-rw-r--r-- /lib/systemd/system/remitos.timer"; do
  grep -qxF -- "$f" "$tmp/contenido" || falla "el paquete no tiene «$f»"
done
# The timer is not enabled.
grep " /etc/systemd/" "$tmp/contenido" && falla "el paquete habilita unidades de systemd"

# Every file under /etc is a conffile, so dpkg keeps the administrator's changes.
dpkg-deb -e "$deb" "$tmp/control" || falla "dpkg-deb -e falló"
diff <(awk '$1 ~ /^-/ && $2 ~ /^\/etc\// { print $2 }' "$tmp/contenido" | sort) \
  <(sort "$tmp/control/conffiles" 2>/dev/null) >"$tmp/diferencias" \
  || falla "conffiles no son los archivos de /etc: $(cat "$tmp/diferencias")"
for guion in postinst prerm postrm; do
  [[ -x "$tmp/control/$guion" ]] || falla "falta el guion $guion, o no es ejecutable"
  sh -n "$tmp/control/$guion" || falla "$guion no es un guion de sh válido"
  grep -v '^ *#' "$tmp/control/$guion" | grep -Eq 'systemctl [^|]*(enable|start)|deb-systemd-helper +enable' \
    && falla "$guion habilita o arranca unidades"
done

# --- The files taken out of it -----------------------------------------------------------
x=$tmp/extraido
dpkg-deb -x "$deb" "$x" || falla "dpkg-deb -x falló"
sh -n "$x/usr/lib/remitos/preparar-carpeta" || falla "preparar-carpeta no es un guion de sh válido"
desktop-file-validate "$x"/usr/share/applications/*.desktop || falla "las entradas de escritorio no son válidas"
paginas "$x/usr/share/man"

# The program run from there, and the packaged extension on a database it created.
[[ "$("$x/usr/lib/remitos/remitos" --version)" == "remitos $version" ]] || falla "remitos --version no dice remitos $version"
"$x/usr/lib/remitos/remitos" --crear-base "$tmp/demo.db" --demo 50 >/dev/null || falla "el programa del paquete no creó una base"
filas=$(sqlite3 -bail -cmd ".load $x/usr/lib/remitos/fecha_dmy" "$tmp/demo.db" \
  "SELECT count(*) FROM (SELECT FECHA FROM V_MV_Cpte ORDER BY FECHA)" 2>&1) \
  || falla "sqlite3 con la extensión del paquete: $filas"
[[ "$filas" == "$(sqlite3 "$tmp/demo.db" "SELECT count(*) FROM V_MV_Cpte")" ]] || falla "ORDER BY FECHA dio $filas filas"

# The rotation rule on a log like the program's, in a folder shared as the application
# folder is (group-writable, set-group-ID), by this user and group here.
if hay logrotate "la regla de rotación"; then
  mkdir -m 2775 "$tmp/carpeta"
  printf 'RMR000100000012\r\n*** RMR000100000012 rengl\363n 2: NOT NULL constraint failed\r\n' >"$tmp/carpeta/RQ857196.LOG"
  sed -e "s|^/var/lib/remitos/RQ857196.LOG |$tmp/carpeta/RQ857196.LOG |" \
    -e "s|^\([[:space:]]*su\) root remitos$|\1 $(id -un) $(id -gn)|" "$x/etc/logrotate.d/remitos" >"$tmp/regla"
  grep -q "^$tmp/carpeta/RQ857196.LOG " "$tmp/regla" || falla "la regla no es para /var/lib/remitos/RQ857196.LOG"
  # logrotate refuses a group-writable folder unless told whom to rotate as.
  grep -q "su $(id -un) $(id -gn)$" "$tmp/regla" || falla "la regla no rota como el grupo remitos (su root remitos)"
  rotar "$tmp/regla" "$tmp/carpeta"
fi

# --- The lookup's library, in two packages of its own ----------------------------------------
# The programs need this very version of the run-time library; the development package needs
# it and Qt's; the library says which version a program built against it needs (shlibs).
[[ "$depende" == *"libremitos-consulta0 (= $version)"* ]] || falla "remitos no depende de libremitos-consulta0 (= $version): $depende"
[[ "$(dpkg-deb -f "$deb_desarrollo" Depends)" == "libremitos-consulta0 (= $version), qt6-base-dev" ]] \
  || falla "libremitos-consulta-dev depende de «$(dpkg-deb -f "$deb_desarrollo" Depends)»"
[[ "$(dpkg-deb -f "$deb_biblioteca" Section) $(dpkg-deb -f "$deb_desarrollo" Section)" == "libs libdevel" ]] \
  || falla "las secciones de los paquetes de la biblioteca no son libs y libdevel"
dpkg-deb -e "$deb_biblioteca" "$tmp/control-biblioteca" || falla "dpkg-deb -e falló"
grep -qx "libremitos-consulta 0 libremitos-consulta0 (= $version)" "$tmp/control-biblioteca/shlibs" \
  || falla "la biblioteca no dice su versión a dpkg (shlibs)"
grep -q "ldconfig" "$tmp/control-biblioteca/postinst" || falla "instalar la biblioteca no corre ldconfig"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)
dpkg-deb -c "$deb_biblioteca" | awk '$6 !~ /\/$/ { print substr($6, 2) }' | sort >"$tmp/contenido-biblioteca"
diff <(printf '%s\n' "/usr/lib/$multiarch/libremitos-consulta.so.0" "/usr/lib/$multiarch/libremitos-consulta.so.0.1.0" | sort) \
  "$tmp/contenido-biblioteca" >/dev/null || falla "libremitos-consulta0 tiene: $(cat "$tmp/contenido-biblioteca")"
dpkg-deb -c "$deb_desarrollo" | awk '{ print substr($6, 2) }' >"$tmp/contenido-desarrollo"
for f in /usr/include/remitos/consulta.h /usr/include/remitos/Variant.h /usr/include/remitos/Collection.h \
  "/usr/lib/$multiarch/libremitos-consulta.so" "/usr/lib/$multiarch/pkgconfig/remitos-consulta.pc" \
  "/usr/lib/$multiarch/cmake/RemitosConsulta/RemitosConsultaConfig.cmake" \
  /usr/share/doc/libremitos-consulta-dev/examples/consulta-minima/main.cpp; do
  grep -qxF -- "$f" "$tmp/contenido-desarrollo" || falla "libremitos-consulta-dev no tiene $f"
done
grep "libremitos-consulta\|include/remitos" "$tmp/contenido" && falla "el paquete remitos lleva archivos de la biblioteca"

# The units, with the service's program taken from the package.
programa=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$x/lib/systemd/system/remitos.service")
[[ -x "$x$programa" ]] || falla "el servicio ejecuta $programa, que el paquete no tiene"
grep -q "^ExecStart=$programa --ejecutar --silencioso " "$x/lib/systemd/system/remitos.service" \
  || falla "el servicio no hace una corrida silenciosa"
if hay systemd-analyze "las unidades del servicio"; then
  mkdir "$tmp/unidades"
  sed "s|^ExecStart=$programa |ExecStart=$x$programa |" "$x/lib/systemd/system/remitos.service" >"$tmp/unidades/remitos.service"
  cp "$x/lib/systemd/system/remitos.timer" "$tmp/unidades/"
  LC_ALL=C LANG=C LANGUAGE= MANPATH=$x/usr/share/man systemd-analyze verify "$tmp/unidades/remitos.service" "$tmp/unidades/remitos.timer" >"$tmp/verificacion" 2>&1 \
    && [[ ! -s "$tmp/verificacion" ]] || falla "systemd-analyze verify: $(cat "$tmp/verificacion")"
fi

# --- For administrators: an install under another prefix; what the package recommends ------
# An install under a prefix other than /usr (a staging folder, a personal copy) writes nothing
# outside it: the files of the system's own places (/etc, the units' folder) are left out.
DESTDIR=$tmp/raiz cmake --install "$build" --prefix "$tmp/propia" >"$tmp/instalacion" 2>&1 \
  || falla "cmake --install --prefix falló: $(tail -3 "$tmp/instalacion")"
fuera=$(cd "$tmp/raiz" && find . ! -type d ! -path ".$tmp/propia/*")
[[ -z "$fuera" ]] || falla "cmake --install --prefix escribió fuera del prefijo: $fuera"
[[ -f "$tmp/raiz$tmp/propia/share/man/man1/remitos.1.gz" && -x "$tmp/raiz$tmp/propia/bin/remitos" ]] \
  || falla "cmake --install --prefix no puso los programas y las páginas en el prefijo"
[[ "$(dpkg-deb -f "$deb" Recommends)" == *logrotate* ]] || falla "el paquete no recomienda logrotate"
# --- (end of the administrators' checks of the package) ----------------------------------

if [[ $instalar -eq 0 ]]; then
  echo "paquete $(basename "$deb"): revisado sin instalarlo ($(( $(date +%s) - inicio )) s; CI=true o REMITOS_PROBAR_INSTALACION=1 lo instala y lo usa)"
  exit 0
fi

# --- Installed, and used ---------------------------------------------------------------------
carpeta=/var/lib/remitos
usuarios=(remitos-prueba-1 remitos-prueba-2)
enlace_temporizador=/etc/systemd/system/timers.target.wants/remitos.timer
# The machine must not already have what the test installs and then removes.
paquetes=(remitos libremitos-consulta-dev libremitos-consulta0)
for p in "${paquetes[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    falla "el paquete $p ya está instalado en esta máquina; quítelo antes (dpkg --purge ${paquetes[*]})"
  fi
done
if [[ -e "$carpeta" ]]; then
  falla "$carpeta ya existe; la prueba no toca una carpeta que no creó"
fi
[[ -e "$enlace_temporizador" ]] && falla "$enlace_temporizador ya existe; la prueba no lo toca"
[[ -e /etc/remitos ]] && falla "/etc/remitos ya existe; la prueba no toca una carpeta que no creó"
grupo_previo=0
getent group remitos >/dev/null && grupo_previo=1
usuario_previo=0
getent passwd remitos >/dev/null && usuario_previo=1

limpiar() {
  dpkg --purge "${paquetes[@]}" >/dev/null 2>&1
  rm -f "$enlace_temporizador"
  for u in "${usuarios[@]}"; do userdel "$u" >/dev/null 2>&1; done
  [[ $usuario_previo -eq 1 ]] || userdel remitos >/dev/null 2>&1
  restaurar_servidor
  rm -rf "$carpeta" /etc/remitos "$tmp"
  [[ $grupo_previo -eq 1 ]] || groupdel remitos >/dev/null 2>&1
  true
}
restaurar_servidor() { :; }
# The ```sh block of the README that holds TEXT, its lines as they are.
bloque_del_readme() {
  awk -v texto="$1" '/^ *```sh$/ { b = ""; dentro = 1; next }
    /^ *```/ { if (dentro && index(b, texto)) printf "%s", b; dentro = 0; next }
    dentro { sub(/^  /, ""); b = b $0 "\n" }' "$raiz/README.md"
}

# As the README installs it, with apt, which brings what the package depends on; the
# --path-include options keep the manual pages on machines whose dpkg is told to drop them.
DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o Dpkg::Options::=--path-include='/usr/share/man/man1/*' \
  -o Dpkg::Options::=--path-include='/usr/share/man/es/man1/*' "$deb_biblioteca" "$deb" >"$tmp/apt" 2>&1 || falla "apt-get install falló: $(tail -5 "$tmp/apt")"
[[ "$(remitos --version)" == "remitos $version" ]] || falla "remitos --version no dice remitos $version"
[[ "$(readlink -f /usr/bin/remitos)" == /usr/lib/remitos/remitos ]] || falla "/usr/bin/remitos no lleva al programa"
consulta --version >/dev/null || falla "consulta --version falló"
paginas /usr/share/man
desktop-file-validate /usr/share/applications/remitos.desktop /usr/share/applications/consulta.desktop \
  || falla "las entradas de escritorio no son válidas"
[[ -f /usr/share/icons/hicolor/48x48/apps/remitos.png ]] || falla "falta el icono"
[[ "$(stat -c '%G %a' "$carpeta")" == "remitos 2775" ]] || falla "$carpeta es $(stat -c '%G %a' "$carpeta")"
[[ "$(id -gn remitos 2>&1)" == remitos ]] || falla "no está el usuario remitos del servicio, del grupo remitos"
for f in /etc/logrotate.d/remitos /etc/default/remitos; do
  dpkg-query -W -f='${Conffiles}\n' remitos | grep -q "^ $f " || falla "dpkg no registró $f como conffile"
done

# Ordinary users of the group, and the service's user: one user creates the database, the
# nightly service registers it, the log is rotated, the user adds a note with sqlite3 and
# the extension, and another user registers it, all on the same files.
for u in "${usuarios[@]}"; do
  useradd --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin -G remitos "$u" \
    || falla "no se creó el usuario $u"
done
como() {
  local u=$1
  shift
  (cd / && runuser -u "$u" -- env -i PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen \
    XDG_RUNTIME_DIR=/tmp "$@")
}
con_extension() {
  como "${usuarios[0]}" sqlite3 -bail -cmd ".load /usr/lib/remitos/fecha_dmy" "$carpeta/remitos.db" "$@"
}
pendientes="SELECT count(*) FROM V_MV_Cpte c WHERE c.TC = 'RM' AND c.ANULADA = 0 AND c.FECHA > '01/03/2003'
  AND NOT EXISTS (SELECT 1 FROM V_MV_Stock s WHERE s.TC = c.TC AND s.IDCOMPROBANTE = c.IDCOMPROBANTE
                  AND s.IDCOMPLEMENTO = c.IDCOMPLEMENTO)"
# The command remitos.service runs, word for word, as its user, a word ${NAME} being the
# setting NAME of its environment file as one argument, empty or not, as systemd passes it;
# every setting of that file is in the command's environment, as systemd puts it there.
servicio() {
  local unidad=/lib/systemd/system/remitos.service usuario ajustes palabra nombre
  local -a orden=() entorno=(PATH=/usr/bin:/bin)
  usuario=$(sed -n 's/^User=//p' "$unidad")
  ajustes=$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$unidad")
  ajuste() { bash -c 'set -a; source "$1"; printf %s "${!2-}"' _ "$ajustes" "$1"; }
  for nombre in $(sed -n 's/^\([A-Za-z_][A-Za-z0-9_]*\)=.*/\1/p' "$ajustes" | sort -u); do
    entorno+=("$nombre=$(ajuste "$nombre")")
  done
  set -f
  for palabra in $(sed -n 's/^ExecStart=//p' "$unidad"); do
    if [[ "$palabra" =~ ^\$\{([A-Za-z_][A-Za-z0-9_]*)\}$ ]]; then
      orden+=("$(ajuste "${BASH_REMATCH[1]}")")
    else
      orden+=("$palabra")
    fi
  done
  set +f
  (cd / && runuser -u "$usuario" -- env -i "${entorno[@]}" "${orden[@]}")
}

como "${usuarios[0]}" remitos --crear-base "$carpeta/remitos.db" --demo 300 >/dev/null \
  || falla "el usuario no pudo crear la base de demostración en $carpeta"
a_registrar=$(con_extension "$pendientes" 2>&1) || falla "sqlite3 con la extensión no leyó la base del usuario: $a_registrar"
[[ $a_registrar -gt 0 ]] || falla "la base de demostración no tiene remitos pendientes"
servicio >"$tmp/servicio" 2>&1 || falla "la orden del servicio terminó con $?: $(cat "$tmp/servicio")"
[[ -s "$tmp/servicio" ]] && falla "la orden del servicio escribió: $(head -5 "$tmp/servicio")"
[[ $(grep -c "^RM" "$carpeta/RQ857196.LOG") -eq $a_registrar ]] || falla "el registro no tiene una línea por remito pendiente ($a_registrar)"
[[ "$(con_extension "$pendientes")" == 0 ]] || falla "la orden del servicio dejó remitos pendientes"
if hay logrotate "la regla de rotación instalada"; then
  rotar /etc/logrotate.d/remitos "$carpeta"
fi

con_extension "INSERT INTO V_MV_Cpte (TC,IDCOMPROBANTE,IDCOMPLEMENTO,FECHA,ANULADA) VALUES ('RM','PAQUETE',0,'02/03/2003',0);
  INSERT INTO V_Mv_CpteInsumos (TC,IDCOMPROBANTE,IDCOMPLEMENTO,RENGLON,IDARTICULO,CANTIDAD) VALUES ('RM','PAQUETE',0,1,'A00001',1)" \
  || falla "el usuario no pudo agregar un remito con sqlite3"
[[ "$(con_extension "$pendientes")" == 1 ]] || falla "la extensión no ve el remito del 02/03/2003 como pendiente"
salida=$(como "${usuarios[1]}" remitos --ejecutar 2>&1) || falla "la corrida del segundo usuario terminó con $?: $salida"
grep -q "^Remitos procesados: 1$" <<<"$salida" || falla "la corrida del segundo usuario: $salida"
[[ "$(tr -d '\r' <"$carpeta/RQ857196.LOG" | grep -v '^=== ')" == RMPAQUETE ]] || falla "el registro rotado no siguió: $(cat -A "$carpeta/RQ857196.LOG")"
salida=$(como "${usuarios[1]}" remitos --ejecutar 2>&1) || falla "la última corrida terminó con $?: $salida"
grep -q "^Remitos procesados: 0$" <<<"$salida" || falla "la última corrida encontró remitos: $salida"
ls -la "$carpeta" | sed 's/^/  /'

# The units as installed, and the timer enabled as the README shows it.
if hay systemd-analyze "las unidades instaladas"; then
  LC_ALL=C LANG=C LANGUAGE= systemd-analyze verify /lib/systemd/system/remitos.service /lib/systemd/system/remitos.timer \
    >"$tmp/verificacion" 2>&1 && [[ ! -s "$tmp/verificacion" ]] || falla "systemd-analyze verify: $(cat "$tmp/verificacion")"
fi
[[ "$(systemctl is-enabled remitos.timer 2>&1)" == disabled ]] || falla "el temporizador no está instalado sin habilitar"
systemctl enable remitos.timer >/dev/null 2>&1 || falla "systemctl enable remitos.timer falló"
[[ "$(systemctl is-enabled remitos.timer 2>&1)" == enabled ]] || falla "systemctl enable no habilitó el temporizador"

# --- For administrators: the README's nightly run on a PostgreSQL server --------------------
# The README's commands that give the nightly run a server's database, run as written on a
# demo database made as the README makes it, the test server standing for the company's (its
# port for PostgreSQL's, in the password files and in the INI file of the application folder,
# as an administrator gives another port). The role logs in with its password only, so the
# service's command must read it from /etc/remitos/pgpass; its run log then says when, who and
# where. Where systemd does not run, the service's command is run as it would run it.
if [[ -n "${REMITOS_PG_PUERTO:-}" ]] && hay psql "la corrida nocturna en un servidor"; then
  puerto=$REMITOS_PG_PUERTO
  sql() { PGOPTIONS="-c client_min_messages=warning" psql -X -q -h 127.0.0.1 -p "$puerto" -U "${REMITOS_PG_USUARIO:-postgres}" -d postgres -v ON_ERROR_STOP=1 "$@"; }
  hba=$(sql -tA -c "SHOW hba_file") && cp "$hba" "$tmp/pg_hba.conf" || falla "no se puede leer pg_hba.conf del servidor de prueba"
  restaurar_servidor() {
    cp "$tmp/pg_hba.conf" "$hba" && sql -c "SELECT pg_reload_conf()" >/dev/null
    sql -c "DROP DATABASE IF EXISTS prueba" -c "DROP ROLE IF EXISTS stock" >/dev/null 2>&1
  }
  sql -c "DROP DATABASE IF EXISTS prueba" -c "DROP ROLE IF EXISTS stock" -c "CREATE ROLE stock LOGIN PASSWORD 'secreto'" \
    -c "CREATE DATABASE prueba OWNER stock" >/dev/null || falla "no se creó la base prueba en el servidor de prueba"
  sed -i "1i host all stock 127.0.0.1/32 scram-sha-256" "$hba" && sql -c "SELECT pg_reload_conf()" >/dev/null
  printf '[ODBC]\r\nPuerto=%s\r\n' "$puerto" >"$carpeta/KD000pr.INI"
  echo "localhost:$puerto:*:stock:secreto" >"$tmp/pgpass" && chmod 600 "$tmp/pgpass"
  PGPASSFILE=$tmp/pgpass remitos --crear-base "@Server=localhost;@DbName=prueba;@Usuario=stock;" --demo 200 >"$tmp/demo" 2>&1 \
    || falla "la base de demostración en el servidor: $(cat "$tmp/demo")"
  while IFS= read -r linea; do
    linea=${linea//localhost:5432:/localhost:$puerto:}
    if [[ ! -d /run/systemd/system && "$linea" == "systemctl start remitos.service" ]]; then
      servicio >"$tmp/servicio" 2>&1 || falla "la orden del servicio en el servidor terminó con $?: $(cat "$tmp/servicio")"
      [[ -s "$tmp/servicio" ]] && falla "la orden del servicio en el servidor escribió: $(head -5 "$tmp/servicio")"
      continue
    fi
    [[ ! -d /run/systemd/system ]] && linea=${linea/enable --now/enable}
    eval "$linea" >"$tmp/salida" 2>&1 || falla "$linea: $(cat "$tmp/salida")"
  done < <(bloque_del_readme /etc/remitos/pgpass)
  [[ "$(stat -c '%U %G %a' /etc/remitos) $(stat -c '%U %a' /etc/remitos/pgpass)" == "root remitos 750 remitos 600" ]] \
    || falla "/etc/remitos y su pgpass: $(stat -c '%U %G %a' /etc/remitos /etc/remitos/pgpass)"
  ultima=$(bloque_del_readme "iconv -f cp1252" | head -1)
  [[ "$ultima" == *RQ857196.LOG* ]] || falla "el README no muestra cómo leer el registro"
  ultima=$(eval "$ultima" | tr -d '\r')
  [[ $(head -1 <<<"$ultima") =~ ^===\ [0-9-]{10}\ [0-9:]{8}\ Inicio\ de\ la\ corrida:\ usuario\ remitos,\ servidor\ localhost,\ base\ prueba$ \
     && $(tail -1 <<<"$ultima") =~ ^===\ [0-9-]{10}\ [0-9:]{8}\ Fin\ de\ la\ corrida:\ [1-9][0-9]*\ remitos,\ [1-9][0-9]*\ renglones\ registrados,\ 0\ renglones\ rechazados$ ]] \
    || falla "las líneas de la corrida nocturna en el registro: $ultima"
  grep -q secreto "$carpeta/RQ857196.LOG" && falla "el registro tiene la contraseña"
  # The README's look at what the nightly run's user finds, when it cannot log in.
  diagnostico=$(bash -c "$(bloque_del_readme "ls -l /etc/remitos/pgpass")" 2>&1) || falla "el diagnóstico del README falló: $diagnostico"
  [[ "$diagnostico" == "-rw------- 1 remitos remitos "*" /etc/remitos/pgpass"*"PGPASSFILE=/etc/remitos/pgpass" ]] \
    || falla "el diagnóstico del README muestra: $diagnostico"
fi


# The development package: the example program built against the system's copy with CMake
# and with pkg-config, each run offscreen on the demo database (the lookup shown and closed).
dpkg -i "$deb_desarrollo" >/dev/null || falla "dpkg -i $(basename "$deb_desarrollo") falló"
ejemplo=/usr/share/doc/libremitos-consulta-dev/examples/consulta-minima
cmake -S "$ejemplo" -B "$tmp/ejemplo" >"$tmp/ejemplo.log" 2>&1 && cmake --build "$tmp/ejemplo" >>"$tmp/ejemplo.log" 2>&1 \
  || falla "el ejemplo no se compiló con find_package(RemitosConsulta): $(tail -20 "$tmp/ejemplo.log")"
# shellcheck disable=SC2046
g++ -std=c++17 -o "$tmp/ejemplo-pc" "$ejemplo/main.cpp" $(pkg-config --cflags --libs remitos-consulta) \
  || falla "el ejemplo no se compiló con pkg-config"
for programa in "$tmp/ejemplo/consulta-minima" "$tmp/ejemplo-pc"; do
  mkdir -p "$tmp/ejemplo-carpeta"
  salida=$("$programa" --cerrar "@DbName=$carpeta/remitos.db;" "$tmp/ejemplo-carpeta" 2>&1)
  [[ $? -eq 1 && "$salida" == *"mostrada: Consulta"* ]] || falla "$programa: $salida"
done

dpkg --purge "${paquetes[@]}" >/dev/null || falla "no se pudieron quitar los paquetes"
dpkg-query -W -f='${Status}' libremitos-consulta0 2>/dev/null | grep -q "installed" && falla "quedó la biblioteca"
[[ ! -e /usr/bin/remitos ]] || falla "quedó /usr/bin/remitos"
[[ ! -e /etc/logrotate.d/remitos && ! -e /etc/default/remitos ]] || falla "quedaron los conffiles"
[[ ! -L "$enlace_temporizador" ]] || falla "quedó habilitado el temporizador de un paquete purgado"
[[ -f "$carpeta/remitos.db" ]] || falla "quitar el paquete borró los datos de $carpeta"
# --- For administrators: what purging leaves, removed as the README removes it -------------
[[ -d "$carpeta" && $(getent passwd remitos | cut -d: -f1) == remitos && $(getent group remitos | cut -d: -f1) == remitos ]] \
  || falla "quitar el paquete no dejó lo que el README dice que deja"
[[ -f /etc/remitos/pgpass || ! -e /etc/remitos ]] || falla "quitar el paquete dejó /etc/remitos vacía"
while IFS= read -r linea; do
  case "$linea" in
  "apt purge remitos libremitos-consulta0") ;; # done above
  "deluser "* | "delgroup "*) [[ $usuario_previo -eq 1 ]] || eval "$linea" >/dev/null 2>&1 || falla "$linea falló" ;;
  *) eval "$linea" || falla "$linea falló" ;;
  esac
done < <(bloque_del_readme "deluser --system remitos")
[[ $usuario_previo -eq 1 ]] || ! getent passwd remitos >/dev/null || falla "quedó el usuario remitos"
[[ $grupo_previo -eq 1 ]] || ! getent group remitos >/dev/null || falla "quedó el grupo remitos"
[[ ! -e "$carpeta" && ! -e /etc/remitos ]] || falla "quedaron $carpeta o /etc/remitos"
# --- (end of the administrators' checks of the installed package) --------------------------

echo "paquete $(basename "$deb"): revisado, instalado, $a_registrar remitos registrados por el servicio y 1 por un usuario del grupo, quitado ($(( $(date +%s) - inicio )) s)"
