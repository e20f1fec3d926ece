#!/usr/bin/env bash
# batch_cases.sh CASE BATCH_EXECUTABLE: one end-to-end case of marlinq-batch.
set -uo pipefail

case_name=$1
BATCH=$2
BATCH_CASES_SCRIPT=$(realpath "${BASH_SOURCE[0]}")
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# interrupt_after PATTERN ARGS...: runs the command in the background in its own process
# group (default signal dispositions) and sends it Ctrl-C once standard error matches
# PATTERN, or after 30 s; out, err and rc as for run.
interrupt_after() {
    local pattern=$1 pid
    shift
    set -m
    "$BATCH" "$@" >out 2>err &
    pid=$!
    for _ in $(seq 1 600); do
        grep -q -- "$pattern" err && break
        sleep 0.05
    done
    kill -INT "$pid"
    wait "$pid"
    rc=$?
    set +m
}

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
    run --version
    expect_rc 0
    grep -Eq '^marlinq-batch [0-9]+\.[0-9]+(\.[0-9]+)? \(commit ([0-9a-f]{12}(-dirty)?|unknown)\)$' out ||
        fail "--version: $(cat out)"
    [ "$(wc -l < out)" -eq 1 ] || fail "--version prints more than its line"
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
    expect_err "Interpolating the energies of linear chains 'minus' and 'plus' from the tables ...... "
    expect_err "Calculation of the energy of single chains with '+' and '-' charge is finished"
    expect_err "Starting calculation of the potential by Debye Huckel approximation"
    expect_err "Finished calculation of the potential by Debye Huckel approximation"
    expect_err "Finished calculation of the spheres free energy"
    run -q -o result.txt
    expect_rc 0
    [ ! -s out ] || fail "standard output is not empty with -o"
    expect_table result.txt 11 11
    run -q -o missing/dir/result.txt
    expect_rc 2
    ;;
output_places)
    # Every output place is checked before the run: a long Poisson-Boltzmann run is refused
    # at once, without a line of its work.
    startup_file p1.in
    printf 'mpMax 300\nmmMax 300\n' >>p1.in
    cp p1.in p1.keep
    mkdir folder
    for bad in "-o missing/dir/r.txt" "-o folder" "--summary missing/s.json -o r.txt" \
        "--free-energies folder -o r.txt" "--sweep ka=0.2 --sweep-dir p1.in"; do
        # shellcheck disable=SC2086
        run --method pb $bad p1.in
        expect_rc 2
        grep -q "Solving\|Row" err && fail "$bad: the run started before the output was checked"
        [ -e r.txt ] && fail "$bad: a result was written"
    done
    expect_err "can not write into --sweep-dir p1.in (is not a folder)"
    run -q -o folder p1.in
    expect_err "can not write -o folder (is a folder, not a file)"
    if [ "$(id -u)" -ne 0 ]; then
        mkdir locked && chmod 555 locked
        run -q -o locked/r.txt p1.in
        expect_rc 2
        chmod 755 locked
    fi
    # No output replaces the input or another output, whatever the spelling.
    ln -s p1.in link.csv
    for bad in "-o o.txt --summary p1.in" "-o o.txt --free-energies link.csv" "-o ./p1.in" \
        "-o a.txt --summary ./a.txt" "-o a.txt --free-energies b/../a.txt --summary s.json"; do
        mkdir -p b
        # shellcheck disable=SC2086
        run -q $bad p1.in
        expect_rc 2
        cmp -s p1.in p1.keep || fail "$bad: the parameter file was changed"
        [ -e a.txt ] || [ -e o.txt ] && fail "$bad: an output was written"
    done
    expect_err "-o and --free-energies name the same file b/../a.txt; give each output its own file"
    mkdir sweepdir && cp p1.keep sweepdir/point-0001_ka=0.3.txt
    run -q --sweep ka=0.2,0.3 --sweep-dir sweepdir -o sweep.csv sweepdir/point-0001_ka=0.3.txt
    expect_rc 2
    expect_err "the parameter file sweepdir/point-0001_ka=0.3.txt lies in --sweep-dir sweepdir under a point file's name; move it or choose another folder"
    cmp -s sweepdir/point-0001_ka=0.3.txt p1.keep || fail "a point file replaced the parameter file"
    # "-" is standard output for every output; devices and FIFOs are written directly.
    run -q
    mv out expected
    run -q -o - --summary sum.json
    expect_rc 0
    cmp -s out expected || fail "-o - did not write to standard output"
    [ -e ./- ] && fail "-o - wrote a file named -"
    run -q -o sum.json --summary -
    expect_rc 0
    grep -q '"most_probable"' out || fail "--summary - did not reach standard output"
    run -q -o - --summary -
    expect_rc 2
    run -q -o /dev/null --summary /dev/null --free-energies /dev/null
    expect_rc 0
    [ -c /dev/null ] || fail "/dev/null was replaced"
    run -q -o /dev/stdout
    expect_rc 0
    cmp -s out expected || fail "-o /dev/stdout did not reach standard output"
    mkfifo pipe
    cat pipe >from_pipe &
    reader=$!
    run -q -o pipe
    wait "$reader"
    expect_rc 0
    [ -p pipe ] || fail "the FIFO was replaced by a file"
    cmp -s from_pipe expected || fail "the FIFO did not carry the distribution"
    run -q --sweep ka=0.2,0.3 -o -
    expect_rc 0
    [ "$(sed -n 2p out | head -c 5)" = "index" ] || fail "a sweep with -o - did not write its CSV to standard output"
    ;;
sweep_dir_formats)
    # The point files obey --long-format, and a wide table above 1 GiB is refused before
    # the first point.
    run -q --sweep ka=0.2,0.3 --sweep-dir long --long-format -o sweep.csv
    expect_rc 0
    [ "$(head -n 1 long/point-0001_ka=0.3.txt)" = "$(printf 'M+\tM-\tabsValue\tValue')" ] ||
        fail "the point file is not in the long format"
    [ "$(wc -l <long/point-0001_ka=0.3.txt)" -eq 122 ] || fail "the long point file does not hold 121 cells"
    printf 'mpMin 99990\nmpMax 100000\nmmMin 99990\nmmMax 100000\n' >far.in
    run -q --sweep ka=0.2,0.3 --sweep-dir wide -o sweep.csv far.in
    expect_rc 2
    grep -q "each point's distribution table in --sweep-dir would be up to [0-9]* MiB" err || fail "no size message: $(cat err)"
    [ -z "$(ls wide 2>/dev/null)" ] || fail "point files were written"
    # The largest range a sweep reaches counts, not the base's.
    printf 'mpMin 0\nmpMax 10\nmmMin 99990\nmmMax 100000\n' >grows.in
    run -q --sweep mpMax=10,100000 --sweep-dir wide -o sweep.csv grows.in
    expect_rc 2
    ;;
pb_quiet)
    run --method pb --quiet
    expect_rc 0
    expect_table out 11 11
    # Only the doubt of the start-up free chains (far more chains than a solution holds).
    [ "$(cat err)" = "the free concentrations imply 492 chains per a³ of each kind in complexes: no solution holds that; use total mode" ] ||
        fail "--quiet wrote more than the doubts to standard error: $(cat err)"
    run --method pb --chains solve
    expect_rc 0
    expect_table out 11 11
    # Solved chains say so first; only then, not with the tables.
    expect_err "Solving for linear chains 'minus' and 'plus' in parallel ...... "
    ! grep -q "Interpolating the energies" err || fail "solved chains were said to come from the tables"
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
    [ "$(head -1 out)" = "r/Rc,u,u_DH,cation_density,anion_density,charge_density" ] || fail "header: $(head -1 out)"
    [ "$(sed -n 52p out | cut -d, -f1)" = "1" ] || fail "point 50 is not the core surface"
    awk -F, 'NR > 1 && NF != 6 { exit 1 }' out || fail "rows without six columns"
    ;;
profile_pb_and_invalid)
    run --method pb --profile 3 5 -o profile.csv
    expect_rc 0
    [ "$(wc -l <profile.csv)" -eq 402 ] || fail "wrong row count"
    [ "$(head -1 profile.csv)" = "r/Rc,u,cation_density,anion_density,charge_density" ] || fail "header"
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
    interrupt_after "^Row 1 is passed" --method pb big.in
    expect_rc 130
    expect_err "Cancelled!"
    grep -q "Finished calculation of the spheres free energy" err && fail "the run was not stopped"
    expect_table out 2000 2000
    ;;
interrupt_debye_hueckel)
    # A Debye-Hueckel stage of four million complexes looks at Ctrl-C inside its loop: the
    # run ends at once, partial, with the complexes done so far.
    printf 'mpMax 1999\nmmMax 1999\n' >big.in
    interrupt_after "Debye Huckel approximation" --method dh --summary sum.json -o dist.txt big.in
    expect_rc 130
    expect_err "Cancelled!"
    grep -Eq "The result is partial: [0-9]+ of 3996001 complexes were computed." err || fail "no partial line: $(cat err)"
    grep -q '"partial": true' sum.json || fail "the summary is not partial"
    ;;
converged_accuracy)
    # Converged free energies: the run says how accurate they are, in the log (even with
    # --quiet) and in the summary; a standard run says nothing of the kind.
    run -q -o conv.txt --method pb --accuracy converged --summary summary.json
    expect_rc 0
    grep -q '^Converged free energies: largest estimated remaining error ' err || fail "no accuracy line"
    python3 - summary.json <<'PY' || fail "the summary lacks the accuracy of the run"
import json, sys
s = json.load(open(sys.argv[1]))
assert s["accuracy"] == "converged"
# The start-up band holds charged complexes (net charge up to 72): the standard grid is off
# by kT there, the converged energies by far less than that.
assert 0 < s["free_energy_error_estimate"] < 0.01 * s["largest_standard_difference"], s
assert s["largest_standard_difference"] > 0.1, s
PY
    run -q -o std.txt --method pb --summary summary.json
    expect_rc 0
    grep -q 'Converged' err && fail "a standard run spoke of converged energies"
    python3 -c 'import json, sys; s = json.load(open("summary.json")); sys.exit(s["accuracy"] != "standard" or "free_energy_error_estimate" in s)' ||
        fail "a standard run's summary"
    cmp -s conv.txt std.txt && fail "converged and standard gave the same distribution"
    # Thin, strongly charged chains (ka 0.2 to 0.205, xi 9.55 to 10): the counterion layer
    # is resolved, the chains are computed.
    for set in "0.2 10" "0.2 9.55" "0.205 9.9"; do
        read -r ka xi <<<"$set"
        printf 'zp 200\nzn 200\nkiplus %s\nkiminus %s\nka %s\nmpMax 2\nmmMax 2\n' "$xi" "$xi" "$ka" >thin.in
        run -q --accuracy converged -o thin.txt thin.in
        expect_rc 0
        grep -q "could not be computed" err && fail "ka $ka, xi $xi: $(cat err)"
    done
    run --accuracy fine
    expect_rc 2
    ;;
linear_debye_hueckel)
    # --method dh-linear: every complex's free energy is the closed form of linear
    # Debye-Hueckel theory, 3 Q^2 / (4 R x^5) [2x^3 - 3x^2 + 3 - 3 (1 + x)^2 e^(-2x)], x = ka R,
    # here evaluated by awk; the summary names the method; dh itself is unchanged.
    run -q -o lin.txt --method dh-linear --summary summary.json --free-energies fe.csv
    expect_rc 0
    expect_table lin.txt 11 11
    grep -q '"method": "dh-linear"' summary.json || fail "the summary does not name dh-linear"
    [ "$(tail -n +3 fe.csv | wc -l)" -eq 100 ] || fail "not every complex of the 11 x 11 map"
    tail -n +3 fe.csv | awk -F, '
        { mp = $1; mm = $2; Q = 18 * (mp - mm); R = (3 * 72 * (mp + mm) / 12.566369548) ^ (1 / 3); x = 0.2 * R
          f = 0.75 * Q * Q / R * (2 * x^3 - 3 * x^2 + 3 - 3 * (1 + x)^2 * exp(-2 * x)) / x^5
          if (Q != 0 && (f - $3) ^ 2 > (1e-9 * f) ^ 2) { print "(" mp "," mm "): " $3 " against " f; bad = 1 }
          if (Q == 0 && $3 != 0) { print "neutral (" mp "," mm "): " $3; bad = 1 }
          if (mp == 1 && mm == 3) f13 = $3 }
        END { if (f13 < 101.10 || f13 > 101.12) { print "(1,3): " f13; bad = 1 }; exit bad }' ||
        fail "free energies other than the closed form"
    run -q -o dh.txt --method dh
    expect_rc 0
    cmp -s lin.txt dh.txt && fail "dh-linear gave the distribution of dh"
    run --method dh_linear
    expect_rc 2
    grep -q "dh, dh-linear or pb" err || fail "the usage message does not list dh-linear"
    ;;
summary_and_free_energies)
    run --version
    mv out version.txt
    run -q -o dist.txt --summary - --unit-nm 0.714
    expect_rc 0
    python3 - out version.txt <<'PY' || fail "the summary is not what the start-up run gives"
import json, sys
s = json.load(open(sys.argv[1]))
# The program that wrote it, as --version names it.
assert open(sys.argv[2]).read() == "marlinq-batch %s (commit %s)\n" % (s["version"], s["commit"])
keys = {"most_probable", "mean_mp", "mean_mm", "mass_average_aggregation", "bound_fraction_plus",
        "bound_fraction_minus", "mean_net_charge", "mean_core_radius", "most_probable_share", "parameters",
        "method", "chains", "partial", "warnings", "salt_mM", "core_radius_nm", "mean_core_radius_nm"}
assert keys <= set(s), keys - set(s)
assert s["most_probable"] == [4, 4] and s["method"] == "dh" and s["chains"] == "table" and s["partial"] is False
assert s["parameters"]["plen"] == 72 and s["parameters"]["mlen"] == 72 and s["parameters"]["ka"] == 0.2
# ka 0.2 at a = 0.714 nm: c_s = ka^2 / (8 pi a^3 N_A) = 7.26 mM; Rc(4,4) = (3 * 576 / 4 pi)^(1/3) a
assert abs(s["salt_mM"] - 7.2606) < 1e-3, s["salt_mM"]
assert abs(s["core_radius_nm"] - 5.16152 * 0.714) < 1e-4
assert 0.0 <= s["bound_fraction_plus"] <= 1.0
PY
    expect_table dist.txt 11 11
    run -q -o dist2.txt --free-energies fe.csv --method pb
    expect_rc 0
    cmp -s dist.txt dist2.txt && fail "pb and dh gave the same distribution"
    head -1 fe.csv | grep -Eq '^# f_plus=7\.5638[0-9]* f_minus=7\.3560[0-9]*$' || fail "first line: $(head -1 fe.csv)"
    [ "$(sed -n 2p fe.csv)" = "mp,mm,F,E,absValue,Value,beyond_dh" ] || fail "no CSV header"
    [ "$(tail -n +3 fe.csv | wc -l)" -eq 70 ] || fail "not the 70 evaluated cells of the band"
    run -q --summary -
    expect_rc 2
    grep -q "standard output" err || fail "two results on standard output were accepted"
    for unit in -1 1e300 1e-300 0.00999 100.001; do
        run -q --unit-nm $unit
        expect_rc 2
        grep -q "from 0.01 to 100" err || fail "--unit-nm $unit: $(cat err)"
    done
    ;;
sweep_values_and_refused_point)
    run -q --sweep ka=0.5,0.1,1
    expect_rc 0
    [ "$(wc -l <out)" -eq 5 ] || fail "not a plan line, a header and three rows"
    head -1 out | grep -q '^# marlinq [0-9.]* (commit [0-9a-z-]*) sweep [0-9a-f]\{16\}: 3 points, ka 3, method dh, chains table, accuracy standard$' ||
        fail "plan line: $(head -1 out)"
    sed -n 2p out | grep -q '^index,ka,most_probable_mp,most_probable_mm,mean_mp,.*,status,warnings,unconverged_solves,nonfinite_cells,beyond_dh_cells,range_edge$' ||
        fail "header: $(sed -n 2p out)"
    sed -n 4p out | grep -qx '1,0.1,,,,,,,,,,,,,,,,,,,,Stable solution is only for ka between 0.2 and 10,,,,,' || fail "refused row: $(sed -n 4p out)"
    [ "$(sed -n 5p out | cut -d, -f1,2)" = "2,1" ] || fail "the sweep did not go on"
    [ "$(sed -n 5p out | awk -F, '{print $(NF - 5)}')" = "ok" ] || fail "the last point is not ok"
    # Grid order: the first sweep outermost; FROM:TO:COUNT with both ends.
    run -q --sweep ka=0.2:1:3 --sweep mmMax=8,10 -o grid.csv
    expect_rc 0
    [ "$(tail -n +2 grid.csv | cut -d, -f1-3 | tr '\n' ' ')" = "index,ka,mmMax 0,0.2,8 1,0.2,10 2,0.6,8 3,0.6,10 4,1,8 5,1,10 " ] ||
        fail "grid order: $(cut -d, -f1-3 grid.csv | tr '\n' ' ')"
    run -q --sweep ka=1:100:3:log
    expect_rc 0
    [ "$(tail -n +2 out | cut -d, -f2 | tr '\n' ' ')" = "ka 1 10 100 " ] || fail "log values: $(cut -d, -f2 out | tr '\n' ' ')"
    sed -n 5p out | grep -q 'Stable solution is only for ka between 0.2 and 10,,,,,$' || fail "ka 100 was not refused"
    run -q --sweep foo=1
    expect_rc 2
    run -q --sweep Np=1.5
    expect_rc 2
    run -q --sweep salt_mM=10
    expect_rc 2
    run -q --sweep salt_mM=7.2606354335136434,100 --unit-nm 0.714
    expect_rc 0
    sed -n 3p out | grep -q '^0,7.26063543351364,4,4,' || fail "7.26 mM is not ka 0.2 at 0.714 nm: $(sed -n 3p out)"
    run -q --sweep salt_mM=7.26 --unit-nm 0.714
    expect_rc 0
    grep -q ',salt_mM 7.26 is ka 0.19999[0-9]*; at a = 0.714 nm the salt must be between 7.26064 and 18151.58858 mM (ka from 0.2 to 10),,,,,$' out ||
        fail "refused salt: $(sed -n 3p out)"
    # The doubts of a point: a peak cut off by M+, M- <= 3 is on the range edge.
    startup_file base.in
    sed -e 's/^mpMax .*/mpMax 3/' -e 's/^mmMax .*/mmMax 3/' base.in >edge.in
    run -q --sweep ka=0.2 edge.in
    expect_rc 0
    sed -n 3p out | grep -q ',ok,"the free concentrations imply 153 chains per a³ of each kind in complexes: no solution holds that; use total mode | the most probable complex (3, 3) lies on the edge of the M+ and M- ranges; enlarge them",0,0,0,1$' ||
        fail "no range edge in the row: $(sed -n 3p out)"
    # The single run's summary carries the same note among its warnings.
    run -q --summary - -o edge.txt edge.in
    expect_rc 0
    python3 -c 'import json, sys; w = json.load(open("out"))["warnings"]; sys.exit(w != ["the free concentrations imply 153 chains per a³ of each kind in complexes: no solution holds that; use total mode", "the most probable complex (3, 3) lies on the edge of the M+ and M- ranges; enlarge them"])' ||
        fail "summary warnings: $(cat out)"
    # A plan whose CSV would pass 1 GiB is refused before the first point, unless asked for.
    run -q --sweep ka=0.2:10:1000000 --sweep vc10=1e-3:1e-2:1000000 -o huge.csv
    expect_rc 2
    grep -q "^the sweep's CSV would be about .* TiB (1000000000000 points); use --large-output" err || fail "huge sweep: $(cat err)"
    [ ! -e huge.csv ] && [ ! -e huge.csv.partial ] || fail "the huge sweep wrote a file"
    ;;
sweep_shards_and_folder)
    startup_file base.in
    run -q --method pb --sweep ka=0.2:10:7:log --sweep vc10=1e-3,1e-2 -o whole.csv base.in
    expect_rc 0
    for i in 0 1 2; do
        run -q --method pb --sweep ka=0.2:10:7:log --sweep vc10=1e-3,1e-2 --shard $i/3 -o part$i.csv base.in
        expect_rc 0
        cmp -s <(sed 1d part$i.csv | head -1) <(sed -n 2p whole.csv) || fail "shard $i has another header"
        [ "$(head -1 part$i.csv)" = "$(head -1 whole.csv); shard $i/3" ] || fail "shard $i: $(head -1 part$i.csv)"
    done
    run --merge part2.csv part0.csv part1.csv -o joined.csv
    expect_rc 0
    cmp -s joined.csv whole.csv || fail "the merged shards are not the whole sweep"
    # Several points at once: the same bytes.
    run -q --method pb --sweep ka=0.2:10:7:log --sweep vc10=1e-3,1e-2 --jobs 3 -o jobs.csv base.in
    expect_rc 0
    cmp -s jobs.csv whole.csv || fail "--jobs 3 changed the CSV"
    run --sweep ka=0.5,2 --sweep-dir points --free-energies on
    expect_rc 0
    grep -q "^point 2 of 2 (index 1, ka=2)" err || fail "no progress line"
    expect_table points/point-0000_ka=0.5.txt 11 11
    [ "$(sed -n 2p points/point-0001_ka=2.free-energies.csv)" = "mp,mm,F,E,absValue,Value,beyond_dh" ] || fail "no landscape"
    run -q --sweep-dir points
    expect_rc 2
    # Point files are renamed into place in batches: none is left as a temporary file.
    [ -z "$(find points -name '.*')" ] || fail "temporary point files remain: $(ls -a points)"
    # The point files' disk use is estimated before the first point and refused above 1 GiB.
    run -q --sweep ka=0.2:10:1000000 --sweep-dir many -o many.csv
    expect_rc 2
    expect_err "the point files of --sweep-dir would take about 2.6 GiB (1000000 points); use --large-output to write them anyway"
    [ ! -e many ] && [ ! -e many.csv.partial ] || fail "the refused sweep wrote files"
    ;;
sweep_merge_hostile_parts)
    # Parts that are not one whole sweep: exit 2, the file and line named, no merged file.
    sweep() { "$BATCH" -q --sweep ka=0.2:10:7 --sweep mmMax=8,10 "$@"; }
    sweep -o whole.csv
    for i in 0 1 2; do sweep --shard $i/3 -o p$i.csv; done
    "$BATCH" -q --sweep ka=0.2:10:7 --sweep mmMax=8,11 --shard 1/3 -o other.csv
    head -c -7 p2.csv >cut.csv
    { head -4 p1.csv; sed -n 4p p1.csv; tail -n +5 p1.csv; } >dup.csv
    sed '3s/^[0-9]*,/12,/' p1.csv >moved.csv
    check() {
        local expected=$1
        shift
        run --merge "$@" -o merged.csv
        expect_rc 2
        grep -q -- "$expected" err || { cat err >&2; fail "merge $*: no '$expected'"; }
        [ ! -e merged.csv ] || fail "merge $*: a merged file was written"
    }
    check "shard 1/3 is missing" p0.csv p2.csv
    check "^5 of 14 points are in no part (indexes 1, 4, 7, 10, 13)" p0.csv p2.csv
    check "^other.csv line 1: a part of another sweep" p0.csv other.csv p2.csv
    check "^cut.csv line 6: the last line is cut short" p0.csv p1.csv cut.csv
    check "^dup.csv line 5: index 4 is also in dup.csv" p0.csv dup.csv p2.csv
    check "^p1.csv line 3: index 1 is also in whole.csv" whole.csv p1.csv
    check "^moved.csv line 3: index 12 is not in shard 1/3" p0.csv moved.csv p2.csv
    check "the part p1.csv is given twice" p0.csv p1.csv p1.csv p2.csv
    check "^p2.csv.missing: can not be read (No such file or directory)" p0.csv p1.csv p2.csv.missing
    printf 'index,ka\n0,1\n' >plain.csv
    check "^plain.csv line 1: not a sweep CSV of this program" plain.csv
    { sed '1s/: 14 points,/: 99999999999999 points,/' p0.csv; } >vast.csv
    check "^vast.csv line 1: a sweep of 99999999999999 points is too large to merge" vast.csv
    # Failed points are merged and named by their status.
    "$BATCH" -q --sweep ka=0.1,0.5,20 --shard 0/2 -o f0.csv
    "$BATCH" -q --sweep ka=0.1,0.5,20 --shard 1/2 -o f1.csv
    run --merge f0.csv f1.csv -o f.csv
    expect_rc 0
    expect_err "2 of 3 points have no result (their status):"
    expect_err "  index 0: Stable solution is only for ka between 0.2 and 10"
    expect_err "  index 2: Stable solution is only for ka between 0.2 and 10"
    "$BATCH" -q --sweep ka=0.1,0.5,20 | cmp -s - f.csv || fail "merged failed points differ from the whole sweep"
    ;;
sweep_resume)
    # A sweep killed (kill -9) and resumed gives the bytes of an uninterrupted one; so does
    # one stopped by SIGTERM, then by SIGHUP with --quiet, resumed from its marked file.
    startup_file base.in
    plan=(--method pb --sweep ka=0.2:10:150 base.in)
    run -q "${plan[@]}" -o whole.csv --jobs 2
    expect_rc 0
    set -m
    "$BATCH" -q "${plan[@]}" -o killed.csv --jobs 2 2>err &
    pid=$!
    for _ in $(seq 1 600); do [ "$(wc -l 2>/dev/null <killed.csv.partial || echo 0)" -ge 30 ] && break; sleep 0.05; done
    kill -KILL "$pid"
    wait "$pid"
    set +m
    [ ! -e killed.csv ] || fail "a killed sweep left a file in place"
    rows=$(($(wc -l <killed.csv.partial) - 2))
    [ "$rows" -ge 28 ] && [ "$rows" -lt 150 ] || fail "$rows rows were kept of a killed sweep"
    run "${plan[@]}" -o killed.csv --resume
    expect_rc 0
    [ "$(grep -c '^point ' err)" -eq $((150 - rows)) ] || fail "resumed $(grep -c '^point ' err) points, not $((150 - rows))"
    cmp -s killed.csv whole.csv || fail "the resumed sweep differs from the whole one"
    [ ! -e killed.csv.partial ] || fail "the partial file stayed"
    # A stopped sweep leaves its rows in FILE.partial, marked: a complete FILE there (here
    # of another plan) stays as it was.
    "$BATCH" -q --sweep ka=0.2:10:3 -o termed.csv
    cp termed.csv complete.csv
    set -m
    "$BATCH" -q "${plan[@]}" -o termed.csv --jobs 2 2>err &
    pid=$!
    for _ in $(seq 1 600); do [ "$(wc -l 2>/dev/null <termed.csv.partial || echo 0)" -ge 12 ] && break; sleep 0.05; done
    kill -TERM "$pid"
    wait "$pid"
    rc=$?
    set +m
    expect_rc 130
    cmp -s termed.csv complete.csv || fail "a stopped sweep replaced the complete file"
    rm termed.csv
    done_rows=$(($(wc -l <termed.csv.partial) - 3))
    expect_err "The sweep is partial: $done_rows of 150 points"
    expect_err "The rows are kept in termed.csv.partial; --resume continues the sweep"
    [ "$(tail -1 termed.csv.partial)" = "# The sweep is partial: $done_rows of 150 points" ] || fail "no mark: $(tail -1 termed.csv.partial)"
    cmp -s <(head -n $((done_rows + 2)) termed.csv.partial) <(head -n $((done_rows + 2)) whole.csv) || fail "the stopped rows differ"
    # A new sweep does not take over the rows left to resume.
    run -q "${plan[@]}" -o termed.csv
    expect_rc 2
    expect_err "termed.csv.partial exists: the rows of a sweep that did not finish (or another file); continue it with --resume, or remove it"
    set -m
    "$BATCH" -q "${plan[@]}" -o termed.csv --resume --jobs 2 2>err &
    pid=$!
    for _ in $(seq 1 600); do [ "$(wc -l 2>/dev/null <termed.csv.partial || echo 0)" -ge $((done_rows + 20)) ] && break; sleep 0.05; done
    kill -HUP "$pid"
    wait "$pid"
    rc=$?
    set +m
    expect_rc 130
    grep -q "^The sweep is partial: [0-9]* of 150 points$" err || fail "SIGHUP: $(cat err)"
    run -q "${plan[@]}" -o termed.csv --resume
    expect_rc 0
    cmp -s termed.csv whole.csv || fail "twice resumed, the sweep differs from the whole one"
    # Rows of another plan, a cut last line, a repeated index: exit 2, the file untouched.
    head -c -9 whole.csv >cut.csv
    { head -5 whole.csv; sed -n 5p whole.csv; } >twice.csv
    "$BATCH" -q --sweep ka=0.2:10:3 -o other.csv
    for bad in cut twice other; do
        cp $bad.csv before.csv
        run -q "${plan[@]}" -o $bad.csv --resume
        expect_rc 2
        cmp -s $bad.csv before.csv || fail "--resume changed $bad.csv"
    done
    grep -q "^cut.csv line 152: the last line is cut short" <(run -q "${plan[@]}" -o cut.csv --resume; cat err) || fail "cut: $(cat err)"
    grep -q "^twice.csv line 6: index 2 a second time" <(run -q "${plan[@]}" -o twice.csv --resume; cat err) || fail "twice: $(cat err)"
    grep -q "^other.csv line 1: the rows belong to another sweep" <(run -q "${plan[@]}" -o other.csv --resume; cat err) || fail "other: $(cat err)"
    ;;
sweep_interrupt)
    interrupt_after "^point 5 of 20000" --method pb --sweep ka=0.2:10:20000
    expect_rc 130
    done_points=$(grep -c "^point [0-9]* of 20000" err)
    [ "$done_points" -ge 5 ] && [ "$done_points" -lt 20000 ] || fail "$done_points points before the stop"
    [ "$(wc -l <out)" -eq $((done_points + 3)) ] || fail "$(wc -l <out) lines for $done_points finished points"
    [ "$(tail -n +3 out | head -n -1 | cut -d, -f1 | tr '\n' ' ')" = "$(seq 0 $((done_points - 1)) | tr '\n' ' ')" ] || fail "rows are not 0.. in order"
    grep -q "^Interrupted: $done_points of 20000 points were computed" err || fail "no closing line"
    [ "$(tail -1 out)" = "# The sweep is partial: $done_points of 20000 points" ] || fail "no mark: $(tail -1 out)"
    # Quiet, the partial sweep is still said.
    set -m
    "$BATCH" -q --method pb --sweep ka=0.2:10:20000 --jobs 2 -o quiet.csv 2>err &
    pid=$!
    for _ in $(seq 1 600); do [ "$(wc -l 2>/dev/null <quiet.csv.partial || echo 0)" -ge 5 ] && break; sleep 0.05; done
    kill -INT "$pid"
    wait "$pid"
    rc=$?
    set +m
    expect_rc 130
    grep -q "^The sweep is partial: [0-9]* of 20000 points$" err || fail "quiet: $(cat err)"
    [ "$(tail -1 quiet.csv.partial | cut -d: -f1)" = "# The sweep is partial" ] || fail "quiet: no mark"
    [ ! -e quiet.csv ] || fail "a stopped sweep put its partial rows in place"
    ;;
free_chains_the_run_cannot_know)
    # Chains bound nearly whole into (1, 1) pairs at equal totals: only c+ c- is fixed. The
    # run says so (log, summary, standard error also with --quiet) and what is fixed, and the
    # distribution meets the totals to 1e-12 (the weights once missed them by 4e-7).
    printf 'vc01 0.001\nvc10 0.001\nzp 100\nzn 100\nkiplus 2.857\nkiminus 2.857\nka 0.2347\nNp 100\nNm 100\nmpMin 0\nmpMax 10\nmmMin 0\nmmMax 10\n' >bound.in
    run -q --unit-nm 0.714 --total 0.1,0.1 --total-mM --summary bound.json -o bound.txt bound.in
    expect_rc 0
    undetermined="Mass balance: the totals do not determine the free chains c+ and c-: nearly every chain is in complexes of composition M+ : M- = 1 : 1, whose weights depend on c+ c- alone. Determined are c+ c- = 6.7265e-320 and the distribution of the complexes; the free c+ and c- given are one pair of many"
    expect_err "$undetermined"
    python3 - bound.json bound.txt "$undetermined" <<'PY' || fail "the undetermined free chains: $(cat bound.json)"
import json, math, sys
s = json.load(open(sys.argv[1]))
assert sys.argv[3] in s["warnings"], s["warnings"]
assert s["mass_balance_residual"] <= 1e-12, s["mass_balance_residual"]
# The exported weights (15 digits) meet both totals.
rows = [[float(v) for v in line.split()] for line in open(sys.argv[2])]
plus = math.fsum(r * w for r, row in enumerate(rows) for w in row)
minus = math.fsum(c * w for row in rows for c, w in enumerate(row))
for got, want in ((plus, s["total_plus"]), (minus, s["total_minus"])):
    assert abs(got / want - 1) <= 1e-12, (got, want)
PY
    # Unequal totals: the excess '+' chains stay free and fix c+, hence c- too.
    run -q --unit-nm 0.714 --total 0.1,0.09 --total-mM --summary uneven.json -o /dev/null bound.in
    expect_rc 0
    ! grep -q "do not determine" err uneven.json || fail "unequal totals called undetermined: $(cat err)"

    # The start-up free chains imply far more chains than a solution holds: said in the log,
    # the summary and on standard error; a dilute free run says nothing.
    crowded="the free concentrations imply 492 chains per a³ of each kind in complexes: no solution holds that; use total mode"
    run -q --method pb --summary startup.json -o /dev/null
    expect_rc 0
    expect_err "$crowded"
    grep -qF "\"$crowded\"" startup.json || fail "no warning in the summary: $(cat startup.json)"
    startup_file base.in
    sed -e 's/^zp .*/zp 36/' -e 's/^kiplus .*/kiplus 0.5/' base.in >uneven.in  # (1, 2) neutral
    run -q --method pb -o /dev/null uneven.in
    grep -Eq "^the free concentrations imply [0-9.e+-]+ '\+' and [0-9.e+-]+ '-' chains per a³ in complexes: no solution holds that; use total mode$" err ||
        fail "kinds that differ: $(cat err)"
    sed -e 's/^vc01 .*/vc01 1e-6/' -e 's/^vc10 .*/vc10 1e-6/' base.in >dilute.in
    run -q --method pb -o /dev/null dilute.in
    expect_rc 0
    [ ! -s err ] || fail "a dilute run warns: $(cat err)"
    ;;
total_mode)
    # A free-mode run's implied totals, given back in total mode, return its free chains
    # and its distribution.
    startup_file base.in
    sed -e 's/^vc01 .*/vc01 3e-6/' -e 's/^vc10 .*/vc10 1e-6/' base.in >free.in
    run -q --method pb -o free.txt --summary free.json free.in
    expect_rc 0
    totals=$(python3 -c 'import json; s = json.load(open("free.json")); print("%r,%r" % (s["total_plus"], s["total_minus"]))')
    run --method pb -o total.txt --summary total.json --total "$totals" free.in
    expect_rc 0
    grep -Eq '^Mass balance: free c\+ = 1e-06, c- = 3e-06 \([0-9]+ Newton steps?\)$' err ||
        { cat err >&2; fail "no mass-balance line"; }
    python3 - free.json total.json free.txt total.txt <<'PY' || fail "total mode did not give the free run back"
import json, sys
f, t = json.load(open(sys.argv[1])), json.load(open(sys.argv[2]))
assert f["concentrations"] == "free" and t["concentrations"] == "total"
assert f["free_plus"] == 1e-6 and f["free_minus"] == 3e-6 and f["mass_balance_residual"] == 0
assert f["total_plus"] > 1e-6 and f["total_minus"] > 3e-6
assert abs(t["free_plus"] / 1e-6 - 1) < 1e-10 and abs(t["free_minus"] / 3e-6 - 1) < 1e-10
assert t["total_plus"] == f["total_plus"] and t["mass_balance_residual"] <= 1e-12
# equal charges: f = C+ / (C+ + C-)
assert abs(t["charge_fraction"] - f["total_plus"] / (f["total_plus"] + f["total_minus"])) < 1e-15
rows = lambda p: [[float(v) for v in line.split()] for line in open(p)]
for a, b in zip(rows(sys.argv[3]), rows(sys.argv[4])):
    for x, y in zip(a, b):
        assert abs(x - y) <= 1e-10 * abs(x), (x, y)
PY
    # T and f: equal charges at f = 1/2 give equal totals.
    run -q --total 2e-3 --charge-fraction 0.5 --summary - -o half.txt
    expect_rc 0
    python3 -c 'import json, sys; s = json.load(open("out")); sys.exit(not (s["total_plus"] == s["total_minus"] == 1e-3 and s["charge_fraction"] == 0.5))' ||
        fail "T and f: $(cat out)"
    # Refused: nothing written, exit 2, the reason.
    sed 's/^mpMin .*/mpMin 1/' base.in >mpmin.in
    for bad in "--total 0,1e-3" "--total -1e-3,1e-3" "--total nan,1e-3" "--total 1e-3,2" "--total 1e-3" \
               "--total 1e-3 --charge-fraction 1" "--charge-fraction 0.5" "--total 1e-3,1e-3 mpmin.in"; do
        # shellcheck disable=SC2086
        run -q -o refused.txt $bad
        expect_rc 2
        [ -s err ] || fail "$bad: no message"
        [ ! -e refused.txt ] || fail "$bad: a file was written"
    done
    grep -q "mpMin and mmMin to 0" err || fail "the lone chains were not named: $(cat err)"
    ;;
total_files_units_and_sweeps)
    # A file saved in total mode runs in total mode; one total alone is refused.
    startup_file base.in
    { head -n 12 base.in; printf 'total_plus 0.002\ntotal_minus 0.002\n'; tail -n 1 base.in; } >total.in
    run -q --method pb --summary - -o total.txt total.in
    expect_rc 0
    python3 -c 'import json, sys; s = json.load(open("out")); sys.exit(not (s["concentrations"] == "total" and s["total_plus"] == 0.002))' ||
        fail "the file's totals: $(cat out)"
    grep -v '^total_plus' total.in >lonely.in
    run -q -o refused.txt lonely.in
    expect_rc 2
    grep -q "total_minus without total_plus" err || fail "no reason: $(cat err)"
    [ ! -e refused.txt ] || fail "a refused file wrote a result"
    # mM of chains: 4.561991400541782 mM is 1e-3 chains per a^3 at a = 0.714 nm.
    run -q --method pb --unit-nm 0.714 --total-mM --total 4.561991400541782,4.561991400541782 --summary - -o mm.txt
    expect_rc 0
    python3 - out <<'PY' || fail "totals in mM: $(cat out)"
import json, sys
s = json.load(open(sys.argv[1]))
assert abs(s["total_plus"] / 1e-3 - 1) < 1e-12 and abs(s["total_plus_mM"] / 4.561991400541782 - 1) < 1e-12
assert abs(s["free_plus_mM"] / s["free_plus"] / 4561.991400541782 - 1) < 1e-12
PY
    run -q --total-mM --total 1,1 -o refused.txt
    expect_rc 2
    # A sweep of totals: the rows of single runs; total mode named in the summary keys.
    run -q --method pb --sweep total=1e-4,2e-3 --sweep charge_fraction=0.5 -o sweep.csv
    expect_rc 0
    run -q --method pb --total 2e-3 --charge-fraction 0.5 --summary single.json -o single.txt
    expect_rc 0
    python3 - sweep.csv single.json <<'PY' || fail "the sweep's point differs from the single run"
import csv, json, sys
rows = list(csv.DictReader(line for line in open(sys.argv[1]) if not line.startswith("#")))
s = json.load(open(sys.argv[2]))
assert [r["status"] for r in rows] == ["ok", "ok"], rows
for key in ("free_plus", "free_minus", "mass_average_aggregation", "bound_fraction_plus", "critical_concentration"):
    assert float(rows[1][key]) == s[key], (key, rows[1][key], s[key])
PY
    run -q --sweep total_mM=1,2 -o refused.csv
    expect_rc 2
    grep -q "needs --unit-nm" err || fail "no reason: $(cat err)"
    # The critical salt: not crossed at tiny totals (said on standard error), a crossing
    # where half of the chains are bound.
    run -q --method dh-linear --chains solve --total 1e-12,1e-12 --critical-salt
    expect_rc 0
    grep -q '"critical_ka": null' out || fail "$(cat out)"
    grep -q "below ka 0.2" err || fail "not said: $(cat err)"
    run -q --method dh-linear --chains solve --unit-nm 0.714 --total 2e-3,2e-3 --critical-salt
    expect_rc 0
    # Written by the JSON writer in the shortest form, as the summary is (not 0.71399999999999997).
    grep -q '^  "unit_nm": 0.714,$' out || fail "not the shortest form: $(cat out)"
    grep -q '^  "total_plus": 0.002,$' out || fail "not the shortest form: $(cat out)"
    python3 - out <<'PY' || fail "critical salt: $(cat out)"
import json, sys
s = json.load(open(sys.argv[1]))
ka = s["critical_ka"]
assert 0.2 < ka < 10 and s["crossed"] and not s["jump"]
# kappa^2 = 8 pi l_B N_A c_s with l_B = a: c_s = ka^2 / (8 pi a^3 N_A)
a = 0.714e-9
cs = ka ** 2 / (8 * 3.141592653589793 * a ** 3 * 6.02214076e23) / 1000 * 1000
assert abs(s["critical_salt_mM"] / cs - 1) < 1e-6, (s["critical_salt_mM"], cs)
PY
    # The tables agree with the solved chains on where the start-up polymers dissolve (the
    # chain energy enters every weight M+ + M- times; linear weights across the table's
    # columns once put it 12 % higher).
    mv out solved.json
    run -q --method dh-linear --chains table --unit-nm 0.714 --total 2e-3,2e-3 --critical-salt
    expect_rc 0
    python3 - out solved.json <<'PY' || fail "critical salt with tables: $(cat out)"
import json, sys
table, solved = (json.load(open(f))["critical_salt_mM"] for f in sys.argv[1:3])
assert abs(table / solved - 1) < 0.01, (table, solved)
PY
    ;;
json_and_messages_bytes)
    # The JSON files and the warnings on standard error, to the byte, as stored in
    # tests/data/json (the summary without its "commit" line). The layout and the digits of
    # every file are those written before the JSON writer and the number text were one each,
    # except critical_salt.json, which has the shortest numbers since then (it had 17 digits).
    # Numbers that move with the physics (new chain tables) are written again by the program.
    STORED="$(dirname "$BATCH_CASES_SCRIPT")/../data/json"
    DATA="$(dirname "$BATCH_CASES_SCRIPT")/../../data"
    same() { cmp -s "$1" "$STORED/$2" || { diff "$STORED/$2" "$1" | head -n 10 >&2; fail "$2 differs"; }; }
    run -q --data "$DATA" --method dh --unit-nm 0.714 --molar-mass 20000,30000 --sensitivity --summary - -o /dev/null
    expect_rc 0
    grep -v '"commit"' out >summary && same summary summary_units_sensitivity.json
    run -q --data "$DATA" --method dh --accuracy converged --total 2e-3,1e-3 --summary - -o /dev/null
    expect_rc 0
    grep -v '"commit"' out >summary && same summary summary_converged_total.json
    same err converged_total.stderr
    run -q --data "$DATA" --method dh --total 2e-3,2e-3 --solve-for ka --target mass_average_aggregation=2.002
    expect_rc 0
    same out solve_for.json
    run -q --data "$DATA" --method dh --total 2e-3,2e-3 --solve-for ka --target mass_average_aggregation=3
    expect_rc 1
    same out solve_for_not_reached.json
    run -q --data "$DATA" --method dh-linear --chains solve --unit-nm 0.714 --total 2e-3,2e-3 --critical-salt
    expect_rc 0
    same out critical_salt.json
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "ok: $case_name"
