#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What zuvela-cli decode --calls costs on an alerting channel: CPU time, times real time and
# peak memory of the whole process (/usr/bin/time -v) for MINUTES of a 48 kHz channel (16-bit
# WAV: white noise, mains hum and two test calls a minute, made with zuvela-cli call and sox).
# Given several builds, they take turns (A B A B ...) on the same file, so that a busy machine
# slows each alike; medians are printed, and every build must print the same calls.
# Usage: bench/decode_channel.sh [-m MINUTES] [-n RUNS] [ZUVELA_CLI ...]
#        (defaults: 60 minutes, 5 runs each, build/default/cli/zuvela-cli; needs sox)
set -euo pipefail
minutes=60 runs=5
while getopts m:n: option; do
    case "$option" in
    m) minutes="$OPTARG" ;;
    n) runs="$OPTARG" ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || set -- build/default/cli/zuvela-cli
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
rate=48000

# One minute: a ZVEI 1 test call at 0 s and a CCIR one at 30 s, each at -20 dB, in white noise
# and 50 Hz hum as a sound card's input carries them.
"$1" call 57434 -o "$work/zvei.wav" >/dev/null
"$1" --system ccir call 12345 -o "$work/ccir.wav" >/dev/null
for name in zvei ccir; do
    sox -q "$work/$name.wav" -r "$rate" -b 16 "$work/$name-48k.wav" vol -20dB rate "$rate"
done
sox -q "$work/ccir-48k.wav" "$work/ccir-late.wav" pad 30
sox -q -n -r "$rate" -b 16 -c 1 "$work/noise.wav" synth 60 whitenoise vol 0.0095
sox -q -n -r "$rate" -b 16 -c 1 "$work/hum.wav" synth 60 sine 50 vol 0.078
sox -q -m "$work/noise.wav" "$work/hum.wav" "$work/zvei-48k.wav" "$work/ccir-late.wav" \
    "$work/minute.wav" trim 0 60
sox -q "$work/minute.wav" "$work/channel.wav" repeat $((minutes - 1))
seconds=$((minutes * 60))
echo "channel: $minutes min at $rate Hz, 16-bit ($(du -m "$work/channel.wav" | cut -f1) MB)"

for ((run = 0; run < runs; ++run)); do
    for ((b = 1; b <= $#; ++b)); do
        cli="${!b}"
        /usr/bin/time -v -o "$work/time" "$cli" decode --calls "$work/channel.wav" >"$work/calls"
        if [ "$run" -eq 0 ]; then
            if [ "$b" -eq 1 ]; then
                cp "$work/calls" "$work/calls-first"
            elif ! cmp -s "$work/calls" "$work/calls-first"; then
                echo "$cli prints other calls than $1:" >&2
                diff "$work/calls-first" "$work/calls" | head -20 >&2
                exit 1
            fi
        fi
        awk -v b="$b" '/User time/ {u = $NF} /System time/ {s = $NF}
            /Elapsed/ {n = split($NF, t, ":"); w = 0; for (i = 1; i <= n; ++i) w = w * 60 + t[i]}
            /Maximum resident/ {m = $NF}
            END {print b, u + s, w, m / 1024}' "$work/time" >>"$work/runs"
    done
done

calls=$(wc -l <"$work/calls-first")
echo "calls printed: $calls (expected $((minutes * 4)))"
printf '%-40s %9s %9s %9s %9s\n' build "CPU s" "x real" "wall s" "peak MB"
for ((b = 1; b <= $#; ++b)); do
    median() { awk -v b="$b" -v c="$1" '$1 == b {print $c}' "$work/runs" | sort -g |
        awk '{v[NR] = $1} END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
    cpu=$(median 2) wall=$(median 3) peak=$(median 4)
    printf '%-40s %9.2f %9.0f %9.2f %9.1f\n' "${!b}" "$cpu" "$(awk -v s="$seconds" -v c="$cpu" \
        'BEGIN {print s / c}')" "$wall" "$peak"
done
