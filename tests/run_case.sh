#!/bin/sh
# Runs one end-to-end case by hand and shows a diff for every file that differs.
# usage: tests/run_case.sh <case-dir> [tpjconv-binary]
set -u
case_dir=$(cd "$1" && pwd) || exit 2
bin=${2:-$(dirname "$0")/../build/tpjconv}
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$case_dir" && tar cf - --exclude=./expected .) | (cd "$work" && tar xf -)
set --
if [ -f "$case_dir/args" ]; then
  while IFS= read -r a || [ -n "$a" ]; do set -- "$@" "$a"; done < "$case_dir/args"
fi
stdin=/dev/null
[ -f "$case_dir/stdin" ] && stdin="$case_dir/stdin"
(cd "$work" && "$bin" "$@" <"$stdin" >"$work/.stdout" 2>"$work/.stderr"; echo $? >"$work/.status")
fail=0
for f in "$case_dir"/expected/*; do
  name=$(basename "$f")
  case $name in
    status|stdout|stderr) got="$work/.$name" ;;
    *) got="$work/$name" ;;
  esac
  if ! cmp -s "$f" "$got"; then
    echo "--- $name differs (expected, then actual)"
    diff "$f" "$got" | head -40
    fail=1
  fi
done
if [ -f "$case_dir/absent" ]; then
  while IFS= read -r n; do
    [ -n "$n" ] && [ -e "$work/$n" ] && { echo "--- $n exists but must not"; fail=1; }
  done < "$case_dir/absent"
fi
[ $fail = 0 ] && echo "ok: $(basename "$case_dir")"
exit $fail
