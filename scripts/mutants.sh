#!/usr/bin/env bash
# Plants each fault of scripts/mutants.txt, one at a time, in a scratch worktree
# of the committed HEAD, builds the fast test programs and records which tests
# fail: a fault no test catches is a hole in the tests.
#
#   scripts/mutants.sh [--check] [ID...]     (no ID: all of them)
#
# The fast set is every test program that runs without the desktop, the
# keyring, the speech engine or the network beyond 127.0.0.1: the unit and
# component tests, the Qt adapters and the golden simulator scenarios
# (FAST_TESTS below). The end-to-end and desktop adapter tests are left out:
# they take minutes a mutant. Results go to $MUTANT_DIR/results.tsv
# (ID, caught or SURVIVED, the failing tests) and a table on standard output.
# --check only verifies that every original text is found exactly once.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
list=$repo/scripts/mutants.txt
work=${MUTANT_DIR:-$repo/.mutants}
FAST_TESTS=${FAST_TESTS:-"runtime_tests monitoring_tests interventions_tests session_tests voice_tests
  onboarding_tests views_tests platform_qt_tests checkd_tests simulator_tests"}

# apply ROOT ID: plants mutant ID in the tree at ROOT; prints its file, or fails.
apply() {
    python3 - "$list" "$1" "$2" <<'EOF'
import re, sys
path, root, wanted = sys.argv[1:]
mutant = None
for line in open(path, encoding="utf-8").read().splitlines() + [""]:
    if line.startswith("#"):
        continue
    if line.startswith("- ") or line.startswith("+ "):
        if mutant is not None:
            mutant[line[0]].append(line[2:])
        continue
    if mutant is not None:
        break
    fields = line.split(" ", 2)
    if fields[0] == wanted:
        mutant = {"file": fields[1], "-": [], "+": []}
if mutant is None or not mutant["-"]:
    sys.exit(f"{wanted}: no such mutant")
target = f"{root}/{mutant['file']}"
text = open(target, encoding="utf-8").read()
pattern = r"\n\s*".join(re.escape(part) for part in mutant["-"])
found = len(re.findall(pattern, text))
if found != 1:
    sys.exit(f"{wanted}: original text found {found} times in {mutant['file']}")
replacement = "\n".join(mutant["+"])
open(target, "w", encoding="utf-8").write(re.sub(pattern, lambda _: replacement, text))
print(mutant["file"])
EOF
}

ids=()
check=0
for argument in "$@"; do
    if [[ $argument == --check ]]; then check=1; else ids+=("$argument"); fi
done
if ((${#ids[@]} == 0)); then
    mapfile -t ids < <(grep -oE '^M[0-9]+' "$list")
fi

if ((check)); then
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    failed=0
    for id in "${ids[@]}"; do
        file=$(sed -n "s/^$id \([^ ]*\) .*/\1/p" "$list")
        mkdir -p "$scratch/$(dirname "$file")"
        git -C "$repo" show "HEAD:$file" >"$scratch/$file"
        apply "$scratch" "$id" >/dev/null || failed=1
        git -C "$repo" show "HEAD:$file" >"$scratch/$file"
    done
    exit $failed
fi

export CCACHE_DIR=${CCACHE_DIR:-/work/.ccache} CCACHE_BASEDIR=${CCACHE_BASEDIR:-/work}
export CCACHE_NOHASHDIR=1
if [[ ! -e $work/.git ]]; then
    git -C "$repo" worktree add --detach "$work" HEAD >/dev/null
fi
git -C "$work" checkout -q --detach "$(git -C "$repo" rev-parse HEAD)"
if [[ ! -e $work/build/build.ninja ]]; then
    cmake -S "$work" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DAIMSET_WERROR=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
fi
# shellcheck disable=SC2086
targets=$(echo $FAST_TESTS aimset-sim)

# run_fast [PROGRAM...]: the names of the failing tests, one a line (a program
# that dies without a summary is named as a whole).
run_fast() {
    local program output status
    for program in "$@"; do
        status=0
        output=$(cd "$work/build/tests" && timeout 600 "./$program" --gtest_brief=1 2>&1) ||
            status=$?
        if ((status != 0)); then
            if grep -q '^\[  FAILED  \] [A-Za-z]' <<<"$output"; then
                grep '^\[  FAILED  \] [A-Za-z]' <<<"$output" |
                    sed -E "s/^\[  FAILED  \] /$program:/; s/ \([0-9]+ ms\)$//; s/, where .*//" |
                    sort -u
            else
                echo "$program(exit $status)"
            fi
        fi
    done
}

build() {
    # shellcheck disable=SC2086
    cmake --build "$work/build" --target $targets -j2 >"$work/build.log" 2>&1
}

# stamps: when each test program (and the simulator the goldens run) was built.
stamps() {
    local target
    for target in $targets; do
        stat -c '%n %.9Y' "$work/build/tests/$target" "$work/build/tools/$target" \
            2>/dev/null || true
    done
}

# rebuilt BEFORE AFTER: the programs a mutant changed; no other can newly fail.
rebuilt() {
    local program
    for program in $FAST_TESTS; do
        if ! diff -q <(grep "/$program " <<<"$1") <(grep "/$program " <<<"$2") >/dev/null ||
            { [[ $program == simulator_tests ]] &&
                  ! diff -q <(grep "/aimset-sim " <<<"$1") <(grep "/aimset-sim " <<<"$2") \
                      >/dev/null; }; then
            echo "$program"
        fi
    done
}

results=$work/results.tsv
: >"$results"
build || { echo "the unmutated tree does not build: see $work/build.log" >&2; exit 1; }
# shellcheck disable=SC2086
baseline=$(run_fast $FAST_TESTS)
if [[ -n $baseline ]]; then
    echo "failing before any mutant, ignored below:" >&2
    echo "$baseline" >&2
fi

for id in "${ids[@]}"; do
    started=$SECONDS
    file=$(apply "$work" "$id") || { printf '%s\tNOT PLANTED\t\n' "$id" >>"$results"; continue; }
    before=$(stamps)
    if build; then
        # shellcheck disable=SC2046
        caught=$(comm -23 <(run_fast $(rebuilt "$before" "$(stamps)") | sort -u) \
            <(echo "$baseline" | sort -u) | paste -sd' ')
        verdict=$([[ -n $caught ]] && echo caught || echo SURVIVED)
    else
        caught="" verdict="BUILD FAILED"
    fi
    git -C "$work" checkout -q -- "$file"
    printf '%s\t%s\t%s\n' "$id" "$verdict" "$caught" >>"$results"
    printf '%s %-8s (%ds) %s\n' "$id" "$verdict" $((SECONDS - started)) "$caught"
done
