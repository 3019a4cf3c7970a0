#!/usr/bin/env bash
# Builds and runs the benchmarks: ours beside the peer and beside a plain copy of the bytes.
#   scripts/bench.sh                 every benchmark program
#   scripts/bench.sh image_bench     one program
#   scripts/bench.sh image_bench --benchmark_filter=Bmp
# Run on a quiet machine; medians over 5 repetitions are printed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DNS_BUILD_BENCH=ON >/dev/null
cmake --build build -j "$(nproc)"

programs=()
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
    programs=("$1")
    shift
else
    for f in bench/*_bench.cpp; do programs+=("$(basename "$f" .cpp)"); done
fi
for p in "${programs[@]}"; do
    echo "== $p"
    "build/bin/$p" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@" |
        grep -E '^(Benchmark|-|.*_median)'
done
