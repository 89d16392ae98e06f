#!/bin/bash
# Mutation run over the rule tables of the three converters: for every rule line in
# src/conversion/gensal.cc, gentpf.cc and genrou.cc it builds the tool with one planted fault at a
# time and runs the end-to-end cases under tests/cases against it. A mutant is killed when at
# least one case fails. Not part of the test suite: it takes a while (one rebuild per mutant).
#
# usage: tests/mutate_rules.sh [build-dir]      (default: build-mutants, next to build/)
#   MUTATE_ONLY=<regex>   only mutants whose description matches (grep -E), e.g. 'gensal.cc:4[0-9]'
#   MUTATE_LIST=1         print the mutants (description and mutated line) and stop
#
# Mutants of a rule line `c.rule(condition, code, text, slot, correction);`:
#   - each comparison of the condition turned: < to <=, > to >=, <= to <, >= to >, and != to <
#     and to > (the one-sided halves of "differs");
#   - each threshold moved both ways: a constant scaled by 1.01 and 0.99 (0 moved to 1e-6 and
#     -1e-6), a factor K of K * value scaled by 1.01 and 0.99, a bare value or tcmin multiplied by
#     1.01 and 0.99 (not for != against a value);
#   - the correction changed: a constant 0 set to 0.001, another constant, a factor K or a bare
#     value or tcmin scaled by 1.01.
# Besides the rule lines, the salient-pole path's 000 line is removed, and the comparisons of the
# path choice and of the salient-pole axis groups are turned.
#
# Some mutants no input can tell from the original: a comparison turned against a double constant
# that no 32-bit value equals (0.05, 0.01, 0.2 ...), and the few listed in EQUIVALENT below with
# their reason. They are reported as "SURVIVED (equivalent: reason)" and counted apart.
#
# The model sources are restored after every mutant, and on exit or interrupt.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-mutants}
case $build in /*) ;; *) build=$(pwd)/$build ;; esac
cd "$root" || exit 2

files="src/conversion/gensal.cc src/conversion/gentpf.cc src/conversion/genrou.cc"

# Refuse to start over uncommitted changes to the model sources: a leftover mutant would
# otherwise be taken for the original.
if command -v git >/dev/null && git rev-parse --git-dir >/dev/null 2>&1; then
  if ! git diff --quiet HEAD -- $files; then
    echo "mutate_rules: src/conversion has uncommitted changes; commit or stash them first" >&2
    exit 2
  fi
fi

saved=$(mktemp -d)
for f in $files; do cp -p "$f" "$saved/$(basename "$f")"; done
restore() {
  for f in $files; do
    cmp -s "$saved/$(basename "$f")" "$f" || cp "$saved/$(basename "$f")" "$f"
  done
}
cleanup() { restore; rm -rf "$saved"; }
trap cleanup EXIT
trap 'echo "mutate_rules: interrupted, model sources restored" >&2; exit 130' INT TERM HUP

cases=()
for d in tests/cases/*/; do
  [ -f "$d/args" ] && cases+=("${d%/}")
done

# Runs the cases against the tool in the build directory; the cases of the mutated model come
# first, so that a killed mutant is usually found early. Returns 1 at the first failing case.
run_cases() {
  local model=$1 d
  for d in "${cases[@]}"; do
    case $d in *"$model"*) sh tests/run_case.sh "$d" "$build/tpjconv" >/dev/null 2>&1 </dev/null || return 1 ;; esac
  done
  for d in "${cases[@]}"; do
    case $d in *"$model"*) ;; *) sh tests/run_case.sh "$d" "$build/tpjconv" >/dev/null 2>&1 </dev/null || return 1 ;; esac
  done
  return 0
}

build_tool() {
  cmake --build "$build" --target tpjconv --parallel 2 >"$build/mutant-build.log" 2>&1 </dev/null
}

# One mutant per line, tab-separated: file, line number, description, why it is equivalent to the
# original ("-" when it should be killed), replacement line.
mutants=$(python3 - $files <<'EOF'
import re, struct, sys

RULE = re.compile(r'^(\s*c\.rule\()(.*?)(,\s+)(\d{3})(,\s+".*?",\s+)(\w+)(?:(,\s+)(.*?))?(\);.*)$')
CMP = re.compile(r'(<=|>=|!=|==|<|>)')
NUMBER = re.compile(r'^-?\d+\.\d+$')
FACTOR = re.compile(r'^(\d+\.\d+)( \* .*)$')
TURN = {'<': ['<='], '>': ['>='], '<=': ['<'], '>=': ['>'], '!=': ['<', '>'], '==': ['<=', '>=']}

def num(x):
    s = '%.10g' % x
    return s if ('.' in s or 'e' in s) else s + '.0'

def moved(rhs, up):
    """The right-hand side of a comparison moved up (True) or down."""
    rhs = rhs.strip()
    if NUMBER.match(rhs):
        v = float(rhs)
        if v == 0.0:
            return '1e-6' if up else '-1e-6'
        return num(v * (1.01 if up else 0.99))
    m = FACTOR.match(rhs)
    if m:
        return num(float(m.group(1)) * (1.01 if up else 0.99)) + m.group(2)
    return ('1.01 * ' if up else '0.99 * ') + rhs

def fix_changed(fix):
    fix = fix.strip()
    if NUMBER.match(fix):
        v = float(fix)
        return '0.001' if v == 0.0 else num(v * 1.01)
    m = FACTOR.match(fix)
    if m:
        return num(float(m.group(1)) * 1.01) + m.group(2)
    return '1.01 * ' + fix

def comparisons(cond):
    """(start, end, op, rhs_start, rhs_end) of each comparison in a condition of the form
    a OP b [&&|| c OP d ...]."""
    out = []
    pos = 0
    for part in re.split(r'(\s*(?:&&|\|\|)\s*)', cond):
        if part.strip() in ('&&', '||'):
            pos += len(part)
            continue
        m = CMP.search(part)
        if m:
            out.append((pos + m.start(), pos + m.end(), m.group(1), pos + m.end(), pos + len(part)))
        pos += len(part)
    return out

def single(v):
    return struct.unpack('f', struct.pack('f', v))[0]

# Mutants that no input can tell from the original, with the reason; keyed by file, rule text
# and mutant description.
EQUIVALENT = {
    ('gensal.cc', ',lpq != lq in Salient', '0.7 * c[ld] moved to 0.707 * c[ld]'):
        'lpq differs from lq only after check 1 set lq to ld; lq < K*ld then means ld < 0 for any K below 1',
    ('gensal.cc', ',lpq != lq in Salient', '0.7 * c[ld] moved to 0.693 * c[ld]'):
        'lpq differs from lq only after check 1 set lq to ld; lq < K*ld then means ld < 0 for any K below 1',
    ('gensal.cc', ',lpq != lq in Salient', "'!=' to '>' in c[lpq] != c[lq]"):
        'lpq differs from lq only after check 1 lowered lq, so lpq > lq whenever they differ',
    ('genrou.cc', ',lpq set = lq', "'!=' to '<'"):
        'in the q-axis group lppq < lq, and lpq != lq on the salient-pole path means lpq = lppq, so lpq < lq',
}

def condition_mutants(cond, allow_moves=True):
    found = comparisons(cond)
    for start, end, op, rs, re_ in found:
        # Where a condition has several comparisons, say which one is turned.
        where = ''
        if len(found) > 1:
            lhs_start = max(cond.rfind('&', 0, start), cond.rfind('|', 0, start)) + 1
            where = ' in %s' % cond[lhs_start:re_].strip()
        rhs = cond[rs:re_].strip()
        note = ''
        if op in ('<', '>', '<=', '>=') and NUMBER.match(rhs) and single(float(rhs)) != float(rhs):
            note = 'no 32-bit value equals the double %s, so the turned comparison agrees on every input' % rhs
        for new in TURN[op]:
            yield "'%s' to '%s'%s" % (op, new, where), cond[:start] + new + cond[end:], note
        if not allow_moves or op == '==':
            continue
        rhs = cond[rs:re_]
        if op == '!=' and not NUMBER.match(rhs.strip()):
            continue
        lead = rhs[:len(rhs) - len(rhs.lstrip())]
        for up in (True, False):
            new_rhs = lead + moved(rhs, up)
            yield "%s moved to %s" % (rhs.strip(), new_rhs.strip()), cond[:rs] + new_rhs + cond[re_:], ''

for path in sys.argv[1:]:
    name = path.split('/')[-1]
    with open(path) as f:
        lines = f.read().split('\n')
    for i, line in enumerate(lines, 1):
        m = RULE.match(line)
        if m:
            cond, code, text, fix = m.group(2), m.group(4), m.group(5), m.group(8)
            rule_text = re.search(r'"(.*?)"', text).group(1)
            label = '%s:%d [%s%s]' % (name, i, code, rule_text)
            for what, new_cond, note in condition_mutants(cond):
                note = EQUIVALENT.get((name, rule_text, what), note)
                print('%s\t%d\t%s %s\t%s\t%s' % (path, i, label, what, note or '-',
                      m.group(1) + new_cond + line[m.end(2):]))
            if fix is not None:
                new_fix = fix_changed(fix)
                print('%s\t%d\t%s correction %s to %s\t-\t%s' % (path, i, label, fix.strip(), new_fix,
                      line[:m.start(8)] + new_fix + line[m.end(8):]))
            continue
        if 'c.log(0,' in line:
            print('%s\t%d\t%s:%d [000 line] removed\t-\t' % (path, i, name, i))
            continue
        g = re.match(r'^(\s*(?:const bool \w+ = |if \())(.*?)(;|\) \{)$', line)
        if g and 'c[' in g.group(2):
            label = '%s:%d [%s]' % (name, i, g.group(2))
            for what, new_cond, note in condition_mutants(g.group(2), allow_moves=False):
                print('%s\t%d\t%s %s\t%s\t%s' % (path, i, label, what, note or '-',
                      g.group(1) + new_cond + g.group(3)))
EOF
) || exit 2

if [ -n "${MUTATE_LIST:-}" ]; then
  printf '%s\n' "$mutants" | awk -F '\t' '{ print $3; print "    " $5; if ($4 != "-") print "    equivalent: " $4 }'
  exit 0
fi

cmake -S "$root" -B "$build" -DTPJCONV_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 2
if ! build_tool; then
  echo "mutate_rules: the unmutated tool does not build (see $build/mutant-build.log)" >&2
  exit 2
fi
if ! run_cases ""; then
  echo "mutate_rules: the unmutated tool fails a case; fix that first" >&2
  exit 2
fi


total=0
killed=0
survivors=()
equivalent=0
while IFS=$'\t' read -r file line what note replacement; do
  if [ -n "${MUTATE_ONLY:-}" ] && ! printf '%s\n' "$what" | grep -Eq -- "$MUTATE_ONLY"; then
    continue
  fi
  restore
  # Replace line $line of $file by the mutant's line.
  text=$replacement awk -v n="$line" 'NR == n { print ENVIRON["text"]; next } { print }' \
    "$saved/$(basename "$file")" >"$file"
  total=$((total + 1))
  model=$(basename "$file" .cc)
  if ! build_tool; then
    result="killed (does not build)"
    killed=$((killed + 1))
  elif run_cases "$model"; then
    result="SURVIVED"
    if [ "$note" != - ]; then
      result="SURVIVED (equivalent: $note)"
      equivalent=$((equivalent + 1))
    fi
    survivors+=("$what: $result")
  else
    result="killed"
    killed=$((killed + 1))
  fi
  printf '%-80s %s\n' "$what" "$result"
done <<<"$mutants"
restore
build_tool || true

echo
echo "mutants: $total, killed: $killed, survived: ${#survivors[@]} (equivalent, with the reason: $equivalent)"
for s in "${survivors[@]}"; do echo "  $s"; done
