#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the program (installing what is missing) and starts it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/packages.sh"
ensure_packages "${ZUVELA_BUILD_PACKAGES[@]}"

cmake -S "$root" -B "$root/build/app" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DZUVELA_TESTS=OFF -DZUVELA_BENCHMARKS=OFF >/dev/null
cmake --build "$root/build/app" --target zuvela
exec "$root/build/app/app/zuvela" "$@"
