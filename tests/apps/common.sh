# Shared by the end-to-end scripts of marlinq-batch: a scratch folder as working directory,
# and small checks of one run's status and standard error. Source it after setting BATCH.
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1

fail() { echo "FAIL: $*" >&2; exit 1; }

# run ARGS...: runs the command, leaving stdout in out, stderr in err and the status in rc.
run() {
    "$BATCH" "$@" >out 2>err
    rc=$?
}

expect_rc() { [ "$rc" -eq "$1" ] || { cat err >&2; fail "exit status $rc, expected $1"; }; }
expect_err() { grep -qxF -- "$1" err || { cat err >&2; fail "standard error lacks the line: $1"; }; }
