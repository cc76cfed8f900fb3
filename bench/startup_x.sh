#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up to the main window's first frame under a real X server (Xvfb) with a window manager
# (openbox) framing the window, as on a desktop: runs bench_startup there with Qt's xcb
# platform. Given a second bench_startup (built from another version, for instance in a
# worktree of the commit before), both start in turn, A B A B, so that a busy machine slows
# both alike; each gets its own line.
# Usage: bench/startup_x.sh [BENCH_STARTUP [RUNS [OTHER_BENCH_STARTUP]]]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/packages.sh"
ensure_packages xvfb xauth openbox
bench="${1:-$root/build/default/bench/bench_startup}"
runs="${2:-30}"
other=("${@:3}")
for program in "$bench" "${other[@]}"; do
    [ -x "$program" ] || { echo "startup_x.sh: no program $program" >&2; exit 2; }
done

# The window manager first, given a second to take the screen; it ends with the benchmark.
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
runtime="$(mktemp -d)"
trap 'rm -rf "$runtime"' EXIT
XDG_RUNTIME_DIR="$runtime" timeout 600 xvfb-run --auto-servernum \
    --server-args="-screen 0 1280x1024x24 -nolisten tcp" \
    bash -c "$session" session "$bench" "$runs" "${other[@]}"
