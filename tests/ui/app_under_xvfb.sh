#!/usr/bin/env bash
# The real program in a virtual X server, end to end (tests/ui/app_e2e.py): it starts with a
# picture named on its command line, a line is drawn on it with the mouse, the measurements are
# exported as CSV and checked, a screenshot must show the picture and the line, and a second
# start must bring the first one forward; then the live picture of a simulated camera: a line on
# it, a snap into a still document, the still saved; then a calibration on the stage micrometer,
# the same 200 um measured on the live and the snapped picture and again after a restart.
set -u
app="$1"
here="$(cd "$(dirname "$0")" && pwd)"
command -v xdotool >/dev/null || { echo "xdotool is missing: run scripts/setup.sh"; exit 1; }
timeout 400 xvfb-run -a -s "-screen 0 1600x1000x24" python3 "$here/app_e2e.py" "$app"
