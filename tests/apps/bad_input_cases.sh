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
