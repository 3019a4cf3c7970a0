#!/usr/bin/env bash
# Starts the application in a virtual X server and checks that its main window, titled
# "NorvaneScope", appears there and can be captured.
set -u
app="$1"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

timeout 90 xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
    unset QT_QPA_PLATFORM
    "$1" & pid=$!
    for i in $(seq 1 150); do
        # The top-level window carries a class; Qt'"'"'s 1x1 helper window of that name does not.
        id=$(xwininfo -root -tree 2>/dev/null | awk "/\"NorvaneScope\": \\(\"/ {print \$1; exit}")
        # A window that is mapped but not yet drawable makes import fail: try again.
        if [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q "Map State: IsViewable" &&
           import -window "$id" "$2/shot.png" 2>/dev/null; then
            kill $pid; wait $pid 2>/dev/null
            exit 0
        fi
        kill -0 $pid 2>/dev/null || { echo "the application exited before showing its window"; exit 1; }
        sleep 0.2
    done
    kill $pid; echo "no window titled NorvaneScope appeared"; exit 1
' _ "$app" "$out"
rc=$?
[ $rc -eq 0 ] || exit $rc
size=$(identify -format '%w %h' "$out/shot.png") || exit 1
echo "window captured: $size"
set -- $size
[ "$1" -ge 200 ] && [ "$2" -ge 150 ] || { echo "window too small: $size"; exit 1; }
