#!/usr/bin/env bash
# The mutation pass: plants each fault listed in tests/mutation/mutants.txt, one at a time, in a
# copy of the tree under build/mutation/tree (never in the checked-out sources), rebuilds the
# host program and the unit and sequence tests there, and runs both test programs. A mutant that
# no test fails has survived: a fault the tests would let through. Slow (about a minute a mutant
# on two cores), so scripts/test.sh does not run it:
#
#   nice -n 15 tests/mutation/run.sh [--mutants FILE] [--filter GTEST_FILTER] [--out FILE]
#                                    [--timeout SECONDS] [--check] [ID...]
#
# --mutants  another list (sim-mutants.txt: faults in the simulated machine, to learn which of
#            its behaviours the product's tests already hold)
# --filter   only these tests (a gtest filter, e.g. '-Sim*:FaultSeam*' for all but the
#            simulator's own tests)
# --out      where the table goes (default build/mutation/result.txt)
# --timeout  the limit for one run of a test program (default 300 s); a run that exceeds it or
#            dies counts as having caught the mutant
# --check    only check that every mutant's line is found exactly once, then stop
# ID...      only these mutants
# A mutant whose line is missing or found twice stops the pass before anything is built.
# The copy is built without -Werror: a fault often leaves a variable or a function unused,
# which is a warning, not a reason to call the mutant unbuildable.
set -euo pipefail
cd "$(dirname "$0")/../.."

mutants=tests/mutation/mutants.txt
out=build/mutation/result.txt
limit=300
check_only=0
filter='*'
only=()
while [ $# -gt 0 ]; do
    case "$1" in
        --out) out=$2; shift 2 ;;
        --mutants) mutants=$2; shift 2 ;;
        --filter) filter=$2; shift 2 ;;
        --timeout) limit=$2; shift 2 ;;
        --check) check_only=1; shift ;;
        -*) echo "unknown option $1" >&2; exit 2 ;;
        *) only+=("$1"); shift ;;
    esac
done

work=build/mutation
tree=$work/tree
targets=(zil-setup zil-setup-packed sfxpack unit_tests sequence_tests)
tests=(tests/unit/unit_tests tests/sequences/sequence_tests)

# Reads the list; "list" prints id, file and description a line (tab-separated), "apply ID ROOT"
# plants one mutant in ROOT, "check ROOT" checks every line against ROOT.
mutator=$(cat <<'EOF'
import sys

def read(path):
    mutants, current = [], None
    for number, raw in enumerate(open(path, encoding="utf-8"), 1):
        line = raw.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        if line.startswith("- ") and current and "old" not in current:
            current["old"] = line[2:].strip()
        elif line.startswith("+ ") and current and "old" in current and "new" not in current:
            current["new"] = line[2:].strip()
        elif not line.startswith(("- ", "+ ")) and ": " in line:
            head, description = line.split(": ", 1)
            ident, file = head.split()
            current = {"id": ident, "file": file, "description": description, "line": number}
            mutants.append(current)
        else:
            sys.exit(f"{path}:{number}: cannot read this line")
    for m in mutants:
        if "old" not in m or "new" not in m or m["old"] == m["new"]:
            sys.exit(f"{path}:{m['line']}: mutant {m['id']} needs a '- ' and a different '+ ' line")
    ids = [m["id"] for m in mutants]
    if len(ids) != len(set(ids)):
        sys.exit(f"{path}: mutant ids repeat")
    return mutants

def locate(root, m):
    text = open(f"{root}/{m['file']}", encoding="utf-8").read().split("\n")
    found = [i for i, line in enumerate(text) if line.strip() == m["old"]]
    if len(found) != 1:
        sys.exit(f"mutant {m['id']}: the line is found {len(found)} times in {m['file']}, "
                 f"not once: {m['old']}")
    return text, found[0]

command, path = sys.argv[1], sys.argv[2]
mutants = read(path)
if command == "list":
    for m in mutants:
        print(f"{m['id']}\t{m['file']}\t{m['description']}")
elif command == "check":
    for m in mutants:
        locate(sys.argv[3], m)
elif command == "apply":
    m = next((m for m in mutants if m["id"] == sys.argv[3]), None)
    if m is None:
        sys.exit(f"no mutant {sys.argv[3]}")
    text, at = locate(sys.argv[4], m)
    indent = text[at][: len(text[at]) - len(text[at].lstrip())]
    text[at] = indent + m["new"]
    open(f"{sys.argv[4]}/{m['file']}", "w", encoding="utf-8").write("\n".join(text))
EOF
)
mutator() { python3 -c "$mutator" "$@"; }

mutator check "$mutants" .
if [ "$check_only" = 1 ]; then
    echo "every mutant's line is found exactly once"
    exit 0
fi
mapfile -t listed < <(mutator list "$mutants")
if [ ${#only[@]} -gt 0 ]; then
    selected=()
    for line in "${listed[@]}"; do
        for id in "${only[@]}"; do
            [ "${line%%$'\t'*}" = "$id" ] && selected+=("$line")
        done
    done
    listed=("${selected[@]}")
fi

# The copy: the tracked files as they are checked out. Only files whose content differs are
# copied again, with a new time, so the build redoes only what changed.
mkdir -p "$tree" "$work/logs"
git ls-files -z | while IFS= read -r -d '' file; do
    if [ ! -e "$tree/$file" ] || ! cmp -s "$file" "$tree/$file"; then
        mkdir -p "$(dirname "$tree/$file")"
        cp "$file" "$tree/$file"
    fi
done
# Files the checkout no longer has go from the copy too: a deleted source would still be globbed.
(cd "$tree" && find . -path ./build -prune -o -type f -print) | sed 's|^\./||' | sort >"$work/copied"
git ls-files | sort | comm -23 "$work/copied" - | while IFS= read -r stale; do
    rm -f "$tree/$stale"
done
if [ ! -f "$tree/build/build.ninja" ]; then
    cmake -S "$tree" -B "$tree/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi

build() {  # log
    cmake --build "$tree/build" -j "$(nproc)" --target "${targets[@]}" >"$1" 2>&1
}

# Runs both test programs, unit first, each stopping at its first failure. Prints what caught
# the mutant ("" when nothing did).
run_tests() {  # log prefix
    local program status name
    for program in "${tests[@]}"; do
        name=$(basename "$program")
        status=0
        (cd "$tree/build" && timeout -k 10 "$limit" "$program" --gtest_fail_fast --gtest_filter="$filter") \
            >"$1.$name.log" 2>&1 || status=$?
        [ "$status" -eq 0 ] && continue
        local failed last
        failed=$(sed -n 's/^\[  FAILED  \] \([^ ]*\).*/\1/p' "$1.$name.log" | head -n 1)
        last=$(sed -n 's/^\[ RUN      \] \(.*\)/\1/p' "$1.$name.log" | tail -n 1)
        if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
            echo "$name: timeout after ${limit} s in ${last:-?}"
        elif [ -n "$failed" ]; then
            echo "$name: $failed"
        else
            echo "$name: exit $status in ${last:-?}"
        fi
        return
    done
}

restore=""
trap '[ -n "$restore" ] && cp "$work/original" "$tree/$restore"' EXIT

echo "building the unmutated copy in $tree"
build "$work/logs/unmutated.build.log" || { echo "the unmutated copy does not build" >&2; exit 1; }
unmutated=$(run_tests "$work/logs/unmutated")
if [ -n "$unmutated" ]; then
    echo "the tests fail without any mutant ($unmutated): no mutant could survive" >&2
    exit 1
fi

commit=$(git rev-parse HEAD)
[ -n "$(git status --porcelain -- . ':!tests/mutation')" ] && commit="$commit with uncommitted changes"
table=$(mktemp)
printf '%-4s %-28s %-9s %-56s %s\n' id file result "caught by" fault >"$table"
total=0 caught=0 survived=0 broken=0
started=$(date +%s)
for line in "${listed[@]}"; do
    IFS=$'\t' read -r id file description <<<"$line"
    cp "$tree/$file" "$work/original"
    restore=$file
    mutator apply "$mutants" "$id" "$tree"
    if build "$work/logs/$id.build.log"; then
        by=$(run_tests "$work/logs/$id")
        if [ -n "$by" ]; then result=caught; caught=$((caught + 1)); else result=SURVIVED; survived=$((survived + 1)); fi
    else
        # Not a test result: the list needs a mutant that compiles.
        result=NO-BUILD by="see $work/logs/$id.build.log"; broken=$((broken + 1))
    fi
    cp "$work/original" "$tree/$file"  # a new time, so the next build recompiles it
    restore=""
    total=$((total + 1))
    row=$(printf '%-4s %-28s %-9s %-56s %s' "$id" "$file" "$result" "${by:--}" "$description")
    echo "$row" | tee -a "$table"
done
elapsed=$(($(date +%s) - started))

{
    echo "# mutation pass on commit $commit, $(date -u '+%Y-%m-%d %H:%M UTC')"
    cat "$table"
    echo "mutants: $total, caught: $caught, survived: $survived$([ "$broken" -gt 0 ] && echo ", did not build: $broken")"
    echo "# ${elapsed} s in all, $((total > 0 ? elapsed / total : 0)) s a mutant; test run limit ${limit} s"
} >"$out.new"
mv "$out.new" "$out"
rm -f "$table"
tail -n 2 "$out"
[ "$broken" -eq 0 ]
