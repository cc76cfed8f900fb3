// SPDX-License-Identifier: GPL-3.0-or-later
// Loading a fleet list of 500 lines, each checked as "Programmieren" checks it: it should take
// well under 100 ms, so that opening a list feels immediate.
#include "FleetList.h"

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

std::string fiveHundredLines() {
    std::vector<FleetPager> pagers;
    for (int n = 0; n < 500; ++n) {
        ProgSettings s;
        s.tonsys = static_cast<uint8_t>(1 + n % 7);
        s.evaluator = 1;
        s.switchMode = 1 + n % 4;
        s.lenMode = 1 + n % 2;
        char address[8];
        std::snprintf(address, sizeof address, "%05d", 10000 + n * 7);
        s.addresses = {{{true, address}, {true, "9R0R9"}, {n % 2 == 0, "24680"}, {}}};
        pagers.push_back(
            fleetPager(s, "W" + std::to_string(n), "Träger " + std::to_string(n), "Wache; Süd"));
    }
    return fleetListText(pagers);
}

void readFiveHundredLines(benchmark::State& state) {
    const std::string bytes = fiveHundredLines();
    for (auto _ : state) {
        const FleetList list = readFleetList(bytes, "Die Datei liste.csv");
        if (list.sendable() != 500)
            state.SkipWithError("a line of the list does not pass its check");
        benchmark::DoNotOptimize(list);
    }
}
BENCHMARK(readFiveHundredLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
