#!/usr/bin/env bash
# The cost of --sweep-dir: a 3000-point Debye-Hueckel ka sweep of the start-up values with
# and without a distribution file per point, run alternately. Goal: at most 1.5 times as
# long with the folder. The folder lies in TMPDIR's file system (default /tmp); give
# another place as third argument to time a real disk.
# Usage: bench/sweep_dir.sh [BUILD_DIR] [ROUNDS] [FOLDER]   (default build/, 3 rounds)
set -euo pipefail

BUILD=${1:-build}
ROUNDS=${2:-3}
BATCH=$BUILD/apps/marlinq-batch
[ -x "$BATCH" ] || { echo "no $BATCH; build the marlinq-batch target first" >&2; exit 1; }
TMP=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/sweep-dir-bench.XXXXXX")
trap 'rm -rf "$TMP"' EXIT

now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$TMP/plain"
: >"$TMP/folder"
for _ in $(seq 1 "$ROUNDS"); do
    start=$(now)
    "$BATCH" --quiet --sweep ka=0.2:10:3000 -o "$TMP/plain.csv"
    echo $((($(now) - start) / 1000000)) >>"$TMP/plain"
    rm -rf "$TMP/points"
    start=$(now)
    "$BATCH" --quiet --sweep ka=0.2:10:3000 --sweep-dir "$TMP/points" -o "$TMP/folder.csv"
    echo $((($(now) - start) / 1000000)) >>"$TMP/folder"
    [ "$(ls "$TMP/points" | wc -l)" -eq 3000 ] || { echo "not 3000 point files" >&2; exit 1; }
done
plain=$(median <"$TMP/plain")
folder=$(median <"$TMP/folder")
ratio=$(awk -v a="$folder" -v b="$plain" 'BEGIN { printf "%.2f", a / b }')
printf '%-36s %10s\n' "3000-point DH ka sweep" "median ms"
printf '%-36s %10s   (%s)\n' "CSV only" "$plain" "$(tr '\n' ' ' <"$TMP/plain")"
printf '%-36s %10s   (%s)\n' "CSV and --sweep-dir" "$folder" "$(tr '\n' ' ' <"$TMP/folder")"
printf 'ratio %s (goal <= 1.5), folder on %s\n' "$ratio" "$(df -P "$TMP" | awk 'NR == 2 { print $1 }')"
awk -v r="$ratio" 'BEGIN { exit !(r <= 1.5) }'
