#!/usr/bin/env bash
# Builds DITA and runs the whole test suite twice: a normal build (warnings are errors), then,
# after a Clang build that must compile without a warning, a build with
# AddressSanitizer and UndefinedBehaviorSanitizer; then builds only the tests labelled
# "threads" (those that run our own threads) with ThreadSanitizer and runs them. Usage:
# scripts/run-tests.sh [--quick] (--quick runs the normal build only). Then the fuzz targets
# run for a bounded time. The full run also checks that every source follows .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
GEN=()
command -v ninja >/dev/null && GEN=(-G Ninja)

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" "${GEN[@]}" -DDITA_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  (cd "$dir" && ctest --output-on-failure -j "$JOBS")
}

echo "== normal build (GCC, warnings are errors) =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDITA_WERROR=ON
if [ "${1:-}" != "--quick" ]; then
  echo "== source format (.clang-format) =="
  scripts/check-format.sh

  echo "== Clang build, warnings are errors (compiled, not run) =="
  CC=clang CXX=clang++ cmake -S . -B build-clang "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDITA_WERROR=ON -DDITA_BUILD_BENCH=OFF >/dev/null
  cmake --build build-clang -j "$JOBS"

  echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DDITA_SANITIZE="address;undefined" -DDITA_BUILD_BENCH=OFF

  echo "== ThreadSanitizer build (tests labelled threads) =="
  unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp
  # Standard error is muted around PortAudio's device scans; a report written by another thread
  # meanwhile would be lost, leaving only the failing exit status. Keep it open here.
  export DITA_AUDIO_DEBUG=1
  cmake -S . -B build-tsan "${GEN[@]}" -DDITA_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=Debug \
    -DDITA_SANITIZE=thread -DDITA_BUILD_BENCH=OFF >/dev/null
  # dita_thread_tests holds what the tests labelled threads run: build just that, not the tree.
  cmake --build build-tsan -j "$JOBS" --target dita_thread_tests
  (cd build-tsan && ctest --output-on-failure -j "$JOBS" -L threads)
fi
if [ "${1:-}" != "--quick" ]; then
  echo "== fuzzing (bounded) =="
  bash scripts/run-fuzz.sh "${FUZZ_SECONDS:-30}"
fi
