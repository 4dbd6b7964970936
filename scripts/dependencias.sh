#!/usr/bin/env bash
# Installs the Debian packages the project needs that are missing. Usage:
#   scripts/dependencias.sh            what building and running needs
#   scripts/dependencias.sh --pruebas  also what the tests need (PostgreSQL, Xvfb, ...)
set -euo pipefail

paquetes=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev libqt6sql6-sqlite libqt6sql6-odbc
  unixodbc unixodbc-dev odbc-postgresql tdsodbc libsqliteodbc libpq-dev
  libsqlite3-dev sqlite3
)
if [[ "${1:-}" == "--pruebas" ]]; then
  paquetes+=(
    libgtest-dev googletest libbenchmark-dev clang libclang-rt-14-dev
    postgresql-15 postgresql-client-15
    xvfb xdotool xclip imagemagick openbox x11-utils libxcb1-dev
    dpkg-dev file man-db desktop-file-utils
    # The package test: its log rotation rule, its units (systemd-analyze; nothing is started
    # where systemd is not the running init), its Spanish manual pages in a Spanish locale.
    logrotate systemd locales
  )
fi

faltan=()
for p in "${paquetes[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    faltan+=("$p")
  fi
done
[[ ${#faltan[@]} -eq 0 ]] && exit 0

echo "Instalando paquetes que faltan: ${faltan[*]}" >&2
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Hace falta ser root (o sudo) para instalar: ${faltan[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# A fresh machine may have no package lists yet.
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${faltan[@]}" >/dev/null
