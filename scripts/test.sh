#!/usr/bin/env bash
# Installs what is missing, builds everything (benchmarks included) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DNS_BUILD_TESTS=ON -DNS_BUILD_BENCH=ON
cmake --build build -j "$(nproc)"
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 900
