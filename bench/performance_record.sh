#!/usr/bin/env bash
# Every figure of the performance record, measured in one run:
#   bench/performance_record.sh [BUILD_DIR] [RUNS]     (default build/ and 7 runs)
# 1. one Newton step, banded against the dense Gauss-Jordan inverse, 401 and 801 points;
# 2. one complex free energy and both single-chain energies solved (Google Benchmark);
# 3. whole marlinq-batch processes: median wall time of RUNS runs (one run for the two
#    large ranges) and peak resident memory (/usr/bin/time), and, where perf can place
#    uprobes (root), the number of Newton steps of each run, from which the run time of
#    the dense design is extrapolated: measured time + steps x (dense - banded step time).
set -euo pipefail

BUILD=${1:-build}
RUNS=${2:-7}
BUILD=$(cd "$BUILD" && pwd)
BATCH=$BUILD/apps/marlinq-batch
for exe in "$BATCH" "$BUILD/bench/newton_step" "$BUILD/bench/free_energy"; do
    [ -x "$exe" ] || { echo "no $exe; build marlinq-batch newton_step free_energy first" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "no /usr/bin/time (package time)" >&2; exit 1; }

TMP=$(mktemp -d)
PROBES=0
cleanup() {
    [ "$PROBES" -eq 1 ] && perf probe -q -d 'probe_marlinq_rec:*' >/dev/null 2>&1
    rm -rf "$TMP"
}
trap cleanup EXIT

echo "# $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# --- 1 and 2: in-process benchmarks (mean of 5 repetitions, microseconds) ---
bench() {
    "$@" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_color=false 2>/dev/null |
        sed 's/\x1b\[[0-9;]*m//g' | awk '$1 ~ /_mean$/ { n = $1; sub(/_mean$/, "", n); t = $2;
                 if ($3 == "ms") t *= 1000; else if ($3 == "ns") t /= 1000; else if ($3 == "s") t *= 1e6;
                 printf "%s %.3f\n", n, t }'
}
bench "$BUILD/bench/newton_step" --benchmark_filter='Sphere|Cylinder' >"$TMP/newton.txt"
bench "$BUILD/bench/free_energy" >"$TMP/energy.txt"
echo "## In-process (mean of 5 repetitions, us)"
cat "$TMP/newton.txt" "$TMP/energy.txt" | awk '{ printf "%-40s %12.1f\n", $1, $2 }'
step_us() { awk -v n="$1" '$1 == n { print $2 }' "$TMP/newton.txt"; }
sphere_extra=$(awk -v d="$(step_us BM_SphereDense/401)" -v b="$(step_us BM_SphereBanded/401)" 'BEGIN { print d - b }')
chain_extra=$(awk -v d="$(step_us BM_CylinderDense/801)" -v b="$(step_us BM_CylinderBanded/801)" 'BEGIN { print d - b }')
echo

# --- 3: whole runs ---
start_up='vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\nNp 1\nNm 200\n'
printf "${start_up}mpMin 0\nmpMax 100\nmmMin 0\nmmMax 100\n" >"$TMP/r100.in"
printf "${start_up}mpMin 0\nmpMax 200\nmmMin 0\nmmMax 200\n" >"$TMP/r200.in"

# Newton steps: uprobes on the sphere step (Solver::sphereStep) and the chain step (Solver::cylinderStep).
symbol() { nm "$BATCH" | awk -v s="$1" '$2 == "T" && $3 ~ s && !found { print $1; found = 1 }'; }
if command -v perf >/dev/null && [ "$(id -u)" -eq 0 ]; then
    c=$(symbol '^_ZN7marlinq6Solver10sphereStep') f=$(symbol '^_ZN7marlinq6Solver12cylinderStep')
    perf probe -q -d 'probe_marlinq_rec:*' >/dev/null 2>&1 || true
    if [ -n "$c" ] && [ -n "$f" ] &&
        perf probe -q -x "$BATCH" -a "probe_marlinq_rec:sphere=0x$c" >/dev/null 2>&1 &&
        perf probe -q -x "$BATCH" -a "probe_marlinq_rec:chain=0x$f" >/dev/null 2>&1; then
        PROBES=1
    fi
fi
steps() {
    [ "$PROBES" -eq 1 ] || { echo "- -"; return; }
    perf stat -x, -e probe_marlinq_rec:sphere -e probe_marlinq_rec:chain "$@" >/dev/null 2>"$TMP/stat.txt"
    awk -F, '/probe_marlinq_rec:sphere/ { s = $1 } /probe_marlinq_rec:chain/ { c = $1 } END { print s, c }' "$TMP/stat.txt"
}

echo "## Whole marlinq-batch runs (-o to a file, --quiet)"
printf '%-28s %10s %10s %10s %10s %14s\n' case "median ms" "peak MB" "sph steps" "chain steps" "dense est. s"
run_case() {
    local name=$1 runs=$2
    shift 2
    local cmd=("$BATCH" --quiet -o "$TMP/out.txt" "$@")
    "${cmd[@]}"  # warm-up; stops the script if the run fails
    : >"$TMP/times" && : >"$TMP/mem"
    for _ in $(seq 1 "$runs"); do
        local t0 t1
        t0=$(date +%s%N)
        /usr/bin/time -f '%M' -a -o "$TMP/mem" "${cmd[@]}"
        t1=$(date +%s%N)
        echo $(((t1 - t0) / 1000)) >>"$TMP/times"
    done
    local median peak counts
    median=$(sort -n "$TMP/times" | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] / 1000 }')
    peak=$(sort -n "$TMP/mem" | tail -n 1 | awk '{ print $1 / 1024 }')
    counts=$(steps "${cmd[@]}")
    awk -v n="$name" -v m="$median" -v p="$peak" -v c="$counts" -v se="$sphere_extra" -v ce="$chain_extra" 'BEGIN {
        split(c, k, " ");
        est = (k[1] == "-") ? "-" : sprintf("%.2f", m / 1000 + (k[1] * se + k[2] * ce) / 1e6);
        printf "%-28s %10.1f %10.1f %10s %10s %14s\n", n, m, p, k[1], k[2], est }'
}
run_case "DH, tables" "$RUNS" --method dh --chains table
run_case "DH, solved chains" "$RUNS" --method dh --chains solve
run_case "PB, tables" "$RUNS" --method pb --chains table
run_case "PB, solved chains" "$RUNS" --method pb --chains solve
run_case "DH, 0..100 x 0..100" 3 --method dh --chains table "$TMP/r100.in"
run_case "PB, 0..200 x 0..200" 3 --method pb --chains table "$TMP/r200.in"
