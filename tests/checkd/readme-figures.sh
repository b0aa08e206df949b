#!/usr/bin/env bash
# The judge's summary on each labelled set kept in the repository is the one
# the README gives, so a change to the knowledge or the decision is measured
# and written down in the same change.
#   readme-figures.sh AIMSET_CHECKD SOURCE_DIR
set -euo pipefail
status=0
# Every set kept in the repository, so a new one cannot go unmeasured.
for path in "$2"/checkd/data/cases/*.jsonl; do
    set=$(basename "$path" .jsonl)
    summary=$("$1" --evaluate "$path" | tail -n 1)
    line=$(grep -F "| \`checkd/data/cases/$set.jsonl\` (" "$2/README.md" || true)
    if [[ "$line" != *"| $summary |"* ]]; then
        echo "readme-figures: on $set the judge prints \"$summary\"; the README says: ${line:-nothing}"
        status=1
    fi
done
exit "$status"
