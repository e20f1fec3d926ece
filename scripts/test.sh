#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
#   1. Release build of everything (window included) into build/, ctest;
#   2. the toolkit-free libraries and their tests with AddressSanitizer and
#      UndefinedBehaviorSanitizer into build-asan/, ctest; any finding fails.
# Exits non-zero when any step fails. New steps: write a function, add a `step` line
# before the summary.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

JOBS="${MARLINQ_JOBS:-$(nproc 2>/dev/null || echo 2)}"
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

PASSED=()
FAILED=()

# step NAME COMMAND...: runs COMMAND, records NAME as passed or failed.
step() {
  local name="$1"
  shift
  echo
  echo "===== step: $name"
  local start=$SECONDS
  if "$@"; then
    PASSED+=("$name")
    echo "===== $name: passed ($((SECONDS - start)) s)"
  else
    FAILED+=("$name")
    echo "===== $name: FAILED ($((SECONDS - start)) s)"
  fi
}

# needs NAME...: true when every named step has passed; otherwise records a skip.
needs() {
  local n p found
  for n in "$@"; do
    found=0
    for p in "${PASSED[@]}"; do [ "$p" = "$n" ] && found=1; done
    if [ $found -eq 0 ]; then
      echo "===== skipped: needs '$n'"
      return 1
    fi
  done
}

deps() { bash scripts/install-deps.sh; }

release_build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release \
    -DMARLINQ_BUILD_UI=ON -DMARLINQ_BUILD_TESTS=ON -DMARLINQ_BUILD_BENCH=ON &&
    cmake --build build -j"$JOBS"
}

release_tests() {
  needs release-build || return 1
  ctest --test-dir build --output-on-failure -j"$JOBS"
}

asan_build() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Release \
    -DMARLINQ_SANITIZE=address,undefined -DMARLINQ_BUILD_UI=OFF -DMARLINQ_BUILD_BENCH=OFF \
    -DMARLINQ_BUILD_TESTS=ON &&
    cmake --build build-asan -j"$JOBS"
}

# LeakSanitizer cannot run under ptrace (some containers, debuggers): probe it once.
leak_detection() {
  local probe
  probe=$(find build-asan/tests -maxdepth 2 -type f -name 'test_*' -perm -u+x | head -n 1)
  if [ -n "$probe" ] &&
    ASAN_OPTIONS=detect_leaks=1 "$probe" --gtest_list_tests 2>&1 | grep -q 'LeakSanitizer has encountered a fatal error\|does not work under ptrace'; then
    echo "LeakSanitizer is unavailable here; leak detection off." >&2
    echo 0
  else
    echo 1
  fi
}

asan_tests() {
  needs asan-build || return 1
  local leaks
  leaks=$(leak_detection)
  ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=${leaks}:detect_stack_use_after_return=1:strict_string_checks=1" \
    UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    GTEST_DEATH_TEST_STYLE=threadsafe \
    ctest --test-dir build-asan --output-on-failure -j"$JOBS"
}

# The calculation job against a stand-in window thread, with ThreadSanitizer. libgomp is
# not instrumented, so its barriers are invisible to the sanitizer: OMP_THREAD_LIMIT=1
# keeps every OpenMP team at one thread (OMP_NUM_THREADS would not, the stages ask for 8
# threads explicitly); the job thread and the window thread stay real threads.
tsan_build() {
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMARLINQ_SANITIZE=thread -DMARLINQ_BUILD_UI=OFF -DMARLINQ_BUILD_BENCH=OFF \
    -DMARLINQ_BUILD_TESTS=ON &&
    cmake --build build-tsan -j"$JOBS" --target test_pipeline
}

tsan_tests() {
  needs tsan-build || return 1
  OMP_THREAD_LIMIT=1 TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
    ctest --test-dir build-tsan --output-on-failure -L pipeline -R 'Job'
}

step deps deps
if ! needs deps; then
  echo "Installing the packages failed; nothing else can run."
  exit 1
fi
step release-build release_build
step release-tests release_tests
step asan-build asan_build
step asan-tests asan_tests
step tsan-build tsan_build
step tsan-tests tsan_tests
# libFuzzer targets (clang, AddressSanitizer and UndefinedBehaviorSanitizer): the parameter
# file reader, the table readers and the window's tolerant number parse. Each runs for
# MARLINQ_FUZZ_SECONDS (60) on a copy of its seed corpus; any failing input is copied to
# fuzz/regressions/<target>/ (replayed by test_files) and fails the step.
FUZZ_DIR="${MARLINQ_FUZZ_BUILD_DIR:-build-fuzz}"
FUZZ_TARGETS=(parameter_file chain_tables get_double)

fuzz_build() {
  CC=clang CXX=clang++ cmake -S . -B "$FUZZ_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMARLINQ_BUILD_FUZZ=ON -DMARLINQ_BUILD_UI=ON -DMARLINQ_SANITIZE=address,undefined \
    -DMARLINQ_BUILD_TESTS=OFF -DMARLINQ_BUILD_BENCH=OFF &&
    cmake --build "$FUZZ_DIR" -j"$JOBS" --target "${FUZZ_TARGETS[@]/#/fuzz_}"
}

fuzz_run() {
  needs fuzz-build || return 1
  local root=$PWD bin target exe work status=0 leaks=1
  local seconds="${MARLINQ_FUZZ_SECONDS:-60}"
  bin=$(cd "$FUZZ_DIR/fuzz" && pwd) || return 1
  for target in "${FUZZ_TARGETS[@]}"; do
    exe="$bin/fuzz_$target"
    work=$(mktemp -d)
    mkdir "$work/corpus" "$work/artifacts"
    cp fuzz/corpus/"$target"/* "$work/corpus/"
    local dict=()
    [ -f "fuzz/$target.dict" ] && dict=("-dict=$root/fuzz/$target.dict")
    # LeakSanitizer cannot run under ptrace (some containers): probe once.
    if [ "$target" = "${FUZZ_TARGETS[0]}" ] &&
      (cd "$work" && TMPDIR="$work" "$exe" -runs=1 corpus 2>&1) | grep -q 'LeakSanitizer has encountered a fatal error\|does not work under ptrace'; then
      echo "LeakSanitizer is unavailable here; leak detection off." >&2
      leaks=0
    fi
    echo "--- fuzz_$target for ${seconds} s"
    if ! (cd "$work" && TMPDIR="$work" \
      ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=${leaks}" \
      UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
      "$exe" "${dict[@]}" -max_total_time="$seconds" -detect_leaks="$leaks" -rss_limit_mb=2048 \
        -timeout=10 -artifact_prefix="$work/artifacts/" -print_final_stats=1 corpus 2>&1 | tail -n 80;
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
  return $status
}

step fuzz-build fuzz_build
step fuzz-run fuzz_run
# The main window under rapid Solve/Stop and destroyed mid-run, with ThreadSanitizer: only
# the stress executable is built. Qt and GLib are not instrumented and their locks are
# invisible to the sanitizer; tests/ui/tsan-qt.supp ignores the memory calls made from
# inside those libraries (see its comments), never our own code. OMP_THREAD_LIMIT=1 as in
# the pipeline step, since libgomp is not instrumented either.
tsan_ui_build() {
  cmake -S . -B build-tsan-ui -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMARLINQ_SANITIZE=thread -DMARLINQ_BUILD_UI=ON -DMARLINQ_BUILD_BENCH=OFF \
    -DMARLINQ_BUILD_TESTS=ON &&
    cmake --build build-tsan-ui -j"$JOBS" --target test_ui_stress
}

tsan_ui_tests() {
  needs tsan-ui-build || return 1
  QT_QPA_PLATFORM=offscreen OMP_THREAD_LIMIT=1 \
    TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/ui/tsan-qt.supp" \
    build-tsan-ui/tests/ui/test_ui_stress
}

step tsan-ui-build tsan_ui_build
step tsan-ui-tests tsan_ui_tests
# Further steps go here, e.g. fuzzers.

echo
if [ ${#FAILED[@]} -eq 0 ]; then
  echo "SUMMARY: all ${#PASSED[@]} steps passed (${PASSED[*]})"
  exit 0
fi
echo "SUMMARY: ${#FAILED[@]} of $((${#PASSED[@]} + ${#FAILED[@]})) steps FAILED: ${FAILED[*]}"
exit 1
