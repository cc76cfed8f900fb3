#!/usr/bin/env bash
# Fails when a source file of the project lacks its licence line,
#   SPDX-License-Identifier: GPL-3.0-or-later
# within its first five lines. Checked: *.cpp, *.h, *.cmake, CMakeLists.txt, *.sh, *.py, *.mjs
# outside build/, .git/ and node_modules/ (the npm tools of the web tests). ZUVELA_SKIP_SPDX=1 skips the check.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ "${ZUVELA_SKIP_SPDX:-0}" = 1 ]; then
    echo "spdx.sh: skipped (ZUVELA_SKIP_SPDX=1)"
    exit 0
fi

missing=()
checked=0
while IFS= read -r -d '' file; do
    checked=$((checked + 1))
    head -n 5 "$file" | grep -q 'SPDX-License-Identifier: GPL-3\.0-or-later' ||
        missing+=("${file#"$root"/}")
done < <(find "$root" \( -path "$root/build" -o -path "$root/.git" -o -name node_modules \) -prune \
    -o -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.cmake' -o -name CMakeLists.txt \
    -o -name '*.sh' -o -name '*.py' -o -name '*.mjs' \) -print0)

if ((${#missing[@]})); then
    printf '%s\n' "${missing[@]}" | sort >&2
    echo "spdx.sh: ${#missing[@]} of $checked files lack 'SPDX-License-Identifier: GPL-3.0-or-later'" >&2
    exit 1
fi
echo "spdx.sh: $checked files carry the licence line"
