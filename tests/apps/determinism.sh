#!/usr/bin/env bash
# determinism.sh METHOD CHAINS BATCH_EXECUTABLE: the same marlinq-batch run gives the same
# bytes whatever the number of OpenMP threads (1, 2, 8), and the same when run twice.
# The stages' teams follow OMP_NUM_THREADS; OMP_THREAD_LIMIT caps them as well.
set -uo pipefail

method=$1
chains=$2
BATCH=$3
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Ranges wide enough that every thread of a team of 8 gets rows, with an uneven count
# (so the static schedule's last chunk is short), not starting at zero.
if [ "$chains" = table ]; then
    printf 'vc01 0.002\nvc10 0.0005\nzp 20\nzn 18\nkiplus 0.5\nkiminus 0.25\nka 0.3\nNp 5\nNm 120\nmpMin 1\nmpMax 37\nmmMin 2\nmmMax 31\n' >params.in
else
    printf 'vc01 0.002\nvc10 0.0005\nzp 20\nzn 18\nkiplus 0.5\nkiminus 0.25\nka 0.3\nNp 5\nNm 120\nmpMin 1\nmpMax 13\nmmMin 2\nmmMax 11\n' >params.in
fi

run() {
    local tag=$1 threads=$2
    OMP_NUM_THREADS=$threads OMP_THREAD_LIMIT=$threads \
        "$BATCH" --method "$method" --chains "$chains" -o "out.$tag" params.in 2>"err.$tag" ||
        fail "run $tag exited with $?: $(cat "err.$tag")"
    [ -s "out.$tag" ] || fail "run $tag wrote nothing"
}

run t1 1
run t2 2
run t8 8
run t8again 8
run t1again 1

for tag in t2 t8 t8again t1again; do
    cmp -s out.t1 "out.$tag" || fail "$method/$chains: output with $tag differs from one thread: $(cmp out.t1 "out.$tag")"
done
# The log holds the same lines with the same numbers; the two single-chain lines come in
# the order their parallel sections finish, so the lines are compared sorted.
for tag in t2 t8; do
    cmp -s <(sort err.t1) <(sort "err.$tag") || fail "$method/$chains: the log lines differ with $tag"
done
echo "$method/$chains: $(wc -l <out.t1) rows identical for 1, 2, 8 threads and twice"
