#!/usr/bin/env bash
# Installs what is missing, builds the two programs (Release) into build-app/ and starts the
# window. Only the programs are built, not the tests or benchmarks (scripts/test.sh builds
# everything into build/).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# The window needs a display; without one the programs are still built (the batch command
# works anywhere), and the script says so instead of letting the window abort.
no_display=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  no_display=1
  echo "run.sh: no display found (DISPLAY and WAYLAND_DISPLAY are not set): building the programs, but the window cannot be opened here." >&2
fi

bash scripts/install-deps.sh

JOBS="${MARLINQ_JOBS:-$(nproc 2>/dev/null || echo 2)}"
cmake --preset app >/dev/null
cmake --build --preset app -j"$JOBS"

if [ "$no_display" -eq 1 ]; then
  echo "run.sh: the window needs a display. Start it on a desktop or under a virtual one (xvfb-run scripts/run.sh)," >&2
  echo "or compute without a window with the batch command: build-app/apps/marlinq-batch --help" >&2
  exit 1
fi
exec build-app/apps/marlinq "$@"
