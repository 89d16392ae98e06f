#!/bin/sh
# Builds the libFuzzer targets (if needed) and runs each for the given number of seconds, then
# prints libFuzzer's final line per target (executions, cov and ft).
# usage: fuzz/run.sh SECONDS [TARGET...]    targets: fuzz_run fuzz_records fuzz_buslist
#
# The seeds under fuzz/corpus/<name>/ are only read; what a run adds to the corpus is kept in
# <build>/fuzz-corpus/<name>/ for the next run, and a crash or broken property is written to
# <build>/fuzz-artifacts/. The build directory is build-fuzz, or $TPJCONV_FUZZ_BUILD.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
targets=${*:-fuzz_run fuzz_records fuzz_buslist}
build=${TPJCONV_FUZZ_BUILD:-build-fuzz}
# Absolute, so that a finding is written where it belongs while fuzz_run works in a directory
# of its own.
case $build in /*) ;; *) build="$(pwd)/$build" ;; esac

cc=clang-14; cxx=clang++-14
command -v "$cxx" >/dev/null 2>&1 || { cc=clang; cxx=clang++; }
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=$cc CXX=$cxx cmake -S . -B "$build" -DTPJCONV_FUZZ=ON -DTPJCONV_TESTS=OFF >/dev/null
fi
# shellcheck disable=SC2086
cmake --build "$build" --parallel 2 --target $targets >/dev/null

failed=""
for target in $targets; do
  name=${target#fuzz_}
  corpus="$build/fuzz-corpus/$name"
  artifacts="$build/fuzz-artifacts"
  log="$build/fuzz-$name.log"
  mkdir -p "$corpus" "$artifacts"
  status=0
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
    -print_final_stats=1 -dict=fuzz/tpjconv.dict -artifact_prefix="$artifacts/$name-" \
    "$corpus" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)
  runs=$(grep -E '^Done [0-9]+ runs' "$log" | tail -n 1 || true)
  if [ "$status" = 0 ]; then
    echo "$target: $done_line"
    echo "$target: $runs"
  else
    echo "$target: FAILED (status $status), see $log"
    grep -E 'broken property|ERROR:|runtime error|SUMMARY|Test unit written' "$log" | head -n 10
    failed="$failed $target"
  fi
done
if [ -n "$failed" ]; then
  echo "fuzz targets with findings:$failed"
  exit 1
fi
