#!/usr/bin/env bash
# reference_distributions.sh BATCH_EXECUTABLE REFERENCE_DIR DATA_DIR: every case of
# REFERENCE_DIR/cases.txt gives the stored bytes. A difference means the program's numbers
# moved; if that was intended, regenerate the files with
# tools/regenerate-reference-distributions.sh and commit them with the change.
set -uo pipefail

BATCH=$(realpath "$1")
REF=$(realpath "$2")
DATA=$(realpath "$3")
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

cp "$REF"/*.in .
failed=0
while read -r name args; do
    case "$name" in '' | '#'*) continue ;; esac
    # shellcheck disable=SC2086
    "$BATCH" --quiet --data "$DATA" $args >"$name" 2>err
    rc=$?
    [ "$rc" -eq 0 ] || { cat err >&2; fail "$name: exit status $rc"; }
    if ! cmp -s "$name" "$REF/$name"; then
        echo "DIFFERS: $name ($args)" >&2
        diff <(tr '\t,' '\n\n' <"$REF/$name") <(tr '\t,' '\n\n' <"$name") | head -n 10 >&2
        failed=1
    fi
done <"$REF/cases.txt"
[ "$failed" -eq 0 ] || fail "results differ from the stored references"
