#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) in
# build/fuzz and runs the profile fuzzer for a bounded time over a copy of the committed corpus.
# Usage: scripts/fuzz.sh [seconds]   (default 60). Fails on any crash, leak, timeout or
# sanitizer report; the input that caused it is left in build/fuzz/artifacts/.
set -euo pipefail

seconds="${1:-60}"
case "$seconds" in
'' | *[!0-9]*) echo "usage: $0 [seconds]" >&2; exit 2 ;;
esac

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"

# clang-14 and its runtime libraries (libFuzzer, sanitizers); installed only when we may.
missing=()
for pkg in clang-14 libclang-rt-14-dev; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed'; then
        missing+=("$pkg")
    fi
done
if ((${#missing[@]})); then
    if [ "$(id -u)" -ne 0 ]; then
        echo "fuzz.sh: missing ${missing[*]}; install them as root (apt-get install -y ${missing[*]})" >&2
        exit 1
    fi
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi

flags="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug \
    -DZUVELA_FUZZERS=ON -DZUVELA_TESTS=OFF -DZUVELA_BENCHMARKS=OFF \
    "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" \
    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"
cmake --build "$build" -j2 --target fuzz_profile

# The fuzzer adds what it finds to its corpus: work on a copy, keep the committed one small.
work="$build/corpus/profile"
artifacts="$build/artifacts/"
rm -rf "$work"
mkdir -p "$work" "$artifacts"
cp "$root"/fuzz/corpus/profile/* "$work"/

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
# -timeout fails an input that takes more than 10 s (a hang); -rss_limit_mb an input that eats
# memory. libFuzzer exits non-zero on any finding, which ends this script with that status.
"$build/fuzz/fuzz_profile" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -artifact_prefix="$artifacts" -print_final_stats=1 \
    "$work"
echo "fuzz.sh: no findings in ${seconds} s"
