#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How many calls zuvela-cli decode reads against multimon-ng, on the same generated
# recordings: five-tone calls (ZVEI 1 at 55, 70 and 100 ms a tone, CCIR at 100 ms), played
# 2 % slow, at speed and 2 % fast, in white noise of 300-3400 Hz or in speech-like sound
# (voiced glides with formants, in syllables) at 20 to 0 dB SNR; and how many calls each reads
# in the noise and the speech alone (false calls). Prints one table. The recordings are made at
# RATE (22050 Hz unless given; 48000 as most sound cards record); multimon-ng reads them at
# 22050 Hz.
# Usage: bench/decode_sensitivity.sh [ZUVELA_CLI [RATE]]   (needs sox and multimon-ng)
set -euo pipefail
cli="${1:-build/default/cli/zuvela-cli}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
rate="${2:-22050}"
# Repeatable: sox's noise and dither the same in every run, so that builds compare alike.
sox() { command sox -R "$@"; }
declare -A tones=(
    [ZVEI1]="2400 1060 1160 1270 1400 1530 1670 1830 2000 2200"
    [CCIR]="1981 1124 1197 1275 1358 1446 1540 1640 1747 1860")
addresses=(12345 57434 90817 24680)

# call SYSTEM ADDRESS MS OUT: 0.5 s silence, the call, 0.5 s silence, at full tone level.
call() {
    local -a f=(${tones[$1]}) parts=()
    local digit
    for ((i = 0; i < ${#2}; ++i)); do
        digit="${2:i:1}"
        parts+=(synth "0.$(printf %03d "$3")" sine "${f[digit]}" :)
    done
    sox -q -n -r "$rate" -b 16 -c 1 "$work/tones.wav" "${parts[@]::${#parts[@]}-1}"
    sox -q "$work/tones.wav" "$4" vol 0.5 pad 0.5 0.5
}

# noise KIND SECONDS OUT: band noise or speech-like sound at the tones' RMS (0.5 / sqrt 2).
noise() {
    if [ "$1" = white ]; then
        sox -q -n -r "$rate" -b 16 -c 1 "$work/raw.wav" synth "$2" whitenoise sinc 300-3400
    else
        sox -q -n -r "$rate" -b 16 -c 1 "$work/raw.wav" synth "$2" sawtooth 100-180 \
            sawtooth 600-1100 sine 1400-2400 tremolo 4 90 sinc 300-3400
    fi
    local rms
    rms=$(sox "$work/raw.wav" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
    sox -q "$work/raw.wav" "$3" vol "$(awk -v r="$rms" 'BEGIN {print 0.3536 / r}')"
}

# mixed CALL SNR SPEED KIND OUT
mixed() {
    sox -q "$1" "$work/fast.wav" speed "$3" rate "$rate" 2>/dev/null
    local seconds
    seconds=$(soxi -D "$work/fast.wav")
    noise "$4" "$seconds" "$work/noise.wav"
    sox -q -m -v 1 "$work/fast.wav" -v "$(awk -v s="$2" 'BEGIN {print 10 ^ (-s / 20)}')" \
        "$work/noise.wav" "$5"
}

zuvela() { "$cli" decode --calls "$1" 2>/dev/null | grep -c " $2 in " || true; }
multimon() {
    sox -q "$1" -t raw -r 22050 -e signed -b 16 -c 1 - |
        multimon-ng -q -a "$3" -t raw - 2>/dev/null | grep -c ": $2\$" || true
}

printf '%-7s %4s %6s %7s %6s  %-9s %-9s\n' system ms speed noise "SNR" zuvela multimon
for kind in white speech; do
    for system in ZVEI1 CCIR; do
        lengths=(55 70 100)
        [ "$system" = CCIR ] && lengths=(100)
        for ms in "${lengths[@]}"; do
            for speed in 0.98 1.0 1.02; do
                for snr in 20 10 6 3 0; do
                    z=0 m=0 n=0
                    for address in "${addresses[@]}"; do
                        call "$system" "$address" "$ms" "$work/call.wav"
                        mixed "$work/call.wav" "$snr" "$speed" "$kind" "$work/mix.wav"
                        z=$((z + $(zuvela "$work/mix.wav" "$address")))
                        m=$((m + $(multimon "$work/mix.wav" "$address" "$system")))
                        n=$((n + 1))
                    done
                    printf '%-7s %4s %6s %7s %4s dB  %-9s %-9s\n' "$system" "$ms" "$speed" \
                        "$kind" "$snr" "$z/$n" "$m/$n"
                done
            done
        done
    done
done
# False calls: ten minutes of each sound alone.
for kind in white speech; do
    noise "$kind" 600 "$work/alone.wav"
    z=$("$cli" decode --calls "$work/alone.wav" 2>/dev/null | grep -c " in " || true)
    m=$(sox -q "$work/alone.wav" -t raw -r 22050 -e signed -b 16 -c 1 - |
        multimon-ng -q -a ZVEI1 -a CCIR -t raw - 2>/dev/null | grep -c ":" || true)
    printf 'false calls in 10 min of %-6s  zuvela %s, multimon %s\n' "$kind" "$z" "$m"
done
