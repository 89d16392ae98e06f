#!/bin/bash
# Plants faults outside the rule tables, one at a time, in a copy of the source tree, and runs the
# whole test suite against each: a fault is caught when a test fails. Prints a table of the faults
# and the first test that failed for each, and ends with status 1 when a fault survived, could not
# be planted (its snippet is not in its file exactly once) or does not build. Not part of the test
# suite: one rebuild per fault. The rule tables have tests/mutate_rules.sh.
#
# usage: tests/plant_faults.sh [work-dir]      (default: build-faults, next to build/)
#   FAULTS_ONLY=<regex>   only the faults whose name matches (grep -E)
#   FAULTS_LIST=1         print the faults and stop
#
# Each fault is a file, an exact snippet of it and the snippet's replacement (the list below), so
# that a fault is easy to move when its code moves. The working tree is never written: the copy
# lives in <work-dir>/tree, rebuilt in <work-dir>/tree/build, and each file is restored from
# <work-dir>/pristine before the next fault.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build-faults}
case $work in /*) ;; *) work=$(pwd)/$work ;; esac
tree=$work/tree
build=$tree/build

# The faults: name, file, snippet, replacement. The snippet must occur exactly once in the file.
faults_py=$(cat <<'EOF'
FAULTS = [
    ("collision by inode: outputs compared by name only",
     "src/files/outputs.cc",
     "if (!platform::same_file(ids[later], ids[earlier])) continue;",
     "if (files[later].path != files[earlier].path) continue;"),
    ("keyword names swapped: tpdo and tppdo of genrou",
     "src/conversion/genrou.h",
     'inline constexpr std::string_view kGenrouParameters[] = {"tpdo", "tppdo",',
     'inline constexpr std::string_view kGenrouParameters[] = {"tppdo", "tpdo",'),
    ("keyword names compared by case",
     "src/conversion/record.cc",
     "if (lower(a[i]) != lower(b[i])) return false;",
     "if (a[i] != b[i]) return false;"),
    ("unit-ID blanks: a blank before the ID is kept",
     "src/conversion/bus_list.cc",
     "  if (first == ' ') {\n    first = second;\n    second = '\\0';\n  }\n",
     ""),
    ("rename before close",
     "src/cli/run.cc",
     "  for (const Error& failure : outputs.close()) {\n",
     "  if (ok && outputs.lock().ok()) (void)outputs.commit();\n"
     "  for (const Error& failure : outputs.close()) {\n"),
    ("no removal on failure",
     "src/files/outputs.cc",
     "      if (const int error = platform::remove_file(*path); error != 0 && error != ENOENT) {\n",
     "      if (const int error = 0; error != 0) {\n"),
    ("writer waits early: a hand-over waits for its destination's writes",
     "src/text/writer.cc",
     "  const int error = lane.error;\n  lock.unlock();\n  changed_.notify_all();\n  return error;",
     "  changed_.notify_all();\n  changed_.wait(lock, [&lane] { return lane.waiting == 0; });\n"
     "  return lane.error;"),
    ("writer reorders: the newest buffer written first",
     "src/text/writer.cc",
     "Job& job = ring_[head_];",
     "Job& job = ring_[(head_ + count_ - 1) % kDepth];"),
    ("summary counts level 1 as corrected",
     "src/conversion/frame.cc",
     "  finding(code, text, slot, correct_ ? std::optional<float>(fixed) : std::nullopt);",
     "  finding(code, text, slot, std::optional<float>(fixed));"),
    ("rounding at one width: half rounds up at three decimals",
     "src/text/number_format.h",
     "if (rest > half || (rest == half && (units & 1) != 0)) ++units;",
     "if (rest > half || (rest == half && ((units & 1) != 0 || kPrecision == 3))) ++units;"),
    ("last duplicate wins in the bus list",
     "src/conversion/bus_list.cc",
     "index,\n        false);",
     "index,\n        true);"),
    ("CR LF at a read boundary: an LF that begins a read after a CR is passed over",
     "src/text/line_reader.cc",
     "scanned = start_ + scanned_len;",
     "scanned = start_ + scanned_len + (scanned_len > 0 && data_[start_ + scanned_len - 1] == '\\r');"),
    ("-1 as an option",
     "src/cli/command_line.cc",
     "(arg[1] == '-' || is_letter(arg[1]))",
     "(arg[1] == '-' || arg[1] != '.')"),
    ("index growth drops the entries already in it",
     "src/conversion/bus_list.cc",
     "      if (slot.key != kFree) put(slot.key, slot.entry, true);\n",
     ""),
    ("the record's line end counted as text",
     "src/conversion/record.cc",
     "const std::string_view text = without_record_end(field, at_end);",
     "const std::string_view text = field;"),
    ("a hexadecimal number taken as wholly a number",
     "src/text/fields.cc",
     "number->end != field.size() || number->hexadecimal)",
     "number->end != field.size())"),
    ("the fields after the twentieth not counted",
     "src/conversion/record.cc",
     "if (!line_end_alone) ++after_twenty_;",
     "(void)line_end_alone;"),
    ("a value beyond the 32-bit range taken as finite",
     "src/text/fields.cc",
     "} else if (!std::isfinite(number->value)) {",
     "} else if (std::isnan(number->value)) {"),
    ("Kis and tcmin arguments not checked",
     "src/cli/command_line.cc",
     "    if (const auto problem = read_number(line.positional[index], value)) {",
     "    if (const auto problem = read_number(line.positional[index], value); false && problem) {"),
    ("a carriage return in a message not escaped",
     "src/text/printable.cc",
     "    } else if (c == '\\r') {\n      out += \"\\\\r\";\n",
     "    } else if (c == '\\r') {\n      out += c;\n"),
    ("the file creation mask read by setting it, while other threads create files",
     "src/platform/posix.cc",
     '  const int fd = open_retrying("/proc/self/status", O_RDONLY, 0);',
     "  const int fd = -1;"),
    ("the check log without its heading",
     "src/findings/check_log.h",
     "{ out_.write(kCheckLogHeader); }",
     "{}"),
    ("a finding's value taken after its correction",
     "src/conversion/frame.cc",
     "  finding(code, text, slot, correct_ ? std::optional<float>(fixed) : std::nullopt);\n"
     "  if (correct_) values_[+slot] = fixed;\n",
     "  if (correct_) values_[+slot] = fixed;\n"
     "  finding(code, text, slot, correct_ ? std::optional<float>(fixed) : std::nullopt);\n"),
    ("names not escaped: a warning's file name shown as it is",
     "src/cli/diagnostics.cc",
     "      line += printable(warning.file);",
     "      line += warning.file;"),
    ("bus numbers file number taken in part without a warning: the Kis",
     "src/conversion/bus_list.cc",
     "    note_float(read.odd_kis, *kis, line, *v);\n",
     ""),
    ("the bus lookups of two conversions marked in one table",
     "src/conversion/bus_list.h",
     "explicit BusUse(const BusTable& table) : table_(table), used_(table.size(), 0) {}",
     "explicit BusUse(const BusTable& table) : table_(table), used_(table.size(), 1) {}"),
    ("commit without the directory lock",
     "src/files/outputs.cc",
     "    if (o.facts.directory.empty()) continue;\n",
     "    continue;\n"),
    ("file written in place emptied at open",
     "src/files/outputs.cc",
     "      o.target_file = std::move(*opened);\n      o.staged_beside = o.facts.may_add;\n",
     "      o.target_file = std::move(*opened);\n      o.target_file.truncate();\n"
     "      o.staged_beside = o.facts.may_add;\n"),
    ("in-place file not restored on a failed commit",
     "src/files/outputs.cc",
     "  what += \": \" + platform::error_text(error);\n  restore(o);\n",
     "  what += \": \" + platform::error_text(error);\n"),
    ("ACL ignored",
     "src/platform/posix.cc",
     "facts.keep_file = info.st_nlink > 1 || has_access_acl(facts.target);",
     "facts.keep_file = info.st_nlink > 1;"),
    ("lock waits forever",
     "src/files/outputs.cc",
     "    if (now >= deadline) return result;\n",
     ""),
]
EOF
)

names=$(python3 -c "$faults_py
for f in FAULTS: print(f[0])")
if [ "${FAULTS_LIST:-}" = 1 ]; then
  python3 -c "$faults_py
for name, path, snippet, replacement in FAULTS:
    print('%s  (%s)' % (name, path))"
  exit 0
fi

mkdir -p "$work"
rm -rf "$tree" "$work/pristine"
mkdir -p "$tree"
# The sources as they stand, uncommitted changes included, without build folders.
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  (cd "$root" && git ls-files -z -co --exclude-standard | tar --null -T - -cf -) | tar -xf - -C "$tree"
else
  (cd "$root" && tar --exclude='./build*' -cf - .) | tar -xf - -C "$tree"
fi
cp -a "$tree" "$work/pristine"

log=$work/plant.log
: >"$log"
start=$(date +%s)
echo "plant_faults: configuring and building the copy in $build"
if ! cmake -S "$tree" -B "$build" >>"$log" 2>&1 || ! cmake --build "$build" --parallel 2 >>"$log" 2>&1; then
  echo "plant_faults: the copy does not build; see $log" >&2
  exit 2
fi
echo "plant_faults: the suite without a fault"
if ! ctest --test-dir "$build" -j2 >"$work/clean.log" 2>&1; then
  echo "plant_faults: the suite fails without a fault; see $work/clean.log" >&2
  exit 2
fi

# Plants fault $1 (its index) in the copy; prints "ok", "missing" or "ambiguous".
plant() {
  python3 - "$1" "$tree" <<EOF
import sys
$faults_py
name, path, snippet, replacement = FAULTS[int(sys.argv[1])]
full = sys.argv[2] + "/" + path
text = open(full).read()
count = text.count(snippet)
if count != 1:
    print("missing" if count == 0 else "ambiguous")
else:
    open(full, "w").write(text.replace(snippet, replacement))
    print("ok")
EOF
}

file_of() {
  python3 -c "$faults_py
print(FAULTS[$1][1])"
}

printf '\n%-84s %s\n' "fault" "caught by"
printf '%-84s %s\n' "-----" "---------"
failures=0
index=0
while IFS= read -r name; do
  i=$index
  index=$((index + 1))
  if [ -n "${FAULTS_ONLY:-}" ] && ! printf '%s\n' "$name" | grep -Eq -- "$FAULTS_ONLY"; then
    continue
  fi
  path=$(file_of "$i")
  planted=$(plant "$i")
  result=""
  if [ "$planted" != ok ]; then
    result="NOT PLANTED (snippet $planted in $path)"
    failures=$((failures + 1))
  elif ! cmake --build "$build" --parallel 2 >"$work/fault-$i-build.log" 2>&1; then
    result="DOES NOT BUILD (see $work/fault-$i-build.log)"
    failures=$((failures + 1))
  else
    t0=$(date +%s)
    ctest --test-dir "$build" -j2 --stop-on-failure >"$work/fault-$i-ctest.log" 2>&1
    t1=$(date +%s)
    # A case writes its check log to /dev/null; a planted fault that takes a device for a regular
    # file would, as root, put a file in its place. Put the device back and say so.
    if [ ! -c /dev/null ]; then
      rm -f /dev/null && mknod -m 666 /dev/null c 1 3
      echo "plant_faults: fault $i replaced /dev/null with a file; the device is put back" >&2
    fi
    caught=$(sed -n -E 's/^.*Test +#[0-9]+: ([^ ]+).*\*\*\*(Failed|Timeout|Exception).*$/\1 (\2)/p' \
      "$work/fault-$i-ctest.log" | head -n 1)
    if [ -z "$caught" ]; then
      caught=$(sed -n -E 's/^.*Test +#[0-9]+: ([^ ]+).* (Failed|Not Run).*$/\1 (\2)/p' \
        "$work/fault-$i-ctest.log" | head -n 1)
    fi
    if [ -n "$caught" ]; then
      result="$caught, $((t1 - t0)) s"
    else
      result="SURVIVED"
      failures=$((failures + 1))
    fi
  fi
  cp "$work/pristine/$path" "$tree/$path"
  printf '%-84s %s\n' "$name" "$result"
done <<<"$names"
# The copy as it was, built, for the next run.
cmake --build "$build" --parallel 2 >>"$log" 2>&1

echo
echo "plant_faults: $((index)) faults, $failures not caught or not planted, $(( $(date +%s) - start )) s"
[ "$failures" = 0 ]
