#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves that the Debian package brings everything it needs through its Depends: builds a
# minimal Debian 12 root (essential packages and apt only) with mmdebstrap, installs the package
# there with `apt-get install ./zuvela_….deb`, and starts the programs inside it:
# `zuvela-cli listing`, `render -o x.wav` and `decode x.wav`, and `zuvela` on Qt's offscreen
# platform, which must still be running after two seconds; lastly, that the X11 platform plugin
# a desktop needs is installed (started without a display, Qt must find the plugin and fail
# only to connect).
# Needs root and Debian's package mirror; not part of the test command.
# Usage: scripts/bare-debian.sh [PACKAGE.deb]   (default: builds it with scripts/package.sh)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/packages.sh"
ensure_packages mmdebstrap

if (($#)); then
    deb="$(realpath "$1")"
else
    deb="$(bash "$root/scripts/package.sh" | tail -n 1)"
fi
[ -f "$deb" ] || { echo "bare-debian.sh: no package $deb" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"
cp "$deb" "$work/in/$(basename "$deb")"
# Runs inside the new root as its root user, with /proc, /sys and /dev mounted by mmdebstrap.
cat >"$work/in/inside.sh" <<'SCRIPT'
set -eu
cd /tmp/in
export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends ./zuvela_*.deb >apt.log 2>&1 || { cat apt.log; exit 1; }
echo "bare-debian: installed $(dpkg-query -W -f='${Package} ${Version}' zuvela)," \
    "$(dpkg-query -W -f='${Package}\n' | wc -l) packages in all"
command -v zuvela-cli >/dev/null || { echo "bare-debian: the package has no zuvela-cli"; exit 1; }
zuvela-cli listing --system ccir --address 2=12345 >listing.txt
echo "bare-debian: zuvela-cli listing printed $(wc -l <listing.txt) lines:"
cat listing.txt
zuvela-cli render --system ccir --address 2=12345 -o x.wav
echo "bare-debian: zuvela-cli render wrote x.wav, $(stat -c %s x.wav) bytes"
[ -s x.wav ]
# What was written reads back as the settings it came from.
zuvela-cli decode x.wav >decoded.txt
grep -q '^Rufadresse 2: *\[x\] 12345$' decoded.txt || { cat decoded.txt; exit 1; }
echo "bare-debian: zuvela-cli decode read x.wav back: $(grep '^Tonsystem' decoded.txt)"
QT_QPA_PLATFORM=offscreen zuvela >gui.log 2>&1 &
pid=$!
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
    echo "bare-debian: zuvela ended within two seconds:"; cat gui.log; exit 1
fi
kill "$pid"; wait "$pid" 2>/dev/null || true
echo "bare-debian: zuvela ran on the offscreen platform for two seconds, printing:"
cat gui.log
out="$(DISPLAY=:99 QT_QPA_PLATFORM=xcb timeout 10 zuvela 2>&1 || true)"
case "$out" in
*"could not connect to display"*) echo "bare-debian: the X11 platform plugin is installed" ;;
*) echo "bare-debian: the X11 platform plugin did not load: $out"; exit 1 ;;
esac
SCRIPT

# The root itself goes nowhere (/dev/null): only what the hooks find matters.
mmdebstrap --quiet --variant=apt --mode=root \
    --customize-hook="copy-in '$work/in' /tmp" \
    --customize-hook='chroot "$1" sh /tmp/in/inside.sh' \
    bookworm /dev/null http://deb.debian.org/debian
echo "bare-debian.sh: the package installs and starts on a bare Debian 12"
