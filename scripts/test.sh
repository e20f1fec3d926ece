#!/usr/bin/env bash
# Installs what is missing, then builds and tests Marlinq Solver in these stages (each a
# CMake preset of CMakePresets.json):
#   deps      the Debian packages (apt only when something is missing)
#   release   everything in Release into build/; the whole suite through CTest
#   asan      toolkit-free libraries and their tests with Address- and UB-Sanitizer (build-asan/)
#   tsan      tests labelled `threads` (the job and its runner) with ThreadSanitizer (build-tsan/)
#   tsan-ui   tests labelled `window_threads` (the window under rapid Solve/Stop and destroyed
#             mid-run) with ThreadSanitizer (build-tsan-ui/)
#   fuzz      clang/libFuzzer targets of the readers, MARLINQ_FUZZ_SECONDS (60) each (build-fuzz/)
#   package   the Debian package of build/ (CPack), installed with apt-get, its programs and
#             Python module run far from the sources and compared with the build's, removed
#   slurm     a one-node Slurm cluster started here runs examples/slurm/ as an array job on
#             build/'s marlinq-batch; the merged parts must be the single-process sweep's bytes,
#             also when a task is cancelled mid-run and submitted again (--resume)
# The test presets of the same names hold each stage's choice of tests and its sanitizer
# settings: `ctest --preset tsan` runs one by hand.
# A failed stage does not stop the others; the script prints a summary and exits non-zero
# when any stage failed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

JOBS="${MARLINQ_JOBS:-$(nproc 2>/dev/null || echo 2)}"
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

# The ThreadSanitizer test presets set OMP_THREAD_LIMIT=1: libgomp is not instrumented for
# ThreadSanitizer, so its barriers are invisible to it; one thread per OpenMP team (the stages
# ask for their team size explicitly, so OMP_NUM_THREADS would not do) while the job and
# window threads stay real threads.

PASSED=() FAILED=()
stage() {  # stage NAME COMMAND...
  local name=$1 start=$SECONDS
  shift
  echo; echo "===== stage: $name"
  if "$@"; then PASSED+=("$name"); echo "===== $name: passed ($((SECONDS - start)) s)"
  else FAILED+=("$name"); echo "===== $name: FAILED ($((SECONDS - start)) s)"; fi
}
build() { cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$JOBS"; }

deps() { bash scripts/install-deps.sh; }
release() { build release && ctest --preset release -j"$JOBS"; }
asan() {
  build asan || return 1
  # LeakSanitizer cannot run under ptrace (some containers): probe it once.
  local leaks=1
  if build-asan/tests/kernel/test_kernel --gtest_list_tests 2>&1 | grep -q 'LeakSanitizer has encountered a fatal error\|does not work under ptrace'; then
    echo "LeakSanitizer is unavailable here; leak detection off." >&2
    leaks=0
  fi
  # The preset's ASAN_OPTIONS end with the caller's, which win.
  ASAN_OPTIONS="detect_leaks=$leaks" ctest --preset asan -j"$JOBS"
}
tsan() { build tsan && ctest --preset tsan; }
tsan_ui() { build tsan-ui && ctest --preset tsan-ui; }
fuzz() { build fuzz && bash fuzz/run.sh build-fuzz "${MARLINQ_FUZZ_SECONDS:-60}"; }
package() { bash tests/install/deb_package.sh build; }
slurm() { bash tests/slurm/cluster.sh build; }

stage deps deps
[ ${#FAILED[@]} -eq 0 ] || { echo "Installing the packages failed; nothing else can run."; exit 1; }
stage release release
stage asan asan
stage tsan tsan
stage tsan-ui tsan_ui
stage fuzz fuzz
stage package package
stage slurm slurm

echo
if [ ${#FAILED[@]} -eq 0 ]; then
  echo "SUMMARY: all ${#PASSED[@]} stages passed (${PASSED[*]})"
  exit 0
fi
echo "SUMMARY: ${#FAILED[@]} of $((${#PASSED[@]} + ${#FAILED[@]})) stages FAILED: ${FAILED[*]}"
exit 1
