#!/usr/bin/env bash
# Builds the app and its benchmarks, runs every benchmark inside a private X
# desktop (scripts/with-desktop.sh) and prints the figures. As root on Debian
# 12, like scripts/test.sh. AIMSET_BENCH_SECONDS sets the length of each CPU
# measurement (default 60), AIMSET_BENCH_BUILD_DIR the build (default
# build/bench, Release).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh scripts/test-packages.txt scripts/bench-packages.txt

build=${AIMSET_BENCH_BUILD_DIR:-build/bench}
seconds=${AIMSET_BENCH_SECONDS:-60}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
targets=(aimset aimset-checkd aimset-bench-poll aimset-bench-app checkd-benchmark)
targets+=(checkd-abuse)
# The stall benchmark borrows the tests' accessibility session: with the tests.
if cmake --build "$build" --target help | grep -q '^aimset-bench-stall:'; then
    targets+=(aimset-bench-stall)
fi
# Window-text extraction is measured by the AT-SPI benchmark, where this tree has it.
if cmake --build "$build" --target help | grep -q '^aimset-atspi-benchmark:'; then
    targets+=(aimset-atspi-benchmark)
fi
cmake --build "$build" --target "${targets[@]}" >/dev/null

export AIMSET_BENCH_BUILD="$build" AIMSET_BENCH_SECONDS="$seconds"
bash scripts/with-desktop.sh bash -c '
set -euo pipefail
build=$AIMSET_BENCH_BUILD
seconds=$AIMSET_BENCH_SECONDS
echo "== Aimset benchmarks ($(date -u +%F), $(nproc) cores, build $build)"
echo
"$build/bench/aimset-bench-poll" --iterations 2000 --seconds "$seconds"
echo
echo "== The app as shipped (Qt Quick software renderer)"
"$build/bench/aimset-bench-app" --app "$build/bin/aimset" --seconds "$seconds" --runs 5
echo
echo "== Window-text extraction (2,000 paragraphs)"
atspi=$(find "$build" -name aimset-atspi-benchmark -type f -perm -u+x | head -n1)
if [ -n "$atspi" ]; then
    "$atspi"
else
    echo "  not in this tree (the AT-SPI window-text benchmark aimset-atspi-benchmark)"
fi
echo
echo "== Alignment service throughput (aimset-checkd, offline judge)"
"$build/checkd/checkd-benchmark" --clients 8 --seconds 5
echo
echo "== Alignment service under abuse (slow clients, floods, 20,000 fuzzed requests)"
"$build/checkd/checkd-abuse"
echo "== The main thread while another process hangs (longest stall, goal <= 50 ms)"
if [ -x "$build/bench/aimset-bench-stall" ]; then
    "$build/bench/aimset-bench-stall" --frozen none --seconds 10
    "$build/bench/aimset-bench-stall" --frozen app --seconds 10
else
    echo "  not in this build (configure with the tests)"
fi
'
# The keyring runs on a private bus of its own, without the display.
if [ -x "$build/bench/aimset-bench-stall" ]; then
    bash scripts/with-keyring.sh \
        "$build/bench/aimset-bench-stall" --frozen none --seconds 10
    bash scripts/with-keyring.sh \
        "$build/bench/aimset-bench-stall" --frozen keyring --seconds 10
fi
