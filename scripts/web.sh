#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the web page into build/web-site (static files that any web server can serve) and
# serves it on http://localhost:8740 with scripts/web-serve.py. With --build it only builds.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/packages.sh"
ensure_packages "${ZUVELA_WEB_PACKAGES[@]}"
export NODE_PATH=/usr/share/nodejs # Debian's emscripten finds its Node modules there

build="$root/build/web-core"
site="$root/build/web-site"
# The engine-only build of the whole project, with emscripten's toolchain file given directly
# (emcmake would add a node option for running tests that today's node no longer takes). Built
# for size: -Oz with link-time optimisation, so that only what the page's binding reaches is
# kept, and WebAssembly's own exceptions. Configured every time, so that a changed flag counts.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DZUVELA_CORE_ONLY=ON \
    -DZUVELA_TESTS=OFF -DZUVELA_WASM_EXCEPTIONS=ON "-DCMAKE_CXX_FLAGS_MINSIZEREL=-Oz -DNDEBUG -flto" \
    -DCMAKE_TOOLCHAIN_FILE="$(em-config EMSCRIPTEN_ROOT)/cmake/Modules/Platform/Emscripten.cmake" \
    >/dev/null
cmake --build "$build" --target zuvela-core

rm -rf "$site"
mkdir -p "$site"
# The page's modules as one file: one request instead of a chain of imports. binding.mjs also
# stands alone, for Node's tests of the binding.
node "$root/web/bundle.mjs" "$root/web/zuvela.mjs" "$site/zuvela.mjs"
cp "$root"/web/{index.html,zuvela.css,manifest.webmanifest,binding.mjs} "$site/"
cp "$build"/web/zuvela-core.{js,wasm} "$site/"
node "$root/web/icon.mjs" "$root/resources/icon.bmp" "$site" 192 512 maskable-512
# What the page loads first carries its contents' hash in its address ("zuvela.css?v=…"): an
# address that never changes its contents can be cached for good.
loaded=(zuvela.css zuvela-core.js zuvela.mjs zuvela-core.wasm icon-192.png)
for file in "${loaded[@]}"; do
    hash="$(sha256sum "$site/$file" | cut -c1-12)"
    sed -i "s|\"$file\"|\"$file?v=$hash\"|g" "$site/index.html"
    grep -q "\"$file?v=$hash\"" "$site/index.html" || { echo "index.html does not load $file" >&2; exit 1; }
done
# The service worker keeps every file of this build, at the addresses the page asks for; its
# cache is named after their contents.
files=(./ index.html manifest.webmanifest icon-512.png icon-maskable-512.png
       $(grep -o '"[a-z0-9.-]*?v=[0-9a-f]*"' "$site/index.html" | sort -u | tr -d '"'))
paths=("${files[@]:1}")
version="zuvela-$(cd "$site" && cat "${paths[@]%%\?*}" | sha256sum | cut -c1-16)"
list="$(printf '"%s",' "${files[@]}")"
sed -e "s|@VERSION@|$version|" -e "s|@FILES@|[${list%,}]|" "$root/web/sw.js" >"$site/sw.js"
# Precompressed copies beside the files, for servers that send them (web-serve.py does):
# gzip always, brotli where its command is installed.
for file in "$site"/*.{html,css,js,mjs,wasm,webmanifest}; do
    gzip -9 -k -n "$file"
    if command -v brotli >/dev/null; then brotli -q 11 -k "$file"; fi
done
echo "Die Seite steht in $site"

if [ "${1:-}" != "--build" ]; then
    echo "http://localhost:8740 (Strg+C beendet)"
    exec python3 "$root/scripts/web-serve.py" --port 8740 "$site"
fi
