#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""zuvela-cli against sox, whole process: each zuvela-cli given renders the sequence of one
address (2.8 s) to a WAV file, and sox synthesises a WAV file of the same length and format; the runs
alternate (A B A B ...), so that the ratio of each pair holds when the machine's speed drifts.
Also times `zuvela-cli --version`, the start of the program alone, against `true`.

    python3 bench/cli_vs_sox.py [-n RUNS] ZUVELA_CLI [ZUVELA_CLI ...]

Prints, per zuvela-cli, the medians of CPU (user + sys) and wall time of each and the median of
the pairs' ratios."""
import argparse
import os
import resource
import statistics
import subprocess
import tempfile
import time

SETTINGS = ["--system", "ccir", "--address", "1=67890"]


def timed(command, cwd):
    """CPU and wall seconds of one whole process."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall


def paired(a, b, runs, cwd):
    for _ in range(2):  # warm-up: the page cache, the dynamic loader's
        timed(a, cwd)
        timed(b, cwd)
    pairs = [(timed(a, cwd), timed(b, cwd)) for _ in range(runs)]
    rows = []
    for i, what in enumerate(["cpu", "wall"]):
        ta = [p[0][i] for p in pairs]
        tb = [p[1][i] for p in pairs]
        ratio = statistics.median(x / y for x, y in zip(ta, tb) if y > 0)
        rows.append(f"  {what:4}  {statistics.median(ta) * 1000:7.2f} ms  vs "
                    f"{statistics.median(tb) * 1000:7.2f} ms   ratio {ratio:.2f}")
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-n", type=int, default=30, help="pairs counted (default 30)")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as cwd:
        first = os.path.abspath(args.programs[0])
        subprocess.run([first, "render", *SETTINGS, "-o", "sequence.raw"], cwd=cwd, check=True)
        seconds = os.path.getsize(os.path.join(cwd, "sequence.raw")) / 22050
        sox = ["sox", "-n", "-r", "22050", "-c", "1", "-b", "8", "-e", "unsigned-integer",
               "sox.wav", "synth", f"{seconds:.4f}", "sine", "1060"]
        print(f"render of {seconds:.2f} s of sound, {args.n} pairs; median per process")
        for program in args.programs:
            program = os.path.abspath(program)
            print(program)
            print(" render -o out.wav  vs  sox synth")
            for row in paired([program, "render", *SETTINGS, "-o", "out.wav"], sox, args.n, cwd):
                print(row)
            print(" --version  vs  true")
            for row in paired([program, "--version"], ["true"], args.n, cwd):
                print(row)


if __name__ == "__main__":
    main()
