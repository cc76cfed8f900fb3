#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The send's verdict on every ALSA path to a sound server, idle and under load: false alarms
# and misses of zuvela-cli send with faults injected (bench/send_verdict.py says how).
# PulseAudio itself cannot be installed beside PipeWire's ALSA plugin, so its package is only
# unpacked into build/bench-pulseaudio and run from there.
# Usage: bench/send_verdict.sh [--sends N] [--paths ...] [--loads idle,stress]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
ensure_packages "${ZUVELA_BUILD_PACKAGES[@]}" pipewire pipewire-bin wireplumber pipewire-alsa \
    pipewire-pulse pulseaudio-utils libasound2-plugins dbus-daemon stress-ng python3 alsa-utils
pulse="$root/build/bench-pulseaudio"
if [ ! -x "$pulse/usr/bin/pulseaudio" ]; then
    mkdir -p "$pulse"
    (cd "$pulse" && apt-get download pulseaudio >/dev/null && dpkg -x pulseaudio_*.deb . && rm -f pulseaudio_*.deb)
fi
cmake --preset default >/dev/null
cmake --build --preset default --target zuvela-cli >/dev/null
exec python3 bench/send_verdict.py --cli "$root/build/default/cli/zuvela-cli" --pulse-root "$pulse" "$@"
