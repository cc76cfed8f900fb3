#!/usr/bin/env bash
# Builds everything and runs every test headless (installing what is missing):
# the suite as built normally with warnings as errors, again under AddressSanitizer +
# UndefinedBehaviorSanitizer, the sound-layer tests under ThreadSanitizer, clang-tidy over the project, and the
# profile-file fuzzer for a minute.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
ensure_packages "${ZUVELA_BUILD_PACKAGES[@]}" "${ZUVELA_TEST_PACKAGES[@]}"

export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

for preset in ci asan tsan; do
    echo "=== $preset build and tests"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done

echo "=== clang-tidy"
bash scripts/tidy.sh

echo "=== fuzzing the profile reader"
bash scripts/fuzz.sh "${ZUVELA_FUZZ_SECONDS:-60}"
