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
# Further steps go here, e.g. fuzzers.

echo
if [ ${#FAILED[@]} -eq 0 ]; then
  echo "SUMMARY: all ${#PASSED[@]} steps passed (${PASSED[*]})"
  exit 0
fi
echo "SUMMARY: ${#FAILED[@]} of $((${#PASSED[@]} + ${#FAILED[@]})) steps FAILED: ${FAILED[*]}"
exit 1
