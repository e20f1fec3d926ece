#!/usr/bin/env bash
# Points side by side: a 100-point Poisson-Boltzmann ka sweep of the start-up values with
# --jobs 2 against --jobs 1, run alternately in one go, and the bytes of both compared.
# Goal: --jobs 2 takes at most 0.6 times as long as --jobs 1 on two cores, same bytes.
# Usage: bench/sweep_jobs.sh [BUILD_DIR] [ROUNDS]   (default build/ and 5 rounds)
# Prints the median wall time of each and their ratio; exits 1 when the goal is missed.
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
for round in $(seq 1 "$ROUNDS"); do
    for jobs in 1 2; do
        start=$(now)
        "$BATCH" --quiet --method pb --sweep ka=0.2:10:100 --jobs "$jobs" -o "$TMP/jobs$jobs.csv"
        echo $((($(now) - start) / 1000000)) >>"$TMP/t$jobs"
    done
    cmp -s "$TMP/jobs1.csv" "$TMP/jobs2.csv" || { echo "round $round: --jobs 2 wrote other bytes than --jobs 1" >&2; exit 1; }
done
one=$(median <"$TMP/t1")
two=$(median <"$TMP/t2")
ratio=$(awk -v a="$two" -v b="$one" 'BEGIN { printf "%.2f", a / b }')
printf '%-34s %10s\n' "100-point PB ka sweep" "median ms"
printf '%-34s %10s   (%s)\n' "--jobs 1" "$one" "$(tr '\n' ' ' <"$TMP/t1")"
printf '%-34s %10s   (%s)\n' "--jobs 2" "$two" "$(tr '\n' ' ' <"$TMP/t2")"
printf 'ratio %s (goal <= 0.6), identical bytes (%s lines)\n' "$ratio" "$(wc -l <"$TMP/jobs1.csv")"
awk -v r="$ratio" 'BEGIN { exit !(r <= 0.6) }'
