#!/usr/bin/env bash
# Takes the README's pictures of the main window and the programming dialog under a virtual
# X display (Xvfb) with a small window manager for the window frames, installing what is
# missing. Writes docs/main-window.png and docs/programming-dialog.png.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/packages.sh"
ensure_packages "${ZUVELA_BUILD_PACKAGES[@]}" xvfb xauth openbox

build="$root/build/screenshots"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DZUVELA_TESTS=OFF -DZUVELA_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target zuvela_screenshot
mkdir -p "$root/docs"

# The session: the window manager in the background, then the pictures; the window manager
# ends with them. timeout keeps a stuck session from hanging the script.
session='
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
sleep 1
status=0
QT_QPA_PLATFORM=xcb "$@" || status=$?
kill "$wm" 2>/dev/null
wait "$wm" 2>/dev/null
exit "$status"
'
timeout 60 xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" \
    bash -c "$session" session "$build/tools/zuvela_screenshot" \
    "$root/docs/main-window.png" "$root/docs/programming-dialog.png"
echo "screenshots.sh: docs/main-window.png, docs/programming-dialog.png"
