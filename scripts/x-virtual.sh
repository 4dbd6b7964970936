# Functions to run the program under a real X server (Xvfb) with a window manager, for the
# screenshots and the end-to-end tests. Source it; it cleans up after itself on exit.

x_procesos=()
x_terminar() {
  # Programs first, the X server last, so that nothing loses its display while running.
  local i
  for ((i = ${#x_procesos[@]} - 1; i >= 0; i--)); do
    kill "${x_procesos[i]}" 2>/dev/null || true
    wait "${x_procesos[i]}" 2>/dev/null || true
  done
}

# Starts Xvfb and openbox on a free display and exports DISPLAY. Xvfb picks the display itself
# (-displayfd), so that two scripts started at the same moment never share one.
x_iniciar() {
  local archivo
  archivo=$(mktemp /tmp/remitos-pantalla.XXXXXX)
  Xvfb -displayfd 3 -screen 0 1024x640x24 -nolisten tcp 3>"$archivo" >/dev/null 2>&1 &
  x_procesos+=($!)
  for _ in $(seq 200); do [[ -s "$archivo" ]] && break; sleep 0.05; done
  local numero
  numero=$(head -n 1 "$archivo")
  rm -f "$archivo"
  [[ "$numero" =~ ^[0-9]+$ ]] || { echo "Xvfb no arrancó" >&2; return 1; }
  export DISPLAY=:$numero
  # The programs draw on this screen, whatever platform the caller's environment chose.
  export QT_QPA_PLATFORM=xcb
  xdpyinfo >/dev/null 2>&1 || { echo "Xvfb no arrancó" >&2; return 1; }
  openbox >/dev/null 2>&1 &
  x_procesos+=($!)
  # A window mapped before the window manager has taken the screen is never framed: wait for
  # the manager to announce itself.
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.05
  done
  export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/remitos-xdg.XXXXXX)}
  chmod 700 "$XDG_RUNTIME_DIR"
}

# Waits for a window whose title matches (a regular expression) and prints its id.
x_esperar_ventana() {
  local titulo=$1 ventana=
  # Up to 30 s: a machine busy with a parallel build can take that long to start a program.
  for _ in $(seq 300); do
    ventana=$(xdotool search --onlyvisible --name "$titulo" 2>/dev/null | head -n 1)
    [[ -n "$ventana" ]] && { echo "$ventana"; return 0; }
    sleep 0.1
  done
  echo "no apareció la ventana «$titulo»" >&2
  return 1
}

# Gives the keyboard to a window and presses keys there, as a person would.
x_teclas() {
  local ventana=$1; shift
  xdotool windowactivate --sync "$ventana" >/dev/null 2>&1 || xdotool windowfocus --sync "$ventana"
  sleep 0.2
  xdotool key --delay 100 "$@"
}
