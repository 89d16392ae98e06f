#!/bin/sh
# Fails each system call of a run in turn and checks what the run leaves. For a run whose output
# stays below the writer thread's start and one well above it: a run without a fault counts the
# calls the tool makes through the C library (tests/fault_inject.cc, loaded with LD_PRELOAD),
# then one run for each of them fails that call with its usual error. Every run must end either
# with status 0 and every output exactly as without a fault, or with status 1, a "tpjconv: "
# message, the files of the run before byte for byte as they were and nothing else beside them.
# A hidden file left by a run of status 0 must be named on its standard error. A third sweep
# writes its outputs where they stand: as root, an ordinary user (setpriv, uid 65534) converts
# over root's files that all may write, in a directory all may write to; out.dat also has a
# second name, which keeps it written in place for any user.
# usage: tests/fault_sweep.sh BUILD_DIR
set -u
build=$(cd "${1:?usage: tests/fault_sweep.sh BUILD_DIR}" && pwd) || exit 2
tool="$build/tpjconv"
shim="$build/libtpjconv_fault_inject.so"
for f in "$tool" "$shim"; do
  [ -f "$f" ] || { echo "fault_sweep: $f not found" >&2; exit 2; }
done
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
# The ordinary user of the in-place sweep reaches the inputs and its work directory.
chmod 755 "$root"
mkdir -m 777 "$root/spool"

record() {
  printf 'genrou %s "G7      " 22.00 "1 " : #9 mva=100 4.0 0.02 0.4 0.05 3.0 0.0 1.8 1.7 0.9 0.5 0.25 0.2 0.1 0.3 0.06 0.0 0.3\n' "$1"
}

# The inputs, outside the directory the runs write in.
mkdir "$root/inputs"
{ echo "# a small input"; record 7; record 8; } >"$root/inputs/small.dat"
printf ' Bus  ID  Level  Kis  Name\n 7, "1 ", 0, 0.3, "G7      "\n 8, "1 ", 1, 0.2, "G7      "\n' \
  >"$root/inputs/small.bus"
# 2 MiB of records give some 23 MiB of output: the writer thread starts at 16 MiB.
record 7 >"$root/inputs/one"
i=0
while [ $i -lt 14 ]; do cat "$root/inputs/one" "$root/inputs/one" >"$root/inputs/two"; mv "$root/inputs/two" "$root/inputs/one"; i=$((i + 1)); done
mv "$root/inputs/one" "$root/inputs/large.dat"

# The files of the run before; summary.csv is a new name.
mkdir "$root/before"
for f in out.dat check.log report.txt; do echo "from the run before: $f" >"$root/before/$f"; done
# As root, a check log of another group: its new file has to be given that group.
[ "$(id -u)" = 0 ] && chgrp 65534 "$root/before/check.log"
listing() { ls -A "$1" | tr '\n' ' '; }

# The same for the in-place sweep.
mkdir -m 777 "$root/before-in-place"
for f in out.dat check.log report.txt; do
  echo "from the run before: $f" >"$root/before-in-place/$f"
  chmod 666 "$root/before-in-place/$f"
done
ln "$root/before-in-place/out.dat" "$root/before-in-place/out.link"
as_user=""
[ "$(id -u)" = 0 ] && as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"

failed=0
passed=0
sweep() {  # NAME INPUT BUSFILE BEFORE [RUNNER...]
  name=$1 input=$2 bus=$3 before=$4
  shift 4
  runner="$*"
  before_list=$(listing "$before")
  set -- -y "$input" "$bus" out.dat 0.3 0.3 0.3 check.log report.txt --summary summary.csv
  ref="$root/ref-$name"
  cp -a "$before" "$ref"
  (cd "$ref" && LD_PRELOAD="$shim" ASAN_OPTIONS=verify_asan_link_order=0 \
    TPJCONV_FAULT_COUNT="$root/spool/count" $runner "$tool" "$@" </dev/null >"$root/out" 2>"$root/err")
  status=$?
  if [ $status != 0 ]; then
    echo "fault_sweep: $name: the run without a fault ended with status $status"; cat "$root/err"
    failed=$((failed + 1)); return
  fi
  calls=$(cat "$root/spool/count")
  ok=0 refused=0 n=1
  while [ $n -le "$calls" ]; do
    work="$root/work"
    rm -rf "$work"
    cp -a "$before" "$work"
    rm -f "$root/spool/log"
    (cd "$work" && LD_PRELOAD="$shim" ASAN_OPTIONS=verify_asan_link_order=0 \
      TPJCONV_FAULTS="*:$n" TPJCONV_FAULT_LOG="$root/spool/log" $runner "$tool" "$@" \
      </dev/null >"$root/out" 2>"$root/err")
    status=$?
    what="call $n of $calls ($(cut -d' ' -f2- "$root/spool/log" 2>/dev/null))"
    cut -d' ' -f2 "$root/spool/log" >>"$root/calls-$name" 2>/dev/null
    bad=""
    if [ $status = 0 ]; then
      for f in out.dat check.log report.txt summary.csv; do
        cmp -s "$ref/$f" "$work/$f" || bad="$bad $f differs;"
      done
      [ ! -e "$work/out.link" ] || cmp -s "$work/out.dat" "$work/out.link" ||
        bad="$bad out.link is no longer out.dat;"
      for f in $(ls -A "$work"); do
        case " $before_list summary.csv " in *" $f "*) continue ;; esac
        grep -qF "$f" "$root/err" || bad="$bad $f left behind without a word;"
      done
      ok=$((ok + 1))
    elif [ $status = 1 ]; then
      grep -q '^tpjconv: ' "$root/err" || bad="$bad no tpjconv: message;"
      for f in out.dat check.log report.txt; do
        cmp -s "$before/$f" "$work/$f" || bad="$bad $f changed;"
      done
      [ "$(listing "$work")" = "$before_list" ] || bad="$bad files left: $(listing "$work");"
      refused=$((refused + 1))
    else
      bad=" status $status;"
    fi
    if [ -n "$bad" ]; then
      echo "fault_sweep: $name: $what:$bad"
      sed 's/^/    /' "$root/err" | tail -n 5
      failed=$((failed + 1))
    else
      passed=$((passed + 1))
    fi
    n=$((n + 1))
  done
  echo "fault_sweep: $name: $calls calls failed one at a time: $ok runs ended with status 0, $refused with status 1"
  echo "fault_sweep: $name: calls failed:" $(sort "$root/calls-$name" | uniq -c | awk '{print $2 " " $1}')
}

sweep small "$root/inputs/small.dat" "$root/inputs/small.bus" "$root/before"
sweep large "$root/inputs/large.dat" none "$root/before"
sweep in-place "$root/inputs/small.dat" "$root/inputs/small.bus" "$root/before-in-place" $as_user
echo "fault_sweep: $passed passed, $failed failed"
[ $failed = 0 ]
