#!/usr/bin/env bash
# What the programs and the build say of their version.
#   version_cases.sh programs MARLINQ_BATCH [MARLINQ_WINDOW]
#   version_cases.sh build_info CMAKE SOURCE_DIR
set -uo pipefail
CASE=$1
shift
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
fail() { echo "FAIL: $*" >&2; exit 1; }

case "$CASE" in
programs)
    batch=$1 window=${2:-}
    "$batch" --version >batch.txt || fail "marlinq-batch --version failed"
    grep -Eq '^marlinq-batch [0-9]+\.[0-9]+(\.[0-9]+)? \(commit ([0-9a-f]{12}(-dirty)?|unknown)\)$' batch.txt ||
        fail "marlinq-batch --version: $(cat batch.txt)"
    if [ -n "$window" ]; then
        # No display and no platform plugin chosen: --version and --help must not need one.
        env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$window" --version >window.txt 2>err.txt ||
            fail "marlinq --version failed: $(cat err.txt)"
        [ "$(sed 's/^marlinq /marlinq-batch /' window.txt)" = "$(cat batch.txt)" ] ||
            fail "the two programs name different builds: $(cat window.txt) / $(cat batch.txt)"
        env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$window" --help >help.txt 2>err.txt ||
            fail "marlinq --help failed: $(cat err.txt)"
        grep -q -- '--version' help.txt || fail "marlinq --help does not name --version"
    fi
    ;;
build_info)
    cmake=$1 source=$2
    info() {  # info DIR: the commit the build of sources in DIR would record
        rm -f gen.cpp
        "$cmake" -DSOURCE_DIR="$1" -DVERSION=9.8.7 -DTEMPLATE="$source/src/pipeline/BuildInfo.cpp.in" \
            -DOUTPUT="$WORK/gen.cpp" -P "$source/cmake/BuildInfo.cmake" || fail "the script failed on $1"
        grep -q 'programVersion() { return "9.8.7"; }' gen.cpp || fail "no version in $(cat gen.cpp)"
        sed -n 's/.*buildCommit() { return "\(.*\)"; }.*/\1/p' gen.cpp
    }
    git() { command git -c user.name=t -c user.email=t@example.invalid -c init.defaultBranch=main "$@"; }
    # Sources without git (an unpacked tarball): unknown.
    mkdir tarball && echo a >tarball/file
    [ "$(info "$WORK/tarball")" = unknown ] || fail "a tree without git: $(info "$WORK/tarball")"
    # A checkout: its commit; changed tracked files: -dirty; untracked files do not count.
    mkdir repo && echo a >repo/file
    git -C repo init -q && git -C repo add file && git -C repo commit -qm one || fail "git"
    head=$(git -C repo rev-parse HEAD)
    [ "$(info "$WORK/repo")" = "${head:0:12}" ] || fail "a clean checkout: $(info "$WORK/repo"), not ${head:0:12}"
    echo b >repo/untracked
    [ "$(info "$WORK/repo")" = "${head:0:12}" ] || fail "an untracked file made it dirty"
    echo b >repo/file
    [ "$(info "$WORK/repo")" = "${head:0:12}-dirty" ] || fail "a changed file: $(info "$WORK/repo")"
    # A tarball unpacked inside some other checkout is still a tarball: not that checkout's commit.
    mkdir repo/unpacked && echo a >repo/unpacked/file
    [ "$(info "$WORK/repo/unpacked")" = unknown ] || fail "a tree inside another checkout: $(info "$WORK/repo/unpacked")"
    # The file is rewritten only when its text changes (an unchanged build recompiles nothing).
    info "$WORK/tarball" >/dev/null
    touch -d '2001-01-01' gen.cpp
    "$cmake" -DSOURCE_DIR="$WORK/tarball" -DVERSION=9.8.7 -DTEMPLATE="$source/src/pipeline/BuildInfo.cpp.in" \
        -DOUTPUT="$WORK/gen.cpp" -P "$source/cmake/BuildInfo.cmake"
    [ "$(stat -c %Y gen.cpp)" -lt 1000000000 ] || fail "an unchanged file was rewritten"
    ;;
*)
    fail "unknown case $CASE"
    ;;
esac
echo "PASS: $CASE"
