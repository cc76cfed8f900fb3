#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of the program in build/package (installing what is missing):
#   bash scripts/package.sh
#   sudo apt-get install ./build/package/zuvela_<version>_amd64.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/packages.sh"
ensure_packages "${ZUVELA_BUILD_PACKAGES[@]}" "${ZUVELA_PACKAGE_PACKAGES[@]}"

build="$root/build/package"
# Debian's hardening flags (stack protector, fortified C library calls, read-only relocations
# bound at start) as its own packages are built with; the build type adds the optimisation.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" \
    -DZUVELA_TESTS=OFF -DZUVELA_BENCHMARKS=OFF -DZUVELA_FUZZERS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/zuvela_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=("$build"/zuvela_*.deb)
[ -f "${deb[0]}" ] || { echo "package.sh: no package was made" >&2; exit 1; }
echo "${deb[0]}"
