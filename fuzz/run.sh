#!/usr/bin/env bash
# fuzz/run.sh BUILD_DIR SECONDS: runs each fuzz target for SECONDS on a copy of its seed
# corpus (fuzz/corpus/<target>/) with its dictionary. A failing input is copied to
# fuzz/regressions/<target>/ (replayed by test_files) and fails the run.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
BUILD_DIR=${1:-build-fuzz}
SECONDS_EACH=${2:-60}
TARGETS=(parameter_file chain_tables get_double)

root=$PWD
bin=$(cd "$BUILD_DIR/fuzz" && pwd) || exit 1
status=0 leaks=1
for target in "${TARGETS[@]}"; do
  exe="$bin/fuzz_$target"
  work=$(mktemp -d)
  mkdir "$work/corpus" "$work/artifacts"
  cp fuzz/corpus/"$target"/* "$work/corpus/"
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=("-dict=$root/fuzz/$target.dict")
  # LeakSanitizer cannot run under ptrace (some containers): probe once.
  if [ "$target" = "${TARGETS[0]}" ] &&
    (cd "$work" && TMPDIR="$work" "$exe" -runs=1 corpus 2>&1) | grep -q 'LeakSanitizer has encountered a fatal error\|does not work under ptrace'; then
    echo "LeakSanitizer is unavailable here; leak detection off." >&2
    leaks=0
  fi
  echo "--- fuzz_$target for ${SECONDS_EACH} s"
  if ! (cd "$work" && TMPDIR="$work" \
    ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=${leaks}" \
    UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    "$exe" "${dict[@]}" -max_total_time="$SECONDS_EACH" -detect_leaks="$leaks" -rss_limit_mb=2048 \
      -timeout=10 -artifact_prefix="$work/artifacts/" -print_final_stats=1 corpus 2>&1 | tail -n 80
    exit "${PIPESTATUS[0]}"); then
    echo "fuzz_$target FAILED" >&2
    if compgen -G "$work/artifacts/*" >/dev/null; then
      mkdir -p "fuzz/regressions/$target"
      cp "$work"/artifacts/* "fuzz/regressions/$target/"
      echo "the failing input is kept in fuzz/regressions/$target/" >&2
    fi
    status=1
  fi
  rm -rf "$work"
done
exit $status
