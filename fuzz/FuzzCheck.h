// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzz targets share: a broken invariant ends the run like a crash does.
#include <cstdio>
#include <cstdlib>

inline void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}
