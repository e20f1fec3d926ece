#!/usr/bin/env bash
# Installs what is missing, builds Marlinq Solver (Release) into build/ and starts it:
# the window if it was built, else the batch command, else a list of what was built.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh

JOBS="${MARLINQ_JOBS:-$(nproc 2>/dev/null || echo 2)}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$JOBS"

if [ -x build/apps/marlinq ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: no display found; start it under X (e.g. xvfb-run scripts/run.sh) or set QT_QPA_PLATFORM." >&2
  fi
  exec build/apps/marlinq "$@"
elif [ -x build/apps/marlinq-batch ]; then
  exec build/apps/marlinq-batch "$@"
else
  echo "Built (no program to start yet):"
  find build -maxdepth 3 -type f -executable \( -path 'build/apps/*' -o -path 'build/tests/*' -o -path 'build/bench/*' -o -path 'build/tools/*' \) | sort
  find build/src -name '*.a' 2>/dev/null | sort
fi
