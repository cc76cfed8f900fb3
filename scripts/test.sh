#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds everything and runs every test headless (installing what is missing): the licence
# line of every source file, the suite as built normally with warnings as errors, again under
# AddressSanitizer + UndefinedBehaviorSanitizer, the sound-layer tests under ThreadSanitizer,
# the engine's exactness tests built for aarch64 and wasm32 and run under qemu-user and node,
# clang-tidy over the project, the web page in Chromium, each fuzzer for a minute, and the
# Debian package (built, then checked by lintian and the desktop-entry and AppStream
# validators).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
ensure_packages "${ZUVELA_BUILD_PACKAGES[@]}" "${ZUVELA_TEST_PACKAGES[@]}" "${ZUVELA_PACKAGE_PACKAGES[@]}"

echo "=== licence lines"
bash scripts/spdx.sh

export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

for preset in ci asan tsan; do
    echo "=== $preset build and tests"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done

echo "=== the engine on aarch64 and wasm32: the same bytes as on x86-64"
bash scripts/cross.sh

echo "=== clang-tidy"
bash scripts/tidy.sh

echo "=== the web page"
bash scripts/web-test.sh

echo "=== fuzzing"
bash scripts/fuzz.sh "${ZUVELA_FUZZ_SECONDS:-60}"

echo "=== the Debian package"
bash scripts/package-check.sh
