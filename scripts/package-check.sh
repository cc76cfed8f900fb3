#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package and checks it with Debian's own tools: lintian (no error and no
# warning; informational and pedantic tags are shown), desktop-file-validate on its desktop
# entries, appstreamcli on its AppStream metadata (without network checks: the screenshots'
# addresses are not fetched), and that the changelog's version is the package's.
# Usage: scripts/package-check.sh [PACKAGE.deb]   (default: builds it with scripts/package.sh)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/packages.sh"
ensure_packages "${ZUVELA_PACKAGE_PACKAGES[@]}"

if (($#)); then
    deb="$1"
else
    deb="$(bash "$root/scripts/package.sh" | tail -n 1)"
fi

tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
failed=0
fail() { echo "package-check.sh: $*" >&2; failed=1; }

echo "--- lintian"
# Runs as root on CI; lintian only warns about that.
lintian --info --display-info --pedantic --fail-on error,warning "$deb" 2> >(grep -v 'running with root privileges' >&2) || fail "lintian found errors or warnings"

echo "--- desktop-file-validate"
entries=("$tree"/usr/share/applications/*.desktop)
[ -f "${entries[0]}" ] || fail "no desktop entry in the package"
for entry in "${entries[@]}"; do
    [ -f "$entry" ] || continue
    out="$(desktop-file-validate "$entry" 2>&1)" || fail "desktop-file-validate failed"
    # It reports hints and warnings without failing: any output counts.
    [ -z "$out" ] || { echo "$out"; fail "desktop-file-validate: ${entry##*/} not clean"; }
done

echo "--- appstreamcli validate"
metainfo=("$tree"/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "no AppStream metainfo in the package"
for file in "${metainfo[@]}"; do
    [ -f "$file" ] || continue
    appstreamcli validate --no-net --explain "$file" || fail "appstreamcli: ${file##*/} rejected"
done

echo "--- changelog"
version="$(dpkg-deb -f "$deb" Version)"
logged="$(zcat "$tree/usr/share/doc/$(dpkg-deb -f "$deb" Package)/changelog.gz" |
    dpkg-parsechangelog -l - -S Version)"
[ "$logged" = "$version" ] || fail "the changelog's latest version is $logged, the package's $version"

((failed == 0)) || exit 1
echo "package-check.sh: ${deb##*/} passes lintian, desktop-file-validate and appstreamcli"
