#!/usr/bin/env bash
# Installs what is missing, builds the two programs (Release) into build-app/ and starts the
# window. Only the programs are built, not the tests or benchmarks (scripts/test.sh builds
# everything into build/).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh

JOBS="${MARLINQ_JOBS:-$(nproc 2>/dev/null || echo 2)}"
cmake --preset app >/dev/null
cmake --build --preset app -j"$JOBS"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: no display found; start it under X (e.g. xvfb-run scripts/run.sh) or set QT_QPA_PLATFORM." >&2
fi
exec build-app/apps/marlinq "$@"
