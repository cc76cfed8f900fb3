#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The web page's tests: builds the page (scripts/web.sh --build) and zuvela-cli, installs the
# test tools from npm by the committed lock file, then runs with Node's test runner the
# binding's tests and the page's tests in Debian's Chromium (headless; the sound test headed
# under Xvfb, playing into a PipeWire null sink through its PulseAudio socket).
# Pictures and figures land in build/web-test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
ensure_packages "${ZUVELA_BUILD_PACKAGES[@]}" "${ZUVELA_TEST_PACKAGES[@]}" \
    "${ZUVELA_WEB_PACKAGES[@]}" "${ZUVELA_WEB_TEST_PACKAGES[@]}"
ensure_npm

bash scripts/web.sh --build
if [ ! -x build/ci/cli/zuvela-cli ]; then
    cmake --preset ci >/dev/null
    cmake --build build/ci --target zuvela-cli
fi
# Playwright drives the system's Chromium; it never downloads a browser.
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error)
cd tests/web
# One file at a time (the browser tests need the machine's cores to themselves), all of them
# even when one fails.
status=0
for file in binding.test.mjs page.test.mjs page-phone.test.mjs page-state.test.mjs pipewire.test.mjs; do
    timeout 300 node --test "$file" || status=1
done
exit "$status"
