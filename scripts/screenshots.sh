#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes pictures of both windows, both file dialogs and the message boxes under a virtual X
# display (Xvfb) with a small window manager for the window frames, installing what is
# missing: once at normal size and once at twice the size (QT_SCALE_FACTOR=2), into
# build/screenshots/1x and 2x, and once more at normal size on a dark GNOME desktop (Qt's GTK
# platform theme with Adwaita:dark) into build/screenshots/dark, where the windows must keep
# their light face. The README's pictures are copied to docs/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/packages.sh"
ensure_packages "${ZUVELA_BUILD_PACKAGES[@]}" xvfb xauth openbox qt6-gtk-platformtheme

build="$root/build/screenshots"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DZUVELA_TESTS=OFF -DZUVELA_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target zuvela_screenshot

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
for run in 1x 2x dark; do
    out="$build/$run"
    rm -rf "$out"
    scale=1 theme=()
    [ "$run" = 2x ] && scale=2
    [ "$run" = dark ] && theme=(QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark)
    # Played sound goes nowhere: the pictures need no sound card.
    env QT_SCALE_FACTOR=$scale "${theme[@]}" timeout 120 xvfb-run --auto-servernum \
        --server-args="-screen 0 1600x1200x24" \
        bash -c "$session" session "$build/tools/zuvela_screenshot" "$out"
done
mkdir -p "$root/docs"
for name in main-window programming-dialog open-dialog box-address; do
    cp "$build/1x/$name.png" "$root/docs/$name.png"
done
echo "screenshots.sh: build/screenshots/1x, 2x and dark; README pictures in docs/"
