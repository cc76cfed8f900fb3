# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the set-up scripts: installs the Debian packages that the build needs and that
# are missing, so that running a script again installs nothing.
# shellcheck shell=bash

# What building and running the program needs (the toolkit's German texts included, libpulse,
# which asks the sound server for its sources (the check's inputs), and the system bus's
# library, through which the sound thread asks for real-time scheduling).
ZUVELA_BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev
                       libasound2-dev libpulse-dev libdbus-1-dev fonts-dejavu-core
                       qt6-translations-l10n)
# What the tests add: GoogleTest, clang with its sanitizer and fuzzer runtimes, the tidy check,
# sox for degraded recordings, multimon-ng as an independent decoder of test calls, and a sound
# server for the tests of the sound path (PipeWire with its session manager, its tools, its ALSA
# plugin, its PulseAudio layer with ALSA's PulseAudio plugin, and a session bus for them), and
# stress-ng, the CPU load those tests run beside once; pdftotext reads a printed record back,
# Gnumeric's ssconvert reads the record's and the export's cells as a spreadsheet does, and
# pactl, another client of the server, reads and sets its volumes.
ZUVELA_TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev clang-14 libclang-rt-14-dev
                      clang-tidy-14 sox multimon-ng dbus-daemon dbus-session-bus-common pipewire
                      pipewire-bin wireplumber pipewire-alsa pipewire-pulse libasound2-plugins
                      stress-ng poppler-utils gnumeric pulseaudio-utils)
# What the web page needs: emscripten to build the engine as WebAssembly and Node for its
# tools. Its tests add Chromium (driven by Playwright from npm), a virtual display for the
# headed browser and PipeWire's PulseAudio server for its sound. npm is Debian's package npm
# unless the installed Node brings its own (ensure_npm).
ZUVELA_WEB_PACKAGES=(emscripten nodejs)
ZUVELA_WEB_TEST_PACKAGES=(chromium xvfb xauth pipewire-pulse)
# What the builds for other processors add (scripts/cross.sh): the engine for 64-bit ARM with
# Debian's cross compiler, run under qemu-user, and for WebAssembly with Debian's emscripten,
# run under node; GoogleTest is compiled there from Debian's sources.
ZUVELA_CROSS_PACKAGES=(g++-aarch64-linux-gnu qemu-user emscripten nodejs googletest)
# What building and checking the Debian package adds: dpkg-shlibdeps and dpkg-buildflags, file
# (CPack's test for programs), lintian and the desktop-entry and AppStream validators.
ZUVELA_PACKAGE_PACKAGES=(dpkg-dev file lintian desktop-file-utils appstream)

ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
    done
    ((${#missing[@]} == 0)) && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "missing packages ${missing[*]}: run as root" >&2; exit 1; }
        sudo=(sudo)
    fi
    echo "Installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

ensure_npm() {
    command -v npm >/dev/null || ensure_packages npm
}
