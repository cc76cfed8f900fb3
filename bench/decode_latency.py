#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# How soon zuvela-cli decode --calls prints a call of a live channel: a recording of calls in
# noise (made with zuvela-cli call and sox) is written into the decoder's standard input as a
# sound card would deliver it, block by block, paced by the clock; each call line's arrival is
# timed against the end of its call in the recording.
# Usage: bench/decode_latency.py [--cli PATH] [--rate 48000] [--block-ms 20] [--snr 20]
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import threading
import time

CALLS = [  # start in the recording (s), address, system, tone length (ms)
    (3.0, "57434", "zvei1", 70),
    (9.5, "12345", "ccir", 100),
    (17.25, "90R12", "ccir-eea", 40),
    (24.0, "24680", "zvei2", 70),
    (31.6, "1R0G9", "ccir", 100),
]
SECONDS = 36


def make_recording(cli, rate, snr, folder):
    """The calls at their places in band noise, 16-bit mono at rate: the WAV's bytes."""
    parts = []
    for i, (start, address, system, _) in enumerate(CALLS):
        call = os.path.join(folder, f"call{i}.wav")
        subprocess.run([cli, "--system", system, "call", address, "-o", call], check=True,
                       stdout=subprocess.DEVNULL)
        placed = os.path.join(folder, f"placed{i}.wav")
        # The test call's first call only: 600 ms of silence lead in.
        subprocess.run(["sox", "-q", call, "-r", str(rate), "-b", "16", placed, "trim", "0.6",
                        "0.5", "vol", "-20dB", "rate", str(rate), "pad", str(start)], check=True)
        parts.append(placed)
    noise = os.path.join(folder, "noise.wav")
    level = 0.055 * 10 ** (-snr / 20) * 1.7
    subprocess.run(["sox", "-q", "-n", "-r", str(rate), "-b", "16", "-c", "1", noise, "synth",
                    str(SECONDS), "whitenoise", "sinc", "300-3400", "vol", str(level)], check=True)
    out = os.path.join(folder, "channel.wav")
    subprocess.run(["sox", "-q", "-m", noise, *parts, out], check=True)
    with open(out, "rb") as f:
        return f.read()


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=os.path.join(root, "build/default/cli/zuvela-cli"))
    parser.add_argument("--rate", type=int, default=48000)
    parser.add_argument("--block-ms", type=float, default=20)
    parser.add_argument("--snr", type=float, default=20, help="dB of the tones over band noise")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as folder:
        wav = make_recording(args.cli, args.rate, args.snr, folder)
    data = wav.index(b"data") + 8
    header, samples = wav[:data], wav[data:]
    # As a streaming writer puts it: the data's size is not known yet.
    header = header[:4] + struct.pack("<I", 0x7FFFF000) + header[8:-4] + struct.pack("<I", 0x7FFFF000)

    decoder = subprocess.Popen([args.cli, "decode", "--calls", "-"], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    lines = []

    def read():
        for line in decoder.stdout:
            lines.append((time.monotonic(), line.decode().rstrip("\n")))

    reader = threading.Thread(target=read)
    reader.start()
    block = int(args.rate * args.block_ms / 1000) * 2
    decoder.stdin.write(header)
    started = time.monotonic()
    for at in range(0, len(samples), block):
        # Each block leaves when its last sample has been "recorded".
        due = started + (at + block) / 2 / args.rate
        time.sleep(max(0.0, due - time.monotonic()))
        decoder.stdin.write(samples[at:at + block])
        decoder.stdin.flush()
    decoder.stdin.close()
    reader.join()
    decoder.wait()

    print(f"{args.rate} Hz, blocks of {args.block_ms:g} ms, tones {args.snr:g} dB over the noise")
    print("call   end in recording   printed after its end")
    worst = 0.0
    missed = 0
    for start, address, _, length in CALLS:
        end = start + len(address) * length / 1000
        seen = [t for t, line in lines if f"  {address} in " in line or f"; {address} in " in line]
        if not seen:
            print(f"{address}  {end:8.2f} s          missed")
            missed += 1
            continue
        latency = seen[0] - (started + end)
        worst = max(worst, latency)
        print(f"{address}  {end:8.2f} s          {latency * 1000:6.0f} ms")
    print(f"worst: {worst * 1000:.0f} ms, missed: {missed} of {len(CALLS)}")
    return 1 if missed or worst > 0.5 else 0


if __name__ == "__main__":
    sys.exit(main())
