#!/usr/bin/env bash
# Installs what is missing, builds, and starts NorvaneScope.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: start NorvaneScope under a virtual one with: xvfb-run -a -s \"-screen 0 1600x1000x24\" scripts/run.sh" >&2
    exit 1
fi

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target norvanescope norvanescope-cli
exec build/bin/norvanescope "$@"
