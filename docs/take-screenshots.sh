#!/usr/bin/env bash
# Takes the README's pictures from the real program under a virtual X server, driving it
# with xdotool as a user would (mouse clicks, keyboard shortcuts, typing into the file
# dialog) and capturing windows with ImageMagick's import.
#
#   docs/take-screenshots.sh [BUILD_DIR] [OUT_DIR]      (defaults: build, docs)
#
# Needs xvfb-run, xdotool and imagemagick (scripts/install-deps.sh installs them) and a
# build of the window (scripts/run.sh or cmake --build build --target marlinq).
# Writes main-window.png, map-tooltip.png, chart-window.png, chart-window-charts.png,
# about-window.png and main-window-loaded.png.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build}" && pwd)"
OUT="$(mkdir -p "${2:-$ROOT/docs}" && cd "${2:-$ROOT/docs}" && pwd)"
APP="$BUILD/apps/marlinq"
[ -x "$APP" ] || { echo "take-screenshots: $APP not built" >&2; exit 1; }

# Re-enter under a virtual display of our own.
if [ -z "${MARLINQ_SHOTS_INNER:-}" ]; then
  exec env MARLINQ_SHOTS_INNER=1 xvfb-run -a -s "-screen 0 1400x1500x24" bash "${BASH_SOURCE[0]}" "$BUILD" "$OUT"
fi

WORK="$(mktemp -d)"
APP_PID=""
cleanup() {
  if [ -n "$APP_PID" ]; then kill "$APP_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
cd "$WORK"   # an empty working directory: tables and pictures come from the data folder
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8

# Geometry of the main window without scroll bars (no window manager: windows sit at 0,0).
MAIN_W=1341
MAIN_H=880
# Positions inside that window: the "Help" menu, the "Solve" button and the centre of map
# cell (3, 5) of the 0..10 x 0..10 map, a complex with a net charge of -36.
HELP_XY=(141 8)
SOLVE_XY=(1188 747)
CELL35_XY=(641 343)
CELL44_XY=(693 395)

# wait_window NAME: id of the first visible window whose title is NAME.
wait_window() {
  local id
  id=$(timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
  [ -n "$id" ] || { echo "take-screenshots: no window \"$1\"" >&2; exit 1; }
  echo "$id"
}

# settle: let the program finish painting (a default run takes a few milliseconds).
settle() { sleep "${1:-1.5}"; }

# shoot WINDOW FILE: capture one window.
shoot() {
  import -window "$1" "$OUT/$2"
  echo "wrote $OUT/$2 ($(identify -format '%wx%h' "$OUT/$2"))"
}

start_main() {
  "$APP" >"$WORK/marlinq.log" 2>&1 &
  APP_PID=$!
  MAIN=$(wait_window "Marlinq Solver")
  xdotool windowsize --sync "$MAIN" "$MAIN_W" "$MAIN_H"
  xdotool windowfocus --sync "$MAIN"
  settle
}

stop_main() {
  kill "$APP_PID" 2>/dev/null || true
  wait "$APP_PID" 2>/dev/null || true
  APP_PID=""
}

click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

# 1. The default run: click "Solve", then double-click a charged complex.
start_main
click "$MAIN" "${SOLVE_XY[@]}"
settle 3
xdotool mousemove --window "$MAIN" 20 860   # pointer off the map: no tooltip in the picture
settle 1
shoot "$MAIN" main-window.png
# The tooltip of the most probable cell is a window of its own: capture the screen and cut.
xdotool mousemove --window "$MAIN" "${CELL44_XY[@]}"
settle 2.5
import -window root -crop 574x260+459+270 +repage "$OUT/map-tooltip.png"
echo "wrote $OUT/map-tooltip.png"
xdotool mousemove --window "$MAIN" "${CELL35_XY[@]}" click --repeat 2 --delay 80 1
CHART=$(wait_window "Complex \\(3,5\\)")
settle 2
shoot "$CHART" chart-window.png
# The same window stretched to show all three charts without scrolling.
xdotool windowsize --sync "$CHART" 680 1465
settle 2
shoot "$CHART" chart-window-charts.png
xdotool windowclose "$CHART"

# 2. Help: the About window.
xdotool windowfocus --sync "$MAIN"
click "$MAIN" "${HELP_XY[@]}"
ABOUT=$(wait_window "About")
settle
shoot "$ABOUT" about-window.png
stop_main

# 3. An asymmetric parameter set loaded with Ctrl+O (typed into the file dialog), then solved with F5.
cat >"$WORK/asymmetric.in" <<'EOF'
vc01 0.002
vc10 0.0005
zp 24
zn 12
kiplus 0.5
kiminus 0.3
ka 0.35
Np 40
Nm 120
mpMin 1
mpMax 20
mmMin 0
mmMax 40
EOF
start_main
xdotool key --clearmodifiers ctrl+o
DIALOG=$(wait_window "Load Parameters")
xdotool windowfocus --sync "$DIALOG"
settle 1
xdotool type --delay 20 "$WORK/asymmetric.in"
xdotool key Return
settle 1
xdotool windowfocus --sync "$MAIN"
xdotool key F5
settle 4
xdotool mousemove --window "$MAIN" 20 860
settle 1
shoot "$MAIN" main-window-loaded.png
stop_main
