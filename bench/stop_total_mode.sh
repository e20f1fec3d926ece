#!/usr/bin/env bash
# Ctrl-C in a total-mode Debye-Hueckel run: the time from SIGINT to the program's end when
# the stop comes in the landscape stage, after a few seconds of complexes. The mass balance
# of the partial landscape still gives its distribution; the critical concentration (dozens
# of mass-balance solves over every computed complex) is not searched.
# Goal: the stop takes under 1 s, or (on a loaded machine) at most 1.5 times as long as the
# same stop in free mode plus 0.2 s.
# Usage: bench/stop_total_mode.sh [BUILD_DIR] [SECONDS_BEFORE_THE_STOP]   (default build/, 8 s)
# Prints both stops' wall times and the complexes computed; exits 1 when the goal is missed.
set -euo pipefail

BUILD=${1:-build}
AFTER=${2:-8}
BATCH=$BUILD/apps/marlinq-batch
[ -x "$BATCH" ] || { echo "no $BATCH; build the marlinq-batch target first" >&2; exit 1; }
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
printf 'vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\nNp 1\nNm 200\nmpMin 0\nmpMax 1000\nmmMin 0\nmmMax 1000\n' >"$TMP/big.in"

stop_after() {  # stop_after NAME ARGS...: milliseconds from SIGINT to the end
    local name=$1 pid start
    shift
    set -m
    "$BATCH" --long-format "$@" -o "$TMP/$name.txt" "$TMP/big.in" 2>"$TMP/$name.err" &
    pid=$!
    until grep -q "^Starting calculation of the potential" "$TMP/$name.err" 2>/dev/null; do sleep 0.05; done
    sleep "$AFTER"
    start=$(date +%s%N)
    kill -INT "$pid"
    wait "$pid" || true
    set +m
    echo $((($(date +%s%N) - start) / 1000000))
}
free=$(stop_after free)
total=$(stop_after total --total 1e-3,1e-3)
echo "free mode stopped in $free ms ($(grep -o '[0-9]* of [0-9]* complexes' "$TMP/free.err" || echo finished))"
echo "total mode stopped in $total ms ($(grep -o '[0-9]* of [0-9]* complexes' "$TMP/total.err" || echo finished))"
[ "$total" -lt 1000 ] || [ "$total" -le $((free * 3 / 2 + 200)) ] ||
    { echo "goal missed: total mode took $total ms to stop (goal: under 1 s, or within 1.5 times free mode's)" >&2; exit 1; }
