#!/usr/bin/env bash
# Times whole marlinq-batch processes on the window's start-up values:
#   DH with tables, PB with tables, PB with solved chains, DH over 0..100 x 0..100, and a
#   100-point PB salt sweep (ka 0.2..10, log spaced), a PB run in total mode, and a
#   1000-point PB sweep of the total (one landscape, the mass balance per point; goal 0.5 s).
# Usage: bench/batch_timings.sh [BUILD_DIR] [RUNS]   (default build/ and 20 runs)
# Uses hyperfine when installed, else a bash loop over `date +%s%N` (mean, min, max).
set -euo pipefail

BUILD=${1:-build}
RUNS=${2:-20}
BATCH=$BUILD/apps/marlinq-batch
[ -x "$BATCH" ] || { echo "no $BATCH; build the marlinq-batch target first" >&2; exit 1; }
BATCH=$(cd "$(dirname "$BATCH")" && pwd)/$(basename "$BATCH")

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
# Start-up values with both ranges widened to 0..100.
printf 'vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\nNp 1\nNm 200\nmpMin 0\nmpMax 100\nmmMin 0\nmmMax 100\n' >"$TMP/wide.in"

names=("DH, tables" "PB, tables" "PB, solved chains" "DH, 0..100 x 0..100" "PB salt sweep, 100 points"
       "PB, total 2e-3" "PB total sweep, 1000")
commands=(
    "$BATCH --quiet --method dh --chains table -o $TMP/out.txt"
    "$BATCH --quiet --method pb --chains table -o $TMP/out.txt"
    "$BATCH --quiet --method pb --chains solve -o $TMP/out.txt"
    "$BATCH --quiet --method dh --chains table -o $TMP/out.txt $TMP/wide.in"
    "$BATCH --quiet --method pb --sweep ka=0.2:10:100:log -o $TMP/sweep.csv"
    "$BATCH --quiet --method pb --chains table --total 1e-3,1e-3 -o $TMP/out.txt"
    "$BATCH --quiet --method pb --sweep total=1e-9:1e-1:1000:log -o $TMP/total.csv"
)

if command -v hyperfine >/dev/null; then
    args=()
    for i in "${!commands[@]}"; do args+=(-n "${names[$i]}" "${commands[$i]}"); done
    hyperfine --warmup 3 --runs "$RUNS" "${args[@]}"
    exit 0
fi

printf '%-22s %10s %10s %10s\n' "case" "mean ms" "min ms" "max ms"
for i in "${!commands[@]}"; do
    read -r -a cmd <<<"${commands[$i]}"
    "${cmd[@]}"  # warm-up, and stop here if the command fails
    total=0 min=0 max=0
    for _ in $(seq 1 "$RUNS"); do
        t0=$(date +%s%N)
        "${cmd[@]}"
        t1=$(date +%s%N)
        dt=$((t1 - t0))
        total=$((total + dt))
        if [ "$min" -eq 0 ] || [ "$dt" -lt "$min" ]; then min=$dt; fi
        if [ "$dt" -gt "$max" ]; then max=$dt; fi
    done
    awk -v n="${names[$i]}" -v t="$total" -v r="$RUNS" -v lo="$min" -v hi="$max" \
        'BEGIN { printf "%-22s %10.1f %10.1f %10.1f\n", n, t / r / 1e6, lo / 1e6, hi / 1e6 }'
done
