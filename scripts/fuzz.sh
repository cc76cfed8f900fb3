#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) in
# build/fuzz and runs each for a fixed time over a copy of its committed corpus
# (fuzz/corpus/NAME), one per core at a time, then prints each one's executions and coverage.
# Usage: scripts/fuzz.sh [seconds per target] [NAME ...]   (default 60, every target)
# Fails on any crash, leak, timeout or sanitizer report; the input that caused it is left in
# build/fuzz/artifacts/NAME/.
set -euo pipefail

# One row per reader of outside data: name, fuzzer target, longest input in bytes (raw: four
# bytes that choose the rate, then up to 1 MiB of samples). The inputs reach real sizes from
# the start (-len_control=0): libFuzzer otherwise lengthens them so slowly that a run of a
# minute never goes past a few hundred bytes.
targets=(
    "profile fuzz_profile 65536"
    "wav fuzz_wav 1048576"
    "raw fuzz_raw 1048580"
    "cli fuzz_cli 65536"
)

seconds="${1:-60}"
case "$seconds" in
'' | *[!0-9]*) echo "usage: $0 [seconds per target] [NAME ...]" >&2; exit 2 ;;
esac
shift $(($# ? 1 : 0))
chosen=("$@")

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"
source "$root/scripts/packages.sh"
ensure_packages "${ZUVELA_BUILD_PACKAGES[@]}" clang-14 libclang-rt-14-dev

selected=()
for row in "${targets[@]}"; do
    read -r name _ _ <<<"$row"
    if ((${#chosen[@]} == 0)) || [[ " ${chosen[*]} " == *" $name "* ]]; then
        selected+=("$row")
    fi
done
((${#selected[@]})) || { echo "fuzz.sh: no target named ${chosen[*]}" >&2; exit 2; }

# -O2: the decoder's inner loops, left uninlined at -O1 with the sanitizers' checks, take over
# ten seconds on a 1 MiB recording full of tones; at -O2 under a second.
flags="-O2 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug \
    -DZUVELA_FUZZERS=ON -DZUVELA_TESTS=OFF -DZUVELA_BENCHMARKS=OFF \
    "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" \
    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null
binaries=()
for row in "${selected[@]}"; do
    read -r _ binary _ <<<"$row"
    binaries+=("$binary")
done
cmake --build "$build" -j "$(nproc)" --target "${binaries[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

# Runs one target; its log goes to build/fuzz/NAME.log, its summary line to
# build/fuzz/NAME.summary.
run_target() {
    local name="$1" binary="$2" max_len="$3"
    # The fuzzer adds what it finds to its corpus: work on a copy, keep the committed one small.
    local work="$build/corpus/$name" artifacts="$build/artifacts/$name/" log="$build/$name.log"
    rm -rf "$work"
    mkdir -p "$work" "$artifacts"
    cp "$root/fuzz/corpus/$name"/* "$work"/
    echo "fuzz.sh: $name for ${seconds} s, inputs up to $max_len bytes" >&2
    # -timeout fails an input that takes more than 10 s (a hang); -rss_limit_mb an input that
    # eats memory. libFuzzer exits non-zero on any finding.
    local status=0
    "$build/fuzz/$binary" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len="$max_len" -len_control=0 \
        -artifact_prefix="$artifacts" -print_final_stats=1 \
        "$work" >"$log" 2>&1 || status=$?
    if ((status != 0)); then
        tail -n 60 "$log" >&2
        echo "fuzz.sh: $name found a fault (exit $status); input in $artifacts" >&2
        return "$status"
    fi
    local done_line runs
    done_line="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)"
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    echo "$name: ${runs:-?} executions in ${seconds} s, $(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[a-zA-Z]*' <<<"$done_line"), longest input $(wc -c <"$(ls -S "$work"/* | head -n 1)") bytes" >"$build/$name.summary"
}

# A fuzzer runs on one core: as many run at once as there are cores (ZUVELA_FUZZ_JOBS), each
# still for the full time on a core of its own.
parallel="${ZUVELA_FUZZ_JOBS:-$(nproc)}"
running=()
failed=0
# Waits for the oldest one still running; notes a failure.
wait_oldest() {
    wait "${running[0]}" || failed=1
    running=("${running[@]:1}")
}
for row in "${selected[@]}"; do
    read -r name binary max_len <<<"$row"
    rm -f "$build/$name.summary"
    ((${#running[@]} < parallel)) || wait_oldest
    run_target "$name" "$binary" "$max_len" &
    running+=("$!")
done
while ((${#running[@]})); do
    wait_oldest
done
summary="$build/summary.txt"
: >"$summary"
for row in "${selected[@]}"; do
    read -r name _ _ <<<"$row"
    [ ! -f "$build/$name.summary" ] || cat "$build/$name.summary" >>"$summary"
done
sed 's/^/fuzz.sh: /' "$summary"
((failed == 0)) || { echo "fuzz.sh: findings, see above" >&2; exit 1; }
echo "fuzz.sh: no findings"
