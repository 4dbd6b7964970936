#!/usr/bin/env bash
# The lookup library as a program of the family uses it: the tree installed under a staged
# prefix (cmake --install build --prefix DIR), the
# example program built against it with CMake and with pkg-config, and run offscreen (a
# statement the database refuses reaches the caller, the lookup is shown and closed, a database
# that is not there is said). The library exports its public interface and nothing else.
#   biblioteca.sh BUILD_DIR REMITOS
set -uo pipefail
build=${1:?build}
remitos=${2:?remitos}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
falla() { echo "FALLA: $*" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$dir/xdg
mkdir -m 700 "$XDG_RUNTIME_DIR"

etapa=$dir/etapa
cmake --install "$build" --prefix "$etapa" >"$dir/instalacion.log" 2>&1 \
  || falla "cmake --install --prefix falló: $(tail -5 "$dir/instalacion.log")"
biblioteca=$(find "$etapa" -name 'libremitos-consulta.so.0' -print -quit)
[[ -n $biblioteca ]] || falla "no se instaló libremitos-consulta.so.0: $(cd "$etapa" && find . -type f)"
[[ $(objdump -p "$biblioteca" | awk '/SONAME/ {print $2}') == libremitos-consulta.so.0 ]] \
  || falla "el SONAME no es libremitos-consulta.so.0"
ajenos=$(nm -D --defined-only -C "$biblioteca" | awk '$2 != "A" {$1 = ""; $2 = ""; print}' \
         | grep -v -E '^ +(Lib_ClsCons2|SesionConsulta|Variant|Collection)::')
[[ -z $ajenos ]] || falla "la biblioteca exporta lo que sus cabeceras no declaran: $ajenos"
# consulta of the same install finds its library where it was put.
"$etapa/bin/consulta" --version >"$dir/version" 2>&1 || falla "consulta instalada con --prefix: $(cat "$dir/version")"
ejemplo=$(find "$etapa" -type d -name consulta-minima -print -quit)
[[ -f $ejemplo/main.cpp && -f $etapa/include/remitos/consulta.h ]] || falla "faltan el ejemplo o las cabeceras"

# Built the two usual ways, outside the tree.
cmake -S "$ejemplo" -B "$dir/con-cmake" -DCMAKE_PREFIX_PATH="$etapa" >"$dir/cmake.log" 2>&1 \
  && cmake --build "$dir/con-cmake" >>"$dir/cmake.log" 2>&1 \
  || falla "el ejemplo no se compiló con find_package: $(tail -20 "$dir/cmake.log")"
pc=$(dirname "$(find "$etapa" -name remitos-consulta.pc -print -quit)")
banderas=$(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs remitos-consulta) \
  || falla "pkg-config no encuentra remitos-consulta"
# shellcheck disable=SC2086
g++ -std=c++17 -o "$dir/con-pkg-config" "$ejemplo/main.cpp" $banderas 2>"$dir/g++.log" \
  || falla "el ejemplo no se compiló con pkg-config: $(tail -20 "$dir/g++.log")"

"$remitos" --crear-base "$dir/demo.db" --demo 5 >/dev/null || falla "no se creó la base"
claves="@DbName=$dir/demo.db;"
for programa in "$dir/con-cmake/consulta-minima" "$dir/con-pkg-config"; do
  export LD_LIBRARY_PATH=$(dirname "$biblioteca")
  rm -rf "$dir/app"; mkdir "$dir/app"
  timeout 60 "$programa" "$claves" "$dir/app" "SELECT IDARTICULO FROM NO_ESTA" >"$dir/salida" 2>"$dir/error"
  estado=$?
  [[ $estado -eq 2 ]] || falla "$programa: una sentencia rehusada terminó con $estado: $(cat "$dir/error")"
  grep -q "^consulta-minima: .*NO_ESTA" "$dir/error" || falla "$programa: no dice qué se rehusó: $(cat "$dir/error")"
  [[ $(stat -c %s "$dir/app/consultas.zvr") == 4808 ]] || falla "$programa: la sesión no escribió las máscaras"

  timeout 60 "$programa" --cerrar "$claves" "$dir/app" >"$dir/salida" 2>"$dir/error"
  estado=$?
  [[ $estado -eq 1 ]] || falla "$programa: la consulta cerrada terminó con $estado: $(cat "$dir/error")"
  grep -q "^mostrada: Consulta" "$dir/salida" || falla "$programa: no se mostró la consulta: $(cat "$dir/salida" "$dir/error")"
  # (The offscreen platform says it cannot raise a window: Qt's own remark, not the program's.)
  errores=$(grep -v "does not support raise" "$dir/error")
  [[ -z $errores ]] || falla "$programa: escribió en la salida de errores: $errores"

  timeout 60 "$programa" "@DbName=$dir/no-esta.db;" "$dir/app" >"$dir/salida" 2>"$dir/error"
  estado=$?
  [[ $estado -eq 2 ]] || falla "$programa: sin base de datos terminó con $estado"
  grep -q "no-esta.db" "$dir/error" || falla "$programa: no dice qué base falta: $(cat "$dir/error")"
done
echo "biblioteca: correcta"
