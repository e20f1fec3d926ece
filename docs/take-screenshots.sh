#!/usr/bin/env bash
# Takes the README's pictures under a virtual X server: the main window through the window
# tests' screenshot cases (which drive the real window: Solve, the View menu, the map's
# tooltip, Save Map) and the chart and About windows through tools/windowshots.
#
#   docs/take-screenshots.sh [BUILD_DIR] [OUT_DIR]      (defaults: build, docs)
#
# Needs xvfb-run and a build of test_ui_main_window and marlinq-window-shots
# (cmake --build build --target test_ui_main_window marlinq-window-shots).
# Writes main-window.png (default run, 1366 x 768 screen), main-window-large.png (the same
# on 1600 x 1000), map-tooltip.png, main-window-pb-log.png (Poisson-Boltzmann over 0..300,
# logarithmic colours, the populated region), main-window-pb-whole.png (the same run,
# whole range), map-figure.png and map-figure.svg (File > Save Map), main-window-loaded.png,
# main-window-1000.png (Debye-Hueckel over 0..999 x 0..999, whole range), main-window-observables.png
# (the Observables tab with a segment size and a tie), main-window-observables-end.png (its
# end, the sensitivity estimated), sweep-window.png,
# sweep-chart-saved.png, sweep-window-map.png and sweep-map-saved.png (the sweep window as it
# opens on a 1366 x 768 screen, its chart and its two-parameter map as Save PNG writes them),
# chart-window.png (as it opens on a 1366 x 768 screen), chart-window-wide.png,
# chart-ions-saved.png and about-window.png, main-window-startup.png (before any run) and
# window-de_DE.png (the default run on a German desktop: decimal commas in every field).
#
# To look at the window on another screen, e.g. 1920 x 1080, into a folder of its own:
#   MARLINQ_SCREEN=1920x1080 MARLINQ_SCREENSHOT_SIZE=1920x1010 docs/take-screenshots.sh build /tmp/shots-1920
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "${1:-$ROOT/build}" && pwd)"
OUT="$(mkdir -p "${2:-$ROOT/docs}" && cd "${2:-$ROOT/docs}" && pwd)"
TESTS="$BUILD/tests/ui/test_ui_main_window"
SHOTS="$BUILD/tools/windowshots/marlinq-window-shots"
for exe in "$TESTS" "$SHOTS"; do
  [ -x "$exe" ] || { echo "take-screenshots: $exe not built" >&2; exit 1; }
done

export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
MARLINQ_SCREENSHOT_DIR="$OUT" xvfb-run -a -s "-screen 0 ${MARLINQ_SCREEN:-1600x1000}x24" \
  "$TESTS" --gtest_filter='Screenshots.*' --gtest_brief=1
# The chart window opens to fit its screen: a 1366 x 768 one.
xvfb-run -a -s "-screen 0 ${MARLINQ_SCREEN:-1366x768}x24" "$SHOTS" "$OUT"
