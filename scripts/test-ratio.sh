#!/usr/bin/env bash
# Test lines against code lines (non-blank, not a // or /* */ comment line): tests/ C++ and QML plus the simulator's golden scenarios (.jsonl, .expected), against the C++ and QML of Aimset/, checkd/, tools/ and bench/.
cd "$(dirname "$0")/.." && c() { git ls-files -- "$@" | xargs cat | grep -cvE '^\s*(//|/\*|\*|$)'; } && t=$(c 'tests/*.cpp' 'tests/*.h' 'tests/*.qml' 'tests/*.jsonl' 'tests/*.expected') && p=$(c {Aimset,checkd,tools,bench}/'*'.{cpp,h,qml}) && echo "tests $t / code $p = $(awk "BEGIN{printf \"%.2f\", $t/$p}")"
