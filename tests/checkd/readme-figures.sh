#!/usr/bin/env bash
# The judge's summary on each labelled set kept in the repository is the one
# the README gives, so a change to the knowledge or the decision is measured
# and written down in the same change.
#   readme-figures.sh AIMSET_CHECKD SOURCE_DIR
set -euo pipefail
status=0
for set in train train2 train3 train4 train5 train6 train7 train8 train9 train10 train11 train12 train13 train14 train15 train16 train17 train18 train19 train20 train21 train22 train23 train24 train25 train26 train27 train28 train29 train30 train31 train32 train33 train34 train35 train36 train37 train38 train39 train40 train41 train42 train43 train44 train45 train46 train47 train48 train49 train50 train51 train52 train53 train54 train55 train56 train57 train58 train59 train60 train61 train62 train63 train64 train65 train66 train67 train68 train69 train70 train71 train72 train73 train74 train75 train76 holdout holdout2 holdout3 holdout4 holdout5 holdout6 holdout7 holdout8 holdout9 holdout10 holdout11 holdout12 holdout13 holdout14 holdout15 holdout16 holdout17 holdout18 holdout19 holdout20 holdout21 holdout22 holdout23 holdout24 holdout25 holdout26 holdout27 holdout28 holdout29 holdout30 holdout31 holdout32 blind3; do
    summary=$("$1" --evaluate "$2/checkd/data/cases/$set.jsonl" | tail -n 1)
    line=$(grep -F "| \`checkd/data/cases/$set.jsonl\` (" "$2/README.md" || true)
    if [[ "$line" != *"| $summary |"* ]]; then
        echo "readme-figures: on $set the judge prints \"$summary\"; the README says: ${line:-nothing}"
        status=1
    fi
done
exit "$status"
