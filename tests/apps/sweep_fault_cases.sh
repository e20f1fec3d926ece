#!/usr/bin/env bash
# sweep_fault_cases.sh CASE BATCH_EXECUTABLE DATA_DIR: a sweep's files when two things go
# wrong at once. Every case refuses early and clearly, never exits 0 over lost or mixed
# rows, and never writes through a link nobody asked for.
set -uo pipefail

case_name=$1
BATCH=$2
DATA=$(realpath "$3")
JOB_SCRIPT=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../../examples/slurm/marlinq-sweep.sbatch")
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Start-up values with the ranges cut to M = 0..MAX.
small_file() {
    printf 'vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\nNp 1\nNm 200\nmpMin 0\nmpMax %s\nmmMin 0\nmmMax %s\n' "$2" "$2" >"$1"
}

# wait_rows FILE N: until FILE holds N lines (at most 30 s).
wait_rows() {
    for _ in $(seq 1 600); do [ "$(wc -l 2>/dev/null <"$1" || echo 0)" -ge "$2" ] && return 0; sleep 0.05; done
    return 1
}

# Every line of FILE ends with a line feed.
whole_lines() { [ ! -s "$1" ] || [ "$(tail -c 1 "$1" | od -An -c | tr -d ' ')" = '\n' ]; }

case "$case_name" in
merge_parts)
    # 1. More parts than open files: all are merged (one part open at a time), or none.
    small_file base.in 4
    "$BATCH" -q --sweep vc10=1e-4:1e-3:200 -o whole.csv base.in || fail "the whole sweep"
    awk -F, 'NR == 1 { plan = $0; next } NR == 2 { header = $0; next }
             { f = sprintf("part-%03d.csv", $1); print plan "; shard " $1 "/200" >f; print header >f; print >f; close(f) }' \
        whole.csv
    [ "$(ls part-*.csv | wc -l)" -eq 200 ] || fail "no 200 parts"
    (ulimit -n 64 && "$BATCH" --merge part-*.csv >merged.csv 2>err)
    rc=$?
    expect_rc 0
    cmp -s merged.csv whole.csv || fail "merged $(($(wc -l <merged.csv) - 2)) of 200 rows under ulimit -n 64"
    (ulimit -n 64 && "$BATCH" -q --merge part-*.csv -o merged-file.csv 2>err)
    cmp -s merged-file.csv whole.csv || fail "-o: the merged file differs under ulimit -n 64"
    # 9. A part that is a FIFO is refused at once, not waited on.
    mkfifo fifo.csv
    rc=0
    timeout -k 2 10 "$BATCH" --merge part-000.csv fifo.csv >out 2>err || rc=$?
    expect_rc 2
    expect_err "fifo.csv: a pipe (FIFO), not a regular file (a sweep's files are regular files)"
    # 12. Options a merge would ignore are refused; so is an output no run could write.
    for option in "--method pb" --long-format --critical-salt "--data /nonexistent" "--unit-nm 0.7" --large-output; do
        # shellcheck disable=SC2086
        run --merge part-000.csv $option -o refused.csv
        expect_rc 2
        grep -q -- "it takes only the parts, -o FILE and --quiet, not ${option%% *}$" err || { cat err >&2; fail "$option accepted"; }
    done
    run --merge part-*.csv -o .
    expect_rc 2
    expect_err "can not write -o . (is a folder, not a file)"
    # A write-protected -o (root writes anyway: the check runs as nobody, when nobody can run the program).
    protected=yes
    if [ "$(id -u)" -ne 0 ]; then
        install -m 444 /dev/null protected.csv
        run --merge part-*.csv -o protected.csv
    elif command -v setpriv >/dev/null && setpriv --reuid=nobody --regid=nogroup --clear-groups "$BATCH" --version >/dev/null 2>&1; then
        chmod 755 .
        install -m 444 /dev/null protected.csv && chown nobody protected.csv
        setpriv --reuid=nobody --regid=nogroup --clear-groups "$BATCH" --merge part-*.csv -o protected.csv 2>err
        rc=$?
    else
        protected=no
        echo "skipped: a write-protected -o (run as root, and user nobody can not run $BATCH)"
    fi
    if [ "$protected" = yes ]; then
        expect_rc 2
        expect_err "can not write -o protected.csv (permission denied)"
        [ ! -s protected.csv ] || fail "a write-protected file was replaced"
    fi
    # 13. Doubts are said by the merge, also quiet: M up to 3 cuts the peak at (4, 4) off.
    small_file edge.in 3
    "$BATCH" -q --sweep ka=0.2,0.5,1 --shard 0/2 -o e0.csv edge.in
    "$BATCH" -q --sweep ka=0.2,0.5,1 --shard 1/2 -o e1.csv edge.in
    run -q --merge e0.csv e1.csv -o e.csv
    expect_rc 0
    grep -q "^[1-3] of 3 points carr[a-z]* doubts (index" err || { cat err >&2; fail "the merge keeps the doubts quiet"; }
    ;;
partial_file)
    # 3. One FILE.partial, one writer: a second sweep on the same -o is refused by name
    # while the first runs, and the first one's rows stay its own.
    small_file base.in 10
    plan=(--method pb --sweep ka=0.2:10:100 base.in)
    "$BATCH" -q "${plan[@]}" -o whole.csv || fail "the whole sweep"
    set -m
    "$BATCH" -q "${plan[@]}" -o s.csv >/dev/null 2>first.err &
    pid=$!
    wait_rows s.csv.partial 5 || fail "the first sweep wrote no rows"
    kill -STOP "$pid"  # held, so that it is still running whatever the machine's speed
    run -q --sweep ka=0.3,0.4 -o s.csv
    expect_rc 2
    expect_err "another sweep is writing s.csv.partial now (it holds the file's lock); wait for it to end or choose another -o"
    run -q "${plan[@]}" -o s.csv --resume
    expect_rc 2
    expect_err "another sweep is writing s.csv.partial now (it holds the file's lock); wait for it to end or choose another -o"
    kill -CONT "$pid"
    # The shell may still hold the stop it saw: wait reports it (128 + SIGSTOP) before the end.
    wait "$pid"
    rc=$?
    while [ "$rc" -eq $((128 + $(kill -l STOP))) ]; do wait "$pid"; rc=$?; done
    set +m
    expect_rc 0
    cmp -s s.csv whole.csv || fail "the first sweep's file holds other rows"
    # 7. FILE.partial is never followed through a link, nor taken from an input.
    echo "precious" >victim.txt
    ln -s victim.txt l.csv.partial
    run -q --sweep ka=0.5,1 -o l.csv
    expect_rc 2
    expect_err "l.csv.partial is a symbolic link; a sweep keeps its rows in a file of its own: remove it"
    [ "$(cat victim.txt)" = precious ] || fail "the sweep wrote through the link"
    run -q --sweep ka=0.5,1 -o l.csv --resume
    expect_rc 2
    [ "$(cat victim.txt)" = precious ] || fail "--resume wrote through the link"
    cp base.in q.csv.partial
    run -q --sweep ka=0.5,1 -o q.csv q.csv.partial
    expect_rc 2
    expect_err "the sweep would write its rows into q.csv.partial, the parameter file; choose another -o"
    cmp -s q.csv.partial base.in || fail "the parameter file was truncated"
    # An -o that is a link: its target gets the rows, as a single run's output does.
    echo old >target.csv
    ln -s target.csv link.csv
    run -q --sweep ka=0.5,1 -o link.csv
    expect_rc 0
    [ -L link.csv ] || fail "the link was replaced by a file"
    [ "$(sed -n 3p target.csv | cut -d, -f1-2)" = "0,0.5" ] || fail "the target holds no rows"
    ;;
job_script)
    # 3. The Slurm job script names each task's part itself: -o and --shard are refused.
    small_file base.in 4
    export MARLINQ_BATCH=$BATCH MARLINQ_PARTS=parts SLURM_ARRAY_TASK_COUNT=2
    for args in "-o sweep.csv" "--output=sweep.csv" "--shard 1/2"; do
        # shellcheck disable=SC2086
        SLURM_ARRAY_TASK_ID=0 bash "$JOB_SCRIPT" --sweep ka=0.5,1,2 $args base.in >out 2>err
        rc=$?
        expect_rc 2
        grep -q "is not for the job script" err || { cat err >&2; fail "the job script took $args"; }
    done
    [ ! -e sweep.csv ] && [ ! -e sweep.csv.partial ] || fail "a refused task wrote a file"
    for task in 0 1; do
        SLURM_ARRAY_TASK_ID=$task bash "$JOB_SCRIPT" -q --sweep ka=0.5,1,2 base.in 2>err || { cat err >&2; fail "task $task"; }
    done
    run -q --merge parts/part-0.csv parts/part-1.csv -o merged.csv
    expect_rc 0
    "$BATCH" -q --sweep ka=0.5,1,2 base.in | cmp -s - merged.csv || fail "the tasks' parts are not the sweep"
    ;;
sweep_dir_resume)
    # 4. After a kill -9 every kept row has its point files, the killed sweep's temporary
    # files go, and a folder of another plan is refused.
    small_file base.in 6
    plan=(--sweep ka=0.2:10:12 --sweep-dir points --free-energies on base.in)
    run -q "${plan[@]}" -o whole.csv
    expect_rc 0
    mkdir keep && cp points/* keep/
    [ "$(cat points/marlinq-sweep.txt)" = "$(head -1 whole.csv)" ] || fail "no manifest naming the plan"
    # What kill -9 leaves: rows written, a batch of point files not yet renamed into place.
    head -n 12 whole.csv >s.csv.partial
    rm points/point-0006_* points/point-0008_ka=*.txt
    dead=$(sh -c 'echo $$')
    mv points/point-0007_ka=*.txt "points/.$(basename points/point-0007_ka=*.txt).tmp-$dead-1"
    run "${plan[@]}" -o s.csv --resume
    expect_rc 0
    expect_err "3 rows of s.csv.partial have no point file in points (the sweep was killed before writing them); they are computed again"
    cmp -s s.csv whole.csv || fail "the resumed CSV differs"
    [ -z "$(find points -name '.*')" ] || fail "temporary files remain: $(ls -a points)"
    diff -r keep points >&2 || fail "the point files differ from an uninterrupted sweep's"
    run -q --sweep ka=0.5,1 --sweep-dir points -o other.csv base.in
    expect_rc 2
    expect_err "--sweep-dir points holds the point files of another sweep; choose another folder"
    [ ! -e other.csv ] && [ ! -e other.csv.partial ] || fail "the refused sweep wrote its CSV"
    # Shards of one sweep share a folder.
    run -q --sweep ka=0.2:10:12 --sweep-dir shared --shard 0/2 -o p0.csv base.in
    expect_rc 0
    run -q --sweep ka=0.2:10:12 --sweep-dir shared --shard 1/2 -o p1.csv base.in
    expect_rc 0
    [ "$(ls shared | grep -c '^point-')" -eq 12 ] || fail "the shards' point files: $(ls shared)"
    ;;
tables)
    # 5. Rows of other tables never join under one plan line: not on --resume, not in --merge.
    mkdir t1 t2
    cp "$DATA/Chains_values.dat" "$DATA/Chains_values01.dat" t1/
    cp t1/Chains_values01.dat t2/
    awk 'NR == 1 { $1 = $1 * 1.001 } 1' t1/Chains_values.dat >t2/Chains_values.dat
    small_file base.in 4
    "$BATCH" -q --data t1 --sweep ka=0.5,1,2,4 -o s.csv base.in || fail "the sweep"
    head -n 4 s.csv >s.csv.partial && rm s.csv
    run -q --data t2 --sweep ka=0.5,1,2,4 -o s.csv --resume base.in
    expect_rc 2
    grep -q "^s.csv.partial line 1: the rows belong to another sweep" err || { cat err >&2; fail "other tables resumed"; }
    # Tables in the working folder are tables too.
    mkdir here && cp t2/* here/ && cp s.csv.partial base.in here/
    (cd here && "$BATCH" -q --sweep ka=0.5,1,2,4 -o s.csv --resume base.in 2>err)
    rc=$?
    expect_rc 2
    "$BATCH" -q --data t1 --sweep ka=0.5,1,2,4 --shard 0/2 -o p0.csv base.in
    "$BATCH" -q --data t2 --sweep ka=0.5,1,2,4 --shard 1/2 -o p1.csv base.in
    run --merge p0.csv p1.csv -o merged.csv
    expect_rc 2
    grep -q "^p1.csv line 1: a part of another sweep" err || { cat err >&2; fail "parts of other tables merged"; }
    # The same tables read from elsewhere are the same plan.
    run -q --data t1 --sweep ka=0.5,1,2,4 -o s.csv --resume base.in
    expect_rc 0
    ;;
full_disk)
    # 6. A write that fails (here a file-size limit: EFBIG) stops the sweep at once; the
    # rows stay in FILE.partial cut to the last whole row, FILE is not replaced, and
    # --resume completes it.
    small_file base.in 4
    plan=(--jobs 2 --sweep vc10=1e-4:1e-3:300 base.in)
    "$BATCH" -q "${plan[@]}" -o whole.csv || fail "the whole sweep"
    echo old >s.csv
    (trap '' XFSZ && ulimit -f 16 && "$BATCH" "${plan[@]}" -o s.csv >out 2>err)
    rc=$?
    expect_rc 1
    grep -q "^can not write file s.csv.partial (File too large)$" err || { cat err >&2; fail "no write error said"; }
    [ "$(grep -c '^point ' err)" -lt 100 ] || fail "the sweep computed on: $(grep -c '^point ' err) points"
    [ "$(cat s.csv)" = old ] || fail "the failed sweep replaced the file"
    whole_lines s.csv.partial || fail "FILE.partial ends in a cut line"
    grep -q "^The sweep stopped at the failed write: [0-9]* of 300 points are written in s.csv.partial; --resume continues the sweep$" err ||
        fail "no closing line: $(tail -1 err)"
    run -q "${plan[@]}" -o s.csv --resume
    expect_rc 0
    cmp -s s.csv whole.csv || fail "the resumed sweep differs"
    # A killed writer's cut last line is dropped by --resume (from FILE.partial only).
    head -n 40 whole.csv | head -c -7 >c.csv.partial
    run -q "${plan[@]}" -o c.csv --resume
    expect_rc 0
    expect_err "c.csv.partial: the last line was cut short (a full disk or a killed sweep); its point is computed again"
    cmp -s c.csv whole.csv || fail "resumed over a cut line, the sweep differs"
    # A point file that fails stops the sweep too; the CSV rows stay, and --resume writes the
    # missing point files.
    small_file wide.in 30
    dplan=(--jobs 2 --sweep ka=0.2:10:40 --sweep-dir points wide.in)
    "$BATCH" -q "${dplan[@]}" --sweep-dir keep -o dwhole.csv || fail "the whole sweep with point files"
    (trap '' XFSZ && ulimit -f 8 && "$BATCH" "${dplan[@]}" -o d.csv >out 2>err)
    rc=$?
    expect_rc 1
    grep -q "cannot write (File too large)" err || { cat err >&2; fail "no point-file error said"; }
    [ "$(grep -c '^point ' err)" -lt 40 ] || fail "the sweep computed on after a point file failed"
    run -q "${dplan[@]}" -o d.csv --resume
    expect_rc 0
    cmp -s <(tail -n +2 d.csv) <(tail -n +2 dwhole.csv) || fail "the resumed CSV differs"
    for f in keep/point-*; do cmp -s "$f" "points/$(basename "$f")" || fail "$(basename "$f") differs or is missing"; done
    ;;
signals)
    # 8. timeout sends SIGTERM to the program, then to its group: one stop, not a kill.
    small_file base.in 10
    for try in 1 2 3; do
        rm -f t.csv.partial
        timeout -k 5 --preserve-status 1 "$BATCH" -q --method pb --sweep ka=0.2:10:3000 -o t.csv 2>err base.in
        rc=$?
        expect_rc 130
        grep -q "^The sweep is partial: [0-9]* of 3000 points$" err || { cat err >&2; fail "try $try: no partial line"; }
        [ "$(tail -1 t.csv.partial | cut -d: -f1)" = "# The sweep is partial" ] || fail "try $try: no mark in the file"
    done
    ;;
non_regular)
    # 9. --resume reads back regular files only: never its own pipe, never a FIFO.
    timeout -k 2 10 "$BATCH" -q --sweep ka=0.5,1 --resume -o /dev/stdout 2>err | cat >out
    rc=${PIPESTATUS[0]}
    expect_rc 2
    grep -q "^--resume continues a sweep in a regular file; /dev/stdout is a" err || { cat err >&2; fail "/dev/stdout"; }
    mkfifo f.csv
    rc=0
    timeout -k 2 10 "$BATCH" -q --sweep ka=0.5,1 --resume -o f.csv 2>err || rc=$?
    expect_rc 2
    expect_err "--resume continues a sweep in a regular file; f.csv is a pipe (FIFO)"
    mkfifo g.csv.partial
    rc=0
    timeout -k 2 10 "$BATCH" -q --sweep ka=0.5,1 --resume -o g.csv 2>err || rc=$?
    expect_rc 2
    expect_err "g.csv.partial is a pipe (FIFO); a sweep keeps its rows in a regular file: remove it"
    ;;
stop_total_mode)
    # 10. A total-mode run stopped in its Debye-Hueckel stage: the mass balance of the
    # partial landscape gives its distribution, but no critical concentration is searched
    # (dozens of solves that only delay the stop).
    small_file big.in 600
    set -m
    "$BATCH" --long-format --total 1e-3,1e-3 --summary s.json -o d.txt big.in >out 2>err &
    pid=$!
    for _ in $(seq 1 600); do grep -q "^Starting calculation of the potential" err && break; sleep 0.05; done
    kill -INT "$pid"
    wait "$pid"
    rc=$?
    set +m
    expect_rc 130
    grep -q "^Mass balance: free c+ = " err || fail "no mass balance of the partial landscape"
    python3 -c 'import json, sys; s = json.load(open("s.json")); sys.exit(not (s["partial"] and s["critical_concentration"] is None))' ||
        fail "a stopped run searched the critical concentration: $(grep critical s.json)"
    ;;
huge_resume)
    # 11. --resume of a plan of 10^12 points keeps what is done in little memory.
    huge=(-q --large-output --sweep ka=0.2:10:1000000 --sweep vc10=1e-4:1e-3:1000000 -o huge.csv)
    set -m
    "$BATCH" "${huge[@]}" >/dev/null 2>err &
    pid=$!
    wait_rows huge.csv.partial 3 || fail "no row of the huge sweep"
    kill -INT "$pid"
    wait "$pid"
    rc=$?
    expect_rc 130
    [ -e huge.csv.partial ] || mv huge.csv huge.csv.partial  # where a stopped sweep left its rows before
    rows=$(($(wc -l <huge.csv.partial) - 3))
    # 4 GB of address space: a bit per point would need 125 GB. A sanitizer build reserves
    # terabytes of shadow memory up front, so it runs without the limit.
    limited=1
    case "$(ldd "$BATCH" 2>/dev/null)" in *libasan* | *libtsan*) limited=0 ;; esac
    ( if [ "$limited" = 1 ]; then ulimit -v 4000000; fi; exec "$BATCH" "${huge[@]}" --resume >/dev/null 2>err) &
    pid=$!
    wait_rows huge.csv.partial $((rows + 5)) || { cat err >&2; fail "the resumed sweep adds no row"; }
    kill -INT "$pid"
    wait "$pid"
    rc=$?
    set +m
    expect_rc 130
    grep -q "^The sweep is partial: [0-9]* of 1000000000000 points$" err || { cat err >&2; fail "no partial line"; }
    ;;
options)
    # 12. Options that would be ignored are refused.
    run -q --critical-salt --total 1e-3,1e-3 --summary s.json
    expect_rc 2
    grep -q -- "--summary does not apply" err || { cat err >&2; fail "--critical-salt took --summary"; }
    [ ! -e s.json ] || fail "a summary was written"
    ;;
doubts)
    # 13. A sweep says how many points carry doubts, also quiet.
    small_file edge.in 3
    run -q --sweep ka=0.2,0.5 -o e.csv edge.in
    expect_rc 0
    expect_err "1 of 2 points carries doubts (index 0): its warnings, unconverged_solves, nonfinite_cells, beyond_dh_cells and range_edge columns say which"
    small_file fine.in 10
    run -q --sweep ka=0.5,1 -o f.csv fine.in
    expect_rc 0
    [ ! -s err ] || { cat err >&2; fail "doubts about a sweep without any"; }
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "ok: $case_name"
