#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the engine alone (ZUVELA_CORE_ONLY) for 64-bit ARM with Debian's cross compiler, run
# under qemu-user, and for WebAssembly with Debian's emscripten, run under node, and runs the
# tone-sequence tests there: sample counts, phase steps and samples must be the bytes of
# the x86-64 build, whose sums the tests hold. Each build lives in build/cross-<target>.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
ensure_packages "${ZUVELA_CROSS_PACKAGES[@]}"

jobs="$(nproc)"
targets=(test_ToneSequence test_ToneSequenceExact)

# cross TARGET CONFIGURE...: configures with the command given, builds, runs, and says how long.
cross() {
    local target="$1" build="build/cross-$1" start="$SECONDS"
    shift
    echo "=== $target"
    "$@" -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZUVELA_CORE_ONLY=ON >/dev/null
    cmake --build "$build" -j "$jobs" --target "${targets[@]}"
    ctest --test-dir "$build" -R '^ToneSequence(Exact)?\.' -j "$jobs" --output-on-failure \
        --no-tests=error
    echo "$target: $((SECONDS - start)) s"
}

cross aarch64 cmake -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake"
# Debian's emscripten finds its node modules only there when node comes from elsewhere.
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"
# Not emcmake: it would make node run the tests with an option that today's node no longer
# takes. And without fetch, which emscripten's loader would try on the .wasm file's path.
cross wasm32 cmake -DCMAKE_TOOLCHAIN_FILE="$(em-config EMSCRIPTEN_ROOT)/cmake/Modules/Platform/Emscripten.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node);--no-experimental-fetch"
