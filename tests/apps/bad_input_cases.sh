#!/usr/bin/env bash
# bad_input_cases.sh CASE BATCH_EXECUTABLE DATA_DIR: marlinq-batch on files users really
# produce; DATA_DIR holds the shipped tables.
set -uo pipefail

case_name=$1
BATCH=$2
DATA=$3
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
expect_startup_result() { cmp -s out startup.out || fail "$1: not the start-up result"; }

startup_lines() {
    printf 'vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\nNp 1\nNm 200\nmpMin 0\nmpMax 10\nmmMin 0\nmmMax 10\n'
}

"$BATCH" -q >startup.out 2>/dev/null || fail "the start-up run failed"

case "$case_name" in
files)
    # Binary bytes (NULs, high bytes, no line end at the end): a file of no known key.
    awk 'BEGIN { for (i = 0; i < 3000; i++) printf "%c", (i * 37 + 11) % 256 }' >binary.in
    printf '\0\0\0' >>binary.in
    run binary.in
    expect_rc 2
    expect_err "Some input parameters are wrong, please check it."
    [ ! -s out ] || fail "output for a binary file"

    # Saved by Windows Notepad: byte-order mark and CRLF.
    { printf '\xef\xbb\xbf'; startup_lines | sed 's/$/\r/'; } >notepad.in
    printf '\xef\xbb\xbfvc01 0.5\r\n' >bom_first.in
    startup_lines | sed 's/^vc01 .*/vc01 0.0005/' >changed_vc01.in
    { printf '\xef\xbb\xbf'; cat changed_vc01.in; } >bom_vc01.in
    run -q notepad.in
    expect_rc 0
    expect_startup_result "a file with a byte-order mark"
    run -q changed_vc01.in
    cp out without_bom.out
    run -q bom_vc01.in
    expect_rc 0
    cmp -s out without_bom.out || fail "the first key after a byte-order mark was not read"
    cmp -s out startup.out && fail "vc01 after a byte-order mark was ignored"

    # A 1 MB name line and a 5 MB file of repeated records.
    { printf 'name '; head -c 1048576 /dev/zero | tr '\0' 'x'; printf '\n'; startup_lines; } >long_line.in
    run -q long_line.in
    expect_rc 0
    expect_startup_result "a 1 MB line"
    startup_lines >big.in
    while [ "$(wc -c <big.in)" -lt 5000000 ]; do cat big.in big.in >twice.in && mv twice.in big.in; done
    [ "$(wc -c <big.in)" -ge 5000000 ] || fail "big.in is only $(wc -c <big.in) bytes"
    run -q big.in
    expect_rc 0
    expect_startup_result "a 5 MB file"
    ;;
values)
    # Numbers no double holds and words leave the value as it was (here the start-up one).
    for v in 'zp 1e999' 'zn -1e999' 'ka nan' 'vc01 inf' 'vc10 NaN' 'kiplus 1e999'; do
        { startup_lines; echo "$v"; } >v.in
        run -q v.in
        expect_rc 0
        expect_startup_result "$v"
    done
    # Values that are read and then rejected by the checks of "Solve".
    check() {
        { startup_lines; echo "$1"; } >v.in
        run v.in
        expect_rc 2
        expect_err "$2"
        [ ! -s out ] || fail "$1: output despite the rejection"
    }
    check 'zp -0' "Input error: charge density of + polymer should between 0.2 and 10"
    check 'ka -0' "Stable solution is only for ka between 0.2 and 10"
    check 'vc01 1e-999' "c- should be between 1e-20  and 1"
    check 'vc10 -0' "c+ should be between 1e-20  and 1"
    check 'mmMax -0' "mmMin should be less than mmMax"
    # A density of zero, or a charge of 1e300, makes a charged length no integer holds:
    # the load rejects the file.
    for v in 'kiminus -0' 'zp 1e300'; do
        { startup_lines; echo "$v"; } >v.in
        run v.in
        expect_rc 2
        expect_err "Some input parameters are wrong, please check it."
    done
    ;;
hostile_tables)
    # Every table that is not a whole grid of finite numbers is refused with exit 1 and a
    # message naming the file and its first bad line, within seconds; nothing is written.
    table_case() {  # table_case NAME EXPECTED_PREFIX  (the fine table is in bad/)
        local start=$SECONDS
        timeout 5 "$BATCH" -q --data bad >out 2>err
        rc=$?
        [ $((SECONDS - start)) -le 5 ] || fail "$1: took longer than 5 s"
        expect_rc 1
        grep -qF -- "$2" err || { cat err >&2; fail "$1: standard error lacks $2"; }
        [ ! -s out ] || fail "$1: output despite the refusal"
    }
    mkdir bad
    cp "$DATA/Chains_values.dat" bad/
    : >bad/Chains_values01.dat
    table_case empty "bad/Chains_values01.dat: the file is empty"
    head -n 5 "$DATA/Chains_values01.dat" >bad/Chains_values01.dat
    table_case five_lines "bad/Chains_values01.dat:6: expected 99 numbers, found 0"
    sed 's/\./,/g' "$DATA/Chains_values01.dat" >bad/Chains_values01.dat
    table_case comma "bad/Chains_values01.dat:1: field 1"
    awk 'BEGIN { for (r = 0; r < 99; r++) { for (c = 0; c < 99; c++) printf "nan\t"; printf "\n" } }' >bad/Chains_values01.dat
    table_case nan "bad/Chains_values01.dat:1: field 1 \"nan\" is not a number"
    head -c 4000 /dev/urandom >bad/Chains_values01.dat
    printf '\0' >>bad/Chains_values01.dat
    table_case binary "bad/Chains_values01.dat:"
    { printf '\xff\xfe'; head -n 3 "$DATA/Chains_values01.dat" | sed 's/./&\x00/g'; } >bad/Chains_values01.dat
    table_case utf16 "bad/Chains_values01.dat:1:"
    rm bad/Chains_values01.dat
    mkfifo bad/Chains_values01.dat
    table_case fifo "is a pipe (FIFO), not a regular file"
    rm bad/Chains_values01.dat
    # Huge but finite numbers are a table; the run ends within seconds in bounded memory.
    for big in 1e8 1e15 1e300; do
        awk -v v=$big 'BEGIN { for (r = 0; r < 99; r++) { for (c = 0; c < 99; c++) printf "%s\t", v; printf "\n" } }' >bad/Chains_values01.dat
        start=$SECONDS
        # Bounded memory (not under AddressSanitizer, whose shadow needs terabytes of address space).
        ( [ -n "${ASAN_OPTIONS:-}" ] || ulimit -v 2000000; timeout 5 "$BATCH" -q --method pb --data bad >out 2>err )
        rc=$?
        [ $((SECONDS - start)) -le 5 ] || fail "table of $big: took longer than 5 s"
        [ "$rc" -eq 0 ] || [ "$rc" -eq 1 ] || { cat err >&2; fail "table of $big: exit status $rc"; }
        if [ "$rc" -eq 0 ]; then
            grep -qi 'nan\|inf' out && fail "table of $big: a number that is not finite in the output"
        else
            grep -q 'beyond the range of a double' err || { cat err >&2; fail "table of $big: no reason given"; }
        fi
    done
    ;;
hostile_parameters)
    # Old Mac line ends: every value is read.
    startup_lines | sed 's/^ka .*/ka 0.5/' | tr '\n' '\r' >mac.in
    startup_lines | sed 's/^ka .*/ka 0.5/' >unix.in
    run -q unix.in
    cp out unix.out
    run -q mac.in
    expect_rc 0
    cmp -s out unix.out || fail "a file with lone CR line ends lost values"
    # A saved charge density brings back the charged length it came from: 11 charges on
    # 30 segments saved with 15 digits (0.366666666666667, whose quotient is 29.99999999999997)
    # computes what the full-precision density 11 / 30 computes (the run forms the density
    # anew from charge and length, so only the length can make them differ).
    { startup_lines | grep -v '^kiplus\|^zp '; printf 'zp 11\nkiplus 0.366666666666667\n'; } >saved.in
    { startup_lines | grep -v '^kiplus\|^zp '; printf 'zp 11\nkiplus 0.36666666666666664\n'; } >exact.in
    run -q exact.in
    cp out exact.out
    run -q saved.in
    expect_rc 0
    cmp -s out exact.out || fail "11 charges on 30 segments came back as another length"
    # Lines that could not be fully used are listed with their number and text.
    { startup_lines | head -n 6; printf 'kA 1.5\nzp 3O\n'; startup_lines | tail -n 7; printf 'mpMax 1e1\n'; } >notes.in
    run -q notes.in
    expect_rc 0
    expect_err 'notes.in:7: kA 1.5 — unknown key "kA" (keys are case-sensitive: "ka"?); line skipped'
    expect_err 'notes.in:8: zp 3O — value "3O" read only in part, as 3'
    expect_err 'notes.in:16: mpMax 1e1 — value "1e1" read only in part, as 1'
    # The same file named as output is refused, and left as it was.
    cp notes.in notes.keep
    run -q -o notes.in notes.in
    expect_rc 2
    expect_err "the output file notes.in is the parameter file; choose another -o"
    cmp -s notes.in notes.keep || fail "the parameter file was changed"
    # A file that cannot be opened is named, with the reason.
    run missing.in
    expect_rc 2
    expect_err "can not open file"
    expect_err "missing.in: no such file"
    # A wrong file says which line.
    { startup_lines; echo "foo 1"; } >wrong.in
    run wrong.in
    expect_rc 2
    expect_err "Some input parameters are wrong, please check it."
    grep -q '^wrong.in: the last line holds no known key' err || fail "the reason of a wrong file is missing"
    # Impossible lengths and aggregation numbers.
    { startup_lines; echo "Np 0"; } >np.in
    run np.in
    expect_rc 2
    expect_err "Neutral block length + should be at least 1"
    { startup_lines; echo "Nm -3"; } >nm.in
    run nm.in
    expect_rc 2
    expect_err "Neutral block length - should be at least 1"
    run --profile 2000000000 2000000000
    expect_rc 2
    grep -q '^--profile: MP and MM must lie between 0 and 100000' err || fail "a huge --profile was not refused"
    # 121 cells far from 0: the table would be 19 GB; refused unless the long format is asked for.
    { startup_lines | grep -v 'Min\|Max'; printf 'mpMin 99990\nmpMax 100000\nmmMin 99990\nmmMax 100000\n'; } >far.in
    run -q far.in
    expect_rc 2
    grep -q 'use --long-format' err || fail "no word of the long format"
    [ ! -s out ] || fail "a table was written"
    run -q --long-format -o far.txt far.in
    expect_rc 0
    [ "$(head -n 1 far.txt)" = "$(printf 'M+\tM-\tabsValue\tValue')" ] || fail "long format header"
    [ "$(wc -l <far.txt)" -eq 122 ] || fail "long format: $(wc -l <far.txt) lines, expected 122"
    ;;
doubts)
    # Strongly charged blocks in little salt: some Newton solves stop at their step limit,
    # and the heaviest complex sits on the corner of the ranges. Both are said even with
    # --quiet, and the result is still written.
    printf 'zp 200\nkiplus 10\nzn 200\nkiminus 10\nka 0.2\nmpMax 20\nmmMax 20\n' >strong.in
    run -q --method pb strong.in
    expect_rc 0
    grep -qE '^[0-9]+ Newton solves of complexes did not converge \(unstable solution\)$' err ||
        { cat err >&2; fail "no count of unconverged solves"; }
    expect_err "the most probable complex (20, 20) lies on the edge of the M+ and M- ranges; enlarge them"
    [ -s out ] || fail "no result"
    # The start-up values: nothing to doubt but the totals their free chains imply.
    run -q --method pb
    [ "$(cat err)" = "the free concentrations imply 492 chains per a³ of each kind in complexes: no solution holds that; use total mode" ] ||
        { cat err >&2; fail "doubts about the start-up result"; }
    ;;
tables)
    # A folder where a table should be is as unreadable as a missing table.
    mkdir -p folder/Chains_values01.dat
    run --data folder
    expect_rc 1
    expect_err "can not open Chains_values01.dat (folder/Chains_values01.dat: is a folder, not a file)"
    [ ! -s out ] || fail "output despite the failure"
    # Tables saved with a byte-order mark read as without it.
    mkdir bom plain
    for t in Chains_values.dat Chains_values01.dat; do
        cp "$DATA/$t" plain/ || fail "no $t in $DATA"
        { printf '\xef\xbb\xbf'; cat "$DATA/$t"; } >"bom/$t"
    done
    run -q --data plain
    cp out plain.out
    run -q --data bom
    expect_rc 0
    cmp -s out plain.out || fail "a byte-order mark changed the tables"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "ok: $case_name"
