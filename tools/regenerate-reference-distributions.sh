#!/usr/bin/env bash
# regenerate-reference-distributions.sh BATCH_EXECUTABLE [OUT_DIR]
#
# Writes the stored reference results that tests/apps/reference_distributions.sh compares
# marlinq-batch against, byte for byte: the distributions of the window's start-up values
# by both methods (with tabulated and with solved single chains), the same for two other
# parameter sets, and the radial profiles of two complexes.
#
# Run it only after a change that is meant to move the numbers, from a Release build with
# the project's flags, and commit the new files together with that change, saying why the
# numbers moved:
#
#     cmake --build build --target marlinq-batch
#     tools/regenerate-reference-distributions.sh build/apps/marlinq-batch
#     git diff --stat tests/data/reference
#
# The list of runs is in tests/data/reference/cases.txt: one case per line, the output file
# name, then the marlinq-batch arguments (a parameter file named there is looked up in the
# same folder). The chain tables come from the data/ folder of the source tree.
set -euo pipefail

BATCH=$(realpath "$1")
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
OUT=$(realpath "${2:-$HERE/../tests/data/reference}")
DATA=$HERE/../data

cd "$OUT"
while read -r name args; do
    case "$name" in '' | '#'*) continue ;; esac
    # shellcheck disable=SC2086
    "$BATCH" --quiet --data "$DATA" $args >"$name"
    echo "wrote $OUT/$name"
done <cases.txt
