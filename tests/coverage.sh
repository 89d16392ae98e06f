#!/bin/sh
# Line and branch coverage of src/ by the whole test suite and the fault sweep: builds with gcc
# --coverage in a folder of its own (counters updated atomically: the tests convert on several
# threads at once), runs every test and tests/fault_sweep.sh, and prints the coverage of each file
# and the totals, first with every branch, then without the branches that only an exception takes
# (gcovr --exclude-throw-branches). Both reports leave out the branches gcc makes on lines that
# hold no code of ours, such as a closing brace where destructors run (gcovr
# --exclude-unreachable-branches): no test can choose them. Linux only: the Windows platform unit
# is left out, as are the tests' own sources. Needs gcovr (Debian: apt-get install gcovr).
#
# usage: tests/coverage.sh [build-dir]     (default: build-coverage)
#   The per-file reports are left in <build-dir>: coverage-all.txt and coverage-no-throw.txt
#   (branches), coverage-lines.txt (lines).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-coverage}
cd "$root"

command -v gcovr >/dev/null 2>&1 || {
  echo "coverage: gcovr is not installed (Debian: apt-get install gcovr)" >&2
  exit 2
}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic" -DCMAKE_EXE_LINKER_FLAGS="--coverage" \
  -DCMAKE_SHARED_LINKER_FLAGS="--coverage" -DCMAKE_MODULE_LINKER_FLAGS="--coverage" >/dev/null
cmake --build "$build" --parallel 2 >/dev/null
# Counts of an earlier run would add up with this one's.
find "$build" -name '*.gcda' -delete
# Some tests run the tool as another user (uid 65534 under root): its counts must be writable
# for it, or the run would add a complaint to the standard error the test compares.
chmod -R a+rwX "$build"
status=0
(umask 0 && ctest --test-dir "$build" -j2 >"$build/coverage-ctest.log" 2>&1) || status=$?
tail -n 3 "$build/coverage-ctest.log"
(umask 0 && sh tests/fault_sweep.sh "$build" >"$build/coverage-sweep.log" 2>&1) || status=$?
tail -n 1 "$build/coverage-sweep.log"

report() {
  gcovr --root "$root" --object-directory "$build" --filter "$root/src/" \
    --exclude "$root/src/platform/windows.cc" --exclude '.*_test\.cc' --exclude '.*test_.*\.h' \
    --exclude-directories '.*CompilerId.*' --exclude-unreachable-branches "$@"
}
echo "every branch:"
report --branches --txt "$build/coverage-all.txt" --print-summary | sed -n 's/^/  /p'
echo "without the branches only an exception takes:"
report --branches --exclude-throw-branches --txt "$build/coverage-no-throw.txt" --print-summary |
  sed -n 's/^/  /p'
echo "per file: $build/coverage-all.txt, $build/coverage-no-throw.txt (branches),"
report --txt "$build/coverage-lines.txt" >/dev/null
echo "          $build/coverage-lines.txt (lines)"
if [ "$status" != 0 ]; then
  echo "coverage: some tests failed; see $build/coverage-ctest.log and coverage-sweep.log" >&2
  exit 1
fi
