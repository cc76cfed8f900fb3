#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds everything and runs every test headless (installing what is missing): the licence
# line of every source file, the suite as built normally with warnings as errors (the sound
# server's tests apart, one at a time beside a CPU load from stress-ng), the suite again under
# AddressSanitizer + UndefinedBehaviorSanitizer, the sound-layer tests under ThreadSanitizer,
# the engine's exactness tests built for aarch64 and wasm32 and run under qemu-user and node,
# clang-tidy over the project, the web page in Chromium, each fuzzer for a minute, and the
# Debian package (built, then checked by lintian and the desktop-entry and AppStream
# validators).
#
# clang-tidy and the package need no timing, so they run from the start in the background at
# the lowest CPU priority (SCHED_IDLE): they take only what the builds and tests leave idle, and
# their reports are shown, in their place, once they are done. Every process started here is
# ended when the script ends, however it ends. Each stage's time is printed at the end.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh

start="$SECONDS"
stage_name=""
stage_start="$SECONDS"
times=()
# stage NAME: ends the stage before (noting its time) and announces the next.
stage() {
    [ -z "$stage_name" ] || times+=("$(printf '%5d s  %s' $((SECONDS - stage_start)) "$stage_name")")
    stage_name="$1"
    stage_start="$SECONDS"
    [ -z "$stage_name" ] || echo "=== $stage_name"
}

# Process groups started in the background: each is ended with all its children on exit. A
# package installation still running is waited for instead: dpkg must not be cut off.
groups=()
install=""
end_groups() {
    local group
    for group in "${groups[@]}"; do
        kill -TERM -- "-$group" 2>/dev/null || true
    done
    for group in "${groups[@]}" $install; do
        wait "$group" 2>/dev/null || true
    done
    groups=()
}
trap end_groups EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
# background LOG COMMAND...: runs the command in a process group of its own at idle priority,
# its output into LOG; sets $started to its process id (= its group).
idle=(nice -n 19)
if chrt --idle 0 true 2>/dev/null; then
    idle=(chrt --idle 0 nice -n 19)
fi
background() {
    local log="$1"
    shift
    setsid "${idle[@]}" "$@" >"$log" 2>&1 </dev/null &
    started=$!
    groups+=("$started")
}
# collect PID LOG: waits for a background job, shows its output and fails when it failed.
collect() {
    local status=0
    wait "$1" || status=$?
    cat "$2"
    ((status == 0)) || { echo "test.sh: failed (exit $status), see above" >&2; exit "$status"; }
}

stage "installing what is missing"
ensure_packages "${ZUVELA_BUILD_PACKAGES[@]}" "${ZUVELA_TEST_PACKAGES[@]}" "${ZUVELA_PACKAGE_PACKAGES[@]}"

stage "licence lines"
bash scripts/spdx.sh

mkdir -p build
background build/tidy.log bash scripts/tidy.sh
tidy="$started"
background build/package-check.log bash scripts/package-check.sh
package="$started"
# What the later stages add (the cross compilers, emscripten, Chromium) is fetched and
# installed meanwhile, at normal priority: it waits on the network and the disk, not the CPU.
setsid bash -c 'source scripts/packages.sh &&
    ensure_packages "${ZUVELA_CROSS_PACKAGES[@]}" "${ZUVELA_WEB_PACKAGES[@]}" \
        "${ZUVELA_WEB_TEST_PACKAGES[@]}" && ensure_npm' >build/install.log 2>&1 </dev/null &
install=$!

export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

stage "ci build"
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
stage "ci tests"
# All but the tests through a real sound server, which run in the next stage, one at a time:
# two servers at once beside clang-tidy and the package build (still running in the
# background here) starve each other's sound into real gaps, which the verdict then reports.
ctest --preset ci -j "$jobs" -LE server

# The tests of the sound path through a real server, with more busy processes than cores
# beside them: they wait on what they check, never for a fixed time. stress-ng runs in
# a process group of its own, ended with the stage (and by the trap on any exit); --timeout
# ends it even if this script is killed outright.
stage "sound-server tests beside stress-ng --cpu 4"
setsid stress-ng --cpu 4 --timeout 600 --quiet </dev/null &
stress=$!
groups+=("$stress")
# Each runs once: a gap the sink heard is a failure, with the judge's readings in its message.
ctest --preset ci -L server
kill -TERM -- "-$stress"
wait "$stress" || true

for preset in asan tsan; do
    stage "$preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    stage "$preset tests"
    ctest --preset "$preset" -j "$jobs"
done

stage "the rest of the packages (installed in the background)"
collect "$install" build/install.log

stage "the engine on aarch64 and wasm32: the same bytes as on x86-64"
bash scripts/cross.sh

stage "the web page"
bash scripts/web-test.sh

stage "fuzzing"
bash scripts/fuzz.sh "${ZUVELA_FUZZ_SECONDS:-60}"

stage "clang-tidy (started in the background)"
collect "$tidy" build/tidy.log

stage "the Debian package (built in the background)"
collect "$package" build/package-check.log

stage ""
echo "=== times"
printf '%s\n' "${times[@]}"
printf '%5d s  all\n' $((SECONDS - start))
