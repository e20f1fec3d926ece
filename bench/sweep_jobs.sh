#!/usr/bin/env bash
# Points side by side: a 100-point Poisson-Boltzmann ka sweep of the start-up values with
# --jobs 2 against --jobs 1, and against one point at a time on one core (OMP_NUM_THREADS=1,
# how a sweep ran before points went side by side), run alternately in one go, and the bytes
# of all three compared.
# Goal: --jobs 2 takes at most 0.6 times as long as one point at a time on one core, and no
# longer than --jobs 1 (whose points already take both cores through OpenMP teams).
# Usage: bench/sweep_jobs.sh [BUILD_DIR] [ROUNDS]   (default build/ and 5 rounds)
# Prints the median wall times and the ratios; exits 1 when the goal is missed.
set -euo pipefail

BUILD=${1:-build}
ROUNDS=${2:-5}
BATCH=$BUILD/apps/marlinq-batch
[ -x "$BATCH" ] || { echo "no $BATCH; build the marlinq-batch target first" >&2; exit 1; }
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$TMP/t1"
: >"$TMP/t2"
: >"$TMP/tserial"
run() {  # run NAME JOBS [ENV...]
    local name=$1 jobs=$2 start
    shift 2
    start=$(now)
    env "$@" "$BATCH" --quiet --method pb --sweep ka=0.2:10:100 --jobs "$jobs" -o "$TMP/$name.csv"
    echo $((($(now) - start) / 1000000)) >>"$TMP/t$name"
}
for round in $(seq 1 "$ROUNDS"); do
    run serial 1 OMP_NUM_THREADS=1
    run 1 1
    run 2 2
    for name in 1 serial; do
        cmp -s "$TMP/$name.csv" "$TMP/2.csv" || { echo "round $round: --jobs 2 wrote other bytes than $name" >&2; exit 1; }
    done
done
serial=$(median <"$TMP/tserial")
one=$(median <"$TMP/t1")
two=$(median <"$TMP/t2")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf '%-40s %10s\n' "100-point PB ka sweep" "median ms"
printf '%-40s %10s   (%s)\n' "one point at a time on one core" "$serial" "$(tr '\n' ' ' <"$TMP/tserial")"
printf '%-40s %10s   (%s)\n' "--jobs 1 (OpenMP teams of all cores)" "$one" "$(tr '\n' ' ' <"$TMP/t1")"
printf '%-40s %10s   (%s)\n' "--jobs 2" "$two" "$(tr '\n' ' ' <"$TMP/t2")"
printf 'ratio to one core %s (goal <= 0.6), to --jobs 1 %s (goal <= 1), identical bytes (%s lines)\n' \
    "$(ratio "$two" "$serial")" "$(ratio "$two" "$one")" "$(wc -l <"$TMP/2.csv")"
awk -v a="$two" -v s="$serial" -v o="$one" 'BEGIN { exit !(a <= 0.6 * s && a <= o) }'
