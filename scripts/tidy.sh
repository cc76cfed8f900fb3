#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs clang-tidy with the committed .clang-tidy over every .cpp file of the program, its tests
# and tools that the default build compiles. Not checked: the generated files under build/,
# fuzz/ (it needs clang's fuzzer flags and has its own build) and bench/ (Google Benchmark's
# loop idiom, `for (auto _ : state)`, reads to the analyzer as a dead store). Fails on any
# finding.
# Usage: scripts/tidy.sh [FILE.cpp ...]   (default: all of them)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/packages.sh
ensure_packages "${ZUVELA_BUILD_PACKAGES[@]}" "${ZUVELA_TEST_PACKAGES[@]}"

# Configure again every time, so that files added since are in the compilation database.
cmake --preset default >/dev/null
db="$root/build/default/compile_commands.json"

files=()
if (($#)); then
    files=("$@")
else
    while IFS= read -r file; do
        case "$file" in
        "$root"/build/* | "$root"/fuzz/* | "$root"/bench/*) ;;
        "$root"/*.cpp) files+=("$file") ;;
        esac
    done < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$db" | sort -u)
fi
((${#files[@]})) || { echo "tidy.sh: no files to check" >&2; exit 1; }

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
status=0
# One file per run, the largest first: the runs keep every core busy to the end, and no
# core is left with a batch of large files while the others idle.
ls -S "${files[@]}" | tr '\n' '\0' |
    xargs -0 -n 1 -P "${ZUVELA_TIDY_JOBS:-$(nproc)}" clang-tidy-14 -p "$root/build/default" --quiet \
        >"$log" 2>&1 || status=$?
# Every finding is an error (WarningsAsErrors), but look at the text too: a crash of
# clang-tidy or a file it could not parse must not pass either.
if ((status != 0)) || grep -qE '(warning|error):' "$log"; then
    grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$log" >&2 || true
    echo "tidy.sh: findings in ${#files[@]} files checked" >&2
    exit 1
fi
echo "tidy.sh: ${#files[@]} files clean"
