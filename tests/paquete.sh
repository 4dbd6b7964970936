#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with dpkg, and uses the installed
# copy as an ordinary user would: --version, the manual pages, the desktop entries, a demo
# database created in the shared application folder and the registration run on it in batch
# mode by two different users of the group "remitos". Then removes the package and what the
# test created. Needs root (sudo is used when it is not).
#   tests/paquete.sh [BUILD_FOLDER]
set -uo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$raiz/build}" && pwd)
carpeta=/var/lib/remitos
usuarios=(remitos-prueba-1 remitos-prueba-2)
falla() {
  echo "FALLA (paquete): $*" >&2
  exit 1
}
if [[ $(id -u) -ne 0 ]]; then
  exec sudo --preserve-env=PATH "$0" "$@"
fi

# The machine must not already have what the test installs and then removes.
if dpkg-query -W -f='${Status}' remitos 2>/dev/null | grep -q "install ok installed"; then
  falla "el paquete remitos ya está instalado en esta máquina; quítelo antes (dpkg --purge remitos)"
fi
if [[ -e "$carpeta" ]]; then
  falla "$carpeta ya existe; la prueba no toca una carpeta que no creó"
fi
grupo_previo=0
getent group remitos >/dev/null && grupo_previo=1

limpiar() {
  dpkg --purge remitos >/dev/null 2>&1
  for u in "${usuarios[@]}"; do userdel "$u" >/dev/null 2>&1; done
  rm -rf "$carpeta"
  [[ $grupo_previo -eq 1 ]] || groupdel remitos >/dev/null 2>&1
  true
}
trap limpiar EXIT

inicio=$(date +%s)
(cd "$build" && cpack -G DEB >/dev/null) || falla "cpack no armó el paquete"
deb=$(ls -t "$build"/deb/remitos_*_amd64.deb 2>/dev/null | head -1)
[[ -n "$deb" ]] || falla "no hay paquete en $build/deb"
depende=$(dpkg-deb -f "$deb" Depends)
for d in libqt6core6 libqt6widgets6 libqt6sql6 libodbc2 libsqlite3-0 libqt6sql6-sqlite qt6-qpa-plugins \
         qt6-translations-l10n; do
  [[ "$depende" == *"$d"* ]] || falla "el paquete no depende de $d: $depende"
done

# --path-include keeps the manual pages on machines whose dpkg is told to drop them.
dpkg -i --path-include='/usr/share/man/man1/*' "$deb" >/dev/null || falla "dpkg -i falló"
version=$(remitos --version) || falla "remitos --version falló"
[[ "$version" == "remitos $(dpkg-deb -f "$deb" Version)" ]] || falla "remitos --version dice «$version»"
[[ "$(readlink -f /usr/bin/remitos)" == /usr/lib/remitos/remitos ]] || falla "/usr/bin/remitos no lleva al programa"
consulta --version >/dev/null || falla "consulta --version falló"
for pagina in remitos consulta; do
  MANWIDTH=80 man "$pagina" 2>/dev/null | grep -q -- "--carpeta" || falla "man $pagina no muestra la página"
done
desktop-file-validate /usr/share/applications/remitos.desktop /usr/share/applications/consulta.desktop \
  || falla "las entradas de escritorio no son válidas"
[[ -f /usr/share/icons/hicolor/48x48/apps/remitos.png ]] || falla "falta el icono"
[[ "$(stat -c '%G %a' "$carpeta")" == "remitos 2775" ]] || falla "$carpeta es $(stat -c '%G %a' "$carpeta")"

# Two ordinary users of the group: one creates the database and runs the registration, the
# other runs it again on the same files (the log and the database the first one created).
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
como "${usuarios[0]}" remitos --crear-base "$carpeta/remitos.db" --demo 300 >/dev/null \
  || falla "el usuario no pudo crear la base de demostración en $carpeta"
salida=$(como "${usuarios[0]}" remitos --ejecutar 2>/dev/null) \
  || falla "la corrida del primer usuario terminó con $?: $salida"
procesados=$(sed -n 's/^Remitos procesados: //p' <<<"$salida")
[[ ${procesados:-0} -gt 0 ]] || falla "la corrida no procesó remitos: $salida"
[[ -f "$carpeta/RQ857196.LOG" ]] || falla "no está el registro en $carpeta"
[[ $(grep -c . "$carpeta/RQ857196.LOG") -eq $procesados ]] || falla "el registro no tiene una línea por remito"
salida=$(como "${usuarios[1]}" remitos --ejecutar 2>&1) \
  || falla "la corrida del segundo usuario terminó con $?: $salida"
grep -q "^Remitos procesados: 0$" <<<"$salida" || falla "la segunda corrida encontró remitos: $salida"
ls -la "$carpeta" | sed 's/^/  /'

dpkg --purge remitos >/dev/null || falla "no se pudo quitar el paquete"
[[ ! -e /usr/bin/remitos ]] || falla "quedó /usr/bin/remitos"
[[ -f "$carpeta/remitos.db" ]] || falla "quitar el paquete borró los datos de $carpeta"
echo "paquete $(basename "$deb"): instalado, $procesados remitos registrados por un usuario del grupo, quitado ($(( $(date +%s) - inicio )) s)"
