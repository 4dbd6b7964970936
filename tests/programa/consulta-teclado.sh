#!/usr/bin/env bash
# The lookup window driven from the keyboard under a real X server, as its users work it:
# typing in a search box moves the selection, Down goes into the list, letters typed there go
# back to the box, Insert and Delete change the quantity, Enter returns the chosen row.
#   consulta-teclado.sh REMITOS VER_CONSULTA [CAPTURA.png]
set -uo pipefail
remitos=${1:?remitos}
ver=${2:?ver_consulta}
captura=${3:-}
raiz=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(mktemp -d)
# shellcheck source=../../scripts/x-virtual.sh
source "$raiz/scripts/x-virtual.sh"
trap 'x_terminar; rm -rf "$dir"' EXIT
falla() { echo "FALLA: $*" >&2; cat "$dir/salida" >&2 2>/dev/null; exit 1; }

x_iniciar || falla "sin servidor X"
"$remitos" --crear-base "$dir/remitos.db" --demo 20 >/dev/null || falla "no se creó la base"
"$ver" "$dir/remitos.db" "SELECT DESCRIPCION, IDARTICULO, PRECIO FROM V_MA_ARTICULOS" \
  --cantidades --devuelto IDARTICULO --campos DESCRIPCION,IDARTICULO >"$dir/salida" 2>"$dir/error" &
programa=$!
x_procesos+=($programa)
ventana=$(x_esperar_ventana "^Consulta\.\.\.$") || falla "no apareció la consulta"
sleep 0.5

# The first search box has the focus: type, go down into the list, type more there.
x_teclas "$ventana" t o r n
sleep 0.3
x_teclas "$ventana" Down i
sleep 0.3
x_teclas "$ventana" Down Insert Insert Delete
sleep 0.3
[[ -n "$captura" ]] && import -frame -window "$ventana" "$captura"
x_teclas "$ventana" Return
for _ in $(seq 50); do kill -0 "$programa" 2>/dev/null || break; sleep 0.1; done
kill -0 "$programa" 2>/dev/null && falla "Enter no cerró la consulta"
wait "$programa"; estado=$?
[[ $estado -eq 0 ]] || falla "la consulta terminó con $estado"

valor=$(sed -n 's/^Valor: //p' "$dir/salida")
[[ "$valor" =~ ^A[0-9]{5}$ ]] || falla "valor devuelto «$valor»"
descripcion=$(sed -n '2p' "$dir/salida" | cut -f1)
[[ "$descripcion" == Tornillo* ]] || falla "la fila elegida es «$descripcion», no un tornillo"
cantidad=$(sed -n '2p' "$dir/salida" | cut -f2)
[[ "$cantidad" == "1.0" || "$cantidad" == "1,0" ]] || falla "cantidad «$cantidad», no 1.0"
codigo=$(sed -n '3p' "$dir/salida" | cut -f1)
[[ "$codigo" == "$valor" ]] || falla "el segundo valor es «$codigo», no «$valor»"
esperado=$(sqlite3 "$dir/remitos.db" "SELECT IDARTICULO FROM V_MA_ARTICULOS WHERE DESCRIPCION = '$descripcion'" | head -n 1)
grep -q "$valor" <<<"$(sqlite3 "$dir/remitos.db" "SELECT IDARTICULO FROM V_MA_ARTICULOS WHERE DESCRIPCION = '$descripcion'")" \
  || falla "$valor no es el código de «$descripcion» ($esperado)"
echo "bien: $descripcion ($valor), cantidad $cantidad"
