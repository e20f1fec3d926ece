#!/usr/bin/env bash
# batch_cases.sh CASE BATCH_EXECUTABLE: one end-to-end case of marlinq-batch.
set -uo pipefail

case_name=$1
BATCH=$2
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# A distribution of R lines, each with C tab-terminated numbers.
expect_table() {
    local file=$1 rows=$2 cols=$3
    [ "$(wc -l <"$file")" -eq "$rows" ] || fail "$file has $(wc -l <"$file") lines, expected $rows"
    awk -F'\t' -v c="$cols" '
        NF != c + 1 || $NF != "" { print "line " NR ": " NF - 1 " fields"; bad = 1 }
        { for (i = 1; i <= c; i++) if ($i !~ /^-?[0-9]+(\.[0-9]+)?(E[-+][0-9][0-9]+)?$/) { print "line " NR ": " $i; bad = 1 } }
        END { exit bad }' "$file" || fail "$file is not a table of $rows x $cols numbers"
}

startup_file() {
    printf 'vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\nNp 1\nNm 200\nmpMin 0\nmpMax 10\nmmMin 0\nmmMax 10\n' >"$1"
}

case "$case_name" in
help_and_usage_errors)
    run --help
    expect_rc 0
    grep -q '^Usage: marlinq-batch' out || fail "no usage line"
    for word in --method --chains --output --data --quiet --profile 130; do
        grep -q -- "$word" out || fail "help does not mention $word"
    done
    run --frobnicate
    expect_rc 2
    grep -q "unknown option" err || fail "no usage message"
    run --method xy
    expect_rc 2
    run a.in b.in
    expect_rc 2
    ;;
startup_distribution_and_output_file)
    run
    expect_rc 0
    expect_table out 11 11
    [ "$(sed -n 2p out | cut -f1)" = "0.001" ] || fail "(1,0) is not vc10"
    [ "$(sed -n 1p out | cut -f2)" = "0.001" ] || fail "(0,1) is not vc01"
    expect_err "Solving for linear chains 'minus' and 'plus' in parallel ...... "
    expect_err "Calculation of the energy of single chains with '+' and '-' charge is finished"
    expect_err "Starting calculation of the potential by Debye Huckel approximation"
    expect_err "Finished calculation of the potential by Debye Huckel approximation"
    expect_err "Finished calculation of the spheres free energy"
    run -q -o result.txt
    expect_rc 0
    [ ! -s out ] || fail "standard output is not empty with -o"
    expect_table result.txt 11 11
    run -q -o missing/dir/result.txt
    expect_rc 1
    ;;
pb_quiet)
    run --method pb --quiet
    expect_rc 0
    expect_table out 11 11
    [ ! -s err ] || fail "--quiet still wrote to standard error"
    run --method pb --chains solve
    expect_rc 0
    expect_table out 11 11
    expect_err "Row 10 is passed..."
    grep -q "single chain" err || fail "the chain stage's lines did not reach standard error"
    ;;
parameter_file_roundtrip)
    run -q
    mv out expected
    startup_file startup.in
    run -q startup.in
    expect_rc 0
    cmp -s out expected || fail "the start-up file does not give the start-up result"
    # The window shows loaded reals with 15 significant digits and computes with what it shows.
    sed -e 's/^vc10 .*/vc10 0.0010000000000000044/' -e 's/^ka .*/ka 0.20000000000000049/' \
        -e 's/^zn .*/zn 18.000000000000049/' startup.in >digits.in
    run -q digits.in
    expect_rc 0
    cmp -s out expected || fail "values beyond 15 digits are not computed as the window shows them"
    printf 'mpMin 2\nmpMax 5\nmmMin 3\nmmMax 7\r\n' >ranges.in
    run -q ranges.in
    expect_rc 0
    expect_table out 6 8
    [ "$(sed -n 2p out | cut -f1)" = "0.001" ] || fail "(1,0) outside the ranges is not vc10"
    [ "$(sed -n 3p out | cut -f1-3)" = "$(printf '0\t0\t0')" ] || fail "M- below mmMin is not 0"
    ;;
recovered_lengths)
    # zp / kiplus = 72.9 is loaded as a charged block of 72, hence kip = 0.25 again.
    run -q
    mv out expected
    printf 'kiplus 0.246913580246914\nkiminus 0.2469\n' >odd.in
    run -q odd.in
    expect_rc 0
    cmp -s out expected || fail "lengths were not truncated as the window's load does"
    printf 'kiplus 0\n' >zero.in
    run zero.in
    expect_rc 2
    expect_err "Some input parameters are wrong, please check it."
    ;;
wrong_file)
    startup_file last.in
    echo "foo 1" >>last.in
    run last.in
    expect_rc 2
    expect_err "Some input parameters are wrong, please check it."
    [ ! -s out ] || fail "a rejected file still produced output"
    { echo "foo 1"; startup_file /dev/stdout; } >first.in
    run -q first.in
    expect_rc 0
    : >empty.in
    run empty.in
    expect_rc 2
    ;;
unopenable_file)
    run does-not-exist.in
    expect_rc 2
    expect_err "can not open file"
    ;;
invalid_input)
    printf 'ka 20\n' >ka.in
    run ka.in
    expect_rc 2
    expect_err "Stable solution is only for ka between 0.2 and 10"
    printf 'mpMin 3\nmpMax 3\n' >range.in
    run range.in
    expect_rc 2
    expect_err "mpMin should be less than mpMax"
    printf 'mpMax 5000\nmmMax 5000\n' >large.in
    run large.in
    expect_rc 2
    expect_err "Ranges of aggregation numbers are too large (at most 4000000 complexes)"
    ;;
data_dir)
    run --data "$WORK/no-such-folder"
    expect_rc 1
    [ -s err ] || fail "no reason given"
    [ ! -s out ] || fail "output despite the failure"
    mkdir empty
    run --quiet --data empty
    expect_rc 1
    [ -s err ] || fail "no reason given, even with --quiet"
    [ ! -s out ] || fail "output despite the failure"
    run -q --data empty --chains solve  # solved chains need no tables
    expect_rc 0
    ;;
profile_dh)
    run --profile 3 5
    expect_rc 0
    [ "$(wc -l <out)" -eq 402 ] || fail "$(wc -l <out) lines instead of 402"
    [ "$(head -1 out)" = "r/Rc,u,u_DH,density_plus,density_minus,charge_density" ] || fail "header: $(head -1 out)"
    [ "$(sed -n 52p out | cut -d, -f1)" = "1" ] || fail "point 50 is not the core surface"
    awk -F, 'NR > 1 && NF != 6 { exit 1 }' out || fail "rows without six columns"
    ;;
profile_pb_and_invalid)
    run --method pb --profile 3 5 -o profile.csv
    expect_rc 0
    [ "$(wc -l <profile.csv)" -eq 402 ] || fail "wrong row count"
    [ "$(head -1 profile.csv)" = "r/Rc,u,density_plus,density_minus,charge_density" ] || fail "header"
    run --profile 0 5
    expect_rc 2
    run --profile 3
    expect_rc 2
    printf 'zp 300\n' >charge.in
    run --profile 3 5 charge.in
    expect_rc 2
    expect_err "Charge + should between 0 and 200"
    ;;
comma_locale)
    if ! LC_ALL=de_DE.UTF-8 locale -k decimal_point 2>/dev/null | grep -q '","'; then
        echo "de_DE.UTF-8 locale not available; skipped"
        exit 0
    fi
    run -q
    mv out expected
    LC_ALL=de_DE.UTF-8 "$BATCH" -q >out 2>err || fail "failed under de_DE.UTF-8"
    cmp -s out expected || fail "the result depends on the locale"
    LC_ALL=de_DE.UTF-8 "$BATCH" --profile 3 5 >out 2>err || fail "profile failed under de_DE.UTF-8"
    grep -q '0\.02,' out || fail "profile does not use a point"
    ;;
interrupt)
    printf 'mpMax 1999\nmmMax 1999\n' >big.in
    set -m  # the run gets its own process group with the default signal dispositions
    "$BATCH" --method pb big.in >out 2>err &
    pid=$!
    for _ in $(seq 1 600); do
        grep -q "^Row 1 is passed" err && break
        sleep 0.05
    done
    kill -INT "$pid"
    wait "$pid"
    rc=$?
    set +m
    expect_rc 130
    expect_err "Cancelled!"
    grep -q "Finished calculation of the spheres free energy" err && fail "the run was not stopped"
    expect_table out 2000 2000
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "ok: $case_name"
